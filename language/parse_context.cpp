#include "language/parse_context.h"

#include "language/scene_budget.h"

ParseContext::ParseContext() : limits(scene_limits()) {}

ParseContext::~ParseContext() { release_scene(); }

void ParseContext::release_scene() {
    interpolation_list.deleteAll();
    frame_list.deleteAll();
    if (scene) {
        scene->lights.deleteAll();
        scene->shapes.deleteAll();
        scene.reset();
    }
    job.scene = nullptr;
    material_list.deleteAll();
    text_list.deleteAll();
    text_names.clear();
    counter_list.deleteAll();
}
