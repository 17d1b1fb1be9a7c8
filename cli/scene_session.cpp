#include "cli/scene_session.h"

#include <algorithm>
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/progress_line.h"

SceneSession::SceneSession() = default;

SceneSession::~SceneSession() = default;

bool SceneSession::open_progress_log(const std::string& path, double interval_s) {
    progress_log_.interval_s = interval_s;
    return progress_log_.open(path);
}

void SceneSession::message_box(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void SceneSession::show_picture(int width, int height) {
    if (canvas_.width() != width || canvas_.height() != height) canvas_.resize(width, height);
}

void SceneSession::post_message(int message) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(message);
    }
    ready_.notify_one();
}

void SceneSession::send_message(int message) {
    if (handler_) handler_(message);
}

void SceneSession::run_finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
}

void SceneSession::run_loop() {
    for (;;) {
        int message = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (finished_ && queue_.empty()) {
                finished_ = false;
                return;
            }
            ready_.wait(lock, [this] { return !queue_.empty() || finished_; });
            if (queue_.empty()) continue;
            message = queue_.front();
            queue_.pop_front();
        }
        if (handler_) handler_(message);
    }
}

int SceneSession::run(const SceneSource& source, bool build, bool record, FrameHandler on_frame) {
    frame_failed_ = false;
    glimmark::RunOptions& options = run_.options();
    options.folder = source.folder;
    ProgressLine progress(*this);
    handler_ = [this, on_frame, &progress](int message) {
        if (message == glimmark::FrameDone) {
            // The render thread posts as its last act; once it has ended the
            // canvas holds the finished picture.
            join_frame();
            rays_done.fetch_add(run_.rays_traced());
            frames_done.fetch_add(1);
            progress.hold();
            if (on_frame && !frame_failed_ &&
                !on_frame(run_.frame_index(), run_.frames(), canvas_)) {
                frame_failed_ = true;
                run_.request_stop();
            }
        }
        run_.handle(message);
        frame_count.store(run_.frames());
        frame_height.store(run_.frame_height());
        progress.resume();
    };

    // What the progress records need to know of each frame before it is
    // traced, around whatever the caller decides about it.
    const auto decide = options.before_frame;
    options.before_frame = [this, decide](const glimmark::Run& r) {
        const glimmark::RunOptions& o = r.options();
        const int first = std::max(0, o.first_frame);
        const int last = o.time || !r.animated() ? first
                         : o.last_frame < 0      ? r.frames() - 1
                                                 : std::min(o.last_frame, r.frames() - 1);
        frames_in_range.store(std::max(1, last - first + 1));
        // The rows of the picture: not the two the loop traces past it.
        frame_rows.store(r.rows_in_band());
        const glimmark::FrameChoice choice = decide ? decide(r) : glimmark::FrameChoice::Trace;
        if (choice == glimmark::FrameChoice::Skip) frames_skipped.fetch_add(1);
        if (choice != glimmark::FrameChoice::Trace) return choice;
        current_frame.store(r.frame_index());
        frames_started.fetch_add(1);
        return choice;
    };
    threads.store(run_.threads());
    if (progress_log_.is_open()) progress_log_.start_clock();
    run_.start(source.text, build, record);
    frame_count.store(run_.frames());
    frame_height.store(run_.frame_height());
    if (build && (show_progress || progress_log_.is_open()))
        progress.start(show_progress, progress_log_.is_open() ? &progress_log_ : nullptr);
    run_loop();
    progress.stop();
    options.before_frame = decide;
    // The handler refers to this run's progress line.
    handler_ = [this](int message) { run_.handle(message); };

    if (const std::optional<glimmark::Diagnostic> error = run_.parse_error()) {
        print_error_location(source, *error);
        return ExitSceneError;
    }
    if (frame_failed_) return ExitUsageOrFile;
    if (!run_.run_error().empty()) return ExitSceneError;
    return ExitOk;
}

void SceneSession::print_error_location(const SceneSource& source,
                                        const glimmark::Diagnostic& error) const {
    std::fprintf(stderr, "%s:%d:%d: %s\n", source.name.c_str(), error.line, error.column,
                 error.message.c_str());
    if (!error.include_file.empty())
        std::fprintf(stderr, "%s:%d: note: the word \"%s\" stands here, in the INCLUDE FILE text\n",
                     error.include_file.c_str(), error.include_line, error.word.c_str());
}
