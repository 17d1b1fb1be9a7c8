#include "scene/texture.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <sys/stat.h>

// Only the four bitmap kinds a scene may name are decoded; sides are limited
// like the traced image's, so that a forged header cannot ask for gigabytes.
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

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

// Only regular files are read, and only up to MaxTextureFileBytes: a scene may
// name a device or a pipe that never ends.
bool read_file(const std::string& name, std::vector<unsigned char>& out) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxTextureFileBytes)
        return false;
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return false;
    unsigned char buffer[65536];
    size_t n;
    bool ok = true;
    try {
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
            out.insert(out.end(), buffer, buffer + n);
            // The file may have grown since it was looked at.
            if (static_cast<long long>(out.size()) > MaxTextureFileBytes) {
                ok = false;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (std::ferror(f)) ok = false;
    std::fclose(f);
    return ok;
}

// stb_image builds each JPEG Huffman table into a 257-entry array without
// checking that the sixteen code counts of the table add up to at most 256,
// so a crafted file writes past it. Such a table is not valid JPEG; refuse the
// file before the decoder sees it.
bool jpeg_huffman_tables_sound(const std::vector<unsigned char>& b) {
    const size_t n = b.size();
    // The decoder skips fill bytes before the start marker as well.
    size_t p = 0;
    while (p < n && b[p] == 0xFF)
        ++p;
    if (p == 0 || p >= n || b[p] != 0xD8) return true;  // not a JPEG
    ++p;
    while (p + 1 < n) {
        if (b[p] != 0xFF) {
            ++p;  // entropy-coded data between markers
            continue;
        }
        const unsigned char m = b[p + 1];
        if (m == 0xFF) {
            ++p;  // fill byte
            continue;
        }
        p += 2;
        if (m == 0x00 || m == 0x01 || m == 0xD8 || (m >= 0xD0 && m <= 0xD7)) continue;
        if (m == 0xD9) break;
        if (p + 1 >= n) break;
        const size_t length = (static_cast<size_t>(b[p]) << 8) | b[p + 1];
        const size_t end = std::min(n, p + length);
        if (m == 0xC4) {
            // The decoder reads tables while any of the segment is left, even
            // when a table's counts run past its end.
            size_t q = p + 2;
            while (q < end && q < n) {
                // Counts past the end of the file read as zeros.
                unsigned total = 0;
                for (size_t i = 1; i <= 16 && q + i < n; ++i)
                    total += b[q + i];
                if (total > 256) return false;
                q += 17 + total;
            }
        }
        if (length < 2) return false;
        p += length;
    }
    return true;
}

}  // namespace

bool load_texture(Material& material, const std::string& file_name, long long max_texels,
                  bool* too_large) {
    if (too_large != nullptr) *too_large = false;
    max_texels = std::min(max_texels, MaxTexturePixels);
    std::vector<unsigned char> bytes;
    if (!read_file(file_name, bytes) || bytes.empty()) return material.texture_loaded;
    if (!jpeg_huffman_tables_sound(bytes)) return material.texture_loaded;

    FileReader probe{&bytes};
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_callbacks(&file_callbacks, &probe, &w, &h, &channels))
        return material.texture_loaded;
    // A bitmap stored from the top row down gives its height negative.
    if (h < 0 && h != INT_MIN) h = -h;
    if (w < 1 || h < 1) return material.texture_loaded;
    if (static_cast<long long>(w) * h > max_texels) {
        if (too_large != nullptr) *too_large = true;
        return material.texture_loaded;
    }

    FileReader reader{&bytes};
    stbi_uc* pixels = stbi_load_from_callbacks(&file_callbacks, &reader, &w, &h, &channels, 3);
    if (pixels == nullptr) return material.texture_loaded;
    if (reader.overran || w < 1 || h < 1 || static_cast<long long>(w) * h > max_texels) {
        stbi_image_free(pixels);
        return material.texture_loaded;
    }

    // W x H texels, then two spare rows and two spare texels, which the
    // bilinear lookup reads at the right and bottom edges; they stay black.
    std::vector<Vector3> texels;
    try {
        texels.assign(static_cast<size_t>(w) * static_cast<size_t>(h + 2) + 2, Vector3{});
    } catch (const std::bad_alloc&) {
        stbi_image_free(pixels);
        return material.texture_loaded;
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const stbi_uc* p = pixels + (static_cast<size_t>(y) * w + x) * 3;
            // 255 becomes 255/256, not 1: the channels are divided by 256.
            texels[static_cast<size_t>(x) + static_cast<size_t>(y) * w] = {
                static_cast<float>(p[0]) * 0.00390625f, static_cast<float>(p[1]) * 0.00390625f,
                static_cast<float>(p[2]) * 0.00390625f};
        }
    }
    stbi_image_free(pixels);

    // A second texture in the same block replaces the first, whose store is
    // released here rather than left unreachable.
    material.texels.swap(texels);
    material.texture_width = w;
    material.texture_height = h;
    material.texel_count_less_one = w * h - 1;
    material.texture_tile = static_cast<float>(std::min(w, h) / 8);
    material.texture_loaded = true;
    return true;
}
