#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scene/surface.h"

// 0x00BBGGRR pixels to their red, green and blue bytes.
inline void pack_rgb(const uint32_t* in, int count, unsigned char* out) {
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // A pixel's low three bytes in memory are already red, green, blue:
        // four pixels make three words.
        for (; i + 4 <= count; i += 4, out += 12) {
            const uint32_t a = in[i], b = in[i + 1], c = in[i + 2], d = in[i + 3];
            const uint32_t words[3] = {(a & 0xFFFFFFu) | (b << 24),
                                       ((b >> 8) & 0xFFFFu) | (c << 16),
                                       ((c >> 16) & 0xFFu) | (d << 8)};
            std::memcpy(out, words, 12);
        }
    }
    for (; i < count; ++i, out += 3) {
        out[0] = static_cast<unsigned char>(in[i] & 0xFF);
        out[1] = static_cast<unsigned char>((in[i] >> 8) & 0xFF);
        out[2] = static_cast<unsigned char>((in[i] >> 16) & 0xFF);
    }
}

// Row y of a surface as RGB bytes, 3 * width of them; the row must exist.
inline void surface_rgb_row(const Surface& surface, int y, unsigned char* out) {
    constexpr int Chunk = 256;
    uint32_t words[Chunk];
    for (int x = 0; x < surface.width(); x += Chunk) {
        const int n = std::min(Chunk, surface.width() - x);
        surface.read_row(y, x, n, words);
        pack_rgb(words, n, out + 3 * static_cast<size_t>(x));
    }
}
