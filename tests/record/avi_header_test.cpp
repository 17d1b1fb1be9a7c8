#include <gtest/gtest.h>

#include "record/avi_writer.h"
#include "record/video_recorder.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

// Records `frames` test pictures of w x h and returns the parsed file; the
// writer's records go to `errors`.
RiffFile record(const std::string& path, AviCodec codec, int w, int h, int rate, int frames,
                RecordingErrors& errors, int quality = 90) {
    AviWriter avi;
    avi.codec = codec;
    avi.quality = quality;
    EXPECT_TRUE(avi.open(path, w, h, rate, "IV50"));
    Surface s(w, h);
    for (int i = 0; i < frames; ++i) {
        paint(s, i);
        EXPECT_TRUE(avi.write_frame(s));
    }
    EXPECT_EQ(avi.frames_written, frames);
    avi.close();
    EXPECT_FALSE(avi.is_open());
    errors = avi.take_errors();
    return RiffFile(path);
}

uint32_t row_bytes(int w) { return ((24u * w + 31u) & ~31u) / 8u; }

TEST(AviHeaders, RawRecordingOfEightFramesAtFourPerSecond) {
    TempFolder dir;
    RecordingErrors errors;
    const int w = 5, h = 3;
    const RiffFile f = record(dir.file("eight.avi"), AviCodec::Raw, w, h, 4, 8, errors);
    ASSERT_EQ(f.problem, "");
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(f.parts.size(), 1u);
    const RiffChunk& riff = f.parts[0];
    EXPECT_EQ(riff.id, "RIFF");
    EXPECT_EQ(riff.list_type, "AVI ");
    EXPECT_EQ(riff.size + 8u, f.bytes.size());

    const uint32_t frame_bytes = row_bytes(w) * h;  // 16 x 3
    ASSERT_EQ(frame_bytes, 48u);

    const RiffChunk* hdrl = riff.child("LIST", "hdrl");
    ASSERT_NE(hdrl, nullptr);
    const RiffChunk* avih = hdrl->child("avih");
    ASSERT_NE(avih, nullptr);
    ASSERT_EQ(avih->size, 56u);
    const uint64_t a = avih->data;
    EXPECT_EQ(f.u32(a + 0), 250000u);          // microseconds per frame
    EXPECT_EQ(f.u32(a + 4), frame_bytes * 4);  // largest frame x rate
    EXPECT_EQ(f.u32(a + 8), 0u);
    EXPECT_NE(f.u32(a + 12) & 0x10u, 0u);  // AVIF_HASINDEX
    EXPECT_EQ(f.u32(a + 16), 8u);          // total frames
    EXPECT_EQ(f.u32(a + 20), 0u);
    EXPECT_EQ(f.u32(a + 24), 1u);  // streams
    EXPECT_EQ(f.u32(a + 28), frame_bytes);
    EXPECT_EQ(f.u32(a + 32), 5u);
    EXPECT_EQ(f.u32(a + 36), 3u);

    const RiffChunk* strl = hdrl->child("LIST", "strl");
    ASSERT_NE(strl, nullptr);
    const RiffChunk* strh = strl->child("strh");
    ASSERT_NE(strh, nullptr);
    ASSERT_EQ(strh->size, 56u);
    const uint64_t s = strh->data;
    EXPECT_EQ(f.fourcc(s), "vids");
    EXPECT_EQ(f.fourcc(s + 4), "DIB ");
    EXPECT_EQ(f.u32(s + 8), 0u);   // dwFlags
    EXPECT_EQ(f.u16(s + 12), 0u);  // wPriority
    EXPECT_EQ(f.u16(s + 14), 0u);  // wLanguage
    EXPECT_EQ(f.u32(s + 16), 0u);  // dwInitialFrames
    EXPECT_EQ(f.u32(s + 20), 1u);  // dwScale
    EXPECT_EQ(f.u32(s + 24), 4u);  // dwRate
    EXPECT_EQ(f.u32(s + 28), 0u);  // dwStart
    EXPECT_EQ(f.u32(s + 32), 8u);  // dwLength: 8 frames / 4 per second = 2 s
    EXPECT_EQ(f.u32(s + 36), frame_bytes);
    EXPECT_EQ(f.u32(s + 40), 0xFFFFFFFFu);  // dwQuality -1
    EXPECT_EQ(f.u32(s + 44), 0u);           // dwSampleSize
    EXPECT_EQ(f.u16(s + 48), 0u);
    EXPECT_EQ(f.u16(s + 50), 0u);
    EXPECT_EQ(f.u16(s + 52), 5u);
    EXPECT_EQ(f.u16(s + 54), 3u);

    const RiffChunk* strf = strl->child("strf");
    ASSERT_NE(strf, nullptr);
    ASSERT_EQ(strf->size, 40u);
    const uint64_t b = strf->data;
    EXPECT_EQ(f.u32(b), 40u);
    EXPECT_EQ(f.u32(b + 4), 5u);
    EXPECT_EQ(f.u32(b + 8), 3u);  // positive: bottom-up
    EXPECT_EQ(f.u16(b + 12), 1u);
    EXPECT_EQ(f.u16(b + 14), 24u);
    EXPECT_EQ(f.u32(b + 16), 0u);  // BI_RGB
    EXPECT_EQ(f.u32(b + 20), frame_bytes);
    EXPECT_EQ(f.u32(b + 32), 0u);  // biClrUsed
    EXPECT_EQ(f.u32(b + 36), 0u);

    // A file of one part stays plain AVI: the OpenDML chunks are JUNK.
    EXPECT_EQ(strl->child("indx"), nullptr);
    EXPECT_EQ(hdrl->child("LIST", "odml"), nullptr);

    const RiffChunk* movi = riff.child("LIST", "movi");
    ASSERT_NE(movi, nullptr);
    const auto frames = movi->all("00dc");
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(movi->children.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(frames[i]->size, frame_bytes);
        // Bottom row first, blue-green-red.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint64_t at = frames[i]->data + (h - 1 - y) * row_bytes(w) + 3 * x;
                const uint32_t p = test_pixel(x, y, i);
                ASSERT_EQ(f.bytes[at + 0], (p >> 16) & 0xFF);
                ASSERT_EQ(f.bytes[at + 1], (p >> 8) & 0xFF);
                ASSERT_EQ(f.bytes[at + 2], p & 0xFF);
            }
    }

    const RiffChunk* idx1 = riff.child("idx1");
    ASSERT_NE(idx1, nullptr);
    ASSERT_EQ(idx1->size, 8u * 16u);
    for (int i = 0; i < 8; ++i) {
        const uint64_t e = idx1->data + 16 * i;
        EXPECT_EQ(f.fourcc(e), "00dc");
        EXPECT_EQ(f.u32(e + 4), 0x10u) << "every frame of an intra-only codec is a key frame";
        // Offsets count from the list type "movi".
        EXPECT_EQ(f.u32(e + 8) + movi->offset + 8, frames[i]->offset);
        EXPECT_EQ(f.u32(e + 12), frame_bytes);
    }
}

