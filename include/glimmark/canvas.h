#pragma once

// The picture a trace draws into: 0x00BBGGRR words, written by render
// threads and read by whoever shows or records the picture. Each pixel is
// one word read and written atomically (relaxed), so a reader may see a
// half-finished picture but never a torn pixel, and writers need no lock.
// The words are plain memory, so that a large picture can be zeroed by the
// system.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace glimmark {

class Canvas {
  public:
    Canvas() = default;
    Canvas(int width, int height) { resize(width, height); }

    // Drops the old picture; only call while no render thread runs.
    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // Both clip to the canvas, as a window clips its client area.
    void fill_black(int x0, int y0, int x1, int y1);
    void set_pixel(int x, int y, uint32_t colorref) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        __atomic_store_n(&pixels_[static_cast<size_t>(y) * width_ + x], colorref, __ATOMIC_RELAXED);
    }
    uint32_t pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
        return __atomic_load_n(&pixels_[static_cast<size_t>(y) * width_ + x], __ATOMIC_RELAXED);
    }
    // Copies `count` pixels of row y from column x on into `out`; the span
    // must lie within the canvas.
    void read_row(int y, int x, int count, uint32_t* out) const {
        const uint32_t* in = &pixels_[static_cast<size_t>(y) * width_ + x];
        for (int i = 0; i < count; ++i)
            out[i] = __atomic_load_n(&in[i], __ATOMIC_RELAXED);
    }
    // A copy of the picture, row by row from the top.
    std::vector<uint32_t> snapshot() const;

  private:
    // A large picture's memory is in pages the system may back with huge
    // pages (see resize).
    struct FreePixels {
        size_t bytes;  // set whenever there are pixels to free
        void operator()(uint32_t* pixels) const;
    };
    // Sets every pixel to black; false when the system could not do it.
    bool zero_by_system();

    int width_ = 0;
    int height_ = 0;
    size_t bytes_ = 0;    // allocated, whole 4 KB pages when large
    bool paged_ = false;  // bytes_ came aligned to huge pages
    std::unique_ptr<uint32_t[], FreePixels> pixels_;
};

}  // namespace glimmark
