#pragma once

#include <QObject>
#include <csignal>
#include <functional>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout, `kill`, Ctrl+C in the terminal that
// started the studio) close the studio the way File > Exit does, so that a
// recording is closed with its frames instead of vanishing with the process.
// A second signal while the first is being handled ends the program at once.
class TerminationSignals : public QObject {
  public:
    explicit TerminationSignals(std::function<void()> close, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    bool installed() const { return notifier_ != nullptr; }

  private:
    void deliver();

    std::function<void()> close_;
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction old_[3]{};
};
