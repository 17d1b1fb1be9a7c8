// A thousand stops at seeded random moments of a traced frame, through the
// controller, the headless host and the real render thread as the command
// line runs them: before the run, while the render thread starts, during the
// frame and after it. Every run must end, keep the rows it finished and
// leave the rest black; the sanitizer builds see the threads and the memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "render/pixel_loop.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"
#include "tests/support/stop_scene.h"
#include "watchdog.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Adaptive antialiasing, or none, where rows are drawn as they are traced.
std::string scene_with(int antialiasing) { return stop_test_scene(kWidth, kHeight, antialiasing); }

enum class StopAt {
    BeforeStart,      // a stale request: the job builder clears it
    RightAfterStart,  // the render thread may not have begun its frame
    During,           // from another thread after a random delay
    AfterTheEnd,      // the run is over: nothing changes
};

const char* name_of(StopAt s) {
    switch (s) {
        case StopAt::BeforeStart:
            return "before start";
        case StopAt::RightAfterStart:
            return "right after start";
        case StopAt::During:
            return "during";
        case StopAt::AfterTheEnd:
            return "after the end";
    }
    return "?";
}

struct Outcome {
    int frames = 0;
    int rows_done = -1;
    std::vector<uint32_t> picture;
    std::vector<std::string> messages;
    bool still_running = true;
};

// One run of the command line's frame cycle: the handler joins the render
// thread, takes the finished picture and hands the message to the controller.
Outcome run_once(StopAt when, std::chrono::microseconds delay, int threads, int antialiasing) {
    Outcome out;
    // The host outlives the controller, whose destruction joins its thread.
    HeadlessHost host;
    host.quiet = true;
    {
        TraceController tc;
        tc.host = &host;
        tc.job().threads = threads;
        host.set_handler([&](int wparam) {
            if (wparam == TRACE_FRAME_DONE) {
                host.join_render_thread();
                ++out.frames;
                out.rows_done = tc.job().rows_done.load();
                out.picture = host.trace_surface().snapshot();
            }
            tc.handle_trace_done(wparam);
        });
        std::thread stopper;
        if (when == StopAt::BeforeStart) tc.request_stop();
        if (when == StopAt::During)
            stopper = std::thread([&tc, delay] {
                std::this_thread::sleep_for(delay);
                tc.request_stop();
            });
        const std::string scene = scene_with(antialiasing);
        tc.start(scene.c_str(), true, false, render_thread_main);
        if (when == StopAt::RightAfterStart) tc.request_stop();
        host.run_loop();
        if (stopper.joinable()) stopper.join();
        if (when == StopAt::AfterTheEnd) tc.request_stop();
        out.still_running = tc.running();
        for (const auto& m : host.messages)
            out.messages.push_back(m.caption + ": " + m.text);
    }
    return out;
}

// Rows [0, rows) as the whole frame has them, every row below black.
void expect_stop_rule(const Outcome& o, const std::vector<uint32_t>& whole,
                      const std::string& what) {
    ASSERT_EQ(o.picture.size(), whole.size()) << what;
    const int complete = std::min(o.rows_done, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const size_t i = static_cast<size_t>(y) * kWidth + x;
            if (y < complete)
                ASSERT_EQ(o.picture[i], whole[i]) << what << ": pixel " << x << "," << y;
            else
                ASSERT_EQ(o.picture[i], 0u) << what << ": pixel " << x << "," << y;
        }
}

TEST(RenderStopLoop, AThousandStopsAtRandomMomentsEachEndWithCompleteRowsAndBlackBelow) {
    // Every pixel of the whole frame is lit, so a black row can only be one
    // the stop left untraced.
    Outcome wholes[2];
    for (int aa = 0; aa < 2; ++aa) {
        const Outcome& whole = wholes[aa] = run_once(StopAt::AfterTheEnd, {}, 1, 4 * aa);
        ASSERT_EQ(whole.frames, 1);
        ASSERT_TRUE(whole.messages.empty()) << whole.messages.front();
        ASSERT_EQ(whole.rows_done, kHeight + 2);
        ASSERT_EQ(whole.picture.size(), static_cast<size_t>(kWidth * kHeight));
        ASSERT_EQ(std::count(whole.picture.begin(), whole.picture.end(), 0u), 0);
        // The same picture on every core count.
        ASSERT_EQ(run_once(StopAt::AfterTheEnd, {}, 0, 4 * aa).picture, whole.picture);
    }

    // The length of one run sets the range of the delays: some land before
    // the first row, most within the frame, some after its end.
    const auto t0 = Clock::now();
    for (int i = 0; i < 5; ++i)
        run_once(StopAt::AfterTheEnd, {}, 0, 4);
    const auto run_length =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0) / 5;
    std::uniform_int_distribution<long long> delay_us(0,
                                                      std::max<long long>(1, run_length.count()));

    Watchdog watchdog(std::chrono::seconds(60));
    std::mt19937 random(424242);
    std::uniform_int_distribution<int> pick(0, 99);
    int stopped_short = 0, whole_frames = 0;
    for (int run = 0; run < 1000; ++run) {
        const int p = pick(random);
        const StopAt when = p < 5    ? StopAt::BeforeStart
                            : p < 10 ? StopAt::RightAfterStart
                            : p < 95 ? StopAt::During
                                     : StopAt::AfterTheEnd;
        const std::chrono::microseconds delay(delay_us(random));
        // The plain loop of -j 1 and the parallel loop of the default, with
        // and without antialiasing.
        const int threads = run % 2 == 0 ? 0 : 1;
        const int aa = run / 2 % 2;
        const std::string what = "run " + std::to_string(run) + ", stop " + name_of(when) + " (" +
                                 std::to_string(delay.count()) + " us), threads " +
                                 std::to_string(threads) + ", antialiasing " +
                                 std::to_string(4 * aa);
        watchdog.begin(what);
        const Outcome o = run_once(when, delay, threads, 4 * aa);
        watchdog.end();

        ASSERT_FALSE(o.still_running) << what;
        ASSERT_EQ(o.frames, 1) << what;
        ASSERT_TRUE(o.messages.empty()) << what << ": " << o.messages.front();
        // A stop is seen after a row, never before the first.
        ASSERT_GE(o.rows_done, 1) << what;
        ASSERT_LE(o.rows_done, kHeight + 2) << what;
        if (when == StopAt::BeforeStart || when == StopAt::AfterTheEnd) {
            ASSERT_EQ(o.rows_done, kHeight + 2) << what;
        }
        expect_stop_rule(o, wholes[aa].picture, what);
        if (HasFatalFailure()) return;
        if (o.rows_done < kHeight) ++stopped_short;
        if (o.rows_done == kHeight + 2) ++whole_frames;
    }
    // The moments reached into the frames and past them. How many land where
    // depends on the machine's speed and load, so only their presence is
    // required.
    EXPECT_GT(stopped_short, 0);
    EXPECT_GT(whole_frames, 0);
}

}  // namespace
