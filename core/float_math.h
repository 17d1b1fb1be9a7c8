#pragma once

#include <cmath>

// The trigonometric functions the geometry uses, on floats. Each is evaluated
// in double precision and rounded to float, so that C libraries whose float
// versions round differently in the last bit (glibc's and the one WebAssembly
// builds link) give the same float for practically every input, and the same
// scene gives the same picture on every build. pow, exp, log, sqrt and fmod
// agree without this and are called directly.
namespace fmath {

inline float cos(float x) { return static_cast<float>(std::cos(static_cast<double>(x))); }
inline float sin(float x) { return static_cast<float>(std::sin(static_cast<double>(x))); }
inline float tan(float x) { return static_cast<float>(std::tan(static_cast<double>(x))); }
inline float acos(float x) { return static_cast<float>(std::acos(static_cast<double>(x))); }
inline float atan2(float y, float x) {
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

}  // namespace fmath
