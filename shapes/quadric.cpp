#include "shapes/quadric.h"

#include <cmath>

#include "core/float_math.h"
#include "shapes/shape_support.h"

Vector3 polynomialSurfaceColour(const Material* material, const Vector3& N, const Vector3& P) {
    if (!hasTexture(material)) return diffuseOf(material);
    const float u = 2.0f * fmath::acos(clampUnit(-N.x)) / kTexturePi - 1.0f;
    return material->colourAt(u, P.y);
}

void Quadric::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    const Ray local = worldToUnit.toUnitRay(ray);
    // A shape scaled by zero has no finite unit space and is never hit.
    if (!isFiniteRay(local)) return;

    solveQuadric(coefficients, hit, local);
    if (hit.entryKind == 0) return;

    hit.entryPoint = ray.origin + ray.direction * hit.entryDistance;
    hit.exitPoint = ray.origin + ray.direction * hit.exitDistance;
    hit.shape = this;

    // For a ray that starts inside, the entry normal is the gradient at its origin.
    const Vector3 entryUnit = local.origin + local.direction * hit.entryDistance;
    const Vector3 exitUnit = local.origin + local.direction * hit.exitDistance;
    hit.entryNormal = unitToWorld.transformNormal(quadricGradient(coefficients, entryUnit));
    hit.exitNormal = unitToWorld.transformNormal(quadricGradient(coefficients, exitUnit));

    hit.exitColour = polynomialSurfaceColour(material, hit.exitNormal, hit.exitPoint);
    // The ray origin is not on the surface, so it has no texture position.
    hit.entryColour = hit.entryKind == 2
                          ? diffuseOf(material)
                          : polynomialSurfaceColour(material, hit.entryNormal, hit.entryPoint);
}
