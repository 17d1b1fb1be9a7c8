#pragma once

#include "shapes/shape.h"

// The two fixed solids bounded by triangles. Corners and texture pairs are
// set by the constructors; a scene only places them and gives a material.

struct TexturePair {
    float u;
    float v;
};

// A four-sided solid on a triangular base (TRIAD).
struct Trioid : UnitShape {
    Vector3 corners[4];
    TexturePair texture[4];

    // Faces as corner indices, in the order tested; the base comes first.
    static constexpr int kFaces[4][3] = {{0, 1, 2}, {0, 3, 1}, {1, 3, 2}, {2, 3, 0}};

    Trioid();
    void intersect(Hit& hit, const Ray& ray) override;
    bool worldBounds(Bounds& out) const override;
};

// A pyramid on a square base (PYRAMID).
struct Pyramid : UnitShape {
    Vector3 corners[5];
    TexturePair texture[5];

    // The two base triangles, then the four sides.
    static constexpr int kFaces[6][3] = {{0, 1, 2}, {2, 3, 0}, {0, 4, 1},
                                         {1, 4, 2}, {2, 4, 3}, {3, 4, 0}};

    Pyramid();
    void intersect(Hit& hit, const Ray& ray) override;
    bool worldBounds(Bounds& out) const override;
};

// Tests the listed triangular faces in order and keeps the two nearest
// crossings, with the box's rule. Each face is wound so that
// (c1 - c0) x (c2 - c0) points into the solid; a crossing reports the
// opposite, outward normal.
void intersectFaces(UnitShape& shape, const Vector3* corners, const TexturePair* texture,
                    const int (*faces)[3], int faceCount, Hit& hit, const Ray& ray);
