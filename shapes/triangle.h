#pragma once

#include <cstddef>

#include "shapes/shape.h"

// One triangle of a mesh, stored in world space: it has no frames, so a ray
// costs no matrix work. It has no inside either: every hit is a span of zero
// length, reported with the blend of the corner normals whichever side the
// ray comes from.
struct Triangle : CShape {
    // Corner positions, corner normals (unit length when built) and corner
    // texture coordinates, all world space, in corner order A, B, C. Nothing
    // else is stored (no heap data), so that large meshes stay small.
    Vector3 A, B, C;
    Vector3 nA, nB, nC;
    float uA = 0.0f, vA = 0.0f;
    float uB = 0.0f, vB = 0.0f;
    float uC = 0.0f, vC = 0.0f;

    Triangle(const Vector3& A, const Vector3& B, const Vector3& C, const Vector3& nA,
             const Vector3& nB, const Vector3& nC, float uA, float vA, float uB, float vB, float uC,
             float vC, Material* material);

    // A mesh makes triangles by the hundred thousand: they are carved from
    // slabs of 2 MB (in huge pages where the system offers them), which saves
    // a heap block and a page fault per few triangles (triangle.cpp).
    static void* operator new(std::size_t size);
    static void operator delete(void* triangle, std::size_t size) noexcept;

    void intersect(Hit& hit, const Ray& ray) override;
    void intersectDistances(Hit& hit, const Ray& ray) final;
    void completeHit(Hit& hit, const Ray& ray) const final;
    // The box of the three corners.
    bool worldBounds(Bounds& out) const override;
};