TEST(AviHeaders, MjpegFramesAreJpegPicturesWithTheirOwnFourcc) {
    TempFolder dir;
    RecordingErrors errors;
    const RiffFile f = record(dir.file("m.avi"), AviCodec::Mjpeg, 33, 17, 25, 3, errors);
    ASSERT_EQ(f.problem, "");
    const RiffChunk& riff = f.parts.at(0);
    const RiffChunk* strl = riff.child("LIST", "hdrl")->child("LIST", "strl");
    EXPECT_EQ(f.fourcc(strl->child("strh")->data + 4), "MJPG");
    const uint64_t b = strl->child("strf")->data;
    EXPECT_EQ(f.fourcc(b + 16), "MJPG");
    EXPECT_EQ(f.u16(b + 14), 24u);
    EXPECT_EQ(f.u32(b + 20), row_bytes(33) * 17);
    EXPECT_EQ(f.u32(riff.child("LIST", "hdrl")->child("avih")->data), 40000u);
    const auto frames = riff.child("LIST", "movi")->all("00dc");
    ASSERT_EQ(frames.size(), 3u);
    const RiffChunk* idx1 = riff.child("idx1");
    for (size_t i = 0; i < frames.size(); ++i) {
        // SOI at the start, EOI at the end.
        EXPECT_EQ(f.bytes[frames[i]->data], 0xFF);
        EXPECT_EQ(f.bytes[frames[i]->data + 1], 0xD8);
        EXPECT_EQ(f.bytes[frames[i]->data + frames[i]->size - 2], 0xFF);
        EXPECT_EQ(f.bytes[frames[i]->data + frames[i]->size - 1], 0xD9);
        EXPECT_EQ(f.u32(idx1->data + 16 * i + 12), frames[i]->size);
        EXPECT_EQ(f.u32(idx1->data + 16 * i + 4), 0x10u);
    }
}

