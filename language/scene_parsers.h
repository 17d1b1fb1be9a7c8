#pragma once

// The block parsers behind SCENE: what each of them needs from the others.
// Every parser is called with the block's keyword just scanned and returns
// behind the block's end word, or with parse_error set.

#include "core/matrix4.h"
#include "language/parse_context.h"

struct CShape;
struct ShapeList;
struct UnitShape;

// The places a construct can stand in; the table of scene_blocks.cpp says
// which constructs each of them accepts.
enum class Place { Scene, Frame, Loop, Csg, AfterBoundingShape };

// scene_blocks.cpp
bool may_stand(int token, Place place);
void parse_frame(ParseContext& pc);

// shape_blocks.cpp
bool is_unit_shape(int token);
// Unit shapes, QUADRIC, CUBIC, SOR and the CSG blocks: each leaves one shape at
// the end of the scene's shapes in a building parse.
bool is_shape_block(int token);
void parse_shape_block(ParseContext& pc);
void parse_unit_shape(ParseContext& pc);
void parse_polynomial(ParseContext& pc);
void parse_sor(ParseContext& pc);
// target receives the triangles; null in a check-only parse.
void parse_mesh(ParseContext& pc, ShapeList* target);
// Gives the shape the current material and frame and appends it to the scene.
void place_shape(ParseContext& pc, UnitShape* shape);
bool is_local_transform(int token);
// The fresh matrix of a TRANSLATE, SCALE or ROTATE statement.
Matrix4 local_transform_matrix(int token, const Vector3& v);
// Reads the statement's vector; in a building parse the shape (when given) is
// transformed in its own local space.
void apply_local_transform(ParseContext& pc, int token, UnitShape* shape);
// The last shape of the list, taken off it; null when the list is empty.
CShape* take_last(ShapeList& list);

// material_blocks.cpp
void parse_material(ParseContext& pc);
void parse_light(ParseContext& pc);
void parse_camera(ParseContext& pc);

// csg_blocks.cpp
void parse_csg(ParseContext& pc);
