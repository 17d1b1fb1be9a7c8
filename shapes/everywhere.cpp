#include "shapes/everywhere.h"

#include "shapes/shape_support.h"

void Everywhere::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    hit.shape = this;
    hit.entryKind = 2;
    hit.boundaryCount = 2;
    hit.entryDistance = 0.0f;
    hit.entryPoint = ray.origin;
    hit.exitDistance = FarDistance;
    hit.exitPoint = ray.origin.plus(ray.direction.scaled(FarDistance));
    hit.entryNormal = ray.direction.scaled(-1.0f);
    hit.exitNormal = hit.entryNormal;
    hit.entryColour = diffuseOf(material);
    hit.exitColour = hit.entryColour;
}
