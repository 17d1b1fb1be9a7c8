#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/frame.h"
#include "shapes/shape.h"
#include "tests/support/hit_checks.h"
#include "tests/support/vector_near.h"

namespace shapetest {

constexpr float kPi = 3.14159265f;

// Names table-driven cases after their "name" field.
template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

inline Ray rayOf(Vector3 origin, Vector3 direction) { return Ray{origin, direction}; }

// A shape's placement built the way a scene block builds it: each statement
// composed in front of what came before, written TRANSLATE, SCALE, ROTATE.
inline Frame placement(Vector3 translate, Vector3 scale = {1, 1, 1}, Vector3 rotate = {0, 0, 0}) {
    Frame shape;
    Frame step;
    step.setIdentity();
    step.matrix.setRow(3, translate);
    step.compose(shape);
    shape = step;
    step.setIdentity();
    step.matrix.m[0][0] = scale.x;
    step.matrix.m[1][1] = scale.y;
    step.matrix.m[2][2] = scale.z;
    step.compose(shape);
    shape = step;
    step.setIdentity();
    step.setRotation(rotate.x, rotate.y, rotate.z);
    step.compose(shape);
    return step;
}

// Every texel (and the spare ones) the same colour, so any lookup returns it.
inline Material uniformTexture(Vector3 texel, Vector3 diffuse = {0.9f, 0.1f, 0.3f}) {
    Material m;
    m.diffuse = diffuse;
    m.texture_loaded = true;
    m.texture_width = 4;
    m.texture_height = 4;
    m.texels.assign(4 * 4 + 2 * 4 + 2, texel);
    return m;
}

// Red grows with the column and green with the row, each as index / size,
// so that away from the right edge a lookup at (u, v) reads back the wrapped
// coordinates (density * u, density * v) as red and green.
inline Material gradientTexture(float density = 1.0f) {
    Material m;
    m.diffuse = {0.9f, 0.1f, 0.3f};
    m.density = density;
    m.texture_loaded = true;
    const int W = 16, H = 16;
    m.texture_width = W;
    m.texture_height = H;
    for (int i = 0; i < W * H + 2 * W + 2; ++i)
        m.texels.push_back({static_cast<float>(i % W) / W, static_cast<float>(i / W) / H, 0.0f});
    return m;
}

inline bool isFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace shapetest
