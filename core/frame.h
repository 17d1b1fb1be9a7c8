#pragma once

#include "core/matrix4.h"
#include "core/ray.h"

// A transform node. FRAME blocks stack these; shapes embed two unlinked ones.
struct Frame {
    Frame* parent = nullptr;
    Frame* child = nullptr;
    Matrix4 matrix = Matrix4::identity();

    void setIdentity() {
        parent = nullptr;
        child = nullptr;
        matrix.setIdentity();
    }
    Vector3 transformPoint(const Vector3& p) const { return matrix.transformPoint(p); }
    Vector3 transformDirection(const Vector3& d) const { return matrix.transformDirection(d); }
    Vector3 transformNormal(const Vector3& n) const { return matrix.transformNormal(n); }
    void scaleDiagonal(float x, float y, float z) { matrix.scaleDiagonal(x, y, z); }
    void addTranslation(float x, float y, float z) { matrix.addTranslation(x, y, z); }
    void setRotation(float ax, float ay, float az) { matrix.setRotation(ax, ay, az); }
    void orientAlong(const Vector3& d) { matrix.orientAlong(d); }
    void lookAt(const Vector3& target) { matrix.lookAt(target); }
    void compose(const Frame& other) { matrix.compose(other.matrix); }
    float determinant() const { return matrix.determinant(); }
    void invert() { matrix.invert(); }
    // The world ray carried into this frame's space; the direction keeps its
    // length so that a ray parameter names the same point in both spaces.
    Ray toUnitRay(const Ray& world) const {
        return {matrix.transformPoint(world.origin), matrix.transformDirection(world.direction)};
    }
};
