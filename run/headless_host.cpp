#include "run/headless_host.h"

#include <cstdio>

void HeadlessHost::message_box(const std::string& text, const std::string& caption) {
    messages.push_back({text, caption});
    if (!quiet) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void HeadlessHost::select_editor_text(int start, int end) {
    selection_start = start;
    selection_end = end;
}

void HeadlessHost::show_trace_window(int width, int height) {
    trace_window_width = width;
    trace_window_height = height;
    if (surface_.width() != width || surface_.height() != height) surface_.resize(width, height);
}

void HeadlessHost::post_trace_done(int wparam) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(wparam);
    }
    ready_.notify_one();
}

void HeadlessHost::send_trace_done(int wparam) {
    if (handler_) handler_(wparam);
}

void HeadlessHost::run_finished() {
    ++runs_finished;
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
}

void HeadlessHost::run_loop() {
    for (;;) {
        int wparam = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (finished_ && queue_.empty()) {
                finished_ = false;
                return;
            }
            ready_.wait(lock, [this] { return !queue_.empty() || finished_; });
            if (queue_.empty()) continue;
            wparam = queue_.front();
            queue_.pop_front();
        }
        if (handler_) handler_(wparam);
    }
}
