#include "render/pixel_loop.h"

#include "render/parallel_render.h"
#include "scene/host.h"

int render_thread_main(RenderJob* job) {
    render_frame(*job);
    if (job->main_window != nullptr) job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

void render_frame(RenderJob& job) {
    RowCursor frame(job);
    if (!frame.traceable()) return;
    // Without memory for the rows the threads keep, the plain loop gives the
    // same picture.
    if (resolved_thread_count(job) > 1 && trace_rows_parallel(frame)) return;
    while (frame.trace_row()) {
    }
}
