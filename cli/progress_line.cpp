#include "cli/progress_line.h"

#include <algorithm>
#include <cmath>
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

ProgressFields progress_fields(const SceneSession& s, double seconds) {
    const RenderJob& job = s.controller().job;
    ProgressFields f;
    f.frame = s.current_frame.load();
    const int rows = std::max(1, s.frame_rows.load());
    const int row = std::clamp(job.rows_done.load(), 0, rows);
    f.row = row;
    const double frames = std::max(1, s.frames_in_range.load());
    const double done = s.frames_done.load() + s.frames_skipped.load() +
                        static_cast<double>(row) / static_cast<double>(rows);
    const double fraction = std::clamp(done / frames, 0.0, 1.0);
    f.percent = 100.0 * fraction;
    f.elapsed_s = seconds;
    if (fraction > 0.0) f.eta_s = seconds * (1.0 - fraction) / fraction;
    const long long rays = s.rays_done.load() + job.rays_traced.load();
    if (seconds > 0.0) f.rays_per_s = static_cast<double>(rays) / seconds;
    f.threads = s.threads.load();
    return f;
}

std::string progress_remainder(const ProgressFields& f) {
    char buffer[96];
    if (f.eta_s < 0.0)
        std::snprintf(buffer, sizeof buffer, "  %.0f%%", std::floor(f.percent));
    else
        std::snprintf(buffer, sizeof buffer, "  %.0f%%  %.0f s left", std::floor(f.percent),
                      std::ceil(f.eta_s));
    return buffer;
}

std::string progress_record(const ProgressFields& f, bool end) {
    char buffer[512];
    char eta[32] = "N/A";
    if (f.eta_s >= 0.0) std::snprintf(eta, sizeof eta, "%.1f", f.eta_s);
    std::snprintf(buffer, sizeof buffer,
                  "frame=%d\nrow=%d\npercent=%.1f\nelapsed_s=%.1f\neta_s=%s\nrays_per_s=%.0f\n"
                  "threads=%d\nprogress=%s\n",
                  f.frame, f.row, f.percent, f.elapsed_s, eta, f.rays_per_s, f.threads,
                  end ? "end" : "continue");
    return buffer;
}

void ProgressLine::start(bool line, std::FILE* log) {
    line_ = line;
    log_ = log;
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
    // A run that traced nothing has no progress to report.
    if (log_ != nullptr && session_.frames_started.load() > 0) log(true);
    if (!line_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::hold() {
    if (!thread_.joinable()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
    if (!line_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
}

void ProgressLine::loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    // Four ticks to the second: the line on each, the log's record on every
    // fourth (whether or not the line is held for other output).
    for (int tick = 1;
         !wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; });
         ++tick) {
        if (line_ && !held_) print();
        if (log_ != nullptr && tick % 4 == 0) log(false);
    }
}

void ProgressLine::log(bool end) const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::fputs(progress_record(progress_fields(session_, seconds), end).c_str(), log_);
    std::fflush(log_);
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
        progress_text(frame, frames, job.rows_done.load(), s.frame_height.load(), seconds, rays) +
        progress_remainder(progress_fields(s, seconds));
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
}
