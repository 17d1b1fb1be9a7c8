#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "cli/progress_log.h"
#include "cli/scene_source.h"
#include "glimmark/run.h"

// One run for the command line: the session is the run's window (messages
// to stderr, the picture in memory, posted messages in a queue that the run
// loop drains), and the end of every frame is handed to the caller while the
// picture is still on the canvas.
class SceneSession : public glimmark::Window {
  public:
    // Called on the loop's thread after frame `index` of `frames` is traced;
    // false stops the run (the callback has reported why).
    using FrameHandler =
        std::function<bool(int index, int frames, const glimmark::Canvas& picture)>;

    SceneSession();
    ~SceneSession() override;
    SceneSession(const SceneSession&) = delete;
    SceneSession& operator=(const SceneSession&) = delete;

    // The run, for settings made before `run` (the recording's codec, say)
    // and what it read and traced.
    glimmark::Run& cycle() { return run_; }
    const glimmark::Run& cycle() const { return run_; }

    // Parses (build false) or traces (build true) the document through the
    // run's whole cycle. Prints parse errors with the scene's line and
    // column, and returns the exit status.
    int run(const SceneSource& source, bool build, bool record, FrameHandler on_frame = {});

    // A progress line on stderr while tracing (the caller decides when).
    bool show_progress = false;
    // key=value progress records every `interval_s` seconds to `path` ("-":
    // stderr). False, with errno set, when the file cannot be opened.
    bool open_progress_log(const std::string& path, double interval_s = 1.0);
    // The log's last record, for the command's exit status; nothing when
    // no log is open or it has ended.
    void end_progress(int exit_status) { progress_log_.end(progress_end_status(exit_status)); }

    // Read by the progress line from its own thread.
    std::atomic<int> frames_done{0};
    std::atomic<int> frame_count{1};
    std::atomic<int> frame_height{0};
    std::atomic<long long> rays_done{0};
    // Frames of the range passed over without tracing (their pictures exist).
    std::atomic<int> frames_skipped{0};
    // Frames whose tracing has begun.
    std::atomic<int> frames_started{0};
    // The frames the run traces at most, the frame being traced (numbered as
    // in the whole animation), the picture's rows it traces and the threads.
    std::atomic<int> frames_in_range{1};
    std::atomic<int> current_frame{0};
    std::atomic<int> frame_rows{0};
    std::atomic<int> threads{1};

    // The window the run shows itself in.
    void message_box(const std::string& text, const std::string& caption) override;
    void select_text(int, int) override {}
    void show_picture(int width, int height) override;
    glimmark::Canvas& canvas() override { return canvas_; }
    void post_message(int message) override;
    void send_message(int message) override;
    void run_finished() override;

  private:
    // Delivers posted messages until the run is finished.
    void run_loop();
    void print_error_location(const SceneSource& source, const glimmark::Diagnostic& error) const;

    glimmark::Canvas canvas_;
    // Where each message goes (run_loop's and send_message's handler).
    std::function<void(int)> handler_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int> queue_;
    bool finished_ = false;
    bool frame_failed_ = false;
    // After the window's state, which the run still uses when it joins its
    // render thread on its way out.
    glimmark::Run run_{this};
    // Last, so gone before the run: an interrupt's last record reads it.
    ProgressLog progress_log_{*this};
};
