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
    void resize(int width, int height) { resize_band(width, height, 0, height); }
    // As resize, but only rows [first_row, end_row) of the width x height
    // picture are kept (a band of it traced on its own): they alone take
    // memory, and the other rows read black and drop what is written.
    void resize_band(int width, int height, int first_row, int end_row);
    int width() const { return width_; }
    int height() const { return height_; }
    // The rows kept: [first_row(), end_row()), all of them unless a band.
    int first_row() const { return first_row_; }
    int end_row() const { return end_row_; }

    // Both clip to the canvas, as a window clips its client area.
    void fill_black(int x0, int y0, int x1, int y1);
    void set_pixel(int x, int y, uint32_t colorref) {
        if (x < 0 || y < first_row_ || x >= width_ || y >= end_row_) return;
        __atomic_store_n(&pixels_[static_cast<size_t>(y - first_row_) * width_ + x], colorref,
                         __ATOMIC_RELAXED);
    }
    uint32_t pixel(int x, int y) const {
        if (x < 0 || y < first_row_ || x >= width_ || y >= end_row_) return 0;
        return __atomic_load_n(&pixels_[static_cast<size_t>(y - first_row_) * width_ + x],
                               __ATOMIC_RELAXED);
    }
    // Copies `count` pixels of row y from column x on into `out`; the span
    // must lie within the rows kept.
    void read_row(int y, int x, int count, uint32_t* out) const {
        const uint32_t* in = &pixels_[static_cast<size_t>(y - first_row_) * width_ + x];
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
    int first_row_ = 0;
    int end_row_ = 0;
    size_t bytes_ = 0;    // allocated, whole 4 KB pages when large
    bool paged_ = false;  // bytes_ came aligned to huge pages
    std::unique_ptr<uint32_t[], FreePixels> pixels_;
};

}  // namespace glimmark
