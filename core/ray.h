#pragma once

#include <cmath>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "core/vector3.h"

// A ray with an unnormalised direction; distances are ray parameters.
struct Ray {
    Vector3 origin;
    Vector3 direction;
};

// False when a component is an infinity or NaN.
inline bool isFiniteRay(const Ray& r) {
#if defined(__SSE2__)
    // The six floats as two overlapping lanes of four; x * 0 is 0 for every
    // finite x and NaN otherwise.
    static_assert(sizeof(Ray) == 6 * sizeof(float));
    const float* f = &r.origin.x;
    const __m128 zero = _mm_setzero_ps();
    const __m128 a = _mm_cmpeq_ps(_mm_mul_ps(_mm_loadu_ps(f), zero), zero);
    const __m128 b = _mm_cmpeq_ps(_mm_mul_ps(_mm_loadu_ps(f + 2), zero), zero);
    return _mm_movemask_ps(_mm_and_ps(a, b)) == 0xF;
#else
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.origin.z) &&
           std::isfinite(r.direction.x) && std::isfinite(r.direction.y) &&
           std::isfinite(r.direction.z);
#endif
}
