#include "glimmark/preview.h"

#include <utility>
#include <vector>

#include "language/parse_entry.h"
#include "language/source_ranges.h"
#include "language/vocabulary.h"
#include "render/pick.h"
#include "render/pixel_loop.h"
#include "render/progressive_passes.h"
#include "run/diagnostic_of.h"
#include "run/image_size.h"
#include "shapes/shape.h"

namespace glimmark {

struct PreviewScene::State {
    // The frame the last parse built; its ranges point into text.
    ParsedFrame frame;
    SourceRanges ranges;
    std::string text;
    // The own samples of the coarse passes traced since the scene was
    // readied; the finest is the one the next pass takes them from.
    TracedSamples samples[2];
    int finest = -1;
    void forget_samples() {
        for (TracedSamples& kept : samples)
            kept.step = 0;
        finest = -1;
    }
    const TracedSamples* finest_samples() const { return finest < 0 ? nullptr : &samples[finest]; }
};

PreviewScene::PreviewScene() : state_(std::make_unique<State>()) {}

PreviewScene::~PreviewScene() = default;

std::optional<Diagnostic> PreviewScene::parse(std::string text, const std::string& folder,
                                              std::optional<float> time) {
    State& s = *state_;
    // The frame the last parse left goes before the next parse begins.
    s.forget_samples();
    s.frame = ParsedFrame{};
    s.text = std::move(text);
    ParseSettings settings;
    settings.overrides.time = time;
    settings.source_folder = folder;
    settings.source_ranges = &s.ranges;
    s.frame = parse_frame_text(s.text, settings);
    if (!s.frame) return diagnostic_of(s.frame.error, s.text);
    return std::nullopt;
}

void PreviewScene::clear() {
    state_->forget_samples();
    state_->frame = ParsedFrame{};
}

bool PreviewScene::ready() const { return static_cast<bool>(state_->frame); }

int PreviewScene::width() const { return state_->frame.frame->width; }

int PreviewScene::height() const { return state_->frame.frame->height; }

std::string PreviewScene::refusal() const { return image_size_problem(width(), height()); }

Animation PreviewScene::animation() const {
    const ParseContext& pc = *state_->frame.frame;
    return Animation{pc.has_animation,     pc.frames,     pc.start_time, pc.end_time,
                     pc.frames_per_second, pc.output_file};
}

void PreviewScene::prepare(int width, int height, const std::atomic<bool>* abandon) {
    state_->forget_samples();
    ParseContext& pc = *state_->frame.frame;
    RenderJob& job = pc.job;
    job.image_x = pc.image_x;
    job.image_y = pc.image_y;
    job.width = width;
    job.height = height;
    job.abandon = abandon;
    // The parse may have been slow; nothing is built for a preview given up.
    if (job.abandoned()) return;
    prepare_acceleration(job);
}

bool PreviewScene::trace_coarse(Canvas& canvas, int step) {
    State& s = *state_;
    RenderJob& job = s.frame.frame->job;
    // A coarser pass's samples are taken where the positions meet; the
    // rays would give the same colours again.
    const int into = s.finest == 0 ? 1 : 0;
    job.traced = s.finest_samples();
    const bool complete = trace_coarse_pass(job, canvas, step, &s.samples[into]);
    job.traced = nullptr;
    if (complete) s.finest = into;
    return complete;
}

void PreviewScene::trace(Canvas& canvas) {
    State& s = *state_;
    RenderJob& job = s.frame.frame->job;
    job.drawing_context = &canvas;
    // The own samples of the last coarse pass are the full picture's at
    // those positions.
    job.traced = s.finest_samples();
    render_frame(job);
    job.traced = nullptr;
    job.drawing_context = nullptr;
}

std::optional<PreviewPick> PreviewScene::pick(int x, int y, bool innermost) const {
    const State& s = *state_;
    if (!s.frame) return std::nullopt;
    const RenderJob& job = s.frame.frame->job;
    if (x < 0 || y < 0 || x >= job.width || y >= job.height) return std::nullopt;
    const std::vector<const CShape*> path = pick_shapes(job, x, y);
    if (path.empty()) return std::nullopt;
    // The shape that coloured the pixel names the kind and the material.
    const CShape* hit = path.back();
    PreviewPick found;
    found.kind = shape_block_keyword(shape_block(hit));
    if (hit->material != nullptr) found.material = hit->material->name;
    auto take = [&](const CShape* shape) {
        const SourceRange* range = s.ranges.find(shape);
        if (range == nullptr) return false;
        found.start = range->start;
        found.end = range->end;
        return true;
    };
    if (innermost) {
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            if (take(*it)) break;
    } else {
        for (const CShape* shape : path)
            if (take(shape)) break;
    }
    return found;
}

bool PreviewScene::shows_block(int x, int y, int start, int end) const {
    const State& s = *state_;
    if (!s.frame) return false;
    const RenderJob& job = s.frame.frame->job;
    if (x < 0 || y < 0 || x >= job.width || y >= job.height) return false;
    for (const CShape* shape : pick_shapes(job, x, y)) {
        const SourceRange* range = s.ranges.find(shape);
        if (range != nullptr && range->start == start && range->end == end) return true;
    }
    return false;
}

std::optional<PreviewPick> PreviewScene::block_at(int offset) const {
    const State& s = *state_;
    if (!s.frame) return std::nullopt;
    SourceRange range;
    const CShape* shape = s.ranges.innermost_at(offset, range);
    if (shape == nullptr) return std::nullopt;
    PreviewPick found;
    found.start = range.start;
    found.end = range.end;
    found.kind = shape_block_keyword(shape_block(shape));
    if (shape->material != nullptr) found.material = shape->material->name;
    return found;
}

}  // namespace glimmark
