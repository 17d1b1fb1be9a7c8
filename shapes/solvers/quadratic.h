#pragma once

#include "shapes/shape.h"

// Roots of a*t^2 + b*t + c = 0 as the span [entryDistance, exitDistance].
// entryKind 1 / boundaryCount 2 when a root is ahead; a tangent counts.
void solveQuadratic(float a, float b, float c, Hit& hit);
