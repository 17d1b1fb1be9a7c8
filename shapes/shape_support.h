#pragma once

#include <cmath>

#include "core/bounds.h"
#include "core/ray.h"
#include "shapes/material.h"
#include "shapes/shape.h"

// Small helpers shared by the unit shapes.

// The value of pi that every texture mapping of the shapes uses.
constexpr float kTexturePi = 3.14159f;

// A shape always has a material once the parser has placed it; a shape made
// by hand without one is coloured with the default white and no texture.
inline bool hasTexture(const Material* m) {
    return m != nullptr && m->texture_loaded && !m->texels.empty();
}
inline Vector3 diffuseOf(const Material* m) {
    return m != nullptr ? m->diffuse : Vector3{1.0f, 1.0f, 1.0f};
}
inline Vector3 colourOf(const Material* m, float u, float v) {
    return m != nullptr ? m->colourAt(u, v) : Vector3{1.0f, 1.0f, 1.0f};
}

inline float clampUnit(float x) {
    if (x < -1.0f) return -1.0f;
    if (x > 1.0f) return 1.0f;
    return x;
}

// A shape scaled by zero has a singular world-to-unit matrix whose inverse is
// not finite; such a flattened shape is never hit (isFiniteRay, core/ray.h).

// World box of the unit-space box [lo, hi] carried by the shape's placement;
// false when the placement is not finite.
inline bool unitBoxBounds(const UnitShape& shape, const Vector3& lo, const Vector3& hi,
                          Bounds& out) {
    Bounds unit;
    unit.add(lo);
    unit.add(hi);
    Bounds world = Bounds::transformed(unit, shape.unitToWorld.matrix);
    if (!(std::isfinite(world.lo.x) && std::isfinite(world.lo.y) && std::isfinite(world.lo.z) &&
          std::isfinite(world.hi.x) && std::isfinite(world.hi.y) && std::isfinite(world.hi.z)))
        return false;
    out = world;
    return true;
}
