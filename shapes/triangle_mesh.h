#pragma once

#include <cstddef>
#include <cstdint>

#include "core/huge_pages.h"
#include "shapes/shape.h"
#include "shapes/triangle.h"

#include <vector>

// The triangles of a model file as one shape: corners shared between
// triangles are stored once, and a triangle is three corner numbers, so that
// a mesh of millions takes a few dozen bytes a triangle. Each triangle is
// still a shape of its own to a search: a hit names it in Hit::part, a ray
// leaving it skips only it, and its test, box and shading are a Triangle's
// with the same corners, number for number. Its triangles stand in the list,
// in their order, where the mesh stands.
struct TriangleMesh : CShape {
    // One corner: world-space position and normal, texture coordinates.
    struct Corner {
        Vector3 position;
        Vector3 normal;
        float u = 0.0f, v = 0.0f;
    };
    struct Face {
        uint32_t corner[3];
    };
    // A model's corners and faces are stored in order by the threads that
    // copy them, each its own stretch, into arrays made to their full size.
    template <class T>
    using LongArray = std::vector<T, UnfilledHugePageAllocator<T>>;

    LongArray<Corner> corners;
    LongArray<Face> faces;

    size_t triangleCount() const { return faces.size(); }
    const Vector3& position(uint32_t face, int k) const {
        return corners[faces[face].corner[k]].position;
    }

    // Triangle::worldBounds of triangle `face`.
    bool triangleBounds(uint32_t face, Bounds& out) const;
    // Triangle::intersectDistances of triangle `face`, the hit naming it.
    void meetTriangle(Hit& hit, uint32_t face, const Ray& ray);

    // Every triangle in order, as a list scan would test them.
    void intersect(Hit& hit, const Ray& ray) override;
    void intersectDistances(Hit& hit, const Ray& ray) final;
    // Triangle::completeHit of the triangle the hit names.
    void completeHit(Hit& hit, const Ray& ray) const final;
    // The box of all triangles' boxes.
    bool worldBounds(Bounds& out) const override;
};
