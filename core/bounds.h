#pragma once

#include <algorithm>
#include <limits>

#include "core/matrix4.h"
#include "core/vector3.h"

// World-space axis-aligned box; used to cull shapes, never to change a hit.
struct Bounds {
    Vector3 lo{std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
               std::numeric_limits<float>::infinity()};
    Vector3 hi{-std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
               -std::numeric_limits<float>::infinity()};

    bool valid() const { return lo.x <= hi.x && lo.y <= hi.y && lo.z <= hi.z; }
    void add(const Vector3& p) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    void add(const Bounds& b) {
        if (!b.valid()) return;
        add(b.lo);
        add(b.hi);
    }
    // The box of a unit-space box [lo, hi] carried by an affine matrix.
    static Bounds transformed(const Bounds& unit, const Matrix4& m) {
        Bounds out;
        for (int i = 0; i < 8; ++i) {
            Vector3 c{(i & 1) ? unit.hi.x : unit.lo.x, (i & 2) ? unit.hi.y : unit.lo.y,
                      (i & 4) ? unit.hi.z : unit.lo.z};
            out.add(m.transformPoint(c));
        }
        return out;
    }
};
