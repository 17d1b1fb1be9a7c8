#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>

#include "app/termination_signals.h"
#include "studio_test_support.h"

namespace {

// Runs the event loop until `done` or two seconds have gone.
template <typename Done>
bool wait_for(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(TerminationSignals, EachSignalClosesThroughTheEventLoop) {
    studio_app();
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        int closes = 0;
        {
            TerminationSignals guard([&closes] { ++closes; });
            ASSERT_TRUE(guard.installed());
            // Only a byte is written in the handler; the close comes later.
            std::raise(number);
            EXPECT_EQ(closes, 0);
            EXPECT_TRUE(wait_for([&closes] { return closes == 1; })) << number;
        }
        // Afterwards the signal is handled as before again.
        struct sigaction now {};
        ::sigaction(number, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << number;
    }
}

TEST(TerminationSignals, OneOwnerAtATime) {
    studio_app();
    TerminationSignals first([] {});
    TerminationSignals second([] {});
    EXPECT_TRUE(first.installed());
    EXPECT_FALSE(second.installed());
}

}  // namespace
