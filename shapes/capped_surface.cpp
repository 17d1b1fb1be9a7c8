#include "shapes/capped_surface.h"

#include <cmath>

#include "core/float_math.h"
#include "shapes/shape_support.h"
#include "shapes/solvers/quadratic.h"

namespace {

void cylinderCoefficients(const Vector3& o, const Vector3& d, float& a, float& b, float& c) {
    a = d.x * d.x + d.z * d.z;
    b = 2.0f * (o.x * d.x + o.z * d.z);
    c = o.x * o.x + o.z * o.z - 1.0f;
}

void coneCoefficients(const Vector3& o, const Vector3& d, float& a, float& b, float& c) {
    a = d.x * d.x + d.z * d.z - d.y * d.y;
    b = 2.0f * (o.x * d.x + o.z * d.z - o.y * d.y);
    c = o.x * o.x + o.z * o.z - o.y * o.y;
}

void paraboloidCoefficients(const Vector3& o, const Vector3& d, float& a, float& b, float& c) {
    a = d.x * d.x + d.z * d.z;
    b = 2.0f * (o.x * d.x + o.z * d.z) - d.y;
    c = o.x * o.x + o.z * o.z - o.y;
}

void hyperboloidCoefficients(const Vector3& o, const Vector3& d, float& a, float& b, float& c) {
    a = d.x * d.x + d.z * d.z - d.y * d.y;
    b = 2.0f * (o.x * d.x + o.z * d.z - o.y * d.y);
    c = o.x * o.x + o.z * o.z - o.y * o.y - 1.0f;
}

// Radial, and of unit length on the cylinder; on the hyperboloid it is left
// unnormalised for transformNormal to finish.
Vector3 radialNormal(const Vector3& p) { return {p.x, 0.0f, p.z}; }

// The cone's rule, which the paraboloid shares.
Vector3 slantNormal(const Vector3& p) { return Vector3{p.x, -p.y, p.z}.normalized(); }

// One boundary of the span while it is being built.
struct Boundary {
    float t;
    Vector3 point;   // unit space
    Vector3 normal;  // unit space
    bool onCap;
};

bool outsideRange(float y, const CappedSurfaceParameters& p) { return y <= p.lowY || y >= p.highY; }

Vector3 boundaryColour(const Material* m, const Matrix4& unitToWorld, const Boundary& b) {
    float u, v;
    if (b.onCap)
        capTextureCoordinates(b.point, u, v);
    else
        sideTextureCoordinates(unitToWorld.row(0), b.normal, b.point, u, v);
    return colourOf(m, u, v);
}

}  // namespace

// The parameter table: one row per capped solid.
// clang-format off
// Columns: side coefficients, side normal, open height range (low, high), cap count,
// caps in insertion order, cap disc bound, largest |x| or |z| of the solid.
const CappedSurfaceParameters kCylinderParameters    = {cylinderCoefficients,    radialNormal, -1.0f, 1.0f, 2, {{1.0f, {0.0f, 1.0f, 0.0f}}, {-1.0f, {0.0f, -1.0f, 0.0f}}}, 1.0f, 1.0f};
const CappedSurfaceParameters kConeParameters        = {coneCoefficients,        slantNormal,   0.0f, 1.0f, 1, {{1.0f, {0.0f, 1.0f, 0.0f}}, {}},                               1.0f, 1.0f};
const CappedSurfaceParameters kParaboloidParameters  = {paraboloidCoefficients,  slantNormal,   0.0f, 1.0f, 1, {{1.0f, {0.0f, 1.0f, 0.0f}}, {}},                               1.0f, 1.0f};
const CappedSurfaceParameters kHyperboloidParameters = {hyperboloidCoefficients, radialNormal, -1.0f, 1.0f, 2, {{1.0f, {0.0f, 1.0f, 0.0f}}, {-1.0f, {0.0f, -1.0f, 0.0f}}}, 2.0f, 1.41421356f};
// clang-format on

void capTextureCoordinates(const Vector3& p, float& u, float& v) {
    u = 0.5f - 0.5f * p.x;
    v = 0.5f - 0.5f * p.z;
}

void sideTextureCoordinates(const Vector3& X, const Vector3& n, const Vector3& p, float& u,
                            float& v) {
    // X carries the shape's scale and the hyperboloid's n is longer than one,
    // so the cosine can leave [-1, 1].
    u = 2.0f * fmath::acos(clampUnit(-(X.dot(n)))) / kTexturePi - 1.0f;
    v = p.y;
}

