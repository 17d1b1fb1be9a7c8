#pragma once

#include <atomic>
#include <csignal>

// What SIGINT, SIGTERM and SIGHUP do while a command traces. Either way the
// hidden temporaries the process holds (glimmark/output_files.h) are removed
// before it ends early: only complete files ever take a final name.

// What an interrupt that ends the program does first, from the signal
// handler (so only what is async-signal-safe): the progress log's last
// record. None when null.
void set_interrupt_last_words(void (*last_words)(int signal_number));

// render: an interrupted picture is not saved. The program ends at once with
// status 128 + the signal's number (130 for Ctrl-C); the pictures saved
// before stay.
class InterruptEndsProgram {
  public:
    InterruptEndsProgram();
    ~InterruptEndsProgram();
    InterruptEndsProgram(const InterruptEndsProgram&) = delete;
    InterruptEndsProgram& operator=(const InterruptEndsProgram&) = delete;

  private:
    struct sigaction old_[3]{};
};

// record: the first interrupt stops the run the way the Stop command does
// (the frame being traced ends, is written, and the file is saved); a second
// ends the program at once like an interrupted render.
class InterruptStopsRun {
  public:
    explicit InterruptStopsRun(std::atomic<bool>& stop);
    ~InterruptStopsRun();
    InterruptStopsRun(const InterruptStopsRun&) = delete;
    InterruptStopsRun& operator=(const InterruptStopsRun&) = delete;

    // Whether an interrupt came since the last InterruptStopsRun began.
    static bool interrupted();

  private:
    struct sigaction old_[3]{};
};
