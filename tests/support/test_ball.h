#pragma once

#include "shapes/shape.h"
#include "shapes/solvers/quadratic.h"

// A world-space ball: enough geometry for lists, hierarchies and CSG. Both
// sides are coloured (tag, tag, tag).
struct TestBall : CShape {
    Vector3 centre;
    float radius = 1.0f;
    float tag = 0.0f;
    bool bounded = true;  // false: a shape without world bounds

    TestBall() = default;
    TestBall(Vector3 c, float r, float t) : centre(c), radius(r), tag(t) {}
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        if (hit.skipShape == this) return;
        const Vector3 o = ray.origin - centre;
        solveQuadratic(ray.direction.dot(ray.direction), 2.0f * o.dot(ray.direction),
                       o.dot(o) - radius * radius, hit);
        if (hit.entryKind == 0) return;
        if (hit.entryDistance < 0.0f) {
            hit.entryDistance = 0.0f;
            hit.entryKind = 2;
        }
        hit.shape = this;
        hit.entryPoint = ray.origin + ray.direction * hit.entryDistance;
        hit.exitPoint = ray.origin + ray.direction * hit.exitDistance;
        hit.entryNormal = (hit.entryPoint - centre).normalized();
        hit.exitNormal = (hit.exitPoint - centre).normalized();
        hit.entryColour = hit.exitColour = {tag, tag, tag};
    }
    bool worldBounds(Bounds& out) const override {
        if (!bounded) return false;
        const float r = radius * 1.001f;  // room for the rounding of the points
        out = Bounds{};
        out.add(centre - Vector3{r, r, r});
        out.add(centre + Vector3{r, r, r});
        return true;
    }
};
