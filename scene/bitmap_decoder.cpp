// BMP and TGA textures, decoded by stb_image. Only these two of its decoders
// are compiled in; PNG and JPEG go to libpng and libjpeg-turbo, which refuse
// damaged files instead of making the best of them. A build without those
// libraries (GLIMMARK_STB_PNG_JPEG, the WebAssembly one) decodes PNG and
// JPEG here too: PNG gives the same texels, JPEG may differ by a few levels
// (another inverse DCT and upsampling).

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "scene/texture_decoders.h"

// Sides are limited like the traced image's, so that a forged header cannot
// ask for gigabytes.
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#ifdef GLIMMARK_STB_PNG_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#endif
#define STBI_NO_STDIO

namespace {

// realloc for stb_image's PNG reader (the WebAssembly build), on blocks from
// allocate_bytes.
[[maybe_unused]] void* grow_block(void* p, size_t old_size, size_t size) {
    unsigned char* grown = allocate_bytes(size);
    if (grown == nullptr) return nullptr;
    if (p != nullptr) std::memcpy(grown, p, std::min(old_size, size));
    release_bytes(p);
    return grown;
}

}  // namespace

// The decoded pixels are handed on as they are and released with release_bytes.
#define STBI_MALLOC(size) allocate_bytes(size)
#define STBI_REALLOC_SIZED(p, old_size, size) grow_block(p, old_size, size)
#define STBI_FREE(p) release_bytes(p)
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

static_assert(STBI_MAX_DIMENSIONS == MaxTextureSide);

namespace {

// The decoder reads through this so that a file that ends early is noticed: a
// decoder that still wants bytes at the end of the file would otherwise be
// handed zeros and return a picture with a made-up bottom.
struct FileReader {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    size_t position = 0;
    bool overran = false;

    static int read(void* user, char* data, int size) {
        auto* r = static_cast<FileReader*>(user);
        const size_t left = r->size - r->position;
        if (size > 0 && left == 0) r->overran = true;
        const size_t n = std::min(left, static_cast<size_t>(std::max(size, 0)));
        if (n > 0) std::memcpy(data, r->bytes + r->position, n);
        r->position += n;
        return static_cast<int>(n);
    }
    static void skip(void* user, int n) {
        auto* r = static_cast<FileReader*>(user);
        const size_t left = r->size - r->position;
        if (n < 0) {
            const size_t back =
                std::min(r->position, static_cast<size_t>(-static_cast<long long>(n)));
            r->position -= back;
            return;
        }
        if (static_cast<size_t>(n) > left) r->overran = true;
        r->position += std::min(left, static_cast<size_t>(n));
    }
    static int eof(void* user) {
        auto* r = static_cast<FileReader*>(user);
        return r->position >= r->size ? 1 : 0;
    }
};

const stbi_io_callbacks file_callbacks = {FileReader::read, FileReader::skip, FileReader::eof};

DecodeResult decode_with_stb(const unsigned char* file, size_t size, long long max_texels,
                             DecodedBitmap& out) {
    FileReader probe{file, size};
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_callbacks(&file_callbacks, &probe, &w, &h, &channels))
        return DecodeResult::Refused;
    // A bitmap stored from the top row down gives its height negative.
    if (h < 0 && h != INT_MIN) h = -h;
    if (w < 1 || h < 1) return DecodeResult::Refused;
    if (static_cast<long long>(w) * h > max_texels) return DecodeResult::TooLarge;

    FileReader reader{file, size};
    stbi_uc* pixels = stbi_load_from_callbacks(&file_callbacks, &reader, &w, &h, &channels, 3);
    OwnedBytes rgb(pixels);
    if (rgb == nullptr || reader.overran || w < 1 || h < 1 ||
        static_cast<long long>(w) * h > max_texels)
        return DecodeResult::Refused;
    out.rgb = std::move(rgb);
    out.width = w;
    out.height = h;
    return DecodeResult::Decoded;
}

DecodeResult decode_with_stb(const std::vector<unsigned char>& file, long long max_texels,
                             DecodedBitmap& out) {
    return decode_with_stb(file.data(), file.size(), max_texels, out);
}

unsigned le16(const std::vector<unsigned char>& f, size_t at) { return f[at] | f[at + 1] << 8; }
uint32_t le32(const std::vector<unsigned char>& f, size_t at) {
    return le16(f, at) | static_cast<uint32_t>(le16(f, at + 2)) << 16;
}

