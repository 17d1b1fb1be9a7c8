#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "cli/progress_log.h"
#include "cli/scene_source.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"

// One run of the trace controller for the command line: the headless host as
// the main window, its queue as the message loop, and the end of every frame
// handed to the caller while the picture is still on the surface.
class SceneSession {
  public:
    // Called on the loop's thread after frame `index` of `frames` is traced;
    // false stops the run (the callback has reported why).
    using FrameHandler = std::function<bool(int index, int frames, const Surface& picture)>;

    SceneSession();
    ~SceneSession();
    SceneSession(const SceneSession&) = delete;
    SceneSession& operator=(const SceneSession&) = delete;

    // The controller, for settings made before run (the AVI codec, say).
    TraceController& controller() { return controller_; }
    const TraceController& controller() const { return controller_; }
    HeadlessHost& host() { return host_; }

    // Parses (build false) or traces (build true) the document through the
    // controller's whole cycle. Prints parse errors with the scene's line and
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

  private:
    void print_error_location(const SceneSource& source, const ParseError& error) const;

    // Declared before the controller, which joins the host's thread when it
    // is destroyed.
    HeadlessHost host_;
    TraceController controller_;
    bool frame_failed_ = false;
    ProgressLog progress_log_{*this};
};