void intersectCappedSurface(UnitShape& shape, const CappedSurfaceParameters& p, Hit& hit,
                            const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == &shape) return;
    const Ray local = shape.worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;

    // Side crossings. Without roots the distances are stale, but a count of
    // 0 keeps them from being compared with anything.
    float a, b, c;
    p.coefficients(o, d, a, b, c);
    solveQuadratic(a, b, c, hit);
    int count = hit.boundaryCount;
    int kind = hit.entryKind;
    Boundary entry{hit.entryDistance, {}, {}, false};
    Boundary exit{hit.exitDistance, {}, {}, false};
    entry.point = o.plus(d.scaled(entry.t));
    entry.normal = p.sideNormal(entry.point);
    exit.point = o.plus(d.scaled(exit.t));
    exit.normal = p.sideNormal(exit.point);

    // Height trim, exit first.
    if (count > 1 && outsideRange(exit.point.y, p)) {
        count = 1;
        kind = 2;
    }
    if (count > 0 && outsideRange(entry.point.y, p)) {
        count = count - 1;
        if (count == 0) {
            kind = 0;
        } else {
            entry = exit;
            kind = 2;
        }
    }

    // Caps. A cap plane behind the origin keeps its negative distance, like a
    // side root behind the origin: the two nearest boundaries along the whole
    // line are kept, and the negative-distance rule below then tells an
    // origin inside the solid from a solid that lies wholly behind the ray.
    for (int i = 0; i < p.capCount; ++i) {
        const CapPlane& cap = p.caps[i];
        const float tc = (cap.y - o.y) / d.y;
        const Vector3 pc = o.plus(d.scaled(tc));
        // A non-finite point (a ray parallel to the cap) fails this test.
        const bool met = pc.x * pc.x + pc.z * pc.z < p.discBound;
        if (!met) continue;
        if (tc < entry.t || count < 1) {
            exit = entry;
            entry = {tc, pc, cap.normal, true};
            if (count != 0) {
                count = 2;
                kind = 1;
            } else {
                count = 1;
                kind = 2;
            }
        } else if (tc < exit.t || count < 2) {
            exit = {tc, pc, cap.normal, true};
            count = 2;
            kind = 1;
        }
    }
    // The working kind and count live in locals; the hit says "no hit" until
    // the span is known to stand.
    hit.entryKind = 0;
    if (kind == 0) return;

    if (entry.t < 0.0f) {
        // With a single known boundary there is nothing ahead of a boundary
        // that lies behind the origin.
        if (count < 2 || exit.t < 0.0f) return;
        entry.t = 0.0f;
        kind = 2;
    }
    // A lone boundary is also the way out, so the exit side repeats it.
    if (count < 2) exit = entry;

    hit.entryKind = kind;
    hit.boundaryCount = count;
    hit.entryDistance = entry.t;
    hit.exitDistance = exit.t;
    hit.entryPoint = ray.origin.plus(ray.direction.scaled(entry.t));
    hit.exitPoint = ray.origin.plus(ray.direction.scaled(exit.t));
    hit.shape = &shape;
    hit.entryNormal = shape.unitToWorld.transformNormal(entry.normal);
    hit.exitNormal = shape.unitToWorld.transformNormal(exit.normal);

    const Material* m = shape.material;
    if (!hasTexture(m)) {
        hit.entryColour = diffuseOf(m);
        hit.exitColour = hit.entryColour;
        return;
    }
    const Matrix4& U = shape.unitToWorld.matrix;
    hit.exitColour = boundaryColour(m, U, exit);
    // An entry cap of a ray that starts inside is not a seen surface point.
    if (entry.onCap && kind == 2)
        hit.entryColour = diffuseOf(m);
    else
        hit.entryColour = boundaryColour(m, U, entry);
}

bool cappedSurfaceBounds(const UnitShape& shape, const CappedSurfaceParameters& p, Bounds& out) {
    // Side points lie within the height range and the radius, cap points on
    // their discs, and a clamped entry is an origin between two boundaries.
    return unitBoxBounds(shape, {-p.radius, p.lowY, -p.radius}, {p.radius, p.highY, p.radius}, out);
}
