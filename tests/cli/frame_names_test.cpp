#include <gtest/gtest.h>

#include "cli/frame_names.h"
#include "cli/progress_line.h"
#include "cli/progress_log.h"
#include "cli/scene_source.h"

namespace {

struct NameCase {
    const char* out;
    int index;
    int frames;
    const char* want;
};

class FrameFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FrameFileNameTest, Name) {
    const NameCase& c = GetParam();
    FramePattern p;
    std::string error;
    ASSERT_TRUE(parse_frame_pattern(c.out, p, error)) << error;
    EXPECT_EQ(frame_file_name(p, c.index, c.frames), c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameFileNameTest,
                         ::testing::Values(NameCase{"out.png", 0, 1, "out.png"},
                                           // FRAMES 0 or less still traces one frame.
                                           NameCase{"out.png", 0, 0, "out.png"},
                                           NameCase{"out.png", 2, 8, "out_0002.png"},
                                           NameCase{"out.png", 12345, 20000, "out_12345.png"},
                                           NameCase{"dir.v2/out", 1, 3, "dir.v2/out_0001"},
                                           NameCase{"shots/.hidden", 1, 2, "shots/.hidden_0001"},
                                           NameCase{"a.b.ppm", 3, 4, "a.b_0003.ppm"},
                                           NameCase{"f%04d.png", 7, 1, "f0007.png"},
                                           NameCase{"f%d.png", 12, 20, "f12.png"},
                                           NameCase{"f%3i.ppm", 5, 9, "f  5.ppm"},
                                           NameCase{"f%-3u.ppm", 5, 9, "f5  .ppm"},
                                           NameCase{"a%%b%03d.ppm", 5, 9, "a%b005.ppm"},
                                           NameCase{"100%%.png", 0, 1, "100%.png"},
                                           NameCase{"100%%.png", 1, 2, "100%_0001.png"}));

class BadPatternTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BadPatternTest, IsRefused) {
    FramePattern p;
    std::string error;
    EXPECT_FALSE(parse_frame_pattern(GetParam(), p, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, BadPatternTest,
                         ::testing::Values("f%s.png", "%d%d.png", "50%.png", "f%", "f%5", "%n.png",
                                           "%999d.png", "%x.png"));

struct DefaultCase {
    const char* scene;
    const char* want;
};

class DefaultPictureTest : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultPictureTest, ReplacesTheExtension) {
    EXPECT_EQ(default_picture_name(GetParam().scene), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultPictureTest,
    ::testing::Values(DefaultCase{"examples/showcase.gmk", "examples/showcase.png"},
                      DefaultCase{"scene", "scene.png"}, DefaultCase{"a.b/scene", "a.b/scene.png"},
                      DefaultCase{"/tmp/x.y.gmk", "/tmp/x.y.png"}));

struct LineCase {
    const char* text;
    int offset;
    int line, column;
};

class LineColumnTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineColumnTest, CountsFromOne) {
    int line = 0, column = 0;
    line_and_column(GetParam().text, GetParam().offset, line, column);
    EXPECT_EQ(line, GetParam().line);
    EXPECT_EQ(column, GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineColumnTest,
                         ::testing::Values(LineCase{"abc", 0, 1, 1}, LineCase{"abc", 2, 1, 3},
                                           LineCase{"a\nbc", 2, 2, 1}, LineCase{"a\nbc", 3, 2, 2},
                                           LineCase{"a\r\nb", 3, 2, 1},
                                           // Past the end or before the start: clamped.
                                           LineCase{"a\nb", 99, 2, 2}, LineCase{"ab", -4, 1, 1},
                                           LineCase{"", 0, 1, 1}));

TEST(ProgressText, SingleFrame) {
    EXPECT_EQ(progress_text(1, 1, 120, 240, 2.0, 2000000), "row 120/240  2.0 s  1.00 M rays/s");
}

TEST(ProgressText, AnimationShowsTheFrame) {
    EXPECT_EQ(progress_text(2, 8, 10, 48, 4.0, 1000), "frame 2/8  row 10/48  4.0 s  250 rays/s");
}

TEST(ProgressText, RowsPastTheImageCountAsTheLastRow) {
    EXPECT_EQ(progress_text(1, 1, 242, 240, 0.0, 0), "row 240/240  0.0 s");
}

// The percent is rounded down (100 only when done) and the time left up;
// nothing is known of it before the first row.
TEST(ProgressText, PercentAndTimeLeftAndTheLogsRecord) {
    ProgressFields f;
    f.percent = 99.96;
    f.eta_s = 0.01;
    EXPECT_EQ(progress_remainder(f), "  99%  1 s left");
    f.eta_s = -1.0;
    EXPECT_EQ(progress_remainder(f), "  99%");
    f = ProgressFields{3, 8, 17, 30, 42.25, 1.5, -1.0, 2500.4, 2};
    EXPECT_EQ(progress_record(f),
              "frame=3\nframes_total=8\nrow=17\nrows_total=30\npercent=42.2\nelapsed_s=1.5\n"
              "eta_s=N/A\nrays_per_s=2500\nthreads=2\nprogress=continue\n");
    f.eta_s = 2.04;
    f.elapsed_s = 0.25;  // a half goes to the even tenth
    f.rays_per_s = 3e9 + 0.5;
    const std::string last = progress_record(f, progress_end_status(130));
    EXPECT_EQ(last.substr(last.find("elapsed_s")),
              "elapsed_s=0.2\neta_s=2.0\nrays_per_s=3000000000\nthreads=2\n"
              "status=interrupted\nprogress=end\n");
    EXPECT_STREQ(progress_end_status(0), "done");
    EXPECT_STREQ(progress_end_status(2), "error");
    // A buffer too small cuts the record short and says how much it holds.
    char small[8];
    EXPECT_EQ(format_progress_record(f, nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(std::string(small, sizeof small), "frame=3\n");
}

}  // namespace
