#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class Surface;

enum class ImageFormat { Png, Ppm };

// The format a file name asks for by its extension (.png or .ppm, any case);
// false for any other name.
bool image_format_for(const std::string& path, ImageFormat& format);

// The RGB bytes of a picture of 0x00BBGGRR pixels, row by row from the top.
std::vector<unsigned char> rgb_bytes(const std::vector<uint32_t>& pixels);

// How the PNG writer compresses: zlib level 6, every row through the Sub
// filter. Measured on examples/showcase.gmk traced at 2560 x 1920 (best of
// three runs), the stb_image_write encoder this writer replaced gave 2154185
// bytes in 0.37 s; Sub at level 6 gives 1437701 bytes (33 % less) in 0.25 s,
// smaller than libpng's choice of filter per row even at level 9 (1439054
// bytes, 1.9 s) and than level 6 with it (1505200 bytes, 0.34 s). Three more
// of the examples, traced large, gave the same order. The faster encoders
// tried for the benchmark pictures at 2560 x 1920 all grew the mesh picture
// by more than a tenth (Sub at zlib level 5: +21 %, libdeflate level 6:
// +12 %, ISA-L level 3: +73 %), so the level stays and the rows are deflated
// in bands on every core instead (png_bands.h).
constexpr int PngCompressionLevel = 6;

// Writes a width x height picture of 0x00BBGGRR pixels. A PNG (8-bit RGB,
// marked sRGB) is deflated in bands of rows on every core as it is written,
// so the writer holds a band's bytes per core besides the picture. On failure
// `error` names the file and the reason, and no partial file is left behind.
bool write_image(const std::string& path, ImageFormat format, int width, int height,
                 const std::vector<uint32_t>& pixels, std::string& error);
// The same, read straight from the surface: no copy of the picture is made.
// Only call while no render thread writes to it.
bool write_image(const std::string& path, ImageFormat format, const Surface& picture,
                 std::string& error);
// The same onto an open stream, such as standard output; `name` is what an
// error message calls it. The stream is flushed, not closed.
bool write_image_to(std::FILE* out, const std::string& name, ImageFormat format,
                    const Surface& picture, std::string& error);
