#include "cli/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/progress_log.h"
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
    const glimmark::Run& run = s.cycle();
    ProgressFields f;
    f.frames_total = std::max(1, s.frames_in_range.load());
    const int settled = s.frames_done.load() + s.frames_skipped.load();
    f.frame = std::min(settled, f.frames_total);
    // The loop traces two rows past a whole picture; they are not the
    // picture's.
    f.rows_total = std::max(0, s.frame_rows.load());
    const int row = s.frames_started.load() > 0 ? std::clamp(run.rows_done(), 0, f.rows_total) : 0;
    f.row = row;
    // The frame being traced counts with the rows it has done; a finished
    // one is among the frames done.
    const bool tracing = s.frames_started.load() > s.frames_done.load();
    const double part = tracing && f.rows_total > 0
                            ? static_cast<double>(row) / static_cast<double>(f.rows_total)
                            : 0.0;
    const double fraction =
        std::clamp((static_cast<double>(f.frame) + part) / f.frames_total, 0.0, 1.0);
    f.percent = 100.0 * fraction;
    f.elapsed_s = seconds;
    if (fraction > 0.0) f.eta_s = seconds * (1.0 - fraction) / fraction;
    const long long rays = s.rays_done.load() + run.rays_traced();
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

void ProgressLine::start(bool line, ProgressLog* log) {
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
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    // The line four times a second, the log's record at its own interval
    // (whether or not the line is held for other output).
    const auto line_every = std::chrono::milliseconds(250);
    const auto log_every = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(log_ != nullptr ? log_->interval_s : 1.0));
    auto next_line = started_ + line_every;
    auto next_log = started_ + log_every;
    for (;;) {
        const auto next = line_ && (log_ == nullptr || next_line < next_log) ? next_line : next_log;
        if (wake_.wait_until(lock, next, [this] { return stopping_; })) return;
        const auto now = Clock::now();
        if (line_ && now >= next_line) {
            if (!held_) print();
            next_line = now + line_every;
        }
        if (log_ != nullptr && now >= next_log) {
            log_->write_continue();
            next_log += log_every;
            if (next_log < now) next_log = now + log_every;  // a late wake
        }
    }
}

void ProgressLine::print() const {
    const SceneSession& s = session_;
    // Only the run's counters are read.
    const glimmark::Run& run = s.cycle();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const int frames = s.frame_count.load();
    const int frame = std::min(s.frames_done.load() + 1, std::max(frames, 1));
    const long long rays = s.rays_done.load() + run.rays_traced();
    const std::string text =
        progress_text(frame, frames, run.rows_done(), s.frame_height.load(), seconds, rays) +
        progress_remainder(progress_fields(s, seconds));
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
}
