// The recorder's choice of writer and the FFmpeg-library writer's files, as
// ffprobe reads them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "record/output_file.h"
#include "record/video_recorder.h"
#include "record_test_support.h"

namespace {

// Records `frames` frames of 8 x 8 pictures at `rate` with `preset`; the
// messages of the recording.
RecordingErrors record_frames(const std::string& path, int frames, int rate,
                              const std::string& preset = "") {
    VideoRecorder recorder;
    recorder.choice.preset = preset;
    EXPECT_TRUE(recorder.open(path, 8, 8, rate)) << path;
    Surface s(8, 8);
    for (int i = 0; i < frames; ++i) {
        paint(s, i);
        EXPECT_TRUE(recorder.write_frame(s)) << i;
    }
    recorder.close();
    EXPECT_EQ(recorder.frame_count(), frames);
    return recorder.take_errors();
}

// The kinds of an MP4 file's top-level boxes, in order ("ftyp moov ...").
std::string top_level_boxes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string kinds;
    unsigned char head[8];
    while (in.read(reinterpret_cast<char*>(head), 8)) {
        const uint32_t size =
            (uint32_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
        if (!kinds.empty()) kinds += ' ';
        kinds.append(reinterpret_cast<const char*>(head) + 4, 4);
        if (size < 8) break;
        in.seekg(size - 8, std::ios::cur);
    }
    return kinds;
}

struct FormatCase {
    const char* name;      // file name
    int answer;            // format the dialog answers, -1: the one preselected
    VideoFormat preset;    // what the dialog is offered
    const char* saved_as;  // the file written
    const char* codec;     // as ffprobe names it
};

class VideoRecorderFormats : public ::testing::TestWithParam<FormatCase> {};

// 9 x 7 pictures: yuv420p formats pad them to 10 x 8 by the last column and
// row; GIF keeps them as they are.
TEST_P(VideoRecorderFormats, WritesTheFormatChosenWithEveryFrame) {
    const FormatCase& c = GetParam();
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    VideoRecorder recorder;
    std::optional<CompressionChoice> chosen = recorder.offer(dir.file(c.name), 5);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->format, c.preset);
    if (c.answer >= 0) chosen->format = static_cast<VideoFormat>(c.answer);
    ASSERT_TRUE(recorder.open_as(dir.file(c.name), 9, 7, 5, *chosen));
    EXPECT_EQ(recorder.file(), dir.file(c.saved_as));
    Surface s(9, 7);
    for (int i = 0; i < 6; ++i) {
        paint(s, i);
        ASSERT_TRUE(recorder.write_frame(s)) << i;
    }
    recorder.close();
    EXPECT_EQ(recorder.frame_count(), 6);
    const RecordingErrors messages = recorder.take_errors();
    EXPECT_TRUE(messages.empty()) << messages[0].text;
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe_video(dir.file(c.saved_as));
    const bool yuv = std::string(c.codec) == "h264" || std::string(c.codec) == "vp9";
    EXPECT_NE(info.find("codec_name=" + std::string(c.codec) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find(yuv ? "width=10\nheight=8" : "width=9\nheight=7"), std::string::npos)
        << info;
    EXPECT_NE(info.find("r_frame_rate=5/1"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=6"), std::string::npos) << info;
    if (yuv) {
        EXPECT_NE(info.find("pix_fmt=yuv420p\ncolor_range=tv\ncolor_space=bt709"),
                  std::string::npos)
            << info;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoRecorderFormats,
    ::testing::Values(FormatCase{"a.mp4", -1, VideoFormat::Mp4H264, "a.mp4", "h264"},
                      FormatCase{"a.MKV", -1, VideoFormat::MkvH264, "a.MKV", "h264"},
                      FormatCase{"a.webm", -1, VideoFormat::WebmVp9, "a.webm", "vp9"},
                      FormatCase{"a.gif", -1, VideoFormat::Gif, "a.gif", "gif"},
                      // The dialog's choice wins over the name's extension.
                      FormatCase{"a.avi", static_cast<int>(VideoFormat::WebmVp9),
                                 VideoFormat::AviMjpeg, "a.webm", "vp9"},
                      FormatCase{"a.gif", static_cast<int>(VideoFormat::AviRaw), VideoFormat::Gif,
                                 "a.avi", "rawvideo"}));

struct Refusal {
    const char* name;
    const char* codec;
    int crf;
    const char* says;
    const char* preset = "";
    int rate = 4;
};

class VideoRecorderRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(VideoRecorderRefusal, SaysWhyBeforeAskingOrWriting) {
    const Refusal& c = GetParam();
    TempFolder dir;
    VideoRecorder recorder;
    recorder.choice.codec = c.codec;
    recorder.choice.crf = c.crf;
    recorder.choice.preset = c.preset;
    EXPECT_FALSE(recorder.offer(dir.file(c.name), c.rate)) << "nothing is offered";
    EXPECT_TRUE(recorder.refused());
    const RecordingErrors messages = recorder.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, RecordingErrorKind::Refused);
    EXPECT_EQ(messages[0].caption, "Video Error");
    EXPECT_NE(messages[0].text.find(c.says), std::string::npos) << messages[0].text;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoRecorderRefusal,
    ::testing::Values(
        Refusal{"a.webm", "h264", -1, "cannot hold --codec h264; it holds vp9"},
        Refusal{"a.avi", "vp9", -1, "it holds mjpeg, raw"},
        Refusal{"a.mp4", "gif", -1, "it holds h264, mpeg4"},
        Refusal{"a.mp4", "", 52, "from 0 to 51, not 52"},
        Refusal{"a.bin", "h264", -1, "needs a file name ending in one of .avi"},
        Refusal{"a.mp4", "", -1,
                "--preset for h264 is one of ultrafast, superfast, veryfast, "
                "faster, fast, medium, slow, slower, veryslow, not 'good'",
                "good"},
        Refusal{"a.webm", "", -1,
                "--preset for vp9 is one of realtime, fast, good, best, not 'slow'", "slow"},
        Refusal{"a.mp4", "mpeg4", -1, "--preset has no meaning for mpeg4", "fast"},
        Refusal{"a.avi", "", -1, "--preset has no meaning for mjpeg", "fast"},
        Refusal{"a.gif", "", -1, "cannot show 101 frames a second (100 at most)", "", 101}));

// What a recording that cannot be made keeps: the kind, and the caption and
// text the user is shown ("%s" stands for the file's path).
struct Failure {
    const char* name;  // a name ending in '/' is made a folder
    const char* codec;
    bool needs_libraries;
    RecordingErrorKind kind;
    const char* caption;
    const char* text;
};

class VideoRecorderFailure : public ::testing::TestWithParam<Failure> {};

TEST_P(VideoRecorderFailure, KeepsTheRecordShownToTheUser) {
    const Failure& c = GetParam();
    if (c.needs_libraries && !have_video_libraries()) GTEST_SKIP() << "without FFmpeg's libraries";
    TempFolder dir;
    std::string path = dir.file(c.name);
    if (path.back() == '/') {
        path.pop_back();
        std::filesystem::create_directory(path);
    }
    VideoRecorder recorder;
    recorder.choice.codec = c.codec;
    EXPECT_FALSE(recorder.open(path, 8, 8, 4));
    std::string text = c.text;
    if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, path);
    const RecordingErrors messages = recorder.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, c.kind);
    EXPECT_EQ(messages[0].caption, c.caption);
    EXPECT_EQ(messages[0].text, text);
}

constexpr const char* kAviOpenFailed =
    "Error opening AVI file for write. Check path and permissions.";

INSTANTIATE_TEST_SUITE_P(
    Cases, VideoRecorderFailure,
    ::testing::Values(
        Failure{"sub.avi/", "", false, RecordingErrorKind::CannotCreate, "AVI Error",
                kAviOpenFailed},
        Failure{"sub.mp4/", "", true, RecordingErrorKind::CannotCreate, "Video Error",
                "Cannot record %s: it is a folder."},
        Failure{"no/out.avi", "", false, RecordingErrorKind::CannotCreate, "AVI Error",
                kAviOpenFailed},
        Failure{"no/out.webm", "", true, RecordingErrorKind::CannotCreate, "Video Error",
                "Could not write %s: No such file or directory. Nothing is recorded."},
        Failure{"a.avi", "vp9", false, RecordingErrorKind::Refused, "Video Error",
                "Cannot record %s: a .avi file cannot hold --codec vp9; it holds mjpeg, raw."}));

struct GifTiming {
    int rate;
    int frames;
    int hundredths;  // the delays added up
    bool warned;     // above 50 frames a second
};

class GifDelays : public ::testing::TestWithParam<GifTiming> {};

// Each frame's delay is rounded from the time the frames before it end, so
// the delays add up to the animation's length, the last frame's included.
TEST_P(GifDelays, AddUpToTheAnimationsLength) {
    const GifTiming& c = GetParam();
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    const auto messages = record_frames(dir.file("a.gif"), c.frames, c.rate);
    ASSERT_EQ(messages.size(), c.warned ? 1u : 0u) << messages[0].text;
    if (c.warned) {
        EXPECT_EQ(messages[0].caption, "Video Warning");
        EXPECT_NE(messages[0].text.find("GIF cannot show " + std::to_string(c.rate)),
                  std::string::npos)
            << messages[0].text;
    }
    REQUIRE_FFMPEG_TOOLS();
    // -min_delay 0: the delays as written, without the demuxer's stand-in
    // for very short ones.
    const std::string delays =
        tool_output("ffprobe -v error -min_delay 0 -show_entries packet=duration -of csv=p=0 " +
                    quoted_for_shell(dir.file("a.gif")));
    std::istringstream in(delays);
    int sum = 0, count = 0, d = 0;
    while (in >> d) {
        sum += d;
        count += 1;
    }
    EXPECT_EQ(count, c.frames) << delays;
    EXPECT_EQ(sum, c.hundredths) << delays;
    if (c.rate == 8) {
        const std::string length =
            tool_output("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                        quoted_for_shell(dir.file("a.gif")));
        EXPECT_EQ(length, "2.000000\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, GifDelays,
                         ::testing::Values(GifTiming{8, 16, 200, false}, GifTiming{7, 5, 71, false},
                                           GifTiming{50, 10, 20, false},
                                           GifTiming{60, 60, 100, true}));

// The index (moov) comes before the frames (mdat), whether the file grows
// without a name or under a hidden one, and every frame still decodes.
TEST(VideoRecorder, Mp4IndexComesFirst) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    for (bool nameless : {true, false}) {
        OutputFile::nameless_temporaries.store(nameless);
        TempFolder dir;
        const std::string path = dir.file("a.mp4");
        EXPECT_TRUE(record_frames(path, 30, 10).empty());
        OutputFile::nameless_temporaries.store(true);
        const std::string boxes = top_level_boxes(path);
        EXPECT_EQ(boxes.substr(0, 9), "ftyp moov") << boxes;
        EXPECT_NE(boxes.find("mdat"), std::string::npos) << boxes;
        REQUIRE_FFMPEG_TOOLS();
        EXPECT_NE(probe_video(path).find("nb_read_frames=30"), std::string::npos);
        EXPECT_EQ(tool_output("ffmpeg -v error -i " + quoted_for_shell(path) + " -f null - 2>&1"),
                  "");
    }
}

// The preset reaches x264, which writes its settings into the stream:
// fast (the default) searches sub-pixels at level 6, ultrafast at 0 and
// without CABAC.
TEST(VideoRecorder, H264PresetReachesTheEncoder) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    for (const char* preset : {"", "ultrafast"}) {
        const std::string path = dir.file(std::string("a") + preset + ".mp4");
        EXPECT_TRUE(record_frames(path, 3, 10, preset).empty());
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        if (bytes.find("x264 - core") == std::string::npos) GTEST_SKIP() << "not libx264";
        EXPECT_NE(bytes.find(*preset ? "cabac=0" : " subme=6 "), std::string::npos) << preset;
    }
}

TEST(VideoRecorder, AnExistingFileThatIsNoVideoIsKept) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    for (const char* name : {"notes.mp4", "notes.webm"}) {
        std::ofstream(dir.file(name)) << "my notes, not a video\n";
        VideoRecorder recorder;
        EXPECT_FALSE(recorder.open(dir.file(name), 8, 8, 4));
        const RecordingErrors messages = recorder.take_errors();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].kind, RecordingErrorKind::TargetTaken);
        EXPECT_NE(messages[0].text.find("exists and is not a video file"), std::string::npos);
        std::ifstream in(dir.file(name));
        std::string text;
        std::getline(in, text);
        EXPECT_EQ(text, "my notes, not a video");
    }
}

TEST(VideoRecorder, ReplacesAVideoOfAnotherKindAndLeavesNoTemporary) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir;
    const std::string path = dir.file("out.mkv");
    Surface s(8, 8);
    {
        VideoRecorder gif;
        ASSERT_TRUE(gif.open(dir.file("x.gif"), 8, 8, 4));
        gif.write_frame(s);
        gif.close();
        std::filesystem::rename(dir.file("x.gif"), path);
    }
    VideoRecorder recorder;
    ASSERT_TRUE(recorder.open(path, 8, 8, 4));
    ASSERT_TRUE(recorder.write_frame(s));
    recorder.close();
    const RecordingErrors messages = recorder.take_errors();
    EXPECT_TRUE(messages.empty()) << messages[0].text;
    std::ifstream in(path, std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    EXPECT_EQ(std::string(head, 4), "\x1A\x45\xDF\xA3");
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().filename().string()[0] == '.' ? 100 : 1;
    EXPECT_EQ(entries, 1u);
}

}  // namespace
