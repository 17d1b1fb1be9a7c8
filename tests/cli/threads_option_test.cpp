#include <gtest/gtest.h>

#include "cli_process_support.h"

namespace {

// Spheres, a plane, a mirror and antialiasing: every part of the chain that
// a thread count could change.
const std::string kScene =
    "TRACER WIDTH 40 HEIGHT 30 ANTIALIASING 4 MAX_DEPTH 3 END_TRACER\n"
    "SCENE BACKGROUND_COLOR 0.1 0.1 0.3\n"
    " CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA\n"
    " LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT\n"
    " PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE\n"
    " SPHERE TRANSLATE -1 1 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL "
    "END_SPHERE\n"
    " SPHERE TRANSLATE 1.2 0.6 -0.5 SCALE 0.6 0.6 0.6 END_SPHERE\n"
    "END_SCENE\n";

TEST(ThreadsOption, EveryThreadCountWritesThePlainLoopsPicture) {
    TempFolder dir("threads_same");
    write_text(dir.file("s.gmk"), kScene);
    const ProcessResult one = run_glimmark({"render", "s.gmk", "-o", "one.ppm", "-j", "1"}, dir);
    ASSERT_EQ(one.status, 0) << one.err;
    const PpmImage reference = read_ppm(dir.file("one.ppm"));
    ASSERT_TRUE(reference.ok());
    for (const char* n : {"0", "2", "5"}) {
        const ProcessResult r =
            run_glimmark({"render", "s.gmk", "-o", "many.ppm", "--threads", n}, dir);
        ASSERT_EQ(r.status, 0) << n << ": " << r.err;
        const PpmImage im = read_ppm(dir.file("many.ppm"));
        ASSERT_TRUE(im.ok()) << n;
        EXPECT_EQ(im.rgb, reference.rgb) << n;
    }
}

TEST(ThreadsOption, ACountThatIsNoNumberIsAUsageError) {
    TempFolder dir("threads_bad");
    write_text(dir.file("s.gmk"), kScene);
    for (const char* n : {"two", "-1", "3x", "", "257"}) {
        const ProcessResult r = run_glimmark({"render", "s.gmk", "-o", "x.ppm", "-j", n}, dir);
        EXPECT_EQ(r.status, 2) << "'" << n << "'";
        EXPECT_NE(r.err.find("--threads"), std::string::npos) << r.err;
    }
}

}  // namespace
