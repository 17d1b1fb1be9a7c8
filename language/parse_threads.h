#pragma once

#include <functional>

#include "language/parse_context.h"

// The threads a parse may share long runs of work across: the render's
// thread count when the host has chosen one, otherwise the cores this
// process may run on.
int parse_thread_count(const ParseContext& pc);

// Calls work(0) .. work(count - 1), each on its own thread, work(0) on the
// calling one, and returns when all have returned. A part no thread can be
// started for runs on the calling thread. The first exception a part throws
// is thrown again here, once every part has ended.
void run_in_parallel(int count, const std::function<void(int)>& work);
