#include "run/engine_parse.h"

#include <algorithm>
#include <new>

#include "language/parse_entry.h"
#include "run/image_size.h"
#include "scene/surface.h"

struct EngineParse::State {
    ParseContext parse;
    Surface surface;
    SourceRanges ranges;
    std::optional<ParseError> error;
    std::string refusal;
    ParsedFacts facts;
    bool ready = false;
};

EngineParse::EngineParse() : state_(std::make_unique<State>()) {}

EngineParse::~EngineParse() = default;

void EngineParse::run(const char* text, const glimmark::Settings& settings, bool build) {
    State& s = *state_;
    ParseContext& pc = s.parse;
    ParseSettings frame;
    frame.overrides = TracerOverrides{settings.width, settings.height, settings.antialiasing,
                                      settings.max_depth, settings.time};
    frame.build_scene = build;
    frame.source_folder = settings.folder;
    frame.source_ranges = build ? &s.ranges : nullptr;
    frame.time = settings.time.value_or(0.0f);
    pc.job.threads = settings.threads;
    // The frames before the one asked for are parsed as a render parses
    // them, so that RND and every other state they carry along are the same;
    // the ranges are recorded afresh by each parse.
    const int wanted = settings.time ? 0 : std::max(0, settings.frame);
    int index = 0;
    bool parsed = parse_frame_into(pc, text, frame);
    while (parsed && build && index < wanted && index + 1 < pc.frames) {
        index += 1;
        frame.first_frame = false;
        frame.time = pc.start_time + (pc.end_time - pc.start_time) * static_cast<float>(index) /
                                         static_cast<float>(pc.frames);
        parsed = parse_frame_into(pc, text, frame);
    }
    if (!parsed) s.error = pc.parse_error_record;
    const int frames = std::max(1, pc.frames);
    if (build && parsed) {
        if (index < wanted)
            s.refusal = "The scene has " + std::to_string(frames) + " frame" +
                        (frames > 1 ? "s" : "") + " (0 to " + std::to_string(frames - 1) +
                        "); frame " + std::to_string(wanted) + " is none of them.";
        if (s.refusal.empty()) s.refusal = image_size_problem(pc.width, pc.height);
        if (s.refusal.empty()) {
            try {
                s.surface.resize(pc.width, pc.height);
            } catch (const std::bad_alloc&) {
                s.refusal = "Image size " + std::to_string(pc.width) + " x " +
                            std::to_string(pc.height) + " needs more memory than this machine has.";
            }
        }
        if (s.refusal.empty()) {
            pc.job.image_x = pc.image_x;
            pc.job.image_y = pc.image_y;
            pc.job.width = pc.width;
            pc.job.height = pc.height;
            pc.job.drawing_context = &s.surface;
            s.ready = true;
        }
    }
    s.facts.width = pc.width;
    s.facts.height = pc.height;
    s.facts.frame_index = index;
    s.facts.time = index == 0 && pc.has_animation && !settings.time ? pc.start_time : pc.time;
    s.facts.animation =
        glimmark::Animation{pc.has_animation,     pc.frames,     pc.start_time, pc.end_time,
                            pc.frames_per_second, pc.output_file};
}

const std::optional<ParseError>& EngineParse::error() const { return state_->error; }

const std::string& EngineParse::refusal() const { return state_->refusal; }

RenderJob* EngineParse::job() { return state_->ready ? &state_->parse.job : nullptr; }

const SourceRanges& EngineParse::ranges() const { return state_->ranges; }

const ParsedFacts& EngineParse::facts() const { return state_->facts; }
