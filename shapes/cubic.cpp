#include "shapes/cubic.h"

#include "shapes/quadric.h"
#include "shapes/shape_support.h"

void Cubic::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    const Ray local = worldToUnit.toUnitRay(ray);
    // A shape scaled by zero has no finite unit space and is never hit.
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    const Coefficients& k = coefficients;

    // F(o + t d) = a3 t^3 + a2 t^2 + a1 t + a0, axis by axis.
    const float dxx = d.x * d.x, dyy = d.y * d.y, dzz = d.z * d.z;
    const float dxxx = dxx * d.x, dyyy = dyy * d.y, dzzz = dzz * d.z;
    const float oxx = o.x * o.x, oyy = o.y * o.y, ozz = o.z * o.z;
    const float oxxx = oxx * o.x, oyyy = oyy * o.y, ozzz = ozz * o.z;
    const float a3 = k[0] * dxxx + k[1] * dyyy + k[2] * dzzz;
    const float a2 = 3.0f * (k[0] * o.x * dxx + k[1] * o.y * dyy + k[2] * o.z * dzz) + k[3] * dxx +
                     k[4] * dyy + k[5] * dzz;
    const float a1 = 3.0f * (k[0] * oxx * d.x + k[1] * oyy * d.y + k[2] * ozz * d.z) +
                     2.0f * (k[3] * o.x * d.x + k[4] * o.y * d.y + k[5] * o.z * d.z) + k[6] * d.x +
                     k[7] * d.y + k[8] * d.z;
    const float a0 = k[0] * oxxx + k[1] * oyyy + k[2] * ozzz + k[3] * oxx + k[4] * oyy +
                     k[5] * ozz + k[6] * o.x + k[7] * o.y + k[8] * o.z + k[9];

    solveCubic(a3, a2, a1, a0, hit);
    if (hit.entryKind == 0) return;

    hit.entryPoint = ray.origin + ray.direction * hit.entryDistance;
    hit.exitPoint = ray.origin + ray.direction * hit.exitDistance;
    hit.shape = this;

    const Vector3 entryUnit = o + d * hit.entryDistance;
    const Vector3 exitUnit = o + d * hit.exitDistance;
    hit.entryNormal = unitToWorld.transformNormal(cubicGradient(k, entryUnit));
    hit.exitNormal = unitToWorld.transformNormal(cubicGradient(k, exitUnit));

    hit.exitColour = polynomialSurfaceColour(material, hit.exitNormal, hit.exitPoint);
    hit.entryColour = hit.entryKind == 2
                          ? diffuseOf(material)
                          : polynomialSurfaceColour(material, hit.entryNormal, hit.entryPoint);
}
