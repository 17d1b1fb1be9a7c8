#include <gtest/gtest.h>

#include "record/avi_writer.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

constexpr int kW = 16, kH = 16;            // raw frames of 768 bytes
constexpr uint32_t kFrameBytes = 16 * 48;  // 16 rows of 48 bytes

struct Recorded {
    RecordingErrors messages;
    int frames_written = 0;
};

Recorded record(const std::string& path, int frames, int64_t limit) {
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    avi.riff_size_limit = limit;
    EXPECT_TRUE(avi.open(path, kW, kH, 4, "IV50"));
    Surface s(kW, kH);
    for (int i = 0; i < frames; ++i) {
        paint(s, i);
        if (!avi.write_frame(s)) break;
    }
    avi.close();
    return {avi.take_errors(), avi.frames_written};
}

// The frame number a 00dc chunk holds, read back from its top-left pixel
// (red = 7 x frame mod 256, and 7 is invertible mod 256).
int frame_of(const RiffFile& f, uint64_t data) {
    const uint8_t red = f.bytes[data + (kH - 1) * 48 + 2];
    for (int i = 0; i < 256; ++i)
        if (((i * 7) & 0xFF) == red) return i;
    return -1;
}

TEST(OpenDml, PastThePartLimitTheFileContinuesInAvixParts) {
    TempFolder dir;
    const std::string path = dir.file("big.avi");
    const int64_t limit = 8000;
    const Recorded r = record(path, 40, limit);
    ASSERT_TRUE(r.messages.empty());
    ASSERT_EQ(r.frames_written, 40);
    const RiffFile f(path);
    ASSERT_EQ(f.problem, "");
    ASSERT_GE(f.parts.size(), 4u);
    EXPECT_EQ(f.parts[0].list_type, "AVI ");

    const RiffChunk* hdrl = f.parts[0].child("LIST", "hdrl");
    const RiffChunk* strl = hdrl->child("LIST", "strl");
    const RiffChunk* indx = strl->child("indx");
    ASSERT_NE(indx, nullptr) << "the super index replaces its reserved room";
    const RiffChunk* odml = hdrl->child("LIST", "odml");
    ASSERT_NE(odml, nullptr);
    const RiffChunk* dmlh = odml->child("dmlh");
    ASSERT_NE(dmlh, nullptr);
    EXPECT_EQ(dmlh->size, 248u);
    EXPECT_EQ(f.u32(dmlh->data), 40u);
    EXPECT_EQ(f.u32(strl->child("strh")->data + 32), 40u);

    EXPECT_EQ(f.u16(indx->data), 4u);  // wLongsPerEntry
    EXPECT_EQ(f.bytes[indx->data + 2], 0u);
    EXPECT_EQ(f.bytes[indx->data + 3], 0u);  // AVI_INDEX_OF_INDEXES
    ASSERT_EQ(f.u32(indx->data + 4), f.parts.size());
    EXPECT_EQ(f.fourcc(indx->data + 8), "00dc");

    int next_frame = 0;
    for (size_t p = 0; p < f.parts.size(); ++p) {
        const RiffChunk& part = f.parts[p];
        SCOPED_TRACE("part " + std::to_string(p));
        EXPECT_EQ(part.id, "RIFF");
        EXPECT_EQ(part.list_type, p == 0 ? "AVI " : "AVIX");
        EXPECT_LE(part.size + 8u, static_cast<uint64_t>(limit));
        const RiffChunk* movi = part.child("LIST", "movi");
        ASSERT_NE(movi, nullptr);
        const auto frames = movi->all("00dc");
        const auto ix = movi->all("ix00");
        ASSERT_EQ(ix.size(), 1u);
        EXPECT_EQ(&movi->children.back(), ix[0]) << "the standard index ends the movi list";

        // The super index entry of this part.
        const uint64_t e = indx->data + 24 + 16 * p;
        EXPECT_EQ(f.u64(e), ix[0]->offset);
        EXPECT_EQ(f.u32(e + 8), ix[0]->size + 8);
        EXPECT_EQ(f.u32(e + 12), frames.size());

        const uint64_t s = ix[0]->data;
        EXPECT_EQ(f.u16(s), 2u);
        EXPECT_EQ(f.bytes[s + 2], 0u);
        EXPECT_EQ(f.bytes[s + 3], 1u);  // AVI_INDEX_OF_CHUNKS
        ASSERT_EQ(f.u32(s + 4), frames.size());
        EXPECT_EQ(f.fourcc(s + 8), "00dc");
        const uint64_t base = f.u64(s + 12);
        for (size_t i = 0; i < frames.size(); ++i) {
            const uint32_t offset = f.u32(s + 24 + 8 * i);
            const uint32_t size = f.u32(s + 28 + 8 * i);
            EXPECT_EQ(base + offset, frames[i]->data) << "entries point at the frame data";
            EXPECT_EQ(size, kFrameBytes) << "bit 31 clear: a key frame";
            EXPECT_EQ(frame_of(f, frames[i]->data), next_frame);
            ++next_frame;
        }
        if (p == 0) {
            const RiffChunk* idx1 = part.child("idx1");
            ASSERT_NE(idx1, nullptr);
            EXPECT_EQ(idx1->size, 16u * frames.size());
            EXPECT_EQ(f.u32(hdrl->child("avih")->data + 16), frames.size())
                << "the main header counts the frames of the first part";
        } else {
            EXPECT_EQ(part.child("idx1"), nullptr);
        }
    }
    EXPECT_EQ(next_frame, 40);
}

TEST(OpenDml, AFileThatFitsOnePartHasNoOpenDmlChunks) {
    TempFolder dir;
    const std::string path = dir.file("one.avi");
    record(path, 5, 20000);
    const RiffFile f(path);
    ASSERT_EQ(f.parts.size(), 1u);
    const RiffChunk* movi = f.parts[0].child("LIST", "movi");
    EXPECT_TRUE(movi->all("ix00").empty());
    const RiffChunk* hdrl = f.parts[0].child("LIST", "hdrl");
    EXPECT_EQ(hdrl->child("LIST", "strl")->child("indx"), nullptr);
    EXPECT_EQ(hdrl->child("LIST", "odml"), nullptr);
    // The room stays reserved as JUNK of the super index's size.
    const RiffChunk* junk = hdrl->child("LIST", "strl")->child("JUNK");
    ASSERT_NE(junk, nullptr);
    EXPECT_EQ(junk->size, 24u + 16u * 256u);
}

TEST(OpenDml, AFullSuperIndexEndsTheRecordingWithAValidFile) {
    TempFolder dir;
    const std::string path = dir.file("full.avi");
    // One frame per part: the 256 entries of the super index run out.
    const Recorded r = record(path, 300, 100);
    EXPECT_EQ(r.frames_written, 256);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].caption, "AVI Error");
    EXPECT_NE(r.messages[0].text.find("frame 256"), std::string::npos) << r.messages[0].text;
    EXPECT_NE(r.messages[0].text.find("256 frames"), std::string::npos) << r.messages[0].text;
    const RiffFile f(path);
    ASSERT_EQ(f.problem, "");
    EXPECT_EQ(f.parts.size(), 256u);
    const RiffChunk* hdrl = f.parts[0].child("LIST", "hdrl");
    EXPECT_EQ(f.u32(hdrl->child("LIST", "odml")->child("dmlh")->data), 256u);
    EXPECT_EQ(f.u32(hdrl->child("LIST", "strl")->child("indx")->data + 4), 256u);
}

}  // namespace
