#pragma once

#include "shapes/shape.h"

// An infinite plane acting as a half-space solid (PLANE). It has no finite
// extent, so worldBounds stays false.
struct Plane : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override;
    void intersectDistances(Hit& hit, const Ray& ray) final;
    void completeHit(Hit& hit, const Ray& ray) const final;
};
