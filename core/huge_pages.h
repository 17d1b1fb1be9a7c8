#pragma once

#include <cstddef>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

// Memory of megabytes that the system may back with 2 MB pages. Each 4 KB
// page is otherwise a fault of its own the first time it is written, and on a
// virtual machine those faults can cost more than filling the memory does.
// The marks are hints: without them everything works the same, only slower.

inline constexpr size_t HugePageBytes = size_t{1} << 21;
// Rooms from this size on are put in huge pages.
inline constexpr size_t HugeRoomBytes = HugePageBytes / 2;

// Room for `bytes` aligned to `alignment` (a power of two); never null, throws
// std::bad_alloc. From HugeRoomBytes on, the room starts on a huge page and
// the whole huge pages in it are marked: a tail of a quarter of a huge page
// or more is rounded up to a whole one, a shorter one is left to 4 KB pages,
// so that less than 1.5 MB is ever made resident beyond what is asked for.
// The memory is not cleared. Freed by huge_free with the same bytes and
// alignment.
void* huge_allocate(size_t bytes, size_t alignment = alignof(std::max_align_t));
void huge_free(void* memory, size_t bytes, size_t alignment = alignof(std::max_align_t)) noexcept;

// The bytes huge_allocate sets aside for `bytes` (at least 1): from
// HugeRoomBytes on, whole 4 KB pages.
size_t huge_rounded(size_t bytes);

// Marks the whole huge pages inside [data, data + size).
void advise_huge_pages(void* data, size_t size) noexcept;

// A standard allocator over huge_allocate, for the long arrays of a large
// scene.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        return static_cast<T*>(huge_allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { huge_free(p, n * sizeof(T), alignof(T)); }
    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept {
        return true;
    }
};

// The same for arrays whose every element is written before it is read:
// elements a vector makes without a value are left as the memory is, so that
// growing it touches no page and the first write is the only one. Only for
// types whose objects may begin by being stored to.
template <class T>
struct UnfilledHugePageAllocator : HugePageAllocator<T> {
#if defined(__wasm__)
    // There a Vector3 copies itself member by member (core/vector3.h), and
    // what holds one is not trivially copyable; it is still plain data.
    static_assert(std::is_standard_layout_v<T> && std::is_trivially_destructible_v<T>);
#else
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
#endif
    template <class U>
    struct rebind {
        using other = UnfilledHugePageAllocator<U>;
    };
    UnfilledHugePageAllocator() = default;
    template <class U>
    UnfilledHugePageAllocator(const UnfilledHugePageAllocator<U>&) noexcept {}
    template <class U>
    void construct(U*) noexcept {}
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
