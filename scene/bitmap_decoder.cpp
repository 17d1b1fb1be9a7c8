// BMP and TGA textures, decoded by stb_image. Only these two of its decoders
// are compiled in; PNG and JPEG go to libpng and libjpeg-turbo, which refuse
// damaged files instead of making the best of them. A build without those
// libraries (GLIMMARK_STB_PNG_JPEG, the WebAssembly one) decodes PNG and
// JPEG here too: PNG gives the same texels, JPEG may differ by a few levels
// (another inverse DCT and upsampling).

#include <algorithm>
#include <climits>
#include <cstdlib>
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
// The decoded pixels are handed on as they are and released with std::free.
#define STBI_MALLOC(size) std::malloc(size)
#define STBI_REALLOC(p, size) std::realloc(p, size)
#define STBI_FREE(p) std::free(p)
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
    const std::vector<unsigned char>* bytes = nullptr;
    size_t position = 0;
    bool overran = false;

    static int read(void* user, char* data, int size) {
        auto* r = static_cast<FileReader*>(user);
        const size_t left = r->bytes->size() - r->position;
        if (size > 0 && left == 0) r->overran = true;
        const size_t n = std::min(left, static_cast<size_t>(std::max(size, 0)));
        if (n > 0) std::memcpy(data, r->bytes->data() + r->position, n);
        r->position += n;
        return static_cast<int>(n);
    }
    static void skip(void* user, int n) {
        auto* r = static_cast<FileReader*>(user);
        const size_t left = r->bytes->size() - r->position;
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
        return r->position >= r->bytes->size() ? 1 : 0;
    }
};

const stbi_io_callbacks file_callbacks = {FileReader::read, FileReader::skip, FileReader::eof};

DecodeResult decode_with_stb(const std::vector<unsigned char>& file, long long max_texels,
                             DecodedBitmap& out) {
    FileReader probe{&file};
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_callbacks(&file_callbacks, &probe, &w, &h, &channels))
        return DecodeResult::Refused;
    // A bitmap stored from the top row down gives its height negative.
    if (h < 0 && h != INT_MIN) h = -h;
    if (w < 1 || h < 1) return DecodeResult::Refused;
    if (static_cast<long long>(w) * h > max_texels) return DecodeResult::TooLarge;

    FileReader reader{&file};
    stbi_uc* pixels = stbi_load_from_callbacks(&file_callbacks, &reader, &w, &h, &channels, 3);
    std::unique_ptr<unsigned char[], FreeBytes> rgb(pixels);
    if (rgb == nullptr || reader.overran || w < 1 || h < 1 ||
        static_cast<long long>(w) * h > max_texels)
        return DecodeResult::Refused;
    out.rgb = std::move(rgb);
    out.width = w;
    out.height = h;
    return DecodeResult::Decoded;
}

}  // namespace

DecodeResult decode_bmp_tga(const std::vector<unsigned char>& file, long long max_texels,
                            DecodedBitmap& out) {
    return decode_with_stb(file, max_texels, out);
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

DecodeResult decode_png(const std::vector<unsigned char>& file, long long max_texels,
                        DecodedBitmap& out) {
    if (!looks_like_png(file)) return DecodeResult::Refused;
    return decode_with_stb(file, max_texels, out);
}

DecodeResult decode_jpeg(const std::vector<unsigned char>& file, long long max_texels,
                         DecodedBitmap& out) {
    if (!looks_like_jpeg(file)) return DecodeResult::Refused;
    return decode_with_stb(file, max_texels, out);
}
#endif
