#include "shapes/triangle_mesh.h"

bool TriangleMesh::triangleBounds(uint32_t face, Bounds& out) const {
    return triangleBox(position(face, 0), position(face, 1), position(face, 2), out);
}

void TriangleMesh::meetTriangle(Hit& hit, uint32_t face, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this && hit.skipPart == face) return;
    PackedTriangle plane;
    if (!plane.pack(position(face, 0), position(face, 1), position(face, 2))) return;
    plane.meet(hit, this, ray);
    if (hit.entryKind != 0) hit.part = face;
}

void TriangleMesh::intersectDistances(Hit& hit, const Ray& ray) {
    // The nearest triangle's hit; a tie keeps the earlier one, as a list
    // of the triangles would.
    Hit work(hit.skipShape, hit.skipPart);
    hit.entryKind = 0;
    const uint32_t count = static_cast<uint32_t>(faces.size());
    for (uint32_t face = 0; face < count; ++face) {
        meetTriangle(work, face, ray);
        if (work.entryKind != 0 && (hit.entryKind == 0 || hit.entryDistance > work.entryDistance))
            hit = work;
    }
}

void TriangleMesh::intersect(Hit& hit, const Ray& ray) {
    intersectDistances(hit, ray);
    if (hit.entryKind != 0) completeHit(hit, ray);
}

void TriangleMesh::completeHit(Hit& hit, const Ray& ray) const {
    const Face& f = faces[hit.part];
    const Corner& a = corners[f.corner[0]];
    const Corner& b = corners[f.corner[1]];
    const Corner& c = corners[f.corner[2]];
    const float uv[6] = {a.u, a.v, b.u, b.v, c.u, c.v};
    completeTriangleHit(hit, ray, a.normal, b.normal, c.normal, uv, material);
}

bool TriangleMesh::worldBounds(Bounds& out) const {
    Bounds all;
    const uint32_t count = static_cast<uint32_t>(faces.size());
    for (uint32_t face = 0; face < count; ++face) {
        Bounds box;
        if (!triangleBounds(face, box)) return false;
        all.add(box);
    }
    if (!all.valid()) return false;
    out = all;
    return true;
}
