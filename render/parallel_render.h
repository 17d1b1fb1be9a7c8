#pragma once

#include "core/usable_cores.h"

struct RenderJob;

// The number of threads the pixel loop of `job` runs on: its `threads`, or
// usable_cores() when that is 0 (or less).
int resolved_thread_count(const RenderJob& job);

// The pixel loop on resolved_thread_count(job) threads, the calling thread
// among them. Every pixel gets exactly the colour the plain loop of
// render_frame gives it, the adaptive antialiasing chain included. Pixels are
// set row by row from the top as each row's chain is settled, and a stop
// ends the frame after a settled row: complete rows above, black below.
// render_frame has already cleared the stop flag, the counters and the
// picture; the job must have a scene and a size of at least 1 x 1. False,
// with nothing traced, when there is no memory for the rows it keeps.
bool render_frame_parallel(RenderJob& job);