DecodeResult decode_bmp(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out) {
    // The headers stb_image knows: OS/2's of 12 bytes, Windows' of 40 and more.
    const uint32_t header = file.size() >= 18 ? le32(file, 14) : 0;
    const bool small = header == 12;
    if (!small && header != 40 && header != 56 && header != 108 && header != 124)
        return decode_with_stb(file, max_texels, out);
    if (file.size() < 14 + (small ? 12 : 40)) return DecodeResult::Refused;
    const long long width = small ? le16(file, 18) : static_cast<int32_t>(le32(file, 18));
    // Negative: stored from the top row down.
    const long long height = small ? le16(file, 20) : static_cast<int32_t>(le32(file, 22));
    const unsigned bits = le16(file, small ? 24 : 28);
    const uint32_t compression = small ? 0 : le32(file, 30);
    const long long offset = le32(file, 10);
    const long long rows = height < 0 ? -height : height;
    const bool within =
        width >= 1 && rows >= 1 && width <= MaxTextureSide && rows <= MaxTextureSide;

    if (compression == 1 || compression == 2) {
        RleBitmap rle;
        rle.bits = compression == 1 ? 8 : 4;
        // Runs are only ever stored from the bottom row up.
        if (!within || height < 0 || bits != static_cast<unsigned>(rle.bits) || le16(file, 26) != 1)
            return DecodeResult::Refused;
        if (width * height > max_texels) return DecodeResult::TooLarge;
        const uint32_t used = le32(file, 46);
        const long long entries = used != 0 ? used : 1u << rle.bits;
        const long long palette_at = 14 + header;
        if (entries > 256 || offset < palette_at + 4 * entries ||
            offset > static_cast<long long>(file.size()))
            return DecodeResult::Refused;
        rle.width = static_cast<int>(width);
        rle.height = static_cast<int>(height);
        rle.offset = static_cast<size_t>(offset);
        rle.palette = file.data() + palette_at;
        rle.palette_entries = static_cast<int>(entries);
        return decode_bmp_rle(file, rle, out);
    }
    // Each row padded to four bytes, the last one's padding too. (What is
    // too large or of no known depth stb_image refuses as before.)
    if (within && bits >= 1 && bits <= 32 && width * rows <= max_texels) {
        const long long row_bytes = (width * bits + 7) / 8;
        if (offset + ((row_bytes + 3) & ~3LL) * rows > static_cast<long long>(file.size()))
            return DecodeResult::Refused;
    }
    return decode_with_stb(file, max_texels, out);
}

// Where a TGA's pixels start and how many bytes each takes, for the kinds
// stb_image reads: true colour, grey and colour-mapped, each plain or run-length.
struct TgaLayout {
    long long width = 0, height = 0;
    size_t pixels_at = 0;
    size_t pixel_bytes = 0;
    bool run_length = false;
    bool right_to_left = false;
};

bool tga_layout(const std::vector<unsigned char>& f, TgaLayout& t) {
    if (f.size() < 18) return false;
    const unsigned map_type = f[1], kind = f[2], map_bits = f[7], bits = f[16];
    const bool mapped = map_type == 1;
    const auto depth_ok = [](unsigned b) {
        return b == 8 || b == 15 || b == 16 || b == 24 || b == 32;
    };
    if (map_type > 1) return false;
    if (mapped ? (kind != 1 && kind != 9) || !depth_ok(map_bits) || (bits != 8 && bits != 16)
               : (kind != 2 && kind != 3 && kind != 10 && kind != 11) || !depth_ok(bits))
        return false;
    t.width = le16(f, 12);
    t.height = le16(f, 14);
    if (t.width < 1 || t.height < 1) return false;
    // The image's name, then (stb_image skips the first map index in bytes)
    // the colour map.
    t.pixels_at = 18 + f[0];
    if (mapped) t.pixels_at += le16(f, 3) + static_cast<size_t>(le16(f, 5)) * ((map_bits + 7) / 8);
    t.pixel_bytes = (bits + 7) / 8;
    t.run_length = kind >= 9;
    t.right_to_left = (f[17] & 0x10) != 0;
    return true;
}

// Rewrites a run-length TGA as the same TGA stored plainly: the header, name
// and colour map as they are, then every pixel. The copy grows as the packets
// arrive; false when the file ends before the last pixel.
bool unpack_tga(const std::vector<unsigned char>& f, const TgaLayout& t, GrowingBytes& plain) {
    if (t.pixels_at > f.size()) return false;
    unsigned char* head = plain.extend(t.pixels_at);
    if (head == nullptr) return false;
    std::memcpy(head, f.data(), t.pixels_at);
    head[2] -= 8;
    const size_t n = t.pixel_bytes;
    long long left = t.width * t.height;
    for (size_t p = t.pixels_at; left > 0;) {
        if (p >= f.size()) return false;
        const unsigned packet = f[p++];
        const long long count = std::min<long long>(left, (packet & 127) + 1);
        const bool repeat = (packet & 128) != 0;
        const size_t stored = repeat ? n : n * static_cast<size_t>(count);
        if (f.size() - p < stored) return false;
        unsigned char* to = plain.extend(n * static_cast<size_t>(count));
        if (to == nullptr) return false;
        for (long long i = 0; i < count; ++i)
            std::memcpy(to + n * i, f.data() + p + (repeat ? 0 : n * i), n);
        p += stored;
        left -= count;
    }
    return true;
}

