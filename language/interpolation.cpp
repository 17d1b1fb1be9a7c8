#include <cmath>

#include "language/reuse_records.h"

float Interpolation::evaluate(float x) const {
    // A table without points has no value of its own; it reads as 0.
    if (count <= 0) return 0.0f;
    int n = count > MaxPoints ? MaxPoints : count;
    float t = static_cast<float>(std::fmod(x, period));
    int i = 0;
    while (i < n && !(points[i][0] > t))
        ++i;
    int e = i - 1;
    if (e < 0) e = 0;
    if (i > n - 1) i = n - 1;
    float r = 0.0f;
    if (points[e][0] != points[i][0]) r = (t - points[e][0]) / (points[i][0] - points[e][0]);
    float a = points[e][1] * (1.0f - r);
    float b = r * points[i][1];
    return a + b;
}
