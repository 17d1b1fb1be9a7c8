#pragma once

// The block parsers: what each of them needs from the others. Every parser is
// called with the block's keyword just scanned and returns behind the block's
// end word, or with parse_error set.
//
// Above each parser stands the grammar of what it accepts: { x } is any
// number of x, [ x ] at most one, x{n} n of them, x | y either. Words in
// capitals are keywords and block words, matched in any letter case; END
// stands for the words END and "}". expr is an expression, vec three of them,
// int an integer word, string a text in double quotes, word any one word.

#include <string>

#include "core/matrix4.h"
#include "language/parse_context.h"

struct CShape;
struct ShapeList;
struct UnitShape;

// The places a construct can stand in; the table of scene_blocks.cpp says
// which constructs each of them accepts.
enum class Place { Scene, Frame, Loop, Csg, AfterBoundingShape };

// scene_blocks.cpp: SCENE, FRAME and the table of what may stand where.
bool may_stand(int token, Place place);
void parse_scene(ParseContext& pc);
void parse_frame(ParseContext& pc);
// Parses the construct the current word (pc.token / pc.word) starts when it
// may stand in this place; false when it starts nothing here, so that the
// caller reports its own message.
bool parse_scene_item(ParseContext& pc, Place place);

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

// reuse_blocks.cpp
void parse_define(ParseContext& pc);
void parse_include(ParseContext& pc);
void parse_interpolation(ParseContext& pc);
// Splices text into the document at the read position (insert_text) and
// keeps the running loops and the INCLUDE depth in step with it; false, after
// a parse error, when the document would grow beyond its limit.
bool splice_text(ParseContext& pc, const std::string& text);
// The same, taking over the text's buffer: no copy of a long file's text.
bool splice_text(ParseContext& pc, std::string&& text);
// Clears the splice bookkeeping at the start of a parse.
void reset_splices(ParseContext& pc);
// Resolves a file name from the document: beside the scene file first, then
// the current folder. Returns the name to open.
std::string resolve_document_path(const ParseContext& pc, const std::string& name);

// loop_block.cpp
void parse_loop(ParseContext& pc);
