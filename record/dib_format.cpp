#include "record/dib_format.h"

#include "scene/surface.h"

int dib_depth(int bits) {
    if (bits <= 1) return 1;
    if (bits <= 4) return 4;
    if (bits <= 8) return 8;
    if (bits <= 16) return 16;
    if (bits <= 24) return 24;
    return 32;
}

uint32_t DibFormat::row_bytes() const {
    const uint64_t bits = static_cast<uint64_t>(dib_depth(planes * bit_count)) *
                          static_cast<uint64_t>(width < 0 ? 0 : width);
    return static_cast<uint32_t>(((bits + 31) & ~uint64_t{31}) / 8);
}

DibFormat dib_format(int width, int height, int planes, int bits_per_pixel) {
    DibFormat f;
    f.width = width;
    f.height = height;
    f.planes = static_cast<uint16_t>(planes);
    f.bit_count = static_cast<uint16_t>(bits_per_pixel);
    const int depth = dib_depth(planes * bits_per_pixel);
    f.size_image = f.row_bytes() * static_cast<uint32_t>(height < 0 ? 0 : height);
    f.clr_used = depth < 16 ? (1u << depth) : 0;
    f.header_bytes = 40 + 4 * f.clr_used;
    return f;
}

void put_bitmap_info_header(ByteBuffer& out, const DibFormat& f) {
    out.u32(40);
    out.u32(static_cast<uint32_t>(f.width));
    out.u32(static_cast<uint32_t>(f.height));
    out.u16(f.planes);
    out.u16(f.bit_count);
    out.u32(f.compression);
    out.u32(f.size_image);
    out.u32(0);  // biXPelsPerMeter
    out.u32(0);  // biYPelsPerMeter
    out.u32(f.clr_used);
    out.u32(0);  // biClrImportant
}

void surface_to_dib24(const Surface& surface, int width, int height, std::vector<uint8_t>& out) {
    const size_t stride = ((static_cast<size_t>(width) * 24 + 31) & ~size_t{31}) / 8;
    out.assign(stride * static_cast<size_t>(height), 0);
    for (int r = 0; r < height; ++r) {
        const int y = height - 1 - r;
        uint8_t* row = out.data() + stride * static_cast<size_t>(r);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = surface.pixel(x, y);  // 0x00BBGGRR, black outside
            row[3 * x + 0] = static_cast<uint8_t>(p >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(p);
        }
    }
}

void surface_to_rgb(const Surface& surface, int width, int height, std::vector<uint8_t>& out) {
    out.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint8_t* q = out.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = surface.pixel(x, y);
            *q++ = static_cast<uint8_t>(p);
            *q++ = static_cast<uint8_t>(p >> 8);
            *q++ = static_cast<uint8_t>(p >> 16);
        }
    }
}
