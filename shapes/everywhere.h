#pragma once

#include "shapes/shape.h"

// Fills all of space: every ray starts inside it and never leaves
// (EVERYWHERE). Its placement is ignored and it has no finite extent.
struct Everywhere : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override;
};
