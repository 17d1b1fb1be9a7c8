#pragma once

#include "shapes/shape.h"

// The unit sphere x^2 + y^2 + z^2 = 1; unequal scales make it an ellipsoid.
struct Sphere : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override;
    void intersectDistances(Hit& hit, const Ray& ray) final;
    void completeHit(Hit& hit, const Ray& ray) const final;
    bool worldBounds(Bounds& out) const override;
};

// Texture coordinates of a world normal on a sphere placed by unitToWorld:
// v runs from -1 at the bottom pole to 1 at the top, u around the axis.
void sphereTextureCoordinates(const Matrix4& unitToWorld, const Vector3& normal, float& u,
                              float& v);
