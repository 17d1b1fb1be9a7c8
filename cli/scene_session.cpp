#include "cli/scene_session.h"

#include <algorithm>
#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/progress_line.h"
#include "render/parallel_render.h"
#include "render/pixel_loop.h"

SceneSession::SceneSession() { controller_.host = &host_; }

SceneSession::~SceneSession() = default;

bool SceneSession::open_progress_log(const std::string& path, double interval_s) {
    progress_log_.interval_s = interval_s;
    return progress_log_.open(path);
}

int SceneSession::run(const SceneSource& source, bool build, bool record, FrameHandler on_frame) {
    frame_failed_ = false;
    controller_.source_folder = source.folder;
    ProgressLine progress(*this);
    host_.set_handler([this, on_frame, &progress](int wparam) {
        if (wparam == TRACE_FRAME_DONE) {
            // The render thread posts as its last act; once it has ended the
            // surface holds the finished picture.
            host_.join_render_thread();
            rays_done.fetch_add(controller_.job().rays_traced.load());
            frames_done.fetch_add(1);
            progress.hold();
            if (on_frame && !frame_failed_ &&
                !on_frame(controller_.frame_index, controller_.parsed().frames,
                          host_.trace_surface())) {
                frame_failed_ = true;
                controller_.request_stop();
            }
        }
        controller_.handle_trace_done(wparam);
        frame_count.store(controller_.parsed().frames);
        frame_height.store(controller_.job().height);
        progress.resume();
    });

    // What the progress records need to know of each frame before it is
    // traced, around whatever the caller decides about it.
    const auto decide = controller_.before_frame;
    controller_.before_frame = [this, decide](const TraceController& tc) {
        const int first = std::max(0, tc.first_frame);
        const int last = tc.overrides.time || !tc.parsed().has_animation ? first
                         : tc.last_frame < 0                             ? tc.parsed().frames - 1
                                             : std::min(tc.last_frame, tc.parsed().frames - 1);
        frames_in_range.store(std::max(1, last - first + 1));
        // The rows of the picture: not the two the loop traces past it.
        const LoopRows rows = loop_rows(tc.parsed().height, tc.job().first_row, tc.job().last_row);
        frame_rows.store(std::max(0, std::min(rows.end, tc.parsed().height) - rows.begin));
        const FrameChoice choice = decide ? decide(tc) : FrameChoice::Trace;
        if (choice == FrameChoice::Skip) frames_skipped.fetch_add(1);
        if (choice != FrameChoice::Trace) return choice;
        current_frame.store(tc.frame_index);
        frames_started.fetch_add(1);
        return choice;
    };
    threads.store(resolved_thread_count(controller_.job()));
    if (progress_log_.is_open()) progress_log_.start_clock();
    controller_.start(source.text.c_str(), build, record, build ? render_thread_main : nullptr);
    frame_count.store(controller_.parsed().frames);
    frame_height.store(controller_.job().height);
    if (build && (show_progress || progress_log_.is_open()))
        progress.start(show_progress, progress_log_.is_open() ? &progress_log_ : nullptr);
    host_.run_loop();
    progress.stop();
    controller_.before_frame = decide;
    // The handler refers to this run's progress line.
    host_.set_handler([this](int wparam) { controller_.handle_trace_done(wparam); });

    if (controller_.parsed().parse_error) {
        print_error_location(source, controller_.parsed().parse_error_record);
        return ExitSceneError;
    }
    if (frame_failed_) return ExitUsageOrFile;
    if (!controller_.run_error.empty()) return ExitSceneError;
    return ExitOk;
}

void SceneSession::print_error_location(const SceneSource& source, const ParseError& error) const {
    int line = 1, column = 1;
    line_and_column(source.text, error.selection_start, line, column);
    std::fprintf(stderr, "%s:%d:%d: %s\n", source.name.c_str(), line, column,
                 error.message.c_str());
    if (!error.include_file.empty())
        std::fprintf(stderr, "%s:%d: note: the word \"%s\" stands here, in the INCLUDE FILE text\n",
                     error.include_file.c_str(), error.include_line, error.word.c_str());
}
