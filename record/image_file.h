#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "record/band_record.h"
#include "record/png_bands.h"
#include "record/rows_ahead.h"

class Surface;

enum class ImageFormat { Png, Ppm };

// The format a file name asks for by its extension (.png or .ppm, any case);
// false for any other name.
bool image_format_for(const std::string& path, ImageFormat& format);

// The RGB bytes of a picture of 0x00BBGGRR pixels, row by row from the top.
std::vector<unsigned char> rgb_bytes(const std::vector<uint32_t>& pixels);

// How the PNG writer compresses: every row through the Sub filter, zlib
// level 6 with a shorter match search (deflateTune 4, 8, 258, 80 against the
// level's own 8, 16, 128, 128). Measured on examples/showcase.gmk traced at
// 2560 x 1920 (best of three runs), the stb_image_write encoder this writer
// replaced gave 2154185 bytes in 0.37 s; Sub at level 6 gives 1437701 bytes
// (33 % less) in 0.25 s, smaller than libpng's choice of filter per row even
// at level 9 (1439054 bytes, 1.9 s) and than level 6 with it (1505200 bytes,
// 0.34 s). On the four benchmark pictures and the eleven examples traced at
// 2560 x 1920 (build/glimmark_png_bench: the band encoder on one thread,
// processor time, fastest of three, load 4), the shorter search takes 81 %
// of the level's own time (1.66 s against 2.06 s for the fifteen; the
// benchmark pictures 0.50 s against 0.62 s) and the files grow by 6.2 % at
// most (lathe; mesh benchmark +5.6 %, many_spheres -0.2 %). Every
// faster choice tried grew some picture by more than a tenth, or came too
// near it: Sub at zlib level 5 (mesh +21 %), level 4 (mesh +36 %) and
// below, Z_RLE (many_spheres +53 %), no filter (showcase +27 %; the mesh
// alone is smaller), Up, Average, Paeth and a filter chosen per row,
// a shorter search still (chain 64: mesh +8.8 %, 75 % of the time; nice
// length 64 too: the mesh example +18 %), libdeflate (Sub, level 6: mesh
// +12 %; no filter: showcase +23 %; and its bands could only be joined into
// one stream by decoding each to find its last block) and ISA-L level 3
// (+73 %). Bands whose first rows are noisy take shorter searches still
// (`by_noise`, see png_bands.cpp): at most 7.6 % above level 6 on the
// fifteen pictures, in 70 % of its time (1.39 s against 2.00 s).
constexpr PngDeflateSetting PngCompression{6, 4, 8, 258, 80, true};

// Writes a width x height picture of 0x00BBGGRR pixels. A PNG (8-bit RGB,
// marked sRGB) is deflated in bands of rows on every core as it is written,
// so the writer holds a band's bytes per core besides the picture. On failure
// `error` names the file and the reason, and no partial file is left behind.
// `band`, when given, is written into the file (record/band_record.h).
bool write_image(const std::string& path, ImageFormat format, int width, int height,
                 const std::vector<uint32_t>& pixels, std::string& error,
                 const BandRecord* band = nullptr);
// The same onto an open stream, such as standard output; `name` is what an
// error message calls it. The stream is flushed, not closed.
bool write_image_to(std::FILE* out, const std::string& name, ImageFormat format, int width,
                    int height, const std::vector<uint32_t>& pixels, std::string& error,
                    const BandRecord* band = nullptr);

// The PNG of a picture deflated while it is being traced: the bands of rows
// the render has settled, in order, as soon as they are settled. A write
// given it takes those bands and deflates only the rest; the file is the
// same byte for byte.
class PngAhead : public RowsAhead {
  public:
    explicit PngAhead(const Surface& picture);
    ~PngAhead() override;
    PngAhead(const PngAhead&) = delete;
    PngAhead& operator=(const PngAhead&) = delete;

    // Bands it could not deflate are left to the write.
    void take_settled(int settled_rows, const std::atomic<bool>& stop) override;
    bool complete() const override;
    const PngBandsAhead* bands() const { return bands_.get(); }

  private:
    const Surface& picture_;
    std::unique_ptr<PngBandsAhead> bands_;
};

// The same, read straight from the surface: no copy of the picture is made.
// Only call while no render thread writes to it. What `ahead` did while the
// picture was traced is taken when it was made for this picture at its
// present size (and, for a PPM, for this file): a PngAhead's bands, a
// PpmAhead's file.
// A PpmAhead's file is taken only when it was begun with the same `band`.
bool write_image(const std::string& path, ImageFormat format, const Surface& picture,
                 std::string& error, RowsAhead* ahead = nullptr, const BandRecord* band = nullptr);
bool write_image_to(std::FILE* out, const std::string& name, ImageFormat format,
                    const Surface& picture, std::string& error, RowsAhead* ahead = nullptr,
                    const BandRecord* band = nullptr);
