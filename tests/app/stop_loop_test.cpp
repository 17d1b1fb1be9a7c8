// A hundred Plays in the studio, each stopped or ended by closing the window
// at a seeded random moment, with the real render thread: every run ends,
// the trace window keeps the rows that were finished and black below them,
// and nothing is left running or allocated (the sanitizer builds see that).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "app/commands.h"
#include "app/trace_window.h"
#include "scene/render_job.h"
#include "studio_test_support.h"
#include "tests/render/watchdog.h"
#include "tests/support/stop_scene.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHeight = 96;
const std::string kScene = stop_test_scene(128, kHeight, 4);

// One studio session: its own run cycle and window, gone when it ends.
struct Session {
    glimmark::Run studio_run;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;

    Session() {
        studio_app();
        window = std::make_unique<MainWindow>(studio_run, &dialogs);
        window->show();
        window->editor()->setPlainText(QString::fromStdString(kScene));
    }
    ~Session() { window.reset(); }
    bool wait_for_run_end() {
        return QTest::qWaitFor([this] { return !studio_run.running(); }, 60000);
    }
};

// Lets `delay` go by, then handles what the studio has queued meanwhile (the
// frame's message among it, when the frame is done) or leaves it waiting.
// The events are taken once after a sleep, not in a busy loop: Qt's queue
// locks are invisible to ThreadSanitizer, which sees the hand-over from the
// render thread only through the wake-up the queue writes for a sleeping
// loop.
void pass_time(std::chrono::microseconds delay, bool events) {
    std::this_thread::sleep_for(delay);
    if (events) QCoreApplication::processEvents();
}

}  // namespace

TEST(StudioStopLoop, PlayStoppedOrClosedAtRandomMomentsEndsWithCompleteRowsAndBlackBelow) {
    QImage whole;
    std::chrono::microseconds run_length{};
    {
        Session s;
        s.window->run_command(cmd::Play);
        ASSERT_TRUE(s.wait_for_run_end());
        ASSERT_TRUE(s.dialogs.messages.empty());
        whole = s.window->trace_window()->picture();
        ASSERT_EQ(whole.size(), QSize(128, kHeight));
        // Every pixel is lit: black can only be a row the stop left out.
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x)
                ASSERT_NE(whole.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
        // The delays range over the frame: from the return of Play (the render
        // thread has been started) until the last row, the shortest of a few.
        run_length = std::chrono::hours(1);
        for (int i = 0; i < 5; ++i) {
            s.window->run_command(cmd::Play);
            const auto t0 = Clock::now();
            while (s.studio_run.rows_done() < kHeight + 2 &&
                   Clock::now() - t0 < std::chrono::seconds(60))
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            run_length =
                std::min(run_length,
                         std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0));
            ASSERT_TRUE(s.wait_for_run_end());
        }
    }

    Watchdog watchdog(std::chrono::seconds(60));
    std::mt19937 random(1337);
    std::uniform_int_distribution<long long> delay_us(0,
                                                      std::max<long long>(1, run_length.count()));
    std::uniform_int_distribution<int> pick(0, 99);
    int stopped_short = 0;
    for (int run = 0; run < 100; ++run) {
        Session s;
        const std::chrono::microseconds delay(delay_us(random));
        const int p = pick(random);
        // Stop or close; with the queued events handled first (the frame's
        // message among them when the frame is done) or left waiting; and
        // one run in ten once the frame's last row is done.
        const bool close = p % 2 == 0;
        const bool events = p < 50;
        const bool after_the_frame = p % 10 == 1;
        const std::string what =
            "run " + std::to_string(run) + ": " + (close ? "close" : "Stop") +
            (after_the_frame ? " after the frame"
                             : " after " + std::to_string(delay.count()) + " us") +
            (events ? " and the events" : "");
        watchdog.begin(what);
        s.window->run_command(cmd::Play);
        if (after_the_frame)
            while (s.studio_run.rows_done() < kHeight + 2)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        pass_time(after_the_frame ? std::chrono::microseconds(0) : delay, events);
        if (close) {
            s.window->close();
        } else {
            s.window->run_command(cmd::Stop);
            ASSERT_TRUE(s.wait_for_run_end()) << what;
        }
        watchdog.end();

        EXPECT_FALSE(s.studio_run.running()) << what;
        EXPECT_FALSE(s.window->frame_running()) << what;
        EXPECT_TRUE(s.dialogs.messages.empty()) << what;
        const int rows = s.studio_run.rows_done();
        ASSERT_GE(rows, 1) << what;
        ASSERT_LE(rows, kHeight + 2) << what;
        if (rows < kHeight + 2) ++stopped_short;
        if (after_the_frame) {
            EXPECT_EQ(rows, kHeight + 2) << what;
        }
        const QImage picture = s.window->trace_window()->picture();
        ASSERT_EQ(picture.size(), whole.size()) << what;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                ASSERT_EQ(picture.pixel(x, y), y < rows ? whole.pixel(x, y) : qRgb(0, 0, 0))
                    << what << ": pixel " << x << "," << y << " with " << rows << " rows done";
    }
    // The moments reached into the frames.
    // How many land inside a frame depends on the machine's speed and load.
    EXPECT_GT(stopped_short, 0);
}
