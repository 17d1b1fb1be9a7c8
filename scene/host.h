#pragma once

#include <functional>
#include <string>
#include <thread>

#include "scene/parse_error.h"
#include "scene/surface.h"

struct RenderJob;

// The private message of a run: 200 = a render thread finished a frame,
// 300 = an animation's next frame is due (after a delay the host was asked
// for), 400 = the run is over.
constexpr int WM_TRACE_DONE = 1025;  // WM_USER + 1
constexpr int TRACE_FRAME_DONE = 200;
constexpr int TRACE_NEXT_FRAME = 300;
constexpr int TRACE_RUN_OVER = 400;

using ThreadEntry = int (*)(RenderJob*);

// Everything the trace controller needs from the platform. The studio
// implements it with Qt; the headless host serves the CLI and the tests.
class Host {
  public:
    virtual ~Host() = default;

    // A modal message box with an OK button.
    virtual void message_box(const std::string& text, const std::string& caption) = 0;
    // Selects editor characters [start, end), scrolls to them, focuses the editor.
    virtual void select_editor_text(int start, int end) = 0;
    // The first error of a parse: a box captioned "Parse Error" and the word
    // selected in the editor.
    virtual void show_parse_error(const ParseError& error) {
        message_box(parse_error_text(error), "Parse Error");
        select_editor_text(error.selection_start, error.selection_end);
    }
    // Shows the trace view of a picture of this size, without taking the focus.
    virtual void show_trace_window(int width, int height) = 0;
    // The trace window's drawing surface; safe to set pixels from any thread.
    virtual Surface& trace_surface() = 0;
    // Queues WM_TRACE_DONE for the UI thread's message loop (any thread).
    virtual void post_trace_done(int wparam) = 0;
    // Delivers WM_TRACE_DONE to the handler before returning (UI thread).
    virtual void send_trace_done(int wparam) = 0;
    // Called when a run is over: the studio enables Play and Record again.
    virtual void run_finished() {}
    // An animation's next frame is due in this many milliseconds (it would
    // otherwise come before FRAMES_PER_SECOND allows). A host that shows the
    // frames as they are meant to be watched returns true and delivers
    // TRACE_NEXT_FRAME to the handler once the time has passed, without
    // blocking its message loop; false starts the frame at once.
    virtual bool delay_next_frame(int milliseconds) {
        (void)milliseconds;
        return false;
    }

    // Runs a frame's parse and returns when it is over: here on the calling
    // thread; a host that keeps its window answering runs it elsewhere.
    virtual void run_parse(const std::function<void()>& parse) { parse(); }

    // The render thread; one at a time.
    virtual void start_render_thread(ThreadEntry entry, RenderJob* job) {
        render_thread_ = std::thread([entry, job] { entry(job); });
    }
    virtual bool render_thread_running() const { return render_thread_.joinable(); }
    // Waits for the render thread to end (it posts its message as its last act).
    virtual void join_render_thread() {
        if (render_thread_.joinable()) render_thread_.join();
    }

  protected:
    std::thread render_thread_;
};
