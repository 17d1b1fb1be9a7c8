#include "shapes/sphere.h"

#include <cmath>

#include "core/float_math.h"
#include "shapes/shape_support.h"
#include "shapes/solvers/quadratic.h"

void sphereTextureCoordinates(const Matrix4& unitToWorld, const Vector3& normal, float& u,
                              float& v) {
    const Vector3 Y = unitToWorld.row(1);
    const Vector3 X = unitToWorld.row(0);
    // The axes carry the shape's scale, so the cosines can leave [-1, 1].
    const float phi = fmath::acos(clampUnit(-(normal.dot(Y))));
    v = 2.0f * phi / kTexturePi - 1.0f;
    float s = fmath::sin(phi);
    if (s == 0.0f) s = 0.000001f;
    const float theta = fmath::acos(clampUnit(normal.dot(X) / s));
    const float u0 = 2.0f * theta / kTexturePi;
    const Vector3 C = Y.cross(X);
    u = C.dot(normal) > 0.0f ? u0 : 1.0f - u0;
}

void Sphere::intersect(Hit& hit, const Ray& ray) {
    intersectDistances(hit, ray);
    if (hit.entryKind != 0) completeHit(hit, ray);
}

void Sphere::intersectDistances(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    const Ray local = worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    const float a = d.dot(d);
    const float b = 2.0f * o.dot(d);
    const float c = o.dot(o) - 1.0f;
    solveQuadratic(a, b, c, hit);
    if (hit.entryKind == 0) return;
    if (hit.entryDistance < 0.0f) {
        hit.entryDistance = 0.0f;
        hit.entryKind = 2;
    }
    hit.shape = this;
}

void Sphere::completeHit(Hit& hit, const Ray& ray) const {
    hit.entryPoint = ray.origin.plus(ray.direction.scaled(hit.entryDistance));
    hit.exitPoint = ray.origin.plus(ray.direction.scaled(hit.exitDistance));
    const Vector3 centre = unitToWorld.matrix.row(3);
    hit.entryNormal = (hit.entryPoint - centre).normalized();
    hit.exitNormal = (hit.exitPoint - centre).normalized();
    if (!hasTexture(material)) {
        hit.entryColour = diffuseOf(material);
        hit.exitColour = hit.entryColour;
        return;
    }
    float u, v;
    sphereTextureCoordinates(unitToWorld.matrix, hit.exitNormal, u, v);
    hit.exitColour = colourOf(material, u, v);
    if (hit.entryKind == 2) {
        // The entry is the ray origin inside the ball, not a surface point.
        hit.entryColour = diffuseOf(material);
    } else {
        sphereTextureCoordinates(unitToWorld.matrix, hit.entryNormal, u, v);
        hit.entryColour = colourOf(material, u, v);
    }
}

bool Sphere::worldBounds(Bounds& out) const {
    // Both reported points are surface points or an origin inside the ball.
    return unitBoxBounds(*this, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}, out);
}
