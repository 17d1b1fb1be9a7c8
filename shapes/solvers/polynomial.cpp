#include "shapes/solvers/polynomial.h"

#include <cmath>

#include "core/float_math.h"
#include "shapes/solvers/quadratic.h"

namespace {

constexpr float CubeRootExponent = 1.0f / 3.0f;
// Absolute, on the monic cubic: below it the double-root formula is used.
constexpr float DiscriminantTolerance = 0.001f;
constexpr float TwoPi = 6.28318f;

float clampUnit(float x) { return x < -1.0f ? -1.0f : (x > 1.0f ? 1.0f : x); }

// The kinds of a span whose distances are ascending and not both negative.
void clampEntry(Hit& hit) {
    if (hit.entryDistance < 0.0f) {
        hit.entryDistance = 0.0f;
        hit.entryKind = 2;
    } else {
        hit.entryKind = 1;
    }
}

}  // namespace

float realCubeRoot(float x) {
    if (x >= 0.0f) return std::pow(x, CubeRootExponent);
    return -std::pow(-x, CubeRootExponent);
}

void solveQuadraticClamped(float a, float b, float c, Hit& hit) {
    solveQuadratic(a, b, c, hit);
    if (hit.entryKind == 0) return;
    clampEntry(hit);
}

void solveCubic(float a3, float a2, float a1, float a0, Hit& hit) {
    if (a3 == 0.0f) {
        solveQuadraticClamped(a2, a1, a0, hit);
        return;
    }
    const float b = a2 / a3;
    const float c = a1 / a3;
    const float e = a0 / a3;

    // With t = s - b/3 the cubic becomes s^3 + 3p s + 2q = 0.
    const float bb = b * b;
    const float p = c / 3.0f - bb / 9.0f;
    const float bbb = bb * b;
    const float bc = b * c;
    const float q = bbb / 27.0f - bc / 6.0f + e / 2.0f;
    const float ppp = p * p * p;
    const float qq = q * q;
    const float disc = ppp + qq;
    const float shift = b / 3.0f;

    if (std::fabs(disc) < DiscriminantTolerance) {
        // A double root and a single one, not yet ordered.
        const float k = realCubeRoot(-q);
        hit.entryDistance = -k - shift;
        hit.exitDistance = 2.0f * k - shift;
        hit.boundaryCount = 2;
    } else if (disc > 0.0f) {
        // One real root (Cardano).
        const float k = std::sqrt(disc);
        const float t = realCubeRoot(k - q) - realCubeRoot(k + q) - shift;
        hit.entryDistance = t;
        hit.exitDistance = t;
        hit.boundaryCount = 1;
    } else {
        // Three real roots (trigonometric form); the largest is dropped.
        const float root = std::sqrt(-ppp);
        const float theta = fmath::acos(clampUnit(-q / root));
        const float m = 2.0f * std::sqrt(-p);
        const float r0 = m * fmath::cos(theta / 3.0f) - shift;
        const float r1 = m * fmath::cos((theta + TwoPi) / 3.0f) - shift;
        const float r2 = m * fmath::cos((theta - TwoPi) / 3.0f) - shift;
        hit.entryDistance = r0 < r1 ? r0 : r1;
        hit.exitDistance = r0 < r1 ? r1 : r0;
        if (hit.exitDistance > r2) hit.exitDistance = r2;
        hit.boundaryCount = 2;
    }

    if (hit.entryDistance < 0.0f && hit.exitDistance < 0.0f) {
        hit.entryKind = 0;
        return;
    }
    if (hit.boundaryCount == 2 && hit.entryDistance > hit.exitDistance) {
        const float t = hit.entryDistance;
        hit.entryDistance = hit.exitDistance;
        hit.exitDistance = t;
    }
    clampEntry(hit);
}

void solveQuadric(const Coefficients& k, Hit& hit, const Ray& ray) {
    const Vector3& o = ray.origin;
    const Vector3& d = ray.direction;
    hit.entryKind = 0;
    hit.boundaryCount = 0;

    const float dxx = d.x * d.x, dyy = d.y * d.y, dzz = d.z * d.z;
    const float a = k[0] * dxx + k[1] * dyy + k[2] * dzz + k[3] * d.x * d.y + k[4] * d.x * d.z +
                    k[5] * d.y * d.z;
    const float b = 2.0f * (k[0] * o.x * d.x + k[1] * o.y * d.y + k[2] * o.z * d.z) +
                    k[3] * (o.x * d.y + o.y * d.x) + k[4] * (o.x * d.z + o.z * d.x) +
                    k[5] * (o.y * d.z + o.z * d.y) + k[6] * d.x + k[7] * d.y + k[8] * d.z;
    const float oxx = o.x * o.x, oyy = o.y * o.y, ozz = o.z * o.z;
    const float c = k[0] * oxx + k[1] * oyy + k[2] * ozz + k[3] * o.x * o.y + k[4] * o.x * o.z +
                    k[5] * o.y * o.z + k[6] * o.x + k[7] * o.y + k[8] * o.z + k[9];

    if (a != 0.0f) {
        const float bb = b * b;
        const float ac4 = 4.0f * a * c;
        const float disc = bb - ac4;
        if (disc < 0.0f) return;
        const float s = std::sqrt(disc);
        const float a2 = 2.0f * a;
        const float r1 = (-b - s) / a2;
        const float r2 = (s - b) / a2;
        hit.entryDistance = r1;
        hit.exitDistance = r2;
        if (r1 < 0.0f && r2 < 0.0f) return;
        hit.boundaryCount = 2;
        if (r1 > r2) {
            hit.entryDistance = r2;
            hit.exitDistance = r1;
        }
        clampEntry(hit);
        return;
    }
    if (b == 0.0f) return;
    // F is linear along this ray: one crossing, reported as a span of zero length.
    const float t = -c / b;
    if (t < 0.0f) return;
    hit.entryDistance = t;
    hit.exitDistance = t;
    hit.entryKind = 1;
    hit.boundaryCount = 2;
}

Vector3 quadricGradient(const Coefficients& k, const Vector3& p) {
    const Vector3 g{2.0f * k[0] * p.x + k[3] * p.y + k[4] * p.z + k[6],
                    2.0f * k[1] * p.y + k[3] * p.x + k[5] * p.z + k[7],
                    2.0f * k[2] * p.z + k[4] * p.x + k[5] * p.y + k[8]};
    return g.normalized();
}

Vector3 cubicGradient(const Coefficients& k, const Vector3& p) {
    const float xx = p.x * p.x, yy = p.y * p.y, zz = p.z * p.z;
    const Vector3 g{(3.0f * k[0] + 2.0f * k[3]) * p.x + 3.0f * k[0] * xx + k[6],
                    (3.0f * k[1] + 2.0f * k[4]) * p.y + 3.0f * k[1] * yy + k[7],
                    (3.0f * k[2] + 2.0f * k[5]) * p.z + 3.0f * k[2] * zz + k[8]};
    return g.normalized();
}
