#include "core/usable_cores.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

int usable_cores() {
#if defined(__linux__)
    // Fewer than the machine's under taskset, a container's CPU set or a
    // batch system's allocation.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return std::min(n, 1024);
    }
#endif
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? static_cast<int>(std::min(cores, 1024u)) : 1;
}
