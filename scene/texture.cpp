#include "scene/texture.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include <sys/stat.h>

#include "scene/texture_decoders.h"

namespace {

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

}  // namespace

bool load_texture(Material& material, const std::string& file_name, long long max_texels,
                  bool* too_large) {
    if (too_large != nullptr) *too_large = false;
    max_texels = std::min(max_texels, MaxTexturePixels);
    std::vector<unsigned char> bytes;
    if (!read_file(file_name, bytes) || bytes.empty()) return material.texture_loaded;

    // The decoder is chosen by the file's first bytes, not by its name.
    DecodedBitmap image;
    const DecodeResult result = looks_like_png(bytes)    ? decode_png(bytes, max_texels, image)
                                : looks_like_jpeg(bytes) ? decode_jpeg(bytes, max_texels, image)
                                                         : decode_bmp_tga(bytes, max_texels, image);
    std::vector<unsigned char>().swap(bytes);  // not needed beside the texel store
    if (result == DecodeResult::TooLarge && too_large != nullptr) *too_large = true;
    if (result != DecodeResult::Decoded) return material.texture_loaded;
    const int w = image.width, h = image.height;

    // W x H texels, then two spare rows and two spare texels, which the
    // bilinear lookup reads at the right and bottom edges; they stay black.
    std::vector<Vector3> texels;
    try {
        texels.assign(static_cast<size_t>(w) * static_cast<size_t>(h + 2) + 2, Vector3{});
    } catch (const std::bad_alloc&) {
        return material.texture_loaded;
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = image.rgb.get() + (static_cast<size_t>(y) * w + x) * 3;
            // 255 becomes 255/256, not 1: the channels are divided by 256.
            texels[static_cast<size_t>(x) + static_cast<size_t>(y) * w] = {
                static_cast<float>(p[0]) * 0.00390625f, static_cast<float>(p[1]) * 0.00390625f,
                static_cast<float>(p[2]) * 0.00390625f};
        }
    }

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
