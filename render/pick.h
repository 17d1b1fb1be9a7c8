#pragma once

#include <vector>

#include "scene/render_job.h"
#include "scene/shape_block.h"

struct CShape;

// The shapes at picture position (col, row) of `job`: the camera ray of
// that position (the one the pixel loop traces first) searched with the
// same nearest-hit search as the picture. The list runs from the shape of
// the scene's own list (a CSG shape, a bounding group) down through the
// shapes that hold the one hit to that shape itself; empty when the ray
// meets nothing. The scene's search structures must not be rebuilt
// meanwhile.
std::vector<const CShape*> pick_shapes(const RenderJob& job, int col, int row);

// The block that makes a shape of this class: a sphere's SPHERE, a
// triangle's MESH, a bounding group's BOUNDING_SHAPE (the language names
// them: shape_block_keyword).
ShapeBlock shape_block(const CShape* shape);
