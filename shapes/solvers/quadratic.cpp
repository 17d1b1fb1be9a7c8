#include "shapes/solvers/quadratic.h"

#include <cmath>

void solveQuadratic(float a, float b, float c, Hit& hit) {
    hit.boundaryCount = 0;
    const float d = 2.0f * a;
    if (d == 0.0f) {
        hit.entryKind = 0;
        return;
    }
    const float bb = b * b;
    const float ac4 = 4.0f * a * c;
    const float disc = bb - ac4;
    if (disc < 0.0f) {
        hit.entryKind = 0;
        return;
    }
    const float s = std::sqrt(disc);
    const float r1 = (-b - s) / d;
    const float r2 = (s - b) / d;
    hit.entryDistance = r1;
    hit.exitDistance = r2;
    if (r1 < 0.0f && r2 < 0.0f) {
        hit.entryKind = 0;
        return;
    }
    hit.boundaryCount = 2;
    hit.entryKind = 1;
    if (r1 > r2) {
        hit.entryDistance = r2;
        hit.exitDistance = r1;
    }
}
