#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes a width x height picture of 0x00BBGGRR pixels, row by row from the
// top, as a PNG file. On failure `error` names the file and the reason, and no
// partial file is left behind.
bool write_png_picture(const std::string& path, int width, int height,
                       const std::vector<uint32_t>& pixels, std::string& error);
