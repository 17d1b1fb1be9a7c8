#pragma once

#include "shapes/shape.h"
#include "shapes/solvers/polynomial.h"

// A third-degree surface without mixed terms, F(x, y, z) = 0 in unit space:
// F = k0 x^3 + k1 y^3 + k2 z^3 + k3 x^2 + k4 y^2 + k5 z^2 + k6 x + k7 y + k8 z + k9.
// Unbounded; a ray sees the span between its two smallest real roots, or only
// an entry (boundaryCount 1) when there is one real root.
struct Cubic : UnitShape {
    // All zero until COEFFICIENTS sets them: a surface that is never hit.
    Coefficients coefficients = {};

    void intersect(Hit& hit, const Ray& ray) override;
};
