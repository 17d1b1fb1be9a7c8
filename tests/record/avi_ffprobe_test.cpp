// What an independent reader (ffprobe and ffmpeg from the system) makes of
// the recordings. Skipped when ffmpeg is not installed, and failed then in CI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "record/avi_writer.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

void record(const std::string& path, AviCodec codec, int w, int h, int rate, int frames,
            int64_t riff_limit = AviWriter::kRiffSizeLimit) {
    AviWriter avi;
    avi.codec = codec;
    avi.riff_size_limit = riff_limit;
    ASSERT_TRUE(avi.open(path, w, h, rate, "IV50"));
    Surface s(w, h);
    for (int i = 0; i < frames; ++i) {
        paint(s, i);
        ASSERT_TRUE(avi.write_frame(s));
    }
    avi.close();
    ASSERT_TRUE(avi.take_errors().empty());
}

std::string probe(const std::string& path) {
    return tool_output(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames,duration -of "
        "default=noprint_wrappers=1 '" +
        path + "' 2>&1");
}

// Every frame decoded as RGB. The warnings are those of decoding alone (a
// conversion to RGB has complaints of its own about JPEG's full range).
std::vector<uint8_t> decode(const std::string& path, std::string& warnings) {
    const std::string raw = path + ".rgb";
    const std::string log = path + ".log";
    const std::string check =
        "ffmpeg -v warning -nostdin -i '" + path + "' -f null - 2>'" + log + "'";
    EXPECT_EQ(std::system(check.c_str()), 0);
    const std::vector<uint8_t> l = RiffFile::read_all(log);
    warnings.assign(l.begin(), l.end());
    const std::string convert = "ffmpeg -v error -nostdin -y -i '" + path +
                                "' -f rawvideo -pix_fmt rgb24 '" + raw + "' 2>/dev/null";
    EXPECT_EQ(std::system(convert.c_str()), 0);
    return RiffFile::read_all(raw);
}

class AviWithFfmpeg : public ::testing::Test {
  protected:
    void SetUp() override { REQUIRE_FFMPEG_TOOLS(); }
    TempFolder dir;
};

TEST_F(AviWithFfmpeg, RawRecordingDecodesToTheTracedPixels) {
    const std::string path = dir.file("raw.avi");
    record(path, AviCodec::Raw, 21, 10, 4, 8);
    const std::string info = probe(path);
    EXPECT_NE(info.find("codec_name=rawvideo"), std::string::npos) << info;
    EXPECT_NE(info.find("width=21"), std::string::npos) << info;
    EXPECT_NE(info.find("height=10"), std::string::npos) << info;
    EXPECT_NE(info.find("r_frame_rate=4/1"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=8"), std::string::npos) << info;
    EXPECT_NE(info.find("duration=2.0"), std::string::npos) << info;

    std::string warnings;
    const std::vector<uint8_t> rgb = decode(path, warnings);
    EXPECT_EQ(warnings, "");
    ASSERT_EQ(rgb.size(), 8u * 21 * 10 * 3);
    size_t at = 0;
    for (int i = 0; i < 8; ++i)
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 21; ++x, at += 3) {
                const uint32_t p = test_pixel(x, y, i);
                ASSERT_EQ(rgb[at], p & 0xFF) << "frame " << i << " x " << x << " y " << y;
                ASSERT_EQ(rgb[at + 1], (p >> 8) & 0xFF);
                ASSERT_EQ(rgb[at + 2], (p >> 16) & 0xFF);
            }
}

TEST_F(AviWithFfmpeg, MjpegRecordingDecodesCloseToTheTracedPixels) {
    const std::string path = dir.file("mjpeg.avi");
    // A smooth picture, which JPEG keeps close at the default quality.
    const int w = 64, h = 48;
    AviWriter avi;
    ASSERT_TRUE(avi.open(path, w, h, 10, "IV50"));
    Surface s(w, h);
    for (int i = 0; i < 5; ++i) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.set_pixel(x, y,
                            static_cast<uint32_t>(x * 3 + i * 10) |
                                (static_cast<uint32_t>(y * 4) << 8) | (0x80u << 16));
        ASSERT_TRUE(avi.write_frame(s));
    }
    avi.close();
    const std::string info = probe(path);
    EXPECT_NE(info.find("codec_name=mjpeg"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=5"), std::string::npos) << info;
    EXPECT_NE(info.find("r_frame_rate=10/1"), std::string::npos) << info;

    std::string warnings;
    const std::vector<uint8_t> rgb = decode(path, warnings);
    EXPECT_EQ(warnings, "");
    ASSERT_EQ(rgb.size(), 5u * w * h * 3);
    double error = 0;
    size_t at = 0;
    for (int i = 0; i < 5; ++i)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x, at += 3) {
                error += std::abs(rgb[at] - (x * 3 + i * 10));
                error += std::abs(rgb[at + 1] - y * 4);
                error += std::abs(rgb[at + 2] - 0x80);
            }
    EXPECT_LT(error / (5.0 * w * h * 3), 3.0);
}

TEST_F(AviWithFfmpeg, OpenDmlRecordingIsReadWhole) {
    const std::string path = dir.file("odml.avi");
    // 40 x 30 raw frames of 3600 bytes in parts of at most 20000 bytes.
    record(path, AviCodec::Raw, 40, 30, 25, 60, 20000);
    ASSERT_GT(RiffFile(path).parts.size(), 5u);
    const std::string info = probe(path);
    EXPECT_NE(info.find("nb_read_frames=60"), std::string::npos) << info;
    std::string warnings;
    const std::vector<uint8_t> rgb = decode(path, warnings);
    EXPECT_EQ(warnings, "");
    ASSERT_EQ(rgb.size(), 60u * 40 * 30 * 3);
    // The last frame is the last picture.
    const size_t last = 59u * 40 * 30 * 3;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t p = test_pixel(x, y, 59);
            ASSERT_EQ(rgb[last + (y * 40 + x) * 3], p & 0xFF);
        }
}

}  // namespace
