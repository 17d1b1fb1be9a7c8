#include <gtest/gtest.h>

#include <string>

#include "run/headless_host.h"
#include "run/trace_controller.h"

namespace {

int frames_traced = 0;

int counting_entry(RenderJob* job) {
    ++frames_traced;
    job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

struct SizeCase {
    const char* tracer;
    const char* message;  // empty: the frame is traced
};

class ImageSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ImageSizeTest, UntraceableSizesEndTheRunWithOneMessage) {
    HeadlessHost host;
    host.quiet = true;
    TraceController tc;
    tc.host = &host;
    host.set_handler([&](int w) { tc.handle_trace_done(w); });
    frames_traced = 0;
    const std::string text = std::string(GetParam().tracer) + " SCENE END_SCENE";
    tc.start(text.c_str(), true, false, counting_entry);
    host.run_loop();

    const std::string want = GetParam().message;
    EXPECT_FALSE(tc.parsed().parse_error);
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_FALSE(tc.running());
    EXPECT_EQ(tc.parsed().scene, nullptr);
    if (want.empty()) {
        EXPECT_EQ(frames_traced, 1);
        EXPECT_TRUE(tc.run_error.empty());
        EXPECT_TRUE(host.messages.empty());
    } else {
        EXPECT_EQ(frames_traced, 0);
        EXPECT_EQ(tc.run_error, want);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].caption, "Glimmark Error");
        EXPECT_EQ(host.messages[0].text, want);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageSizeTest,
    ::testing::Values(
        SizeCase{"TRACER WIDTH 0 END_TRACER",
                 "Image size 0 x 240 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{"TRACER HEIGHT -5 END_TRACER",
                 "Image size 320 x -5 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{"TRACER WIDTH 16385 HEIGHT 2 END_TRACER",
                 "Image size 16385 x 2 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{
            "TRACER WIDTH 2 HEIGHT 2147483647 END_TRACER",
            "Image size 2 x 2147483647 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{"TRACER WIDTH 16384 HEIGHT 1 END_TRACER", ""},
        SizeCase{"TRACER WIDTH 1 HEIGHT 1 END_TRACER", ""}));

TEST(ImageSize, AStartAfterARefusedSizeTracesAgain) {
    HeadlessHost host;
    host.quiet = true;
    TraceController tc;
    tc.host = &host;
    host.set_handler([&](int w) { tc.handle_trace_done(w); });
    frames_traced = 0;
    tc.start("TRACER WIDTH 0 END_TRACER", true, false, counting_entry);
    host.run_loop();
    tc.start("TRACER WIDTH 8 HEIGHT 8 END_TRACER", true, false, counting_entry);
    host.run_loop();
    EXPECT_EQ(frames_traced, 1);
    EXPECT_TRUE(tc.run_error.empty());
    EXPECT_EQ(host.trace_window_width, 8);
}

}  // namespace
