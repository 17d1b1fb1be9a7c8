#include "memory_limit.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Each block carries its size in front of it, so that a release knows how
// many bytes go. 16 bytes keep the block aligned for any ordinary type.
constexpr std::size_t kHeader = 16;
constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

std::atomic<std::size_t> g_alive{0};
std::atomic<std::size_t> g_limit{kNoLimit};
std::atomic<std::size_t> g_refusals{0};

void* take(std::size_t size) {
    const std::size_t limit = g_limit.load();
    const std::size_t before = g_alive.fetch_add(size);
    if (limit != kNoLimit && before + size > limit) {
        g_alive.fetch_sub(size);
        g_refusals.fetch_add(1);
        return nullptr;
    }
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) {
        g_alive.fetch_sub(size);
        return nullptr;
    }
    *static_cast<std::size_t*>(block) = size;
    return static_cast<char*>(block) + kHeader;
}

void give(void* p) noexcept {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kHeader;
    g_alive.fetch_sub(*static_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    void* p = take(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return take(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return take(size); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, std::size_t) noexcept { give(p); }
void operator delete[](void* p, std::size_t) noexcept { give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { give(p); }

namespace memory_limit {

std::size_t alive() { return g_alive.load(); }
std::size_t refusals() { return g_refusals.load(); }

Budget::Budget(std::size_t budget) { g_limit.store(g_alive.load() + budget); }
Budget::~Budget() { g_limit.store(kNoLimit); }

}  // namespace memory_limit
