#include "cli/interrupts.h"

#include <sys/syscall.h>
#include <unistd.h>

#include "glimmark/output_files.h"

namespace {

constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

// The handler may run on any of the program's threads: atomics, and lock-free
// ones, so that it may touch them at all.
std::atomic<std::atomic<bool>*> g_stop{nullptr};
std::atomic<bool> g_interrupted{false};

static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop flag");
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free, "and reads where it is");

std::atomic<void (*)(int)> g_last_words{nullptr};

[[noreturn]] void end_now(int signal_number) {
    if (void (*last_words)(int) = g_last_words.load()) last_words(signal_number);
    glimmark::remove_pending_files();
#ifdef SYS_exit_group
    // Straight to the kernel: nothing of the program runs after an interrupt,
    // not even a sanitizer's report on the threads it had no time to join.
    ::syscall(SYS_exit_group, 128 + signal_number);
#endif
    ::_exit(128 + signal_number);
}

void on_interrupt_end(int signal_number) { end_now(signal_number); }

void on_interrupt_stop(int signal_number) {
    if (g_interrupted.exchange(true)) end_now(signal_number);
    if (std::atomic<bool>* stop = g_stop.load()) stop->store(true);
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

void set_interrupt_last_words(void (*last_words)(int)) { g_last_words.store(last_words); }

InterruptEndsProgram::InterruptEndsProgram() { install(on_interrupt_end, old_); }

InterruptEndsProgram::~InterruptEndsProgram() { restore(old_); }

InterruptStopsRun::InterruptStopsRun(std::atomic<bool>& stop) {
    g_interrupted.store(false);
    g_stop.store(&stop);
    install(on_interrupt_stop, old_);
}

InterruptStopsRun::~InterruptStopsRun() {
    restore(old_);
    g_stop.store(nullptr);
}

bool InterruptStopsRun::interrupted() { return g_interrupted.load(); }
