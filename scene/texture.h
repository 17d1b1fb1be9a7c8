#pragma once

#include <string>

#include "shapes/material.h"

// Largest texture in texels (W x H); the store of f32 triples is then 768 MB.
constexpr long long MaxTexturePixels = 1LL << 26;
// Largest texture file read: an uncompressed bitmap of MaxTexturePixels
// four-byte pixels with room for its headers.
constexpr long long MaxTextureFileBytes = 4 * MaxTexturePixels + (1 << 20);

// Loads a BMP, PNG, JPEG or TGA bitmap of at most max_texels texels into the
// material's texel store; false (nothing changed) when the file cannot be
// read. too_large, when given, tells whether the bitmap was refused only for
// having more texels than allowed.
bool load_texture(Material& material, const std::string& file_name,
                  long long max_texels = MaxTexturePixels, bool* too_large = nullptr);
