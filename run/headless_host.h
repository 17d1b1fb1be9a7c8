#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "scene/host.h"

// The host of the tests: messages to stderr (and kept), the trace
// window as an in-memory picture, posted messages in a queue that run_loop
// drains as a message loop.
class HeadlessHost : public Host {
  public:
    struct Message {
        std::string text;
        std::string caption;
    };

    void message_box(const std::string& text, const std::string& caption) override;
    void select_editor_text(int start, int end) override;
    void show_trace_window(int width, int height) override;
    Surface& trace_surface() override { return surface_; }
    void post_trace_done(int wparam) override;
    void send_trace_done(int wparam) override;
    void run_finished() override;

    // The handler each WM_TRACE_DONE goes to (normally the controller's).
    void set_handler(std::function<void(int)> handler) { handler_ = std::move(handler); }
    // Delivers posted messages until a run is finished.
    void run_loop();

    bool quiet = false;
    std::vector<Message> messages;
    int selection_start = -1;
    int selection_end = -1;
    int trace_window_width = 0;
    int trace_window_height = 0;
    int runs_finished = 0;

  private:
    Surface surface_;
    std::function<void(int)> handler_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int> queue_;
    bool finished_ = false;
};
