// SCENE, FRAME and BOUNDING_SHAPE, and the table of what may stand where.

#include "language/blocks.h"
#include "language/expressions.h"
#include "language/scene_budget.h"
#include "language/source_ranges.h"
#include "language/tokenizer.h"
#include "scene/scene.h"
#include "shapes/bounding_shape.h"

namespace {

constexpr unsigned InScene = 1u << static_cast<int>(Place::Scene);
constexpr unsigned InFrame = 1u << static_cast<int>(Place::Frame);
constexpr unsigned InLoop = 1u << static_cast<int>(Place::Loop);
constexpr unsigned InCsg = 1u << static_cast<int>(Place::Csg);
constexpr unsigned AfterBound = 1u << static_cast<int>(Place::AfterBoundingShape);
constexpr unsigned Solid = InScene | InFrame | InLoop | InCsg | AfterBound;

struct Placement {
    int token;
    unsigned places;
};

// Where each construct may stand. A construct not accepted in a place is a
// bad word there, reported by the enclosing block.
constexpr Placement placements[] = {
    {SPHERE, Solid},
    {CYLINDER, Solid},
    {CONE, Solid},
    {PARABOLOID, Solid},
    {HYPERBOLOID, Solid},
    {CUBE, Solid},
    {PLANE, Solid},
    {TRIAD, Solid},
    {PYRAMID, Solid},
    {COSINE, InScene | InFrame | InLoop | InCsg},
    {EVERYWHERE, InCsg},
    {QUADRIC, Solid},
    {CUBIC, InScene},
    {SOR, InScene | InFrame | InLoop},
    {MESH, InScene | InFrame | InLoop},
    {UNION, Solid},
    {INTERSECTION, Solid},
    {DIFFERENCE, Solid},
    {FRAME, InScene | InFrame | InLoop},
    {BOUNDING_SHAPE, InFrame},
    {CAMERA, InScene | InFrame},
    {LIGHT, InScene | InFrame | InLoop},
    {MATERIAL, InScene | InFrame | InLoop | InCsg},
    {INTERPOLATION, InScene | InFrame},
    {DEFINE, InScene | InFrame | InLoop},
    {INCLUDE, InScene | InFrame | InLoop},
    {LOOP, InScene | InLoop},
    {BACKGROUND_COLOR, InScene},
    {AMBIENCE, InScene},
    {FOG_DEPTH, InScene},
    {MATRIX, InFrame},
    {TRANSLATE, InFrame},
    {SCALE, InFrame},
    {ROTATE, InFrame},
};

// The state of one open FRAME block.
struct FrameBlock {
    Frame* frame = nullptr;  // null in a check-only parse
    BoundingShape* bounding = nullptr;
};

// bounding_shape ::= BOUNDING_SHAPE ( unit_shape | quadric | csg )
// where the unit shape is no COSINE and no EVERYWHERE.
// BOUNDING_SHAPE: the first shape block after it becomes the bound. Returns
// the new bounding shape in a building parse, null otherwise or on an error.
BoundingShape* parse_bounding_shape(ParseContext& pc) {
    while (more_to_read(pc)) {
        scan_token(pc);
        if (may_stand(pc.token, Place::AfterBoundingShape)) {
            parse_shape_block(pc);
            if (!pc.build_scene || pc.parse_error || !budget_shape(pc)) return nullptr;
            BoundingShape* bounding = new BoundingShape;
            bounding->bound = take_last(pc.scene->shapes);
            return bounding;
        }
        if (!pc.word.empty()) {
            report_parse_error(pc, "Bad BOUNDING_SHAPE. Expected Bounding Shape");
            return nullptr;
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected Bounding Shape.");
    return nullptr;
}

// frame_statement ::= MATRIX expr{16} | TRANSLATE vec | SCALE vec | ROTATE vec
void frame_statement(ParseContext& pc, int token, Frame* frame) {
    if (token == MATRIX) {
        Matrix4 m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m.m[r][c] = read_expression(pc);
        if (frame == nullptr) return;
        // Given relative to the enclosing frame; what TRANSLATE, SCALE and
        // ROTATE did before it in this frame is replaced.
        frame->matrix = m;
        if (frame->parent != nullptr) frame->compose(*frame->parent);
        return;
    }
    const Vector3 v = read_vector(pc);
    if (frame == nullptr) return;
    if (token == TRANSLATE)
        frame->addTranslation(v.x, v.y, v.z);
    else if (token == SCALE)
        frame->scaleDiagonal(v.x, v.y, v.z);
    else
        frame->setRotation(v.x, v.y, v.z);
}

// scene_item ::= shape | mesh | frame | camera | light | material | interpolation
//              | define | include | loop | BACKGROUND_COLOR vec | AMBIENCE expr
//              | FOG_DEPTH expr
// frame_item ::= shape | mesh | frame | bounding_shape | camera | light | material
//              | interpolation | define | include | frame_statement
// loop_item  ::= shape | mesh | frame | light | material | define | include | loop
// One construct of a SCENE, FRAME or LOOP body, where the table above lets it
// stand (so a shape there is no EVERYWHERE, and a CUBIC stands only in the
// scene itself); false when the current word may not stand here. `block` is
// the enclosing FRAME, null elsewhere.
bool parse_item(ParseContext& pc, Place place, FrameBlock* block) {
    const int token = pc.token;
    if (!may_stand(token, place)) return false;
    const bool build = pc.build_scene;
    if (is_shape_block(token)) {
        parse_shape_block(pc);
        // Shapes of a FRAME with a bounding shape go into its child list.
        if (build && block != nullptr && block->bounding != nullptr && !pc.parse_error)
            block->bounding->inner.append(take_last(pc.scene->shapes));
        return true;
    }
    switch (token) {
        case MESH: {
            ShapeList* target = nullptr;
            if (build)
                target = block != nullptr && block->bounding != nullptr ? &block->bounding->inner
                                                                        : &pc.scene->shapes;
            parse_mesh(pc, target);
            return true;
        }
        case FRAME:
            parse_frame(pc);
            return true;
        case BOUNDING_SHAPE: {
            if (block == nullptr) return false;
            // A second BOUNDING_SHAPE closes the group of the first, which
            // keeps its children in the scene.
            if (block->bounding != nullptr) {
                pc.scene->shapes.append(block->bounding);
                block->bounding = nullptr;
            }
            block->bounding = parse_bounding_shape(pc);
            return true;
        }
        case CAMERA:
            parse_camera(pc);
            return true;
        case LIGHT:
            parse_light(pc);
            return true;
        case MATERIAL:
            parse_material(pc);
            return true;
        case INTERPOLATION:
            parse_interpolation(pc);
            return true;
        case DEFINE:
            parse_define(pc);
            return true;
        case INCLUDE:
            parse_include(pc);
            return true;
        case LOOP:
            parse_loop(pc);
            return true;
        case BACKGROUND_COLOR: {
            const Vector3 v = read_vector(pc);
            if (build) pc.scene->background_color = v;
            return true;
        }
        case AMBIENCE: {
            const float v = read_expression(pc);
            if (build) pc.scene->ambience = v;
            return true;
        }
        case FOG_DEPTH: {
            const float v = read_expression(pc);
            if (build) pc.scene->fog_depth = v;
            return true;
        }
        case MATRIX:
        case TRANSLATE:
        case SCALE:
        case ROTATE:
            frame_statement(pc, token, block != nullptr ? block->frame : pc.current_frame());
            return true;
        default:
            return false;
    }
}

}  // namespace

bool may_stand(int token, Place place) {
    const unsigned bit = 1u << static_cast<int>(place);
    for (const Placement& p : placements)
        if (p.token == token) return (p.places & bit) != 0;
    return false;
}

// scene_item | frame_item | loop_item, by the place
bool parse_scene_item(ParseContext& pc, Place place) { return parse_item(pc, place, nullptr); }

// frame ::= FRAME { frame_item } ( END_FRAME | END )
void parse_frame(ParseContext& pc) {
    // Frames nest by recursion; the depth is bounded so the stack is not.
    NestingGuard guard(pc);
    if (!guard.ok()) return;
    // A bounding group's block is its FRAME.
    const ShapeRangeNote note(pc);
    FrameBlock block;
    if (pc.build_scene) {
        // The new frame starts as a copy of the enclosing one.
        block.frame = new Frame;
        block.frame->setIdentity();
        block.frame->matrix = pc.current_frame()->matrix;
        pc.frame_list.append(block.frame);
    }
    bool ended = false;
    while (more_to_read(pc)) {
        scan_token(pc);
        if (pc.token == END_FRAME || pc.token == BLOCK_END) {
            ended = true;
            break;
        }
        if (parse_item(pc, Place::Frame, &block)) continue;
        if (!pc.word.empty())
            report_parse_error(pc, "Bad Frame. Expected MATRIX, TRANSLATE, SCALE, ROTATE or shape");
    }
    if (!ended && !pc.parse_error) report_parse_error(pc, "Expected END_FRAME.");
    if (block.frame != nullptr) pc.frame_list.removeNode(block.frame);
    // Also after an error, so that the scene owns the group.
    if (block.bounding != nullptr) pc.scene->shapes.append(block.bounding);
}

// scene ::= SCENE { scene_item } ( END_SCENE | END )
void parse_scene(ParseContext& pc) {
    while (more_to_read(pc)) {
        scan_token(pc);
        if (pc.token == END_SCENE || pc.token == BLOCK_END) return;
        if (parse_item(pc, Place::Scene, nullptr)) continue;
        if (!pc.word.empty())
            report_parse_error(
                pc,
                "Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE");
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_SCENE.");
}
