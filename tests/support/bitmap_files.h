#pragma once

// BMP and TGA files built byte by byte for the texture tests: plain and
// run-length, from any corner, and headers that promise more than follows.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace bitmap_files {

using Bytes = std::vector<unsigned char>;
using Colour = std::array<unsigned char, 3>;  // red, green, blue

// A file name as a test's name: "short.tga" -> "short_tga".
inline std::string test_name(std::string file) {
    for (char& c : file)
        if (c == '.') c = '_';
    return file;
}

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}

// A BMP with a 40-byte header: `bits` 24 (BGR pixels) or 8 or 4 (indices
// into `palette`); compression 0 (plain), 1 (RLE8) or 2 (RLE4). `data`, all
// that follows the palette, is the rows from the bottom up (from the top for
// a negative height).
inline Bytes bmp(int width, int height, int bits, int compression,
                 const std::vector<Colour>& palette, const Bytes& data) {
    Bytes b = {'B', 'M'};
    const auto offset = static_cast<uint32_t>(54 + 4 * palette.size());
    for (uint32_t v : {offset + static_cast<uint32_t>(data.size()), 0u, offset, 40u,
                       static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        put32(b, v);
    put16(b, 1);
    put16(b, static_cast<uint32_t>(bits));
    for (uint32_t v : {static_cast<uint32_t>(compression), static_cast<uint32_t>(data.size()),
                       2835u, 2835u, static_cast<uint32_t>(palette.size()), 0u})
        put32(b, v);
    for (const Colour& c : palette)
        b.insert(b.end(), {c[2], c[1], c[0], 0});
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// A 24-bit true-colour TGA, plain (type 2) or run-length (type 10); bit 5
// of `descriptor` says the first row is the top one, bit 4 that rows run
// from the right. `data` (BGR pixels or packets) follows the 18-byte header.
inline Bytes tga(int width, int height, bool run_length, unsigned descriptor, const Bytes& data) {
    Bytes b = {0, 0, static_cast<unsigned char>(run_length ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(b, static_cast<uint32_t>(width));
    put16(b, static_cast<uint32_t>(height));
    b.push_back(24);
    b.push_back(static_cast<unsigned char>(descriptor));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

}  // namespace bitmap_files
