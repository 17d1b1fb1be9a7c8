#pragma once

#include "shapes/shape.h"

// A surface of revolution: a profile of (radius, height) points turned about
// the unit-space Y axis, joined by straight segments (each a slice of a cone,
// or of a cylinder where both radii are equal) or by a Catmull-Rom spline
// whose first and last points only steer its ends. A segment is seen only
// where the profile rises, so profiles are written from bottom to top.
struct SOR : UnitShape {
    static constexpr int MaxPoints = 32;
    static constexpr int StraightProfile = 0;
    static constexpr int CatmullRomProfile = 1;  // TYPE CATMULL

    struct ProfilePoint {
        float radius = 0.0f;
        float height = 0.0f;
    };

    ProfilePoint points[MaxPoints] = {};
    int pointCount = 0;
    int profileType = StraightProfile;
    // The largest radius stored, starting from 0.
    float maxRadius = 0.0f;

    // Appends a profile point; false (nothing stored) when MaxPoints are held,
    // so that the parser can report the limit instead of losing points.
    bool addPoint(float radius, float height);

    void intersect(Hit& hit, const Ray& ray) override;
    // The profile's radius and height range carried to the world.
    bool worldBounds(Bounds& out) const override;

  private:
    struct Crossings;
    void straightCrossings(Crossings& found, const Ray& local, const Ray& world) const;
    void splineCrossings(Crossings& found, const Ray& local, const Ray& world) const;
    void addCrossing(Crossings& found, float t, const Vector3& unitPoint, const Vector3& unitNormal,
                     const Ray& world) const;
};
