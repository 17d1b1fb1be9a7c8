#pragma once

#include "shapes/shape.h"

// An infinite plane acting as a half-space solid (PLANE). It has no finite
// extent, so worldBounds stays false.
struct Plane : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override;
};
