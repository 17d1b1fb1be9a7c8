#pragma once

#include "shapes/shape.h"

// The ripple y = cos(sqrt(x^2 + z^2) + phase) in unit space (COSINE). Every
// hit runs from the surface crossing to FarDistance; the surface is unbounded
// sideways, so worldBounds stays false.
struct Cosine : UnitShape {
    float phase = 0.0f;  // PHASE

    void intersect(Hit& hit, const Ray& ray) override;
};
