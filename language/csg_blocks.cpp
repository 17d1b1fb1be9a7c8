// UNION, INTERSECTION and DIFFERENCE: two operand shapes made into one.

#include "language/blocks.h"
#include "language/scene_budget.h"
#include "language/tokenizer.h"
#include "scene/scene.h"
#include "shapes/csg.h"

namespace {

CSGShape* make_csg(int token) {
    if (token == UNION) return new CSGUnion;
    if (token == INTERSECTION) return new CSGIntersection;
    return new CSGDifference;
}

bool ends_csg(int token) {
    return token == END_UNION || token == END_INTERSECTION || token == END_DIFFERENCE ||
           token == BLOCK_END;
}

}  // namespace

// csg ::= ( UNION | INTERSECTION | DIFFERENCE ) { operand | material }
//         ( END_UNION | END_INTERSECTION | END_DIFFERENCE | END )
// operand ::= unit_shape | quadric | csg
// Any of the end words closes any CSG block; a block has exactly two operands.
void parse_csg(ParseContext& pc) {
    // CSG blocks nest by recursion; the depth is bounded so the stack is not.
    NestingGuard guard(pc);
    if (!guard.ok()) return;
    CSGShape* csg = nullptr;
    if (pc.build_scene && budget_shape(pc)) {
        // On the list before its operands, so that it keeps the place where
        // the block began once they are taken off again.
        csg = make_csg(pc.token);
        csg->material = pc.current_material();
        pc.scene->shapes.append(csg);
    }
    int operands = 0;
    bool ended = false;
    while (more_to_read(pc)) {
        scan_token(pc);
        const int token = pc.token;
        if (ends_csg(token)) {
            ended = true;
            break;
        }
        if (token == MATERIAL) {
            parse_material(pc);
            if (csg != nullptr) csg->material = pc.current_material();
        } else if (may_stand(token, Place::Csg)) {
            parse_shape_block(pc);
            ++operands;
            // An operand that failed stays on the scene's list, which owns it.
            if (csg == nullptr || pc.parse_error) continue;
            CShape* operand = take_last(pc.scene->shapes);
            if (operands == 1) {
                csg->left = operand;
            } else {
                // A third operand is an error reported at the block's end; the
                // one it replaces must not be lost.
                delete csg->right;
                csg->right = operand;
            }
        } else if (!pc.word.empty()) {
            report_parse_error(pc, "Bad CSG Shape. Expected shape or MATERIAL");
        }
    }
    if (!ended && !pc.parse_error) report_parse_error(pc, "Expected END of CSG Shape.");
    if (!pc.parse_error && operands != 2) report_parse_error(pc, "Expected CSG of two shapes.");
}
