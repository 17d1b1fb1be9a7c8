#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "core/frame.h"
#include "core/record_list.h"
#include "language/reuse_records.h"
#include "language/text_buffer.h"
#include "scene/parse_error.h"
#include "scene/render_job.h"
#include "scene/scene.h"
#include "shapes/material.h"

class SourceRanges;

// What a parse has created so far, or may create (see scene_budget.h).
struct SceneBudget {
    long long shapes = 0;
    long long lights = 0;
    long long records = 0;
    long long texts = 0;
    long long texels = 0;
    // Triangles of the model files MESH FILE read.
    long long model_triangles = 0;
};

using FrameList = RecordList<Frame, &Frame::parent, &Frame::child>;

// The parse state and everything a parse builds: the scene, its job, the
// records its shapes point into, and what the TRACER and ANIMATION blocks
// said. The parse entry (parse_entry.h) fills one; the trace controller keeps
// one from frame to frame. Everything it built goes with it.
struct ParseContext {
    ParseContext();
    ~ParseContext();
    ParseContext(const ParseContext&) = delete;
    ParseContext& operator=(const ParseContext&) = delete;

    std::string output_file;
    // Folder of the scene file, for relative INCLUDE FILE and TEXTURE_FILE
    // names; empty for text that has no file.
    std::string source_folder;
    // Where each shape's block stands in the document, recorded only when a
    // front end asks for it (source_ranges.h).
    SourceRanges* source_ranges = nullptr;

    std::string word;
    int token = 0;
    // Index in document.text of the first character of `word`.
    int word_position = 0;
    // Blocks and expressions open right now (see NestingGuard).
    int nesting_depth = 0;
    // Where INCLUDE and LOOP stand in the spliced document.
    SpliceState splice;
    SceneBudget budget;
    // What a parse may create; scene_budget.h has the values.
    SceneBudget limits;
    bool parse_error = false;
    // When set, a Stop (job.stop_requested) ends the parse at its next word:
    // parse_error and parse_stopped are set, and nothing is to be shown.
    bool stoppable = false;
    bool parse_stopped = false;
    // The first error of the parse, when parse_error is set.
    ParseError parse_error_record;
    bool build_scene = false;
    bool has_animation = false;

    std::unique_ptr<Scene> scene;
    int image_x = 0;
    int image_y = 0;
    int width = 320;
    int height = 240;

    RecordList<Material> material_list;
    FrameList frame_list;
    RecordList<Interpolation> interpolation_list;
    RecordList<TextBuffer> text_list;
    // The oldest text of each DEFINE name in text_list; emptied with it.
    std::unordered_map<std::string, const TextBuffer*> text_names;
    RecordList<LoopCounter> counter_list;
    TextBuffer document;
    RenderJob job;

    float time = 0.0f;
    float start_time = 0.0f;
    float end_time = 1.0f;
    int frames = 1;
    int frames_per_second = 4;

    // The last material of the list: every new shape takes it.
    Material* current_material() const { return material_list.tail; }
    // The innermost frame of the FRAME stack.
    Frame* current_frame() const { return frame_list.tail; }
    // Frees the scene and every record the parse built; the job no longer
    // points at a scene.
    void release_scene();
};
