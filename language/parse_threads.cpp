#include "language/parse_threads.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

#include "core/usable_cores.h"

int parse_thread_count(const ParseContext& pc) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
    // A WebAssembly build without threads has the one it runs on.
    (void)pc;
    return 1;
#endif
    if (pc.job.threads > 0) return std::min(pc.job.threads, 256);
    return usable_cores();
}

void run_in_parallel(int count, const std::function<void(int)>& work) {
    if (count <= 0) return;
    std::vector<std::exception_ptr> failures(static_cast<size_t>(count));
    auto guarded = [&](int part) {
        try {
            work(part);
        } catch (...) {
            failures[static_cast<size_t>(part)] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    int started = 1;
    try {
        helpers.reserve(static_cast<size_t>(count - 1));
        for (; started < count; ++started)
            helpers.emplace_back(guarded, started);
    } catch (const std::exception&) {
        // No more threads: the parts left run here.
    }
    guarded(0);
    for (int part = started; part < count; ++part)
        guarded(part);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}
