#include "scene/surface.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

void Surface::resize(int width, int height) {
    // The old picture goes first: never two at once.
    pixels_.reset();
    width_ = 0;
    height_ = 0;
    const size_t n =
        static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(std::max(0, height));
    const size_t bytes = std::max<size_t>(n, 1) * sizeof(std::atomic<uint32_t>);
    // A picture of megabytes is aligned to huge pages and marked for them:
    // a few faults instead of one per 4 KB page as the picture is first
    // written, which took much of a large render's system time.
    constexpr size_t Huge = size_t{1} << 21;
    void* memory = nullptr;
    if (bytes >= Huge) {
        const size_t rounded = (bytes + Huge - 1) & ~(Huge - 1);
        memory = std::aligned_alloc(Huge, rounded);
#ifdef MADV_HUGEPAGE
        if (memory != nullptr) madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    } else {
        memory = std::malloc(bytes);
    }
    if (memory == nullptr) throw std::bad_alloc();
    auto* pixels = static_cast<std::atomic<uint32_t>*>(memory);
    for (size_t i = 0; i < n; ++i)
        new (&pixels[i]) std::atomic<uint32_t>(0);
    pixels_.reset(pixels);
    width_ = std::max(0, width);
    height_ = std::max(0, height);
}

void Surface::FreePixels::operator()(std::atomic<uint32_t>* pixels) const { std::free(pixels); }

void Surface::fill_black(int x0, int y0, int x1, int y1) {
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min(width_, x1);
    y1 = std::min(height_, y1);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            set_pixel(x, y, 0);
}

std::vector<uint32_t> Surface::snapshot() const {
    std::vector<uint32_t> out(static_cast<size_t>(width_) * height_);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = pixels_[i].load(std::memory_order_relaxed);
    return out;
}
