#pragma once

#include <string>
#include <vector>

#include "core/vector3.h"

// Surface properties of a shape. Fields set by a keyword carry its name.
struct Material {
    Material* previous = nullptr;
    Material* next = nullptr;
    Vector3 diffuse{1.0f, 1.0f, 1.0f};
    float gloss = 1.0f;
    float transparency = 0.0f;
    float inner_transparency_depth = 0.0f;
    float reflection = 0.0f;
    float refraction = 0.5f;
    float density = 1.0f;
    float texture_tile = 0.0f;
    bool texture_loaded = false;
    // Row 0 is the top row of the bitmap; W*H texels, then two spare rows and
    // two spare texels that the bilinear lookup reads at the right and bottom
    // edges.
    std::vector<Vector3> texels;
    int texture_width = 0;
    int texture_height = 0;
    int texel_count_less_one = 0;
    std::string name;

    // Bilinear texture lookup at (u, v); the diffuse colour without a texture.
    Vector3 colourAt(float u, float v) const;
};
