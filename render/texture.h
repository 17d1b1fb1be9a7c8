#pragma once

#include <string>

#include "shapes/material.h"

// Loads a BMP, PNG, JPEG or TGA bitmap into the material's texel store;
// false (nothing changed) when the file cannot be read.
bool load_texture(Material& material, const std::string& file_name);
