#include "shapes/material.h"

#include <cmath>

namespace {

// std::fmod(x, 1.0f) but for the sign of a zero, which nothing below tells
// apart (a zero of either sign gives the same index and weights): x less
// its whole part is exact for every float, and NaN for an infinity or NaN.
// A libm call fewer per lookup.
float wholeRemainder(float x) { return x - std::trunc(x); }

}  // namespace

Vector3 Material::colourAt(float u, float v) const {
    if (!texture_loaded || texels.empty()) return diffuse;
    float fu = wholeRemainder(density * u);
    if (fu < 0.0f) fu = fu + 1.0f;
    float fv = wholeRemainder(density * v);
    if (fv < 0.0f) fv = fv + 1.0f;
    // A coordinate that is not finite (a shape placed at infinity gives one)
    // wraps to NaN and lies nowhere in the image: it reads texel 0, the
    // texel the index clamp below falls back to, and never becomes a NaN
    // index or NaN weights. Finite ones wrap into [0, 1], so the index fits.
    if (std::isnan(fu) || std::isnan(fv)) return texels[0];
    const float w = static_cast<float>(texture_width);
    const float h = static_cast<float>(texture_height);
    const float X = fu * w;
    const float Y = fv * h;
    const float ix = std::floor(X);
    const float iy = std::floor(Y);
    const float fx = X - ix;
    const float fy = Y - iy;
    long i = static_cast<long>(ix + iy * w);
    const long W = texture_width;
    // fu, fv < 1 keep i inside the image; rounding of fu * w to w is caught
    // here so that the spare rows are the furthest a lookup can reach.
    const long last = static_cast<long>(texels.size()) - W - 2;
    if (i < 0) i = 0;
    if (i > last) i = last;
    const Vector3& t00 = texels[i];
    const Vector3& t01 = texels[i + 1];
    const Vector3& t10 = texels[i + W];
    const Vector3& t11 = texels[i + W + 1];
    // Weights applied one factor at a time, left to right.
    return t00.scaled(1.0f - fx)
        .scaled(1.0f - fy)
        .plus(t01.scaled(fx).scaled(1.0f - fy))
        .plus(t10.scaled(1.0f - fx).scaled(fy))
        .plus(t11.scaled(fx).scaled(fy));
}
