// MATERIAL, LIGHT and CAMERA: how things look and where they are seen from.

#include "language/blocks.h"
#include "language/expressions.h"
#include "language/scene_budget.h"
#include "language/tokenizer.h"
#include "scene/scene.h"
#include "scene/texture.h"

namespace {

bool ends_block(const ParseContext& pc, int end_token) {
    return pc.token == BLOCK_END || pc.token == end_token;
}

Material* find_material(ParseContext& pc, const std::string& name) {
    // A material without a name is never found.
    if (name.empty()) return nullptr;
    for (Material* m = pc.material_list.head; m != nullptr; m = m->next)
        if (m->name == name) return m;
    return nullptr;
}

// NAME inside a MATERIAL block. `fresh` tells whether the block's material was
// created by this block, so that nothing refers to it yet.
void name_material(ParseContext& pc, Material*& material, bool& fresh) {
    scan_token(pc);
    if (material == nullptr) return;
    Material* found = find_material(pc, pc.word);
    if (found == nullptr) {
        material->name = pc.word;
        return;
    }
    // The statements before NAME are lost with the record they went into. A
    // material taken over by an earlier NAME of this block is in use by
    // shapes, so it goes back on the list instead of being deleted.
    if (fresh)
        delete material;
    else
        pc.material_list.append(material);
    pc.material_list.unlink(found);
    material = found;
    fresh = false;
}

// TEXTURE_FILE: the file named by the word just read. A texture replacing an
// earlier one of the same material gives its texels back to the scene.
void load_material_texture(ParseContext& pc, Material& material) {
    const long long before =
        material.texture_loaded
            ? static_cast<long long>(material.texture_width) * material.texture_height
            : 0;
    bool too_large = false;
    const bool loaded = load_texture(material, resolve_document_path(pc, pc.word),
                                     texels_left(pc) + before, &too_large);
    if (too_large) {
        report_texels_spent(pc);
        return;
    }
    if (!loaded) {
        report_parse_error(pc, "Could not load texture.");
        return;
    }
    spend_texels(pc,
                 static_cast<long long>(material.texture_width) * material.texture_height - before);
}

}  // namespace

// material ::= MATERIAL { NAME word | TEXTURE_FILE string | DIFFUSE vec | GLOSS expr
//                       | TRANSPARENCY expr | INNER_TRANSPARENCY_DEPTH expr
//                       | REFLECTION expr | REFRACTION expr | DENSITY expr }
//              ( END_MATERIAL | END )
void parse_material(ParseContext& pc) {
    Material* material = pc.build_scene && budget_record(pc) ? new Material : nullptr;
    bool fresh = true;
    bool ended = false;
    while (more_to_read(pc)) {
        scan_token(pc);
        const std::string& w = pc.word;
        if (ends_block(pc, END_MATERIAL)) {
            ended = true;
            break;
        }
        if (pc.token == NAME) {
            name_material(pc, material, fresh);
        } else if (word_is(w, Statement::TextureFile)) {
            read_string(pc);
            if (material != nullptr) load_material_texture(pc, *material);
        } else if (word_is(w, Statement::Diffuse)) {
            const Vector3 v = read_vector(pc);
            if (material != nullptr) material->diffuse = v;
        } else if (word_is(w, Statement::Gloss)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->gloss = v;
        } else if (word_is(w, Statement::Transparency)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->transparency = v;
        } else if (word_is(w, Statement::InnerTransparencyDepth)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->inner_transparency_depth = v;
        } else if (word_is(w, Statement::Reflection)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->reflection = v;
        } else if (word_is(w, Statement::Refraction)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->refraction = v;
        } else if (word_is(w, Statement::Density)) {
            const float v = read_expression(pc);
            if (material != nullptr) material->density = v;
        } else if (!w.empty()) {
            report_parse_error(
                pc,
                "Bad Material. Expected DIFFUSE, GLOSS, TRANSPARENCY, REFLECTION or REFRACTION");
        }
    }
    if (!ended && !pc.parse_error) report_parse_error(pc, "Expected END_MATERIAL.");
    // Also after an error: the list owns the record and release_scene frees it.
    if (material != nullptr) pc.material_list.append(material);
}

// light ::= LIGHT { TRANSLATE vec | COLOR vec | STRENGTH expr } ( END_LIGHT | END )
void parse_light(ParseContext& pc) {
    Light* light = nullptr;
    if (pc.build_scene && budget_light(pc)) {
        light = new Light;
        pc.scene->lights.append(light);
    }
    while (more_to_read(pc)) {
        scan_token(pc);
        const std::string& w = pc.word;
        if (ends_block(pc, END_LIGHT)) return;
        if (pc.token == TRANSLATE) {
            const Vector3 v = read_vector(pc);
            // A later TRANSLATE replaces the position; the frame carries it.
            if (light != nullptr) light->position = pc.current_frame()->transformPoint(v);
        } else if (word_is(w, Statement::Color)) {
            const Vector3 v = read_vector(pc);
            if (light != nullptr) light->color = v;
        } else if (word_is(w, Statement::Strength)) {
            const float v = read_expression(pc);
            if (light != nullptr) light->strength = v;
        } else if (!w.empty()) {
            report_parse_error(pc, "Bad Light. Expected TRANSLATE, COLOR or STRENGTH");
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_LIGHT.");
}

// camera ::= CAMERA { TRANSLATE vec | SCALE vec | ROTATE vec | LOOK_AT vec }
//            ( END_CAMERA | END )
void parse_camera(ParseContext& pc) {
    Camera* camera = nullptr;
    if (pc.build_scene) {
        camera = &pc.scene->camera;
        // Every CAMERA block starts over from the current frame.
        camera->set(pc.current_frame()->matrix);
    }
    while (more_to_read(pc)) {
        scan_token(pc);
        const std::string& w = pc.word;
        if (ends_block(pc, END_CAMERA)) return;
        if (is_local_transform(pc.token)) {
            const int kind = pc.token;
            const Vector3 v = read_vector(pc);
            if (camera != nullptr) {
                Matrix4 m = local_transform_matrix(kind, v);
                m.compose(camera->frame_matrix);
                camera->set(m);
            }
        } else if (word_is(w, Statement::LookAt)) {
            const Vector3 target = read_vector(pc);
            if (camera != nullptr) {
                Matrix4 m = camera->frame_matrix;
                m.lookAt(target);
                camera->set(m);
            }
        } else if (!w.empty()) {
            report_parse_error(pc, "Bad Camera. Expected ROTATE, SCALE, TRANSLATE or LOOK_AT");
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_CAMERA.");
}
