#include "shapes/trioid_pyramid.h"

#include "shapes/box.h"
#include "shapes/shape_support.h"

namespace {

// Tries one face (P0, P1, P2) with texture pairs (T0, T1, T2), all in unit
// space; a crossing goes into the hit with the flat-faced insertion rule.
void tryFace(UnitShape& shape, const Vector3& P0, const Vector3& P1, const Vector3& P2,
             const TexturePair& T0, const TexturePair& T1, const TexturePair& T2, const Ray& local,
             const Ray& ray, Hit& hit) {
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    const Vector3 e1 = P1 - P0;
    const Vector3 e2 = P2 - P0;
    const Vector3 n = e1.cross(e2);
    const float dn = n.dot(d);
    if (dn == 0.0f) return;
    const float t = -(n.dot(o - P0)) / dn;
    if (t < 0.0f) return;
    const Vector3 p = o.plus(d.scaled(t));
    const Vector3 w = p - P0;
    const float E11 = e1.dot(e1);
    const float E12 = e1.dot(e2);
    const float E22 = e2.dot(e2);
    const float W1 = e1.dot(w);
    const float W2 = e2.dot(w);
    const float den = E12 * E12 - E11 * E22;
    const float s = (E12 * W2 - E22 * W1) / den;
    if (!(s >= 0.0f && s <= 1.0f)) return;
    const float g = (E12 * W1 - E11 * W2) / den;
    if (!(g >= 0.0f && s + g <= 1.0f)) return;
    const float a = 1.0f - s - g;
    Vector3 colour;
    if (hasTexture(shape.material)) {
        const float u = a * T0.u + s * T1.u + g * T2.u;
        const float v = a * T0.v + s * T1.v + g * T2.v;
        colour = colourOf(shape.material, u, v);
    } else {
        colour = diffuseOf(shape.material);
    }
    // The corner order winds every face so that n points into the solid;
    // the reported normal is its exact opposite, e2 x e1, pointing out of the
    // solid as a box's does, so that faces turned to a light are lit.
    // transformNormal also brings it to unit length.
    addFaceCrossing(hit, t, ray.origin.plus(ray.direction.scaled(t)),
                    shape.unitToWorld.transformNormal(e2.cross(e1)), colour);
}

bool cornerBounds(const UnitShape& shape, const Vector3* corners, int count, Bounds& out) {
    Bounds unit;
    for (int i = 0; i < count; ++i)
        unit.add(corners[i]);
    return unitBoxBounds(shape, unit.lo, unit.hi, out);
}

}  // namespace

void intersectFaces(UnitShape& shape, const Vector3* corners, const TexturePair* texture,
                    const int (*faces)[3], int faceCount, Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    hit.boundaryCount = 0;
    if (hit.skipShape == &shape) return;
    hit.shape = &shape;
    const Ray local = shape.worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    for (int f = 0; f < faceCount; ++f) {
        const int i0 = faces[f][0], i1 = faces[f][1], i2 = faces[f][2];
        tryFace(shape, corners[i0], corners[i1], corners[i2], texture[i0], texture[i1], texture[i2],
                local, ray, hit);
    }
    finishFaceCrossings(hit);
}

Trioid::Trioid()
    : corners{{0.0f, -1.0f, 1.0f}, {1.0f, -1.0f, -1.0f}, {-1.0f, -1.0f, -1.0f}, {0.0f, 1.0f, 0.0f}},
      texture{{0.5f, 1.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {0.5f, 0.0f}} {}

void Trioid::intersect(Hit& hit, const Ray& ray) {
    intersectFaces(*this, corners, texture, kFaces, 4, hit, ray);
}

bool Trioid::worldBounds(Bounds& out) const {
    // Crossings lie on the faces, all ahead of the origin.
    return cornerBounds(*this, corners, 4, out);
}

Pyramid::Pyramid()
    : corners{{-1.0f, -1.0f, 1.0f},
              {1.0f, -1.0f, 1.0f},
              {1.0f, -1.0f, -1.0f},
              {-1.0f, -1.0f, -1.0f},
              {0.0f, 1.0f, 0.0f}},
      texture{{0.0f, 1.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {0.5f, 0.0f}} {}

void Pyramid::intersect(Hit& hit, const Ray& ray) {
    intersectFaces(*this, corners, texture, kFaces, 6, hit, ray);
}

bool Pyramid::worldBounds(Bounds& out) const { return cornerBounds(*this, corners, 5, out); }
