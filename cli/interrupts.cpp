#include "cli/interrupts.h"

#include <unistd.h>

#include "record/pending_files.h"

namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<bool>* g_stop = nullptr;
volatile std::sig_atomic_t g_interrupted = 0;

static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop flag");

[[noreturn]] void end_now(int signal_number) {
    remove_pending_files();
    ::_exit(128 + signal_number);
}

void on_interrupt_end(int signal_number) { end_now(signal_number); }

void on_interrupt_stop(int signal_number) {
    if (g_interrupted) end_now(signal_number);
    g_interrupted = 1;
    if (g_stop != nullptr) g_stop->store(true);
}

void install(void (*handler)(int), struct sigaction (&old)[3]) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // One handler at a time: a second signal waits for the first to be seen.
    for (int s : kSignals)
        sigaddset(&sa.sa_mask, s);
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &sa, &old[i]);
}

void restore(const struct sigaction (&old)[3]) {
    for (int i = 0; i < 3; ++i)
        sigaction(kSignals[i], &old[i], nullptr);
}

}  // namespace

InterruptEndsProgram::InterruptEndsProgram() { install(on_interrupt_end, old_); }

InterruptEndsProgram::~InterruptEndsProgram() { restore(old_); }

InterruptStopsRun::InterruptStopsRun(std::atomic<bool>& stop) {
    g_interrupted = 0;
    g_stop = &stop;
    install(on_interrupt_stop, old_);
}

InterruptStopsRun::~InterruptStopsRun() {
    restore(old_);
    g_stop = nullptr;
}

bool InterruptStopsRun::interrupted() { return g_interrupted != 0; }
