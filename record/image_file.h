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

#include "scene/surface.h"

enum class ImageFormat { Png, Ppm };

// The format a file name asks for by its extension (.png or .ppm, any case);
// false for any other name.
bool image_format_for(const std::string& path, ImageFormat& format);

// The RGB bytes of a picture of 0x00BBGGRR pixels, row by row from the top.
std::vector<unsigned char> rgb_bytes(const std::vector<uint32_t>& pixels);

// Sub filter, zlib level 6, a shorter match search: why, in bench/IO_RESULTS.md (PNG compression).
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
