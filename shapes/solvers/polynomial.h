#pragma once

#include "core/ray.h"
#include "core/vector3.h"
#include "shapes/shape.h"

// Root finders of the polynomial surfaces. Each fills only the span of the
// Hit (entryKind, boundaryCount, entryDistance, exitDistance); a negative
// entry is clamped to 0 with entryKind 2 (the ray starts inside).

// Ten coefficients k0..k9 of a quadric or cubic, in the order written.
using Coefficients = float[10];

// Real cube root with the exponent 1/3 rounded to f32 (so 8 gives about 2,
// not exactly 2).
float realCubeRoot(float x);

// solveQuadratic followed by the negative-entry clamp.
void solveQuadraticClamped(float a, float b, float c, Hit& hit);

// Span between the two smallest real roots of a3 t^3 + a2 t^2 + a1 t + a0;
// boundaryCount 1 when there is a single real root (entry = exit).
void solveCubic(float a3, float a2, float a1, float a0, Hit& hit);

// Span of the unit-space ray inside the quadric k; unlike solveQuadratic it
// also solves the case in which F is linear along the ray.
void solveQuadric(const Coefficients& k, Hit& hit, const Ray& ray);

// Normalised gradient of the quadric at the unit point p; (0, 1, 0) where it
// vanishes.
Vector3 quadricGradient(const Coefficients& k, const Vector3& p);

// Normal rule of the cubic at the unit point p. Each component's linear term
// is (3 k0 + 2 k3) x (likewise for y and z), which is the shading the scenes
// are written for, not the exact derivative; (0, 1, 0) where it vanishes.
Vector3 cubicGradient(const Coefficients& k, const Vector3& p);
