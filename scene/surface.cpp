#include "scene/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/huge_pages.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace glimmark {

void Canvas::resize_band(int width, int height, int first_row, int end_row) {
    // The old picture goes first: never two at once.
    pixels_.reset();
    width_ = 0;
    height_ = 0;
    first_row_ = 0;
    end_row_ = 0;
    bytes_ = 0;
    paged_ = false;
    height = std::max(0, height);
    first_row = std::clamp(first_row, 0, height);
    end_row = std::clamp(end_row, first_row, height);
    const size_t n =
        static_cast<size_t>(std::max(0, width)) * static_cast<size_t>(end_row - first_row);
    const size_t bytes = std::max<size_t>(n, 1) * sizeof(uint32_t);
    // A picture of megabytes is kept in huge pages: a few faults instead of
    // one per 4 KB page as the picture is first written, which took much of a
    // large render's system time.
    void* memory = huge_allocate(bytes);
    pixels_ =
        std::unique_ptr<uint32_t[], FreePixels>(static_cast<uint32_t*>(memory), FreePixels{bytes});
    width_ = std::max(0, width);
    height_ = height;
    first_row_ = first_row;
    end_row_ = end_row;
    bytes_ = huge_rounded(bytes);
    paged_ = bytes >= HugeRoomBytes;
    if (!zero_by_system()) std::memset(memory, 0, bytes_);
}

void Canvas::FreePixels::operator()(uint32_t* pixels) const { huge_free(pixels, bytes); }

bool Canvas::zero_by_system() {
#if defined(MADV_DONTNEED) && defined(__linux__)
    // Private memory given back this way reads as zeros, and its pages are
    // only made (and cleared) when the picture is written: the frame's own
    // threads do it as they set the pixels, instead of one thread up front.
    if (paged_ && madvise(pixels_.get(), bytes_, MADV_DONTNEED) == 0) return true;
#endif
    return false;
}

void Canvas::fill_black(int x0, int y0, int x1, int y1) {
    x0 = std::max(0, x0);
    y0 = std::max(first_row_, y0);
    x1 = std::min(width_, x1);
    y1 = std::min(end_row_, y1);
    if (x0 == 0 && y0 == first_row_ && x1 == width_ && y1 == end_row_ && zero_by_system()) return;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            set_pixel(x, y, 0);
}

std::vector<uint32_t> Canvas::snapshot() const {
    std::vector<uint32_t> out(static_cast<size_t>(width_) * height_);
    const size_t first = static_cast<size_t>(first_row_) * width_;
    const size_t kept = static_cast<size_t>(end_row_ - first_row_) * width_;
    for (size_t i = 0; i < kept; ++i)
        out[first + i] = __atomic_load_n(&pixels_[i], __ATOMIC_RELAXED);
    return out;
}

}  // namespace glimmark
