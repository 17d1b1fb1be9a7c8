#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class ImageFormat { Png, Ppm };

// The format a file name asks for by its extension (.png or .ppm, any case);
// false for any other name.
bool image_format_for(const std::string& path, ImageFormat& format);

// The RGB bytes of a picture of 0x00BBGGRR pixels, row by row from the top.
std::vector<unsigned char> rgb_bytes(const std::vector<uint32_t>& pixels);

// Writes a width x height picture of 0x00BBGGRR pixels. On failure `error`
// names the file and the reason, and no partial file is left behind. The
// path "-" writes the picture to standard output.
bool write_image(const std::string& path, ImageFormat format, int width, int height,
                 const std::vector<uint32_t>& pixels, std::string& error);
