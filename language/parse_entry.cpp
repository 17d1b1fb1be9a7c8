#include "language/parse_entry.h"

#include <new>

#include "language/document.h"
#include "language/source_ranges.h"
#include "language/tokenizer.h"

namespace {

// One building or check-only reading of the whole text from fresh state.
void read_text(ParseContext& pc, const char* text) {
    pc.parse_error = false;
    pc.parse_stopped = false;
    pc.release_scene();
    if (pc.build_scene) {
        Frame* root = new Frame;
        root->setIdentity();
        pc.frame_list.append(root);
        pc.material_list.append(new Material);
        pc.scene = std::make_unique<Scene>();
        pc.image_x = 0;
        pc.image_y = 0;
        pc.width = 320;
        pc.height = 240;
        pc.job.build(nullptr, nullptr, pc.image_x, pc.image_y, pc.width, pc.height, pc.scene.get());
    }
    if (pc.source_ranges != nullptr) pc.source_ranges->reset(text);
    set_text(pc.document, text);
    bool out_of_memory = false;
    try {
        parse_document(pc);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    }
    if (out_of_memory) {
        // What the parse built so far goes first, so that the message itself
        // finds memory; it is reported where the parse stood.
        pc.release_scene();
        report_parse_error(pc, "Out of memory. The scene needs more than this machine has.");
    }
    // Every parse starts again from the source text, and the spliced text is
    // read by nothing after its parse: what a long INCLUDE FILE brought in
    // does not stay in memory while the frame is traced.
    std::string().swap(pc.document.text);
    pc.document.length = 0;
    pc.document.position = 0;
}

void apply_overrides(ParseContext& pc, const TracerOverrides& overrides) {
    if (overrides.width) pc.width = *overrides.width;
    if (overrides.height) pc.height = *overrides.height;
    if (overrides.antialiasing) pc.job.antialiasing = *overrides.antialiasing;
    if (overrides.max_depth) pc.job.max_depth = *overrides.max_depth;
}

}  // namespace

bool parse_frame_into(ParseContext& pc, const char* text, const ParseSettings& settings) {
    pc.build_scene = settings.build_scene;
    pc.source_folder = settings.source_folder;
    pc.source_ranges = settings.source_ranges;
    pc.stoppable = settings.stoppable;
    const TracerOverrides& overrides = settings.overrides;
    pc.time = overrides.time.value_or(settings.time);
    read_text(pc, text);
    // Frame 0 of an animation is meant to be seen at START_TIME, which is only
    // known once the text has been read. has_animation tells whether this
    // run's reading found ANIMATION (a fresh state, or one the controller
    // cleared when the run began).
    if (settings.first_frame && !overrides.time && pc.build_scene && !pc.parse_error &&
        pc.has_animation && pc.time != pc.start_time) {
        pc.time = pc.start_time;
        read_text(pc, text);
    }
    if (pc.build_scene && !pc.parse_error) apply_overrides(pc, overrides);
    return !pc.parse_error;
}

ParsedFrame parse_frame_text(const std::string& text, const ParseSettings& settings) {
    ParsedFrame parsed;
    auto state = std::make_unique<ParseContext>();
    if (parse_frame_into(*state, text.c_str(), settings))
        parsed.frame = std::move(state);
    else
        parsed.error = state->parse_error_record;
    return parsed;
}
