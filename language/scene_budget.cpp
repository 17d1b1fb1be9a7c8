#include "language/scene_budget.h"

#include <string>

#include "language/tokenizer.h"
#include "scene/model_file.h"

namespace {

bool take(ParseContext& pc, long long& count, long long limit, const char* what) {
    if (count >= limit) {
        const std::string message =
            std::string("Too many ") + what + ". Expected at most " + std::to_string(limit);
        report_parse_error(pc, message.c_str());
        return false;
    }
    ++count;
    return true;
}

}  // namespace

SceneBudget scene_limits() {
    SceneBudget limits;
    limits.shapes = MaxSceneShapes;
    limits.lights = MaxSceneLights;
    limits.records = MaxSceneRecords;
    limits.texts = MaxSceneTexts;
    limits.texels = MaxSceneTexels;
    limits.model_triangles = model_triangle_limit();
    return limits;
}

bool budget_shape(ParseContext& pc) {
    return take(pc, pc.budget.shapes, pc.limits.shapes, "shapes");
}

bool budget_light(ParseContext& pc) {
    return take(pc, pc.budget.lights, pc.limits.lights, "lights");
}

bool budget_record(ParseContext& pc) {
    return take(pc, pc.budget.records, pc.limits.records, "materials and interpolations");
}

bool budget_text(ParseContext& pc) {
    return take(pc, pc.budget.texts, pc.limits.texts, "DEFINE texts");
}

long long texels_left(const ParseContext& pc) { return pc.limits.texels - pc.budget.texels; }

void spend_texels(ParseContext& pc, long long texels) { pc.budget.texels += texels; }

void report_texels_spent(ParseContext& pc) {
    const std::string message =
        "Too many texture pixels. Expected at most " + std::to_string(pc.limits.texels) + " in all";
    report_parse_error(pc, message.c_str());
}
