#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "language/parse_entry.h"
#include "record/video_recorder.h"
#include "scene/host.h"

// What the front end wants done with a parsed frame before it is traced.
enum class FrameChoice {
    Trace,
    // Parsed, not traced (its picture exists already); the run goes on.
    Skip,
    // The run ends here without tracing; the front end has said why.
    Stop,
};

// Turns the editor's text into traced pictures: parses, runs one render thread
// per frame and closes the cycle when the frame-done message comes back.
struct TraceController {
    TraceController();
    ~TraceController();
    TraceController(const TraceController&) = delete;
    TraceController& operator=(const TraceController&) = delete;

    // Message boxes, the editor selection, the trace window and the render
    // thread go here.
    Host* host = nullptr;
    // Folder of the scene file, for relative INCLUDE FILE and TEXTURE_FILE
    // names; empty for text that has no file.
    std::string source_folder;

    ThreadEntry thread_entry = nullptr;
    bool record = false;
    int frame_index = 0;
    VideoRecorder recorder;
    // When set, a recording goes to this file instead of OUTPUT_FILE (the
    // command line's -o); a relative name is relative to the current folder.
    std::string record_file;
    // Asked for the recording's format and quality before its file is opened,
    // starting from those the file name selects (the studio's dialog); false
    // when the user cancels: nothing is recorded and nothing is said. None:
    // recorded as selected.
    std::function<bool(VideoFormat& format, int& quality)> choose_compression;
    // What went wrong with this run's recording, in order, each shown once
    // through the host as it happened. Cleared by start.
    RecordingErrors recording_errors;
    // Traces only frames first_frame to last_frame of an animation (last -1:
    // to its end); the frames before are parsed without being traced.
    int first_frame = 0;
    int last_frame = -1;
    TracerOverrides overrides;
    // Asked for every frame of the range once it is parsed, before it is
    // traced; none: every frame is traced.
    std::function<FrameChoice(const TraceController&)> before_frame;
    // When set (the studio), Record of a scene that gives nowhere to record
    // (no ANIMATION, or no OUTPUT_FILE and no record_file) ends after the
    // parse with run_error and traces nothing. Otherwise such a run traces
    // its frames without recording them.
    bool refuse_empty_recording = false;
    // Stop ends a parse under way as well (parsed().parse_stopped).
    bool stoppable_parse = false;
    // True while host->run_parse runs a parse.
    std::atomic<bool> parsing{false};
    // Why the last run ended without tracing although its parse succeeded
    // (an image size that cannot be traced); empty otherwise. Cleared by start.
    std::string run_error;

    // What the last parse built and read: the scene, the TRACER and ANIMATION
    // blocks' values (overrides applied), the TIME of the frame and the first
    // error. It stays until the next parse or the end of the frame. Before a
    // run a front end may lower its limits.
    const ParseContext& parsed() const { return parse_; }
    ParseContext& parsed() { return parse_; }
    // The job of the frame: before a run the front end sets its host choices
    // (threads, search, band of rows); while a frame is traced its progress
    // is read from it.
    RenderJob& job() { return parse_.job; }
    const RenderJob& job() const { return parse_.job; }

    void start(const char* source_text, bool build_scene, bool record, ThreadEntry thread_entry);
    void begin_frame();
    // Steps 1 to 3 of a frame: a fresh scene and job, and the parse; a parse
    // error is shown through the host.
    void parse_frame();
    void next_frame();
    void release_scene() { parse_.release_scene(); }
    void destroy();
    // The main window's handler of WM_TRACE_DONE; both hosts call it.
    void handle_trace_done(int wparam);
    // True while a render thread runs or a run is under way.
    bool running() const { return run_active_; }
    // The Stop command.
    void request_stop() { parse_.job.stop_requested.store(true); }

  private:
    // Whether the frame parsed now is the last one the run may trace.
    bool last_of_run() const;
    // Begins the frame frame_index, or asks the host to wait until the
    // animation's pace allows it.
    void begin_paced_frame();
    // Why Record has nothing to write this run (refuse_empty_recording);
    // empty when it has.
    std::string recording_problem() const;
    // Offers the format, lets choose_compression change it and opens the
    // recording; false when nothing is recorded.
    bool open_recording(const std::string& file);
    // Shows the recorder's new records through the host and keeps them.
    void show_recording_errors();
    // Sends (or, without a host, handles) the message that the run is over.
    void end_run();
    // What the parse of the frame frame_index is told beside the text.
    ParseSettings frame_settings() const;

    ParseContext parse_;
    const char* source_text_ = nullptr;
    bool run_active_ = false;
    // When the render thread of the last frame was started.
    std::chrono::steady_clock::time_point frame_started_;
};
