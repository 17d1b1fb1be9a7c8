#include "render/frame_threads.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "scene/render_job.h"

int resolved_thread_count(const RenderJob& job) {
    if (job.threads > 0) return std::min(job.threads, 256);
    return usable_cores();
}

void run_on_threads(int threads, const std::function<void()>& work) {
    std::vector<std::thread> helpers;
    // A thread started and then lost to a failing growth of the list could
    // not be joined: the room is taken first, or none are started.
    int wanted = threads - 1;
    try {
        helpers.reserve(static_cast<size_t>(std::max(0, wanted)));
    } catch (const std::bad_alloc&) {
        wanted = 0;
    }
    for (int i = 0; i < wanted; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads do the same work
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();
}
