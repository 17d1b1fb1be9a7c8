#pragma once

#include "core/vector3.h"

// A ray with an unnormalised direction; distances are ray parameters.
struct Ray {
    Vector3 origin;
    Vector3 direction;
};
