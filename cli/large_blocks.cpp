// The command's own operator new: plain malloc, except that blocks of
// megabytes are marked for huge pages before anything is written to them.
// The arrays of a large model as the Open Asset Import Library reads it are
// such blocks; in 4 KB pages each of them is a page fault every 4 KB, which on
// a virtual machine cost more than the reading itself. The marks are hints:
// the memory and its contents are the same either way. The sanitizers keep
// their own operator new.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GMK_OWN_OPERATOR_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define GMK_OWN_OPERATOR_NEW 0
#endif
#endif
#ifndef GMK_OWN_OPERATOR_NEW
#define GMK_OWN_OPERATOR_NEW 1
#endif

#if GMK_OWN_OPERATOR_NEW

namespace {

// From this size on a block has whole huge pages in it worth marking.
constexpr std::size_t MarkedBlockBytes = std::size_t{4} << 20;

// Marks the whole 2 MB pages inside the block.
void mark_huge_pages(void* block, std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t Huge = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + Huge - 1) & ~(Huge - 1);
    const std::uintptr_t last = (begin + size) & ~(Huge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

void* take(std::size_t size) {
    if (size == 0) size = 1;
    for (;;) {
        if (void* block = std::malloc(size)) {
            if (size >= MarkedBlockBytes) mark_huge_pages(block, size);
            return block;
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

// The standard's delete operators free what malloc gave; they stay as they are.
void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }

#endif
