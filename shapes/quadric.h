#pragma once

#include "shapes/shape.h"
#include "shapes/solvers/polynomial.h"

// The general second-degree surface F(x, y, z) = 0 in unit space:
// F = k0 x^2 + k1 y^2 + k2 z^2 + k3 xy + k4 xz + k5 yz + k6 x + k7 y + k8 z + k9.
// Unbounded; the span between the two roots along a ray is its inside.
struct Quadric : UnitShape {
    // All zero until COEFFICIENTS sets them: a surface that is never hit.
    Coefficients coefficients = {};

    void intersect(Hit& hit, const Ray& ray) override;
};

// Surface colour of the polynomial surfaces at a world point P with world
// normal N: u from the angle of N to the world X axis, v the world height.
// Without a texture (or without a material) the DIFFUSE colour.
Vector3 polynomialSurfaceColour(const Material* material, const Vector3& N, const Vector3& P);
