#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class ProgressLog;
class SceneSession;

// "frame 2/8  row 120/240  3.4 s  1.25 M rays/s": the frame part only for an
// animation; rays are primary rays, the rate over the whole run so far.
std::string progress_text(int frame, int frames, int rows, int height, double seconds,
                          long long rays);

// Where a run stands, for people and for logs.
struct ProgressFields {
    int frame = 0;         // frames of the run done (traced, or skipped by -n)
    int frames_total = 1;  // frames the run traces at most
    int row = 0;           // rows of the frame being traced (or the last) done
    int rows_total = 0;    // rows each frame traces: its height, or the band's
    double percent = 0.0;
    double elapsed_s = 0.0;
    double eta_s = -1.0;  // unknown until something is traced
    double rays_per_s = 0.0;
    int threads = 1;
};

ProgressFields progress_fields(const SceneSession& session, double seconds);

// "  37%  12 s left": percent and time left for the line on a terminal.
std::string progress_remainder(const ProgressFields& f);

// Rewrites one line on stderr four times a second while a run traces, and
// writes a progress record to a log every interval of the log.
class ProgressLine {
  public:
    explicit ProgressLine(const SceneSession& session) : session_(session) {}
    ~ProgressLine() { stop(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void start(bool line, ProgressLog* log);
    // Ends the thread and clears the line.
    void stop();
    // Clears the line and stops updating it, so that other output starts at
    // the left margin, until resume.
    void hold();
    void resume();

  private:
    void loop();
    void print() const;

    const SceneSession& session_;
    std::chrono::steady_clock::time_point started_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool held_ = false;
    bool line_ = false;
    ProgressLog* log_ = nullptr;
};
