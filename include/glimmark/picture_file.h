#pragma once

// Writing traced pictures as files: PNG (8-bit RGB, marked sRGB) or binary
// PPM, chosen by the file name or by the caller.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "glimmark/canvas.h"
#include "glimmark/picture_bands.h"

namespace glimmark {

enum class PictureFormat { Png, Ppm };

// The format a file name asks for by its extension (.png or .ppm, any case);
// false for any other name.
bool picture_format_for(const std::string& path, PictureFormat& format);

// Writes a width x height picture of 0x00BBGGRR pixels, row by row from the
// top. On failure `error` names the file and the reason, and no partial file
// is left behind.
bool write_picture(const std::string& path, PictureFormat format, int width, int height,
                   const std::vector<uint32_t>& pixels, std::string& error);

// The same onto an open stream, such as standard output; `name` is what an
// error message calls it. The stream is flushed, not closed.
bool write_picture_to(std::FILE* out, const std::string& name, PictureFormat format, int width,
                      int height, const std::vector<uint32_t>& pixels, std::string& error);

// The file of a picture begun while the picture is traced into a canvas, a
// band of rows at a time as soon as the render has settled them: a PNG's
// bands deflated, a PPM's rows written to the file's temporary. A write
// given it does only the rest; the file is the same byte for byte. Used by
// one thread at a time besides the render.
class PictureAhead {
  public:
    // For the picture traced into `picture`, to be written in `format` (a
    // PPM to `path`, with `band` in its header when given).
    PictureAhead(const Canvas& picture, PictureFormat format, const std::string& path,
                 const PictureBand* band = nullptr);
    ~PictureAhead();
    PictureAhead(const PictureAhead&) = delete;
    PictureAhead& operator=(const PictureAhead&) = delete;

    // Takes on the bands within the first `settled_rows` rows (the rows the
    // render will not change any more); returns between bands once `stop`
    // is set. What it could not do is left to the write.
    void take_settled(int settled_rows, const std::atomic<bool>& stop);
    // Every band is done.
    bool complete() const;

  private:
    friend struct PictureAheadAccess;
    struct State;
    std::unique_ptr<State> state_;
};

// Writes the picture on the canvas, read straight from it: only call while
// no render thread writes to it. What `ahead` did is taken when it was made
// for this picture at its present size (and, for a PPM, for this file and
// band). `band`, when given, is written into the file.
bool write_picture(const std::string& path, PictureFormat format, const Canvas& picture,
                   std::string& error, PictureAhead* ahead = nullptr,
                   const PictureBand* band = nullptr);
bool write_picture_to(std::FILE* out, const std::string& name, PictureFormat format,
                      const Canvas& picture, std::string& error, PictureAhead* ahead = nullptr,
                      const PictureBand* band = nullptr);

// Whether `file` holds a PNG that decodes to its end (IEND) as a picture of
// width x height.
bool png_is_whole(const std::vector<unsigned char>& file, int width, int height);

}  // namespace glimmark
