#include "shapes/plane.h"

#include "shapes/shape_support.h"

void Plane::intersect(Hit& hit, const Ray& ray) {
    intersectDistances(hit, ray);
    if (hit.entryKind != 0) completeHit(hit, ray);
}

void Plane::intersectDistances(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    const Ray local = worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    // Row 1 of the inverse placement, so a rotated plane is met where its
    // unrotated copy lies while its normal and texture follow the rotation.
    const Vector3 n = worldToUnit.matrix.row(1);
    const float dn = d.dot(n);
    if (dn == 0.0f) return;
    const float t = -(o.dot(n)) / dn;
    if (t > 0.0f) {
        hit.entryKind = 1;
        hit.entryDistance = t;
    } else {
        if (dn > 0.0f) return;
        // Running inside the half-space for the whole ray.
        hit.entryKind = 2;
        hit.entryDistance = 0.0f;
    }
    hit.shape = this;
    hit.exitDistance = FarDistance;
    hit.boundaryCount = 2;
}

void Plane::completeHit(Hit& hit, const Ray& ray) const {
    hit.entryPoint = ray.origin.plus(ray.direction.scaled(hit.entryDistance));
    const Matrix4& U = unitToWorld.matrix;
    hit.entryNormal = U.row(1).normalized();
    hit.exitNormal = hit.entryNormal;
    hit.exitPoint = ray.origin.plus(ray.direction.scaled(FarDistance));
    if (hasTexture(material)) {
        const float u = hit.entryPoint.dot(U.row(0));
        const float v = -(hit.entryPoint.dot(U.row(2)));
        hit.entryColour = colourOf(material, u, v);
    } else {
        hit.entryColour = diffuseOf(material);
    }
    hit.exitColour = diffuseOf(material);
}
