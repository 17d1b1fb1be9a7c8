#pragma once

#include "glimmark/canvas.h"

// The hidden test picture (Ctrl+F10): a bisection search for the crossing of
// the line 5 - 0.3 d with the curve sin(b + 0.9 d), drawn over the sine curve
// into a 256 x 256 surface. b comes from the random generator.
constexpr int kTestPictureSize = 256;
void draw_test_picture(glimmark::Canvas& surface);
// The same with b given (an integer from 5 to 17).
void draw_test_picture(glimmark::Canvas& surface, float b);
