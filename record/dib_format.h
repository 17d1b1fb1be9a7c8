#pragma once

#include <cstdint>
#include <vector>

#include "record/byte_buffer.h"

#include "scene/surface.h"

// The BITMAPINFOHEADER of a frame and the size of its header block.
struct DibFormat {
    int32_t width = 0;
    int32_t height = 0;  // positive: rows bottom-up
    uint16_t planes = 1;
    uint16_t bit_count = 24;
    uint32_t compression = 0;  // BI_RGB, or the FourCC of a compressor
    uint32_t size_image = 0;
    uint32_t clr_used = 0;
    uint32_t header_bytes = 40;  // with room for the palette below 16 bits

    uint32_t row_bytes() const;
};

// planes x bits per pixel rounded up to 1, 4, 8, 16, 24 or 32.
int dib_depth(int planes_times_bits);
DibFormat dib_format(int width, int height, int planes, int bits_per_pixel);
// The 40 bytes of the header (the palette entries are not part of it).
void put_bitmap_info_header(ByteBuffer& out, const DibFormat& format);

// The picture as 24-bit DIB rows, bottom row first, each row padded to four
// bytes; a surface of another size is cut or filled with black.
void surface_to_dib24(const Surface& surface, int width, int height, std::vector<uint8_t>& out);
// The picture as R, G, B bytes, top row first, no padding.
void surface_to_rgb(const Surface& surface, int width, int height, std::vector<uint8_t>& out);
