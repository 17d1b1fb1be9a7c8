#include "shapes/sor.h"

#include <algorithm>
#include <cmath>

#include "shapes/shape_support.h"
#include "shapes/solvers/quadratic.h"

namespace {

// Spline search: converged when the squared radius stops changing by this,
// or when the step along the ray falls to it.
constexpr float SearchTolerance = 0.000001f;
// Largest mismatch of squared radii at which the search result is a hit.
constexpr float AcceptTolerance = 0.00001f;
// A Catmull-Rom segment overshoots its control radii by at most a quarter.
constexpr float SplineOvershoot = 1.25f;

struct Crossing {
    float t = 0.0f;
    Vector3 point;   // world
    Vector3 normal;  // world
    float u = 0.0f;  // unit-space normal x
    float v = 0.0f;  // unit-space height
};

}  // namespace

// Crossings ahead of the origin keep the two nearest, in order. Of those
// behind it only the nearest is kept: it tells that the ray starts inside,
// and further ones must not push the visible crossings ahead out.
struct SOR::Crossings {
    Crossing ahead[2];
    int aheadCount = 0;
    Crossing behind;
    bool hasBehind = false;

    void add(const Crossing& c) {
        if (c.t < 0.0f) {
            if (!hasBehind || c.t > behind.t) behind = c;
            hasBehind = true;
            return;
        }
        if (aheadCount == 0) {
            ahead[0] = c;
        } else if (ahead[0].t > c.t) {
            ahead[1] = ahead[0];
            ahead[0] = c;
        } else if (aheadCount == 1 || ahead[1].t > c.t) {
            ahead[1] = c;
        }
        aheadCount = std::min(aheadCount + 1, 2);
    }
};

bool SOR::addPoint(float radius, float height) {
    if (pointCount >= MaxPoints) return false;
    points[pointCount].radius = radius;
    points[pointCount].height = height;
    ++pointCount;
    if (radius > maxRadius) maxRadius = radius;
    return true;
}

void SOR::addCrossing(Crossings& found, float t, const Vector3& unitPoint,
                      const Vector3& unitNormal, const Ray& world) const {
    Crossing c;
    c.t = t;
    c.point = world.origin + world.direction * t;
    c.normal = unitToWorld.transformNormal(unitNormal);
    c.u = unitNormal.x;
    c.v = unitPoint.y;
    found.add(c);
}

void SOR::straightCrossings(Crossings& found, const Ray& local, const Ray& world) const {
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    const float dxz = d.x * d.x + d.z * d.z;
    const float odxz = o.x * d.x + o.z * d.z;
    const float oxz = o.x * o.x + o.z * o.z;
    for (int i = 0; i + 1 < pointCount; ++i) {
        const float a0 = points[i].radius, b0 = points[i].height;
        const float a1 = points[i + 1].radius, b1 = points[i + 1].height;
        // A flat or falling segment can never pass the strict height test.
        if (!(b1 > b0)) continue;

        Hit roots;
        float normalY = 0.0f;
        if (a1 == a0) {
            // Equal radii: the cylinder x^2 + z^2 = a^2, the limit of the cone.
            solveQuadratic(dxz, 2.0f * odxz, oxz - a0 * a0, roots);
        } else {
            // The cone k^2 (x^2 + z^2) = (y - b0 + k a0)^2 through the segment.
            const float k = (b1 - b0) / (a1 - a0);
            const float kk = k * k;
            const float m = o.y - b0 + k * a0;
            const float A = kk * dxz - d.y * d.y;
            const float B = 2.0f * (kk * odxz - d.y * m);
            const float C = kk * oxz - m * m;
            solveQuadratic(A, B, C, roots);
            normalY = -1.0f / k;
        }
        if (roots.entryKind == 0) continue;

        const float ts[2] = {roots.entryDistance, roots.exitDistance};
        for (float t : ts) {
            const Vector3 p = o + d * t;
            if (!(b0 < p.y && p.y < b1)) continue;
            addCrossing(found, t, p, Vector3{p.x, normalY, p.z}.normalized(), world);
        }
    }
}

