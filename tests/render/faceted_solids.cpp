// The flat-faced unit solids for the shading tests, made here so that those
// tests reach them through plain declarations.

#include "shapes/box.h"
#include "shapes/trioid_pyramid.h"

namespace facetedsolids {

UnitShape* box() { return new Box; }
UnitShape* pyramid() { return new Pyramid; }
UnitShape* trioid() { return new Trioid; }

}  // namespace facetedsolids
