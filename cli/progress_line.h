#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class SceneSession;

// "frame 2/8  row 120/240  3.4 s  1.25 M rays/s": the frame part only for an
// animation; rays are primary rays, the rate over the whole run so far.
std::string progress_text(int frame, int frames, int rows, int height, double seconds,
                          long long rays);

// Rewrites one line on stderr four times a second while a run traces.
class ProgressLine {
  public:
    explicit ProgressLine(const SceneSession& session) : session_(session) {}
    ~ProgressLine() { stop(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void start();
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
};
