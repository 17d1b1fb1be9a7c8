#pragma once

// Writing traced pictures as files: PNG (8-bit RGB, marked sRGB) or binary
// PPM, chosen by the file name or by the caller.

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace glimmark
