#include "shapes/bounding_shape.h"

BoundingShape::~BoundingShape() {
    delete bound;
    bound = nullptr;
}

void BoundingShape::intersect(Hit& hit, const Ray& ray) {
    if (bound == nullptr) {
        hit.entryKind = 0;
        return;
    }
    bound->intersect(hit, ray);
    if (hit.entryKind == 0) return;
    // When nothing inside is hit, the bound's own hit is left at FarDistance
    // so that an enclosing nearest-hit search never takes it.
    hit.entryDistance = FarDistance;
    inner.nearestHit(hit, ray);
}

bool BoundingShape::worldBounds(Bounds& out) const {
    // A reported hit is an inner shape's, or the bound's own left at
    // FarDistance; the points of both count.
    if (bound == nullptr) return false;
    Bounds all;
    Bounds b;
    if (!bound->worldBounds(b)) return false;
    all.add(b);
    for (const CShape* s = inner.head; s != nullptr; s = nextOf(s)) {
        Bounds sb;
        if (!s->worldBounds(sb)) return false;
        all.add(sb);
    }
    out = all;
    return true;
}

void BoundingShape::buildAcceleration() {
    if (bound != nullptr) bound->buildAcceleration();
    inner.buildAcceleration();
}

void BoundingShape::dropAcceleration() {
    if (bound != nullptr) bound->dropAcceleration();
    inner.dropAllAcceleration();
}
