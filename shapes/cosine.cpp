#include "shapes/cosine.h"

#include <cmath>

#include "core/float_math.h"
#include "shapes/shape_support.h"

namespace {

constexpr float kTolerance = 0.000001f;

float rippleHeight(const Vector3& p, float phase) {
    return fmath::cos(std::sqrt(p.x * p.x + p.z * p.z) + phase);
}

// Step-halving search for the crossing from start distance t. At most 21
// moves of 1, 1/2, ... 2^-20. The tolerance test looks at the point evaluated
// before the latest move, and P and h keep the last evaluation.
float searchCrossing(const Vector3& o, const Vector3& d, float t, float phase, Vector3& P,
                     float& h) {
    P = o.plus(d.scaled(t));
    h = rippleHeight(P, phase);
    float step = 2.0f;
    for (;;) {
        if (std::fabs(h - P.y) <= kTolerance) break;
        P = o.plus(d.scaled(t));
        h = rippleHeight(P, phase);
        step = step / 2.0f;
        if (P.y < h)
            t = t - step;
        else
            t = t + step;
        if (step <= kTolerance) break;
    }
    return t;
}

}  // namespace

void Cosine::intersect(Hit& hit, const Ray& ray) {
    hit.entryKind = 0;
    if (hit.skipShape == this) return;
    const Ray local = worldToUnit.toUnitRay(ray);
    if (!isFiniteRay(local)) return;
    const Vector3& o = local.origin;
    const Vector3& d = local.direction;
    if (d.y == 0.0f) return;
    if (-o.y / d.y < 0.0f) return;

    Vector3 P;
    float h;
    float t = searchCrossing(o, d, (1.0f - o.y) / d.y, phase, P, h);
    int kind = 1;
    if (t < 0.0f) {
        // The search started above the waves, behind an origin that lies
        // between heights 0 and 1, and ended behind the origin too.
        const float originHeight = rippleHeight(o, phase);
        if (o.y < originHeight) {
            // Under the ripple: the ray starts inside, as for the other solids.
            t = 0.0f;
            kind = 2;
            P = o;
            h = originHeight;
        } else {
            // Above it: the crossing ahead is searched for from the origin
            // itself; the first move goes forward and the rest add up to
            // less than it, so the result lies ahead.
            t = searchCrossing(o, d, 0.0f, phase, P, h);
        }
    }

    hit.entryDistance = t;
    hit.entryKind = kind;
    hit.boundaryCount = 2;
    hit.exitDistance = FarDistance;
    hit.shape = this;
    hit.entryPoint = ray.origin.plus(ray.direction.scaled(t));
    hit.exitPoint = ray.origin.plus(ray.direction.scaled(FarDistance));

    const Vector3 radial = Vector3{P.x, 0.0f, P.z}.normalized();
    Vector3 n{radial.x, h, radial.z};
    n.normalize();
    hit.entryNormal = unitToWorld.transformNormal(n);
    hit.exitNormal = unitToWorld.matrix.row(1).scaled(-1.0f);

    hit.exitColour = diffuseOf(material);
    if (hasTexture(material) && kind == 1) {
        const float u = unitToWorld.matrix.row(0).dot(hit.entryPoint);
        const float v = -(unitToWorld.matrix.row(2).dot(hit.entryPoint));
        hit.entryColour = colourOf(material, u, v);
    } else {
        hit.entryColour = diffuseOf(material);
    }
}
