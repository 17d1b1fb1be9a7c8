// Pyramid and trioid for the shading tests, which declare these makers.

#include "shapes/trioid_pyramid.h"

namespace facetedsolids {

UnitShape* pyramid() { return new Pyramid; }
UnitShape* trioid() { return new Trioid; }

}  // namespace facetedsolids
