#include "core/huge_pages.h"

#include <algorithm>
#include <cstdint>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t SmallPageBytes = 4096;

}  // namespace

size_t huge_rounded(size_t bytes) {
    bytes = std::max<size_t>(bytes, 1);
    if (bytes < HugeRoomBytes) return bytes;
    if (bytes > std::numeric_limits<size_t>::max() - HugePageBytes) throw std::bad_alloc();
    const size_t whole = bytes & ~(HugePageBytes - 1);
    const size_t tail = bytes - whole;
    if (tail >= HugePageBytes / 4) return whole + HugePageBytes;
    return whole + ((tail + SmallPageBytes - 1) & ~(SmallPageBytes - 1));
}

namespace {

// The alignment a room of `size` bytes is given: a large one starts on a
// huge page where the system has them to ask for (elsewhere, a WebAssembly
// build for one, the start would only waste memory).
size_t room_alignment(size_t size, size_t alignment) {
#ifdef MADV_HUGEPAGE
    return size >= HugeRoomBytes ? std::max(alignment, HugePageBytes) : alignment;
#else
    (void)size;
    return alignment;
#endif
}

}  // namespace

void* huge_allocate(size_t bytes, size_t alignment) {
    const size_t size = huge_rounded(bytes);
    const size_t a = room_alignment(size, alignment);
    // Through operator new, so that whatever stands in for it sees the room.
    void* memory = a > __STDCPP_DEFAULT_NEW_ALIGNMENT__ ? ::operator new (size, std::align_val_t{a})
                                                        : ::operator new(size);
    if (size >= HugeRoomBytes) advise_huge_pages(memory, size);
    return memory;
}

void huge_free(void* memory, size_t bytes, size_t alignment) noexcept {
    if (memory == nullptr) return;
    // A room that was given cannot have been too large to round.
    const size_t a = room_alignment(huge_rounded(bytes), alignment);
    if (a > __STDCPP_DEFAULT_NEW_ALIGNMENT__)
        ::operator delete (memory, std::align_val_t{a});
    else
        ::operator delete(memory);
}

void advise_huge_pages(void* data, size_t size) noexcept {
#ifdef MADV_HUGEPAGE
    const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + HugePageBytes - 1) & ~(HugePageBytes - 1);
    const uintptr_t last = (begin + size) & ~(HugePageBytes - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}
