#pragma once

#include <functional>

#include "core/usable_cores.h"

struct RenderJob;

// The number of threads the pixel loop of `job` runs on: its `threads`, or
// usable_cores() when that is 0 (or less).
int resolved_thread_count(const RenderJob& job);

// Runs `work` on the calling thread and on up to `threads - 1` more, and
// returns when every one has finished. When the system gives fewer threads,
// fewer run it; the work must not depend on how many.
void run_on_threads(int threads, const std::function<void()>& work);
