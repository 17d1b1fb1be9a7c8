#include "scene/surface.h"

#include <algorithm>

void Surface::resize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    const size_t n = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    pixels_ = std::make_unique<std::atomic<uint32_t>[]>(n);
    for (size_t i = 0; i < n; ++i)
        pixels_[i].store(0, std::memory_order_relaxed);
}

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
