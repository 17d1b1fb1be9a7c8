#include "shapes/csg.h"

namespace {

void takeEntry(Hit& a, const Hit& b) {
    a.entryDistance = b.entryDistance;
    a.entryPoint = b.entryPoint;
    a.entryNormal = b.entryNormal;
    a.entryColour = b.entryColour;
}

void takeExit(Hit& a, const Hit& b) {
    a.exitDistance = b.exitDistance;
    a.exitPoint = b.exitPoint;
    a.exitNormal = b.exitNormal;
    a.exitColour = b.exitColour;
}

}  // namespace

CSGShape::~CSGShape() {
    delete left;
    delete right;
}

void CSGShape::buildAcceleration() {
    if (left != nullptr) left->buildAcceleration();
    if (right != nullptr) right->buildAcceleration();
}

void CSGShape::dropAcceleration() {
    if (left != nullptr) left->dropAcceleration();
    if (right != nullptr) right->dropAcceleration();
}

void CSGUnion::intersect(Hit& hit, const Ray& ray) {
    left->intersect(hit, ray);
    if (hit.entryKind == 0) {
        right->intersect(hit, ray);
        return;
    }
    Hit b(hit.skipShape, hit.skipPart);
    right->intersect(b, ray);
    if (b.entryKind == 0) return;
    // Even spans that do not overlap merge into one: there is only one span.
    if (hit.entryDistance > b.entryDistance) takeEntry(hit, b);
    if (hit.exitDistance < b.exitDistance && b.boundaryCount == 2) takeExit(hit, b);
}

void CSGIntersection::intersect(Hit& hit, const Ray& ray) {
    left->intersect(hit, ray);
    // Without both of its sides the left span cannot be narrowed; it stands.
    if (hit.entryKind == 0 || hit.boundaryCount != 2) return;
    Hit b(hit.skipShape, hit.skipPart);
    right->intersect(b, ray);
    if (b.entryKind == 0 || b.boundaryCount < 2) {
        hit.entryKind = 0;
        return;
    }
    if (hit.entryDistance < b.entryDistance) takeEntry(hit, b);
    if (hit.exitDistance > b.exitDistance) takeExit(hit, b);
    if (!(hit.exitDistance > hit.entryDistance)) hit.entryKind = 0;
}

void CSGDifference::intersect(Hit& hit, const Ray& ray) {
    left->intersect(hit, ray);
    if (hit.entryKind == 0 || hit.boundaryCount != 2) return;
    Hit b(hit.skipShape, hit.skipPart);
    right->intersect(b, ray);
    if (b.entryKind == 0 || b.boundaryCount < 2) return;
    const float a0 = hit.entryDistance, a1 = hit.exitDistance;
    const float b0 = b.entryDistance, b1 = b.exitDistance;
    if (a0 >= b1 || a1 <= b0) return;
    // The cut covers the whole span, also when both begin at the same
    // distance (both entered from inside): nothing is left.
    if (b0 <= a0 && a1 < b1) {
        hit.entryKind = 0;
        return;
    }
    if (a0 >= b0) {
        // The cut covers the start: the visible surface is the inside of the cut.
        hit.entryDistance = b1;
        hit.entryPoint = b.exitPoint;
        hit.entryNormal = b.exitNormal * -1.0f;
        hit.entryColour = b.exitColour;
        return;
    }
    // A cut inside the span, or one ending where it ends, leaves a hole that
    // a single span cannot hold; the span stands.
    if (a1 >= b1) return;
    hit.exitDistance = b0;
    hit.exitPoint = b.entryPoint;
    hit.exitNormal = b.entryNormal * -1.0f;
    hit.exitColour = b.entryColour;
}

bool CSGUnion::worldBounds(Bounds& out) const {
    Bounds l, r;
    if (!left->worldBounds(l) || !right->worldBounds(r)) return false;
    out = l;
    out.add(r);
    return true;
}

bool CSGIntersection::worldBounds(Bounds& out) const {
    // Every hit lies on the left operand's span (which it returns unchanged
    // when it has only one side). The right box is safe only when the left
    // span always has both sides, which no general shape promises.
    return left->worldBounds(out);
}

bool CSGDifference::worldBounds(Bounds& out) const {
    // The cut only moves a side to a point of the left span.
    return left->worldBounds(out);
}
