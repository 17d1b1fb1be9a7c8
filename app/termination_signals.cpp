#include "app/termination_signals.h"

#include <QSocketNotifier>
#include <atomic>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int kSignals[3] = {SIGTERM, SIGHUP, SIGINT};

// The handler may only write a byte; the event loop reads it and does the
// rest. One instance at a time owns the pair.
int g_pair[2] = {-1, -1};
std::atomic<int> g_pending{0};

void on_signal(int number) {
    if (g_pending.fetch_add(1) > 0) {
        // Asked twice: the close did not come in time.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    const char byte = static_cast<char>(number);
    const ssize_t ignored = ::write(g_pair[0], &byte, 1);
    (void)ignored;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
    if (g_pair[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) return;
    ::fcntl(g_pair[0], F_SETFL, O_NONBLOCK);
    g_pending.store(0);
    notifier_ = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { deliver(); });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &old_[i]);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ == nullptr) return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &old_[i], nullptr);
    delete notifier_;
    ::close(g_pair[0]);
    ::close(g_pair[1]);
    g_pair[0] = g_pair[1] = -1;
}

void TerminationSignals::deliver() {
    char byte = 0;
    if (::read(g_pair[1], &byte, 1) != 1) return;
    if (close_) close_();
}
