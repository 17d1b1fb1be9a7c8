#pragma once

// Asking a shape about one ray, and comparing what two hits say.

#include <gtest/gtest.h>

#include <cstring>

#include "shapes/shape.h"

// The hit of one shape alone, from a freshly reset hit.
inline Hit hit_for(CShape& shape, const Ray& ray, CShape* skip = nullptr) {
    Hit hit;
    hit.reset(skip);
    shape.intersect(hit, ray);
    return hit;
}

// Equal to the last bit: -0 is not 0, and a NaN equals the same NaN.
inline bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof(float)) == 0; }
inline bool same_bits(const Vector3& a, const Vector3& b) {
    return same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.z, b.z);
}

// Everything shading may read of a hit, to the last bit; two misses are the
// same whatever else they hold.
inline ::testing::AssertionResult same_hit(const Hit& a, const Hit& b) {
    if (a.entryKind != b.entryKind) return ::testing::AssertionFailure() << "entryKind";
    if (a.entryKind == 0) return ::testing::AssertionSuccess();
    if (a.shape != b.shape || a.part != b.part) return ::testing::AssertionFailure() << "shape";
    if (a.boundaryCount != b.boundaryCount) return ::testing::AssertionFailure() << "count";
    if (!same_bits(a.entryDistance, b.entryDistance) || !same_bits(a.exitDistance, b.exitDistance))
        return ::testing::AssertionFailure() << "distances";
    if (!same_bits(a.entryPoint, b.entryPoint) || !same_bits(a.exitPoint, b.exitPoint))
        return ::testing::AssertionFailure() << "points";
    if (!same_bits(a.entryNormal, b.entryNormal) || !same_bits(a.exitNormal, b.exitNormal))
        return ::testing::AssertionFailure() << "normals";
    if (!same_bits(a.entryColour, b.entryColour) || !same_bits(a.exitColour, b.exitColour))
        return ::testing::AssertionFailure() << "colours";
    return ::testing::AssertionSuccess();
}
