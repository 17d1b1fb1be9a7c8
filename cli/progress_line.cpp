#include "cli/progress_line.h"

#include <algorithm>
#include <cstdio>

#include "cli/scene_session.h"

std::string progress_text(int frame, int frames, int rows, int height, double seconds,
                          long long rays) {
    char buffer[160];
    std::string text;
    if (frames > 1) {
        std::snprintf(buffer, sizeof buffer, "frame %d/%d  ", frame, frames);
        text += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "row %d/%d  %.1f s", std::clamp(rows, 0, height), height,
                  seconds);
    text += buffer;
    if (seconds > 0.0) {
        const double rate = static_cast<double>(rays) / seconds;
        if (rate >= 1e6)
            std::snprintf(buffer, sizeof buffer, "  %.2f M rays/s", rate / 1e6);
        else
            std::snprintf(buffer, sizeof buffer, "  %.0f rays/s", rate);
        text += buffer;
    }
    return text;
}

void ProgressLine::start() {
    started_ = std::chrono::steady_clock::now();
    stopping_ = false;
    thread_ = std::thread([this] { loop(); });
}

void ProgressLine::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::hold() {
    if (!thread_.joinable()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
}

void ProgressLine::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; }))
        if (!held_) print();
}

void ProgressLine::print() const {
    const SceneSession& s = session_;
    // The job is the controller's embedded one; only its counters are read.
    const RenderJob& job = s.controller().job;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const int frames = s.frame_count.load();
    const int frame = std::min(s.frames_done.load() + 1, std::max(frames, 1));
    const long long rays = s.rays_done.load() + job.rays_traced.load();
    const std::string text =
        progress_text(frame, frames, job.rows_done.load(), s.frame_height.load(), seconds, rays);
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
}
