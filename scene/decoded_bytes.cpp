// The memory decoded pixels live in, shared by the texture decoders.

#include <algorithm>
#include <cstring>
#include <new>

#include "scene/texture_decoders.h"

unsigned char* allocate_bytes(std::size_t size) noexcept {
    return static_cast<unsigned char*>(::operator new(size, std::nothrow));
}

void release_bytes(void* p) noexcept { ::operator delete(p); }

unsigned char* GrowingBytes::extend(std::size_t n) noexcept {
    if (n > limit_ - size_) return nullptr;
    if (size_ + n > capacity_) {
        // The first block is small; each later one doubles, never past the limit.
        const std::size_t want =
            std::min(limit_, std::max({size_ + n, 2 * capacity_, std::size_t{1} << 16}));
        OwnedBytes grown(allocate_bytes(want));
        if (grown == nullptr) return nullptr;
        if (size_ > 0) std::memcpy(grown.get(), bytes_.get(), size_);
        bytes_ = std::move(grown);
        capacity_ = want;
    }
    unsigned char* room = bytes_.get() + size_;
    size_ += n;
    return room;
}

OwnedBytes GrowingBytes::take() noexcept {
    if (size_ < capacity_) {
        // Shrunk to what was used: the caller may hold it for long.
        OwnedBytes exact(allocate_bytes(std::max<std::size_t>(size_, 1)));
        if (exact == nullptr) return nullptr;
        if (size_ > 0) std::memcpy(exact.get(), bytes_.get(), size_);
        bytes_ = std::move(exact);
    }
    size_ = capacity_ = 0;
    return std::move(bytes_);
}
