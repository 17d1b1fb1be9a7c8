#pragma once

#include "shapes/shape.h"

// The cube from -1 to 1 on every unit axis (CUBE).
struct Box : UnitShape {
    void intersect(Hit& hit, const Ray& ray) override;
    bool worldBounds(Bounds& out) const override;
};

// Adds one face crossing to a hit of a flat-faced solid, keeping the two
// nearest in order; boundaryCount is the number held (at most 2). The box,
// trioid and pyramid share this rule. The hit's boundaryCount must be 0 before
// the first crossing.
void addFaceCrossing(Hit& hit, float t, const Vector3& point, const Vector3& normal,
                     const Vector3& colour);

// Finishes a flat-faced hit once every face has been tried: two crossings are
// an entry (kind 1); a single one is the way out of a ray that starts inside
// (kind 2), which is then copied to the exit side as well so that a reader of
// the exit sees the same boundary; none is a miss.
void finishFaceCrossings(Hit& hit);
