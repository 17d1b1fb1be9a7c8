#pragma once

#include "shapes/shape.h"

// The capped solids: a quadric side trimmed to an open height range along the
// unit y axis and closed by flat discs. One algorithm serves all four; each
// shape is a row of the parameter table below.

struct CapPlane {
    float y;         // the cap's plane is y = this value in unit space
    Vector3 normal;  // outward unit-space normal of the cap
};

struct CappedSurfaceParameters {
    // Side coefficients a t^2 + b t + c of the unit ray (o, d).
    void (*coefficients)(const Vector3& o, const Vector3& d, float& a, float& b, float& c);
    // Unit-space normal reported for a side point.
    Vector3 (*sideNormal)(const Vector3& p);
    float lowY;  // open height range of the side: lowY < y < highY
    float highY;
    int capCount;
    CapPlane caps[2];  // in the order they are inserted
    float discBound;   // a cap point counts when x^2 + z^2 < discBound
    float radius;      // largest |x| or |z| of the solid, for its bounds
};

extern const CappedSurfaceParameters kCylinderParameters;
extern const CappedSurfaceParameters kConeParameters;
extern const CappedSurfaceParameters kParaboloidParameters;
extern const CappedSurfaceParameters kHyperboloidParameters;

void intersectCappedSurface(UnitShape& shape, const CappedSurfaceParameters& p, Hit& hit,
                            const Ray& ray);
bool cappedSurfaceBounds(const UnitShape& shape, const CappedSurfaceParameters& p, Bounds& out);

// Texture coordinates of a cap point and of a side point (unit point p with
// unit normal n, X = row 0 of unitToWorld as stored).
void capTextureCoordinates(const Vector3& p, float& u, float& v);
void sideTextureCoordinates(const Vector3& X, const Vector3& n, const Vector3& p, float& u,
                            float& v);

// Radius 1, height 2 around the y axis (CYLINDER).
struct Cylinder : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override {
        intersectCappedSurface(*this, kCylinderParameters, hit, ray);
    }
    bool worldBounds(Bounds& out) const override {
        return cappedSurfaceBounds(*this, kCylinderParameters, out);
    }
};

// Apex at the unit origin, radius 1 at y = 1 (CONE).
struct Cone : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override {
        intersectCappedSurface(*this, kConeParameters, hit, ray);
    }
    bool worldBounds(Bounds& out) const override {
        return cappedSurfaceBounds(*this, kConeParameters, out);
    }
};

// x^2 + z^2 = y for 0 < y < 1 (PARABOLOID).
struct Paraboloid : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override {
        intersectCappedSurface(*this, kParaboloidParameters, hit, ray);
    }
    bool worldBounds(Bounds& out) const override {
        return cappedSurfaceBounds(*this, kParaboloidParameters, out);
    }
};

// One sheet, x^2 + z^2 - y^2 = 1 for -1 < y < 1 (HYPERBOLOID).
struct Hyperboloid : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override {
        intersectCappedSurface(*this, kHyperboloidParameters, hit, ray);
    }
    bool worldBounds(Bounds& out) const override {
        return cappedSurfaceBounds(*this, kHyperboloidParameters, out);
    }
};
