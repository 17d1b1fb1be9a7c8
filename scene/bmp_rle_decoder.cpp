// Run-length BMPs (BI_RLE8, BI_RLE4). The runs are read as pairs of bytes:
// a count and a colour (one index, or two 4-bit ones taken in turn), or a
// zero and an escape: 0 ends the row, 1 ends the bitmap, 2 moves the pen
// right and up by the next two bytes, 3 and more are that many indices
// stored as they are, padded to a whole number of 16-bit words. Rows go from
// the bottom of the picture up.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "scene/texture_decoders.h"

namespace {

// Palette indices, one byte a pixel, for the rows the runs have reached; a
// row not reached holds index 0 throughout.
class IndexRows {
  public:
    IndexRows(int width, int height) : width_(width), rows_(static_cast<size_t>(height)) {}

    // How many of `count` pixels from column x fit in the row.
    unsigned fitting(long long x, unsigned count) const {
        return static_cast<unsigned>(std::clamp<long long>(width_ - x, 0, count));
    }
    // Sets pixel x of row y (counted from the bottom), both within the picture.
    void set(long long x, long long y, unsigned char index) {
        std::unique_ptr<unsigned char[]>& row = rows_[static_cast<size_t>(y)];
        if (row == nullptr) {
            row.reset(new unsigned char[static_cast<size_t>(width_)]);
            std::memset(row.get(), 0, static_cast<size_t>(width_));
        }
        row[static_cast<size_t>(x)] = index;
    }
    const unsigned char* row(size_t y) const { return rows_[y].get(); }
    void release(size_t y) { rows_[y].reset(); }

  private:
    int width_;
    std::vector<std::unique_ptr<unsigned char[]>> rows_;
};

// Follows the runs from `p` to the bitmap's end; false when the data ends
// before the end-of-bitmap escape or before the pen has left the picture.
bool read_runs(const unsigned char* p, const unsigned char* end, int bits, int height,
               IndexRows& rows) {
    long long x = 0, y = 0;
    while (y < height) {
        if (end - p < 2) return false;
        const unsigned count = p[0], value = p[1];
        p += 2;
        if (count > 0) {
            // Pixels past the end of the row are dropped.
            for (unsigned i = 0, n = rows.fitting(x, count); i < n; ++i) {
                const unsigned index = bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 15);
                rows.set(x + i, y, static_cast<unsigned char>(index));
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (end - p < 2) return false;
            x += p[0];
            y += p[1];
            p += 2;
        } else {
            const size_t bytes = bits == 8 ? value : (value + 1) / 2;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (static_cast<size_t>(end - p) < padded) return false;
            for (unsigned i = 0, n = rows.fitting(x, value); i < n; ++i) {
                const unsigned index =
                    bits == 8 ? p[i] : (i % 2 == 0 ? p[i / 2] >> 4 : p[i / 2] & 15);
                rows.set(x + i, y, static_cast<unsigned char>(index));
            }
            x += value;
            p += padded;
        }
    }
    return true;
}

}  // namespace

DecodeResult decode_bmp_rle(const std::vector<unsigned char>& file, const RleBitmap& bitmap,
                            DecodedBitmap& out) {
    const int w = bitmap.width, h = bitmap.height;
    if ((bitmap.bits != 8 && bitmap.bits != 4) || w < 1 || h < 1 || w > MaxTextureSide ||
        h > MaxTextureSide || bitmap.offset > file.size())
        return DecodeResult::Refused;
    // Indices past the file's palette are black.
    unsigned char colours[256][3] = {};
    for (int i = 0; i < std::min(bitmap.palette_entries, 256); ++i)
        for (int c = 0; c < 3; ++c)
            colours[i][c] = bitmap.palette[4 * i + 2 - c];

    try {
        IndexRows rows(w, h);
        if (!read_runs(file.data() + bitmap.offset, file.data() + file.size(), bitmap.bits, h,
                       rows))
            return DecodeResult::Refused;
        const size_t stride = static_cast<size_t>(w) * 3;
        OwnedBytes rgb(allocate_bytes(stride * static_cast<size_t>(h)));
        if (rgb == nullptr) return DecodeResult::Refused;
        for (int y = 0; y < h; ++y) {
            // Row y from the bottom is row h - 1 - y from the top.
            unsigned char* target = rgb.get() + stride * static_cast<size_t>(h - 1 - y);
            const unsigned char* indices = rows.row(static_cast<size_t>(y));
            for (int x = 0; x < w; ++x)
                std::memcpy(target + 3 * x, colours[indices != nullptr ? indices[x] : 0], 3);
            rows.release(static_cast<size_t>(y));
        }
        out.width = w;
        out.height = h;
        out.rgb = std::move(rgb);
    } catch (const std::bad_alloc&) {
        return DecodeResult::Refused;
    }
    return DecodeResult::Decoded;
}