DecodeResult decode_tga(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out) {
    // stb_image would read a header cut short as if zeros followed it.
    if (file.size() < 18) return DecodeResult::Refused;
    TgaLayout t;
    // What is not a TGA, or is too large, stb_image refuses as before.
    if (!tga_layout(file, t) || t.width > MaxTextureSide || t.height > MaxTextureSide ||
        t.width * t.height > max_texels)
        return decode_with_stb(file, max_texels, out);
    const size_t pixel_bytes = static_cast<size_t>(t.width * t.height) * t.pixel_bytes;
    DecodeResult result;
    if (t.run_length) {
        GrowingBytes plain(t.pixels_at + pixel_bytes);
        if (!unpack_tga(file, t, plain)) return DecodeResult::Refused;
        result = decode_with_stb(plain.data(), plain.size(), max_texels, out);
    } else {
        if (file.size() < t.pixels_at || file.size() - t.pixels_at < pixel_bytes)
            return DecodeResult::Refused;
        result = decode_with_stb(file, max_texels, out);
    }
    // stb_image heeds bit 5 (top or bottom first) but not bit 4.
    if (result == DecodeResult::Decoded && t.right_to_left) {
        for (int y = 0; y < out.height; ++y) {
            unsigned char* row = out.rgb.get() + static_cast<size_t>(y) * out.width * 3;
            for (int a = 0, b = out.width - 1; a < b; ++a, --b)
                std::swap_ranges(row + 3 * a, row + 3 * a + 3, row + 3 * b);
        }
    }
    return result;
}

}  // namespace

DecodeResult decode_bmp_tga(const std::vector<unsigned char>& file, long long max_texels,
                            DecodedBitmap& out) {
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M')
        return decode_bmp(file, max_texels, out);
    return decode_tga(file, max_texels, out);
}

#ifdef GLIMMARK_STB_PNG_JPEG
bool looks_like_png(const std::vector<unsigned char>& file) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return file.size() >= 8 && std::memcmp(file.data(), signature, 8) == 0;
}

bool looks_like_jpeg(const std::vector<unsigned char>& file) {
    // A start marker, FF D8, which may have fill bytes (more FFs) before it.
    size_t p = 0;
    while (p < file.size() && file[p] == 0xFF)
        ++p;
    return p > 0 && p < file.size() && file[p] == 0xD8;
}

namespace {

uint32_t be32(const std::vector<unsigned char>& f, size_t at) {
    return static_cast<uint32_t>(f[at]) << 24 | f[at + 1] << 16 | f[at + 2] << 8 | f[at + 3];
}

// stb_image takes the whole picture's memory before it inflates a byte.
// Deflate packs at most 1032 bytes into one (a 258-byte match in two bits),
// so image data too short for the picture's samples even at that rate cannot
// hold it, and the file is refused first.
bool png_data_can_hold_picture(const std::vector<unsigned char>& f) {
    if (f.size() < 8 + 8 + 13 || std::memcmp(&f[12], "IHDR", 4) != 0) return true;
    const long long width = be32(f, 16), height = be32(f, 20), depth = f[24];
    static const int channels_of_colour[7] = {1, 0, 3, 1, 2, 0, 4};
    const long long channels = f[25] <= 6 ? channels_of_colour[f[25]] : 0;
    if (width > MaxTextureSide || height > MaxTextureSide) return true;  // stb_image refuses
    long long data = 0;
    for (size_t at = 8; f.size() - at >= 12;) {
        const uint32_t length = be32(f, at);
        if (std::memcmp(&f[at + 4], "IDAT", 4) == 0) data += length;
        if (length > f.size() - at - 12) break;
        at += 12 + length;
    }
    return (data + 1) * 1032 >= width * height * channels * depth / 8;
}

}  // namespace

DecodeResult decode_png(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out) {
    if (!looks_like_png(file)) return DecodeResult::Refused;
    if (!png_data_can_hold_picture(file)) return DecodeResult::Refused;
    return decode_with_stb(file, max_texels, out);
}

DecodeResult decode_jpeg(const std::vector<unsigned char>& file, long long max_texels,
                         DecodedBitmap& out) {
    if (!looks_like_jpeg(file)) return DecodeResult::Refused;
    // As the libjpeg decoder does: Huffman coding (stb_image reads no other)
    // spends at least a bit on each 8 x 8 block, and stb_image takes the
    // whole picture's memory first.
    FileReader probe{file.data(), file.size()};
    int w = 0, h = 0, channels = 0;
    if (stbi_info_from_callbacks(&file_callbacks, &probe, &w, &h, &channels) &&
        static_cast<long long>(file.size()) * 8 < (w + 7LL) / 8 * ((h + 7LL) / 8))
        return DecodeResult::Refused;
    return decode_with_stb(file, max_texels, out);
}
#endif
