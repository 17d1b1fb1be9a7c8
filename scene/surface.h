#pragma once

// The trace window's pixels are the embedding interface's canvas: front ends
// draw and record the very words the render threads write.
#include "glimmark/canvas.h"

using Surface = glimmark::Canvas;
