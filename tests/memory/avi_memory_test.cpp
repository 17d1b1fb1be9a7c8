// A recording that runs out of memory: it ends like one on a full disk, with
// the frames written so far in a file that plays.

#include <gtest/gtest.h>

#include "../record/record_test_support.h"
#include "../record/riff_reader.h"
#include "memory_limit.h"
#include "record/avi_writer.h"

namespace {

TEST(AviWithoutMemory, TheFramesWrittenStayWithTheirIndex) {
    TempFolder dir;
    const std::string path = dir.file("starved.avi");
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    ASSERT_TRUE(avi.open(path, 256, 256, 4, "IV50"));
    Surface s(256, 256);
    for (int i = 0; i < 2; ++i) {
        paint(s, i);
        ASSERT_TRUE(avi.write_frame(s));
    }
    // The frame buffers are in hand; the next frame that needs memory (for
    // its index entry) is refused, and the writer gives its buffers back to
    // close the file.
    int refused = -1;
    {
        memory_limit::Budget budget(0);
        for (int i = 2; i < 64 && refused < 0; ++i) {
            paint(s, i);
            if (!avi.write_frame(s)) refused = i;
        }
    }
    ASSERT_GE(refused, 2);
    EXPECT_FALSE(avi.is_open());
    EXPECT_EQ(avi.frames_written, refused);
    const RecordingErrors messages = avi.take_errors();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Could not write frame " + std::to_string(refused) + " to " + path +
                                    ": out of memory. The file was closed with " +
                                    std::to_string(refused) + " frames.");

    const RiffFile f(path);
    ASSERT_EQ(f.problem, "");
    ASSERT_EQ(f.parts.size(), 1u);
    const RiffChunk& riff = f.parts[0];
    EXPECT_EQ(riff.child("LIST", "movi")->all("00dc").size(), static_cast<size_t>(refused));
    const RiffChunk* idx1 = riff.child("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->size, 16u * static_cast<unsigned>(refused));
}

}  // namespace
