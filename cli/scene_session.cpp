#include "cli/scene_session.h"

#include <cstdio>

#include "cli/exit_codes.h"
#include "cli/progress_line.h"
#include "render/pixel_loop.h"

SceneSession::SceneSession() { controller_.host = &host_; }

int SceneSession::run(const SceneSource& source, bool build, bool record, FrameHandler on_frame) {
    frame_failed_ = false;
    controller_.source_folder = source.folder;
    ProgressLine progress(*this);
    host_.set_handler([this, on_frame, &progress](int wparam) {
        if (wparam == TRACE_FRAME_DONE) {
            // The render thread posts as its last act; once it has ended the
            // surface holds the finished picture.
            host_.join_render_thread();
            rays_done.fetch_add(controller_.job.rays_traced.load());
            frames_done.fetch_add(1);
            progress.hold();
            if (on_frame && !frame_failed_ &&
                !on_frame(controller_.frame_index, controller_.frames, host_.trace_surface())) {
                frame_failed_ = true;
                controller_.request_stop();
            }
        }
        controller_.handle_trace_done(wparam);
        frame_count.store(controller_.frames);
        frame_height.store(controller_.job.height);
        progress.resume();
    });

    controller_.start(source.text.c_str(), build, record, build ? render_thread_main : nullptr);
    frame_count.store(controller_.frames);
    frame_height.store(controller_.job.height);
    if (build && show_progress) progress.start();
    host_.run_loop();
    progress.stop();
    // The handler refers to this run's progress line.
    host_.set_handler([this](int wparam) { controller_.handle_trace_done(wparam); });

    if (controller_.parse_error) {
        print_error_location(source);
        return ExitSceneError;
    }
    if (frame_failed_) return ExitUsageOrFile;
    if (!controller_.run_error.empty()) return ExitSceneError;
    return ExitOk;
}

void SceneSession::print_error_location(const SceneSource& source) const {
    // The message box text is "<message> at char <n> found: <word>"; a word
    // holds no blanks, so the last " at char " ends the message.
    std::string message;
    for (auto it = host_.messages.rbegin(); it != host_.messages.rend(); ++it) {
        if (it->caption != "Parse Error") continue;
        message = it->text;
        const size_t at = message.rfind(" at char ");
        if (at != std::string::npos) message.resize(at);
        break;
    }
    int line = 1, column = 1;
    line_and_column(source.text, host_.selection_start, line, column);
    std::fprintf(stderr, "%s:%d:%d: %s\n", source.name.c_str(), line, column, message.c_str());
}
