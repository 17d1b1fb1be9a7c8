#pragma once

#include <cstddef>
#include <limits>

#include "shapes/shape.h"

// What a triangle's test works out from its corners alone: corner A, the
// edges from it, the plane's normal and the edges' dot products. A mesh's
// hierarchy keeps them, one cache line a triangle, so that its searches need
// not work them out again; the values, and the test, are the same.
struct alignas(64) PackedTriangle {
    Vector3 A, e1, e2, n;
    float E11 = 0.0f, E12 = 0.0f, E22 = 0.0f, den = 0.0f;

    // False for a triangle without area, which no ray meets.
    bool pack(const Vector3& a, const Vector3& b, const Vector3& c) {
        A = a;
        e1 = b - a;
        e2 = c - a;
        n = e1.cross(e2);
        if (n.dot(n) == 0.0f) return false;
        E11 = e1.dot(e1);
        E12 = e1.dot(e2);
        E22 = e2.dot(e2);
        den = E12 * E12 - E11 * E22;
        return true;
    }

    // Where the ray meets the plane, and the barycentric weights there: a
    // hit of `shape` is set on `hit`, whose kind must read 0, when they lie
    // within the triangle. The bounds are inclusive, so that neighbouring
    // triangles leave no gap along a shared edge. A search that keeps
    // nothing farther than `farthest` learns no more of a plane met
    // beyond it (the weights are not worked out).
    void meet(Hit& hit, CShape* shape, const Ray& ray,
              float farthest = std::numeric_limits<float>::infinity()) const {
        float t, s, g;
        if (meets(ray, farthest, t, s, g)) setHit(hit, shape, t, s, g);
    }

    // Sets on `hit` a hit of `shape` met at `t` with weights `s`, `g`.
    static void setHit(Hit& hit, CShape* shape, float t, float s, float g) {
        hit.entryKind = 1;
        hit.boundaryCount = 2;
        hit.shape = shape;
        hit.entryDistance = t;
        hit.exitDistance = t;
        hit.weights[0] = s;
        hit.weights[1] = g;
    }

    // The same test, giving the distance `t` and the weights `s`, `g` of a
    // hit; false for none.
    bool meets(const Ray& ray, float farthest, float& t, float& s, float& g) const {
        const Vector3& O = ray.origin;
        const Vector3& D = ray.direction;
        const float dn = n.dot(D);
        if (dn == 0.0f) return false;
        t = -((O - A).dot(n)) / dn;
        if (t < 0.0f || t > farthest) return false;
        const Vector3 P = O + D * t;
        const Vector3 w = P - A;
        const float W1 = e1.dot(w);
        const float W2 = e2.dot(w);
        s = (W2 * E12 - E22 * W1) / den;
        if (s < 0.0f || s > 1.0f) return false;
        g = (E12 * W1 - E11 * W2) / den;
        return !(g < 0.0f || s + g > 1.0f);
    }
};

// The box of a triangle's corners, with a margin for the rounding of the
// reported points; false when it is not finite.
bool triangleBox(const Vector3& A, const Vector3& B, const Vector3& C, Bounds& out);

// The points, normals and colours of a triangle's hit from its distance and
// barycentric weights: the corner normals blended, the texture at the blended
// coordinates (u, v of the corners in `uv`: uA vA uB vB uC vC).
void completeTriangleHit(Hit& hit, const Ray& ray, const Vector3& nA, const Vector3& nB,
                         const Vector3& nC, const float* uv, const Material* material);

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
