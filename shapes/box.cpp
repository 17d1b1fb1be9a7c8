#include "shapes/box.h"

#include <cmath>

#include "shapes/shape_support.h"

void addFaceCrossing(Hit& hit, float t, const Vector3& point, const Vector3& normal,
                     const Vector3& colour) {
    if (hit.boundaryCount == 0) {
        hit.entryDistance = t;
        hit.entryPoint = point;
        hit.entryNormal = normal;
        hit.entryColour = colour;
    } else if (hit.entryDistance > t) {
        hit.exitDistance = hit.entryDistance;
        hit.exitPoint = hit.entryPoint;
        hit.exitNormal = hit.entryNormal;
        hit.exitColour = hit.entryColour;
        hit.entryDistance = t;
        hit.entryPoint = point;
        hit.entryNormal = normal;
        hit.entryColour = colour;
    } else if (hit.exitDistance > t || hit.boundaryCount == 1) {
        hit.exitDistance = t;
        hit.exitPoint = point;
        hit.exitNormal = normal;
        hit.exitColour = colour;
    }
    if (hit.boundaryCount < 2) hit.boundaryCount = hit.boundaryCount + 1;
}

void finishFaceCrossings(Hit& hit) {
    if (hit.boundaryCount == 0) {
        hit.entryKind = 0;
    } else if (hit.boundaryCount >= 2) {
        hit.boundaryCount = 2;
        hit.entryKind = 1;
    } else {
        hit.entryKind = 2;
        hit.exitDistance = hit.entryDistance;
        hit.exitPoint = hit.entryPoint;
        hit.exitNormal = hit.entryNormal;
        hit.exitColour = hit.entryColour;
    }
}

namespace {

// One face of the cube: the axis across it, its side (+1 or -1) and the two
// in-face axes whose coordinates give the texture pair (a, b) = (p[ua], -p[vb]).
struct BoxFace {
    int axis;
    float side;
    int first;
    int second;
};

// Tried in this order: y = +1, y = -1, z = +1, z = -1, x = +1, x = -1.
constexpr BoxFace kFaces[6] = {{1, 1.0f, 0, 2},  {1, -1.0f, 0, 2}, {2, 1.0f, 0, 1},
                               {2, -1.0f, 0, 1}, {0, 1.0f, 1, 2},  {0, -1.0f, 1, 2}};

float component(const Vector3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

}  // namespace

void Box::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    hit.shape = this;
    // A list search hands every shape the same working hit, so the count left
    // by the previous shape must not be taken for crossings of this one.
    hit.boundaryCount = 0;
    const Ray local = worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    for (const BoxFace& face : kFaces) {
        const float dc = component(d, face.axis);
        if (dc == 0.0f) continue;
        const float oc = component(o, face.axis);
        const float t = face.side > 0.0f ? (1.0f - oc) / dc : -(1.0f + oc) / dc;
        const Vector3 p = o.plus(d.scaled(t));
        const float pa = component(p, face.first);
        const float pb = component(p, face.second);
        if (!(t > 0.0f) || !(std::fabs(pa) <= 1.0f && std::fabs(pb) <= 1.0f)) continue;
        Vector3 unitNormal;
        if (face.axis == 0) unitNormal.x = face.side;
        if (face.axis == 1) unitNormal.y = face.side;
        if (face.axis == 2) unitNormal.z = face.side;
        const float a = pa;
        const float b = -pb;
        const float u = (a + 1.0f) * 0.5f;
        const float v = (b + 1.0f) * 0.5f;
        addFaceCrossing(hit, t, ray.origin.plus(ray.direction.scaled(t)),
                        unitToWorld.transformNormal(unitNormal), colourOf(material, u, v));
    }
    finishFaceCrossings(hit);
}

bool Box::worldBounds(Bounds& out) const {
    // Every reported point is a face crossing ahead of the origin.
    return unitBoxBounds(*this, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}, out);
}
