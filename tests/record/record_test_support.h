#pragma once

// Shared pieces of the recorder's tests: a fresh folder per test, and
// pictures whose pixels tell frames apart.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "record/recording_error.h"
#include "scene/surface.h"
#include "tests/support/ffmpeg_tools.h"
#include "tests/support/temp_folder.h"

// A picture where every pixel differs from its neighbours and from the same
// pixel of other frames: red = x + 7 frame, green = y + 13 frame, blue = mix.
inline uint32_t test_pixel(int x, int y, int frame) {
    const uint32_t r = static_cast<uint32_t>(x * 5 + frame * 7) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y * 9 + frame * 13) & 0xFF;
    const uint32_t b = static_cast<uint32_t>(x * 3 + y * 11 + frame * 29) & 0xFF;
    return r | (g << 8) | (b << 16);
}

inline void paint(Surface& s, int frame) {
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            s.set_pixel(x, y, test_pixel(x, y, frame));
}