void SOR::splineCrossings(Crossings& found, const Ray& local, const Ray& world) const {
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;

    // Entry into the cylinder of the largest radius starts the search.
    Hit cylinder;
    solveQuadratic(d.x * d.x + d.z * d.z, 2.0f * (o.x * d.x + o.z * d.z),
                   o.x * o.x + o.z * o.z - maxRadius * maxRadius, cylinder);
    if (cylinder.entryKind == 0) return;

    // Halving steps along the ray toward the point where the squared radius
    // meets the spline's.
    float t = cylinder.entryDistance;
    float step = maxRadius;
    float previous = 0.0f;
    float rs = 0.0f;
    while (step > SearchTolerance) {
        const Vector3 p = o + d * t;
        const float r2 = p.x * p.x + p.z * p.z;
        if (std::fabs(previous - r2) <= SearchTolerance) break;

        int i = 1;
        while (i <= pointCount - 2 && !(points[i].height >= p.y))
            ++i;
        if (i > pointCount - 2 || i < 2 || pointCount - 1 < 2) return;

        // i >= 2 puts p.y above points[i - 1], so the divisor is positive.
        const float s = (p.y - points[i - 1].height) / (points[i].height - points[i - 1].height);
        const float R0 = points[i - 2].radius, R1 = points[i - 1].radius;
        const float R2 = points[i].radius, R3 = points[i + 1].radius;
        const float ss = s * s;
        const float sss = ss * s;
        rs = R1 + 0.5f * s * (R2 - R0) + 0.5f * ss * (2.0f * R0 - 5.0f * R1 + 4.0f * R2 - R3) +
             0.5f * sss * (-R0 + 3.0f * R1 - 3.0f * R2 + R3);

        step = step * 0.5f;
        previous = rs * rs;
        if (r2 <= rs * rs)
            t = t - step;
        else
            t = t + step;
    }

    const Vector3 p = o + d * t;
    if (std::fabs(rs * rs - (p.x * p.x + p.z * p.z)) > AcceptTolerance) return;
    const float bottom = points[1].height, top = points[pointCount - 1].height;
    if (!(bottom < p.y && p.y < top)) return;
    // The normal is radial: the spline's slope is not taken into account.
    const Vector3 n = Vector3{p.x, 0.0f, p.z}.normalized();
    // One point, offered as entry and as exit.
    addCrossing(found, t, p, n, world);
    addCrossing(found, t, p, n, world);
}

void SOR::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    hit.boundaryCount = 0;
    if (pointCount < 2 || hit.skipShape == this) return;
    hit.shape = this;
    const Ray local = worldToUnit.toUnitRay(ray);
    // A shape scaled by zero has no finite unit space and is never hit.
    if (!isFiniteRay(local)) return;

    Crossings found;
    if (profileType == CatmullRomProfile)
        splineCrossings(found, local, ray);
    else
        straightCrossings(found, local, ray);

    const Crossing* entry = nullptr;
    const Crossing* exit = nullptr;
    if (found.hasBehind) {
        // The ray starts inside; a crossing behind with none ahead is a surface
        // the ray has already left, and nothing is seen.
        if (found.aheadCount == 0) return;
        entry = &found.behind;
        exit = &found.ahead[0];
    } else if (found.aheadCount > 0) {
        entry = &found.ahead[0];
        if (found.aheadCount == 2) exit = &found.ahead[1];
    } else {
        return;
    }

    hit.entryDistance = entry->t;
    hit.entryPoint = entry->point;
    hit.entryNormal = entry->normal;
    hit.entryColour = colourOf(material, entry->u, entry->v);
    if (exit == nullptr) {
        // Only the way out is known: reported as the entry side, and copied to
        // the exit side so that a reader of the exit (a ray leaving the shape)
        // sees that boundary rather than stale values.
        hit.boundaryCount = 1;
        hit.entryKind = 2;
        exit = entry;
    } else {
        hit.boundaryCount = 2;
        hit.entryKind = hit.entryDistance > 0.0f ? 1 : 2;
    }
    hit.exitDistance = exit->t;
    hit.exitPoint = exit->point;
    hit.exitNormal = exit->normal;
    hit.exitColour = colourOf(material, exit->u, exit->v);
}

bool SOR::worldBounds(Bounds& out) const {
    if (pointCount < 2) return false;
    float radius = 0.0f;
    float low = points[0].height, high = points[0].height;
    for (int i = 0; i < pointCount; ++i) {
        radius = std::max(radius, std::fabs(points[i].radius));
        low = std::min(low, points[i].height);
        high = std::max(high, points[i].height);
    }
    if (profileType == CatmullRomProfile) {
        // The spline may bulge past its control radii, and a hit is accepted
        // up to a small mismatch of squared radii.
        const float r = SplineOvershoot * radius;
        radius = std::sqrt(r * r + AcceptTolerance);
    }
    Bounds unit;
    unit.add(Vector3{-radius, low, -radius});
    unit.add(Vector3{radius, high, radius});
    Bounds box = Bounds::transformed(unit, unitToWorld.matrix);
    // A margin for the rounding of the reported points.
    const float big = std::max({std::fabs(box.lo.x), std::fabs(box.lo.y), std::fabs(box.lo.z),
                                std::fabs(box.hi.x), std::fabs(box.hi.y), std::fabs(box.hi.z)});
    const float pad = big * 1e-5f + 1e-6f;
    if (!std::isfinite(pad)) return false;
    box.lo = {box.lo.x - pad, box.lo.y - pad, box.lo.z - pad};
    box.hi = {box.hi.x + pad, box.hi.y + pad, box.hi.z + pad};
    out = box;
    return true;
}
