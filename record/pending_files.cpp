#include "record/pending_files.h"

#include <atomic>
#include <cstring>

#include <unistd.h>

namespace {

// A few files at a time: a recording and a picture or two.
constexpr int kSlots = 16;
constexpr size_t kLongestPath = 4096;

enum SlotState : int { Free = 0, Filling = 1, Held = 2 };

struct Slot {
    std::atomic<int> state{Free};
    char path[kLongestPath];
};

Slot g_slots[kSlots];

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slots");

}  // namespace

int hold_pending_file(const std::string& path) {
    if (path.empty() || path.size() >= kLongestPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!g_slots[i].state.compare_exchange_strong(expected, Filling)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        // The name is complete before a handler may read it.
        g_slots[i].state.store(Held, std::memory_order_release);
        return i;
    }
    return -1;
}

void release_pending_file(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    g_slots[slot].state.store(Free, std::memory_order_release);
}

void remove_pending_files() {
    for (Slot& s : g_slots)
        if (s.state.load(std::memory_order_acquire) == Held) ::unlink(s.path);
}
