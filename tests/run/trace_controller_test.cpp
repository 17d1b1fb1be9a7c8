#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "run/headless_host.h"
#include "run/trace_controller.h"

namespace {

// What each traced frame saw, recorded by a render thread entry of the test.
struct FrameLog {
    std::vector<float> times;
    std::vector<float> background_red;
    TraceController* controller = nullptr;
    std::atomic<bool> stop_in_frame{false};
    int stop_at = -1;
    // How long each frame takes to trace.
    int trace_ms = 0;
};
FrameLog* g_log = nullptr;

int recording_entry(RenderJob* job) {
    std::this_thread::sleep_for(std::chrono::milliseconds(g_log->trace_ms));
    g_log->times.push_back(g_log->controller->parsed().time);
    g_log->background_red.push_back(job->scene->background_color.x);
    if (static_cast<int>(g_log->times.size()) - 1 == g_log->stop_at)
        job->stop_requested.store(true);
    job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

class TraceControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.quiet = true;
        tc.host = &host;
        host.set_handler([this](int w) { tc.handle_trace_done(w); });
        log.controller = &tc;
        g_log = &log;
    }
    void TearDown() override { g_log = nullptr; }

    void run(const char* text, bool build = true) {
        tc.start(text, build, false, build ? recording_entry : nullptr);
        host.run_loop();
    }

    HeadlessHost host;
    TraceController tc;
    FrameLog log;
};

TEST_F(TraceControllerTest, ParseOnlyOfEmptyDocumentStartsNoThread) {
    run("", false);
    EXPECT_FALSE(tc.parsed().parse_error);
    EXPECT_TRUE(log.times.empty());
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(tc.running());
}

TEST_F(TraceControllerTest, SingleFrameTracesOnceAndReleasesScene) {
    run("SCENE BACKGROUND_COLOR 0.25 0 0 END_SCENE");
    ASSERT_EQ(log.times.size(), 1u);
    EXPECT_FLOAT_EQ(log.background_red[0], 0.25f);
    EXPECT_EQ(tc.parsed().scene, nullptr);
    EXPECT_TRUE(tc.parsed().material_list.empty());
    EXPECT_TRUE(tc.parsed().frame_list.empty());
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_EQ(host.trace_window_width, 320);
    EXPECT_EQ(host.trace_window_height, 240);
}

TEST_F(TraceControllerTest, EightFramesAtTheirTimesNeverReachingEnd) {
    run("ANIMATION START_TIME 1 END_TIME 3 FRAMES 8 END_ANIMATION "
        "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE");
    ASSERT_EQ(log.times.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        const float expect = 1.0f + (3.0f - 1.0f) * static_cast<float>(i) / 8.0f;
        EXPECT_FLOAT_EQ(log.times[i], expect) << i;
        // The parse of every frame, frame 0 included, saw its own time.
        EXPECT_FLOAT_EQ(log.background_red[i], expect) << i;
    }
}

TEST_F(TraceControllerTest, FrameZeroIsParsedAtStartTimeOnEveryRun) {
    const char* doc =
        "ANIMATION START_TIME 0.5 END_TIME 1 FRAMES 2 END_ANIMATION "
        "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE";
    run(doc);
    run(doc);
    ASSERT_EQ(log.background_red.size(), 4u);
    EXPECT_FLOAT_EQ(log.background_red[0], 0.5f);
    EXPECT_FLOAT_EQ(log.background_red[2], 0.5f);
    EXPECT_FLOAT_EQ(log.background_red[3], 0.75f);
}

class FrameCountTest : public TraceControllerTest, public ::testing::WithParamInterface<int> {};

TEST_P(FrameCountTest, ZeroOrNegativeFramesStillTraceOne) {
    std::string doc = "ANIMATION FRAMES " + std::to_string(GetParam()) + " END_ANIMATION";
    run(doc.c_str());
    EXPECT_EQ(log.times.size(), 1u);
    EXPECT_EQ(host.runs_finished, 1);
}
INSTANTIATE_TEST_SUITE_P(Frames, FrameCountTest, ::testing::Values(0, -3, 1));

TEST_F(TraceControllerTest, StopEndsAnAnimationAfterTheCurrentFrame) {
    log.stop_at = 2;
    run("ANIMATION FRAMES 8 END_ANIMATION");
    EXPECT_EQ(log.times.size(), 3u);
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_FALSE(tc.running());
}

TEST_F(TraceControllerTest, LaterDocumentWithoutAnimationRunsOneFrame) {
    run("ANIMATION FRAMES 3 END_ANIMATION");
    EXPECT_EQ(log.times.size(), 3u);
    run("SCENE END_SCENE");
    EXPECT_EQ(log.times.size(), 4u);
    EXPECT_EQ(host.runs_finished, 2);
}

// What a run of `doc` sees on a controller that ran `before` first (nothing
// when null): the time and background of every frame and the animation
// settings it ends with.
struct RunSeen {
    std::vector<float> times, background_red;
    bool has_animation;
    float start_time, end_time;
    int frames_per_second;
};
RunSeen run_after(const char* before, const char* doc) {
    HeadlessHost host;
    host.quiet = true;
    TraceController tc;
    tc.host = &host;
    host.set_handler([&tc](int w) { tc.handle_trace_done(w); });
    FrameLog log;
    log.controller = &tc;
    g_log = &log;
    for (const char* text : {before, doc}) {
        if (text == nullptr) continue;
        log.times.clear();
        log.background_red.clear();
        tc.start(text, true, false, recording_entry);
        host.run_loop();
    }
    g_log = nullptr;
    return {log.times,
            log.background_red,
            tc.parsed().has_animation,
            tc.parsed().start_time,
            tc.parsed().end_time,
            tc.parsed().frames_per_second};
}

