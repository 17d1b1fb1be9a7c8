#pragma once

#include <string>

// Why a picture of this size cannot be traced (the TRACER block takes any
// integer; the pixel loop divides by the size and the trace window must hold
// it, as must the machine's memory); empty when it can.
std::string image_size_problem(int width, int height);
