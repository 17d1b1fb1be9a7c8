#pragma once

// The frame loop; it is built on the pixel functions and the row cursor,
// which come with it.
#include "render/pixel_samples.h"
#include "render/row_cursor.h"
#include "scene/render_job.h"

// Entry routine of the render thread: render_frame, then post 200.
int render_thread_main(RenderJob* job);
// Traces the job's frame into its drawing context: its rows through a
// RowCursor, on resolved_thread_count(job) threads.
void render_frame(RenderJob& job);