TEST(TraceControllerRuns, ARunAfterAnAnimationSeesWhatAFreshControllerSees) {
    const char* animation =
        "ANIMATION START_TIME 5 END_TIME 6 FRAMES 2 FRAMES_PER_SECOND 9 END_ANIMATION "
        "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE";
    const char* later[] = {
        "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE",
        "SCENE AMBIENCE TIME BACKGROUND_COLOR ADD 1 TIME 0 0 END_SCENE",
        "ANIMATION FRAMES 2 END_ANIMATION SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE",
        animation,
    };
    for (const char* doc : later) {
        const RunSeen fresh = run_after(nullptr, doc);
        const RunSeen after = run_after(animation, doc);
        EXPECT_EQ(after.times, fresh.times) << doc;
        EXPECT_EQ(after.background_red, fresh.background_red) << doc;
        EXPECT_EQ(after.has_animation, fresh.has_animation) << doc;
        EXPECT_EQ(after.start_time, fresh.start_time) << doc;
        EXPECT_EQ(after.end_time, fresh.end_time) << doc;
        EXPECT_EQ(after.frames_per_second, fresh.frames_per_second) << doc;
    }
    // A document without ANIMATION is seen at time 0.
    EXPECT_EQ(run_after(animation, later[0]).background_red, std::vector<float>{0.0f});
}

TEST_F(TraceControllerTest, ParseErrorShowsOneBoxAndTracesNothing) {
    run("SCENE BOGUS END_SCENE");
    EXPECT_TRUE(tc.parsed().parse_error);
    EXPECT_TRUE(log.times.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Parse Error");
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_EQ(tc.parsed().scene, nullptr);
}

TEST_F(TraceControllerTest, TracerSizeReachesTheWindowAndJob) {
    run("TRACER WIDTH 64 HEIGHT 48 END_TRACER");
    EXPECT_EQ(host.trace_window_width, 64);
    EXPECT_EQ(host.trace_window_height, 48);
    EXPECT_EQ(tc.job().width, 64);
    EXPECT_EQ(tc.job().height, 48);
}

TEST_F(TraceControllerTest, RecordWithoutOutputFileTracesWithoutRecording) {
    tc.start("ANIMATION FRAMES 2 END_ANIMATION", true, true, recording_entry);
    host.run_loop();
    EXPECT_EQ(log.times.size(), 2u);
    EXPECT_FALSE(tc.record);
    EXPECT_TRUE(host.messages.empty());
}

// A host that paces the frames as the studio does: it waits as long as the
// controller asks (here by sleeping) and then delivers the next frame.
class PacingHost : public HeadlessHost {
  public:
    bool delay_next_frame(int milliseconds) override {
        delays.push_back(milliseconds);
        if (stop_while_waiting) controller->request_stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        post_trace_done(TRACE_NEXT_FRAME);
        return true;
    }
    TraceController* controller = nullptr;
    bool stop_while_waiting = false;
    std::vector<int> delays;
};

struct PacingCase {
    int fps;
    int frames;
    int trace_ms;
    bool stop_while_waiting;
    int traced;
    // The run takes at least this long; a wait is asked for before each of
    // `waits` frames, of at most one period.
    int min_ms;
    int waits;
};

class PacingTest : public ::testing::TestWithParam<PacingCase> {};

TEST_P(PacingTest, FramesStartNoSoonerThanTheirRateAllows) {
    const PacingCase& c = GetParam();
    PacingHost host;
    host.quiet = true;
    TraceController tc;
    FrameLog log;
    log.controller = &tc;
    log.trace_ms = c.trace_ms;
    g_log = &log;
    tc.host = &host;
    host.controller = &tc;
    host.stop_while_waiting = c.stop_while_waiting;
    host.set_handler([&tc](int w) { tc.handle_trace_done(w); });
    const std::string doc = "ANIMATION FRAMES " + std::to_string(c.frames) + " FRAMES_PER_SECOND " +
                            std::to_string(c.fps) + " END_ANIMATION";
    const auto started = std::chrono::steady_clock::now();
    tc.start(doc.c_str(), true, false, recording_entry);
    host.run_loop();
    const auto ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    g_log = nullptr;
    EXPECT_EQ(static_cast<int>(log.times.size()), c.traced);
    EXPECT_GE(ms, c.min_ms);
    EXPECT_EQ(static_cast<int>(host.delays.size()), c.waits);
    for (int d : host.delays) {
        EXPECT_GT(d, 0);
        EXPECT_LE(d, 1000 / c.fps + 1);
    }
    EXPECT_EQ(host.runs_finished, 1);
    EXPECT_FALSE(tc.running());
}

INSTANTIATE_TEST_SUITE_P(Rates, PacingTest,
                         ::testing::Values(
                             // Quick frames wait for their turn: 3 periods of 50 ms at least.
                             PacingCase{20, 4, 0, false, 4, 150, 3},
                             // Frames slower than the rate follow each other without a wait.
                             PacingCase{20, 3, 80, false, 3, 240, 0},
                             // A stop during the wait ends the run before the next frame.
                             PacingCase{10, 5, 0, true, 1, 0, 1}));

}  // namespace
