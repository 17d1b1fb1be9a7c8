#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

struct ProgressFields;
class SceneSession;

// One record of key=value lines in the manner of ffmpeg's -progress: frame
// (frames done), frames_total, row (rows of the frame done), rows_total,
// percent, elapsed_s, eta_s, rays_per_s and threads, then progress=continue;
// the last one has status=done, interrupted or error before progress=end.
// Written into `out` without allocating (an interrupt writes one from its
// signal handler); returns its length, cut short only by a small `size`.
size_t format_progress_record(const ProgressFields& f, const char* end_status, char* out,
                              size_t size);
// The same as a string; `end_status` null for a record that is not the last.
std::string progress_record(const ProgressFields& f, const char* end_status = nullptr);

// The status of the last record for a command's exit status: done (0),
// interrupted (128 and above), error.
const char* progress_end_status(int exit_status);

// The --progress records of a run, to a file or standard error. Every run
// that opened it ends it with a last record, whichever way it ends: the
// command with its exit status, an interrupt that ends the program from its
// signal handler.
class ProgressLog {
  public:
    explicit ProgressLog(const SceneSession& session) : session_(session) {}
    ~ProgressLog();
    ProgressLog(const ProgressLog&) = delete;
    ProgressLog& operator=(const ProgressLog&) = delete;

    // "-" is standard error. False, with errno set, when the file cannot be
    // opened for writing.
    bool open(const std::string& path);
    bool is_open() const { return fd_ >= 0; }
    // Seconds between records while the run traces.
    double interval_s = 1.0;

    // Elapsed time counts from here.
    void start_clock();
    // A record with progress=continue.
    void write_continue() const;
    // The last record, once; later calls write nothing.
    void end(const char* status);

  private:
    void write_record(const char* end_status) const;
    static void end_on_interrupt(int signal_number);

    const SceneSession& session_;
    int fd_ = -1;
    bool own_fd_ = false;
    std::atomic<long long> started_ns_{0};
    std::atomic<bool> ended_{false};
};