TEST(AviHeaders, QualityChangesTheMjpegSize) {
    TempFolder dir;
    RecordingErrors errors;
    const RiffFile low = record(dir.file("q5.avi"), AviCodec::Mjpeg, 64, 64, 4, 1, errors, 5);
    const RiffFile high = record(dir.file("q100.avi"), AviCodec::Mjpeg, 64, 64, 4, 1, errors, 100);
    const uint32_t small = low.parts.at(0).child("LIST", "movi")->all("00dc").at(0)->size;
    const uint32_t large = high.parts.at(0).child("LIST", "movi")->all("00dc").at(0)->size;
    EXPECT_LT(small * 2, large);
}

TEST(AviHeaders, RatesBelowOneAreWrittenAsOneFramePerSecond) {
    TempFolder dir;
    RecordingErrors errors;
    const RiffFile f = record(dir.file("r.avi"), AviCodec::Raw, 2, 2, 0, 1, errors);
    ASSERT_EQ(f.problem, "");
    const RiffChunk* hdrl = f.parts.at(0).child("LIST", "hdrl");
    EXPECT_EQ(f.u32(hdrl->child("avih")->data), 1000000u);
    EXPECT_EQ(f.u32(hdrl->child("LIST", "strl")->child("strh")->data + 24), 1u);
}

TEST(AviHeaders, ALaterPictureOfAnotherSizeIsCutToTheRecordingSize) {
    TempFolder dir;
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(dir.file("s.avi"), 2, 2, 4, "IV50"));
    Surface big(4, 1);
    big.set_pixel(0, 0, 0x00010203);
    big.set_pixel(3, 0, 0x00FFFFFF);
    ASSERT_TRUE(avi.write_frame(big));
    avi.close();
    const RiffFile f(dir.file("s.avi"));
    const RiffChunk* frame = f.parts.at(0).child("LIST", "movi")->all("00dc").at(0);
    ASSERT_EQ(frame->size, 16u);
    const std::vector<uint8_t> got(f.bytes.begin() + frame->data,
                                   f.bytes.begin() + frame->data + 16);
    // Bottom row (missing from the picture) black, then the top row.
    const std::vector<uint8_t> want = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0};
    EXPECT_EQ(got, want);
}

TEST(AviHeaders, CodecChoiceIsOfferedWithThePresetAndTaken) {
    TempFolder dir;
    VideoRecorder recorder;
    recorder.avi.codec = AviCodec::Mjpeg;
    recorder.avi.quality = 77;
    const std::optional<CompressionChoice> offered = recorder.offer(dir.file("c.avi"), 4);
    ASSERT_TRUE(offered);
    EXPECT_EQ(offered->format, VideoFormat::AviMjpeg);
    EXPECT_EQ(offered->quality, 77);
    ASSERT_TRUE(recorder.open_as(dir.file("c.avi"), 4, 4, 4, {VideoFormat::AviRaw, 40}));
    EXPECT_EQ(recorder.avi.codec, AviCodec::Raw);
    recorder.close();
    const RiffFile f(dir.file("c.avi"));
    const RiffChunk* strl = f.parts.at(0).child("LIST", "hdrl")->child("LIST", "strl");
    EXPECT_EQ(f.u32(strl->child("strf")->data + 16), 0u);
}

TEST(AviHeaders, ARecordingWithoutFramesIsStillAValidFile) {
    TempFolder dir;
    RecordingErrors errors;
    const RiffFile f = record(dir.file("z.avi"), AviCodec::Raw, 3, 3, 4, 0, errors);
    ASSERT_EQ(f.problem, "");
    const RiffChunk& riff = f.parts.at(0);
    EXPECT_EQ(riff.child("LIST", "movi")->children.size(), 0u);
    EXPECT_EQ(riff.child("idx1")->size, 0u);
}

}  // namespace
