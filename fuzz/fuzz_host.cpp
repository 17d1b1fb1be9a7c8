#include "fuzz/fuzz_host.h"

#include <algorithm>

#include "render/pixel_loop.h"

namespace {

// Stands in for render_thread_main: the same frame, cut down to a tile, one
// thread, few bounces; an animation ends after its first frame.
int small_frame(RenderJob* job) {
    job->width = std::min(job->width, FuzzHost::Side);
    job->height = std::min(job->height, FuzzHost::Side);
    job->max_depth = std::min(job->max_depth, 2);
    job->antialiasing = std::min(job->antialiasing, 2);
    job->threads = 1;
    render_frame(*job);
    job->stop_requested.store(true);
    if (job->main_window != nullptr) job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

}  // namespace

void run_document(const std::string& text, bool build) {
    FuzzHost host;
    TraceController controller;
    controller.host = &host;
    // Relative INCLUDE FILE and TEXTURE_FILE names resolve in the examples.
    controller.source_folder = GMK_SOURCE_DIR "/examples";
    host.set_handler([&](int wparam) { controller.handle_trace_done(wparam); });
    controller.start(text.c_str(), build, false, build ? small_frame : nullptr);
    host.run_loop();
    controller.destroy();
}
