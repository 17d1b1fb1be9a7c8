#pragma once

#include "language/parse_context.h"
#include "record/video_recorder.h"
#include "scene/host.h"

// Turns the editor's text into traced pictures: parses, runs one render thread
// per frame and closes the cycle when the frame-done message comes back.
struct TraceController : ParseContext {
    TraceController();
    ~TraceController();

    ThreadEntry thread_entry = nullptr;
    bool record = false;
    int frame_index = 0;
    VideoRecorder recorder;
    // When set, a recording goes to this file instead of OUTPUT_FILE (the
    // command line's -o); a relative name is relative to the current folder.
    std::string record_file;
    // Traces only frames first_frame to last_frame of an animation (last -1:
    // to its end); the frames before are parsed without being traced.
    int first_frame = 0;
    int last_frame = -1;
    // Why the last run ended without tracing although its parse succeeded
    // (an image size that cannot be traced); empty otherwise. Cleared by start.
    std::string run_error;

    void start(const char* source_text, bool build_scene, bool record, ThreadEntry thread_entry);
    void begin_frame();
    // Steps 1 to 3 of a frame: a fresh scene and job, and the parse.
    void parse_frame();
    // One building or check-only parse of the whole text, from fresh state.
    void parse_once();
    void next_frame();
    void release_scene();
    void destroy();
    // The main window's handler of WM_TRACE_DONE; both hosts call it.
    void handle_trace_done(int wparam);
    // True while a render thread runs or a run is under way.
    bool running() const { return run_active_; }
    // The Stop command.
    void request_stop() { job.stop_requested.store(true); }

  private:
    // Sends (or, without a host, handles) the message that the run is over.
    void end_run();
    // The scene with its shapes and lights; the job no longer points at it.
    void delete_scene();

    bool run_active_ = false;
};
