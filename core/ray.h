#pragma once

#include "core/vector3.h"

// A ray with an unnormalised direction; distances are ray parameters.
struct Ray {
    Vector3 origin;
    Vector3 direction;
};

// False when a component is an infinity or NaN. x - x is 0 for every finite
// x and NaN otherwise, and a NaN carries through the sum: no branch per
// component, and the components are read one by one (a ray is often just
// written, and one wide read of it would wait for those writes to land).
inline bool isFiniteRay(const Ray& r) {
    const float s = ((r.origin.x - r.origin.x) + (r.origin.y - r.origin.y)) +
                    ((r.origin.z - r.origin.z) + (r.direction.x - r.direction.x)) +
                    ((r.direction.y - r.direction.y) + (r.direction.z - r.direction.z));
    return s == 0.0f;
}
