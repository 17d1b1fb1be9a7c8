#include "glimmark/engine.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "language/vocabulary.h"
#include "render/pick.h"
#include "render/pixel_loop.h"
#include "render/pixel_samples.h"
#include "render/row_cursor.h"
#include "render/surface_passes.h"
#include "run/diagnostic_of.h"
#include "run/engine_parse.h"
#include "scene/surface.h"
#include "shapes/shape.h"

namespace glimmark {

struct Frame::State {
    // The text the parse read; its frame and recorded blocks point into it.
    std::string text;
    EngineParse parse;
    // The object pass's numbers, made when first asked for.
    bool objects_known = false;
    std::vector<Pick> objects;
    std::unordered_map<const CShape*, int32_t> object_of;

    void number_objects();
};

void Frame::State::number_objects() {
    if (objects_known) return;
    objects_known = true;
    const RenderJob* job = parse.job();
    if (job == nullptr || job->scene == nullptr) return;
    std::map<std::pair<int, int>, int32_t> by_range;
    auto add = [&](const CShape* shape, int start, int end) {
        Pick block;
        block.start = start;
        block.end = end;
        block.kind = std::string(shape_block_keyword(shape_block(shape)));
        objects.push_back(block);
        return static_cast<int32_t>(objects.size() - 1);
    };
    // A shape's number is that of the first shape with a block on the way
    // down to it; without one, that of the shape of the scene's list.
    std::function<void(const CShape*, int32_t, const CShape*, int32_t&)> walk =
        [&](const CShape* shape, int32_t number, const CShape* top, int32_t& top_number) {
            if (number < 0) {
                if (const SourceRange* range = parse.ranges().find(shape)) {
                    const auto key = std::make_pair(range->start, range->end);
                    const auto it = by_range.find(key);
                    number = it != by_range.end()
                                 ? it->second
                                 : (by_range[key] = add(shape, key.first, key.second));
                }
            }
            for_each_part(shape, [&](const CShape* part) { walk(part, number, top, top_number); });
            if (number < 0) {
                if (top_number < 0) top_number = add(top, -1, -1);
                number = top_number;
            }
            object_of[shape] = number;
        };
    for (const CShape* s = job->scene->shapes.head; s != nullptr; s = nextOf(s)) {
        int32_t top_number = -1;
        walk(s, -1, s, top_number);
    }
}

const std::vector<Pick>& Frame::objects() {
    state_->number_objects();
    return state_->objects;
}

Frame::Frame(std::unique_ptr<State> state) : state_(std::move(state)) {}

Frame::~Frame() = default;

int Frame::width() const { return state_->parse.facts().width; }

int Frame::height() const { return state_->parse.facts().height; }

int Frame::index() const { return state_->parse.facts().frame_index; }

float Frame::time() const { return state_->parse.facts().time; }

Animation Frame::animation() const { return state_->parse.facts().animation; }

int Frame::antialiasing() const { return extra_samples(*state_->parse.job()); }

float Animation::time_of(int index) const {
    // As the controller steps from one frame to the next.
    return start_time +
           (end_time - start_time) * static_cast<float>(index) / static_cast<float>(frames);
}

Picture Frame::trace(const TraceControl& control) {
    RenderJob& job = *state_->parse.job();
    const int total = job.height;
    const LoopRows rows = loop_rows(job);
    const Passes& passes = control.passes;
    const size_t pixels_count =
        static_cast<size_t>(std::max(0, job.width)) * static_cast<size_t>(std::max(0, job.height));
    Picture picture;
    if (passes.depth) picture.depth.assign(pixels_count, 0.0f);
    if (passes.normal) picture.normal.assign(3 * pixels_count, 0.0f);
    if (passes.object) {
        state_->number_objects();
        picture.object.assign(pixels_count, -1);
    }
    if (passes.linear) picture.linear.assign(3 * pixels_count, 0.0f);
    job.linear = passes.linear ? picture.linear.data() : nullptr;
    const SurfacePassTargets targets{passes.depth ? picture.depth.data() : nullptr,
                                     passes.normal ? picture.normal.data() : nullptr,
                                     passes.object ? picture.object.data() : nullptr};
    const bool surface_passes = passes.depth || passes.normal || passes.object;
    std::atomic<bool> passes_stop{false};
    bool passes_complete = !surface_passes;
    // The frame is traced on a thread of its own, so that the caller's
    // thread watches it: progress and the stop flag.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
        render_frame(job);
        // The surface passes follow the picture on the same threads, with the
        // scene's search structures the trace built.
        if (surface_passes && job.rows_done.load() >= rows.end - rows.begin) {
            prepare_acceleration(job);
            passes_complete = trace_surface_passes(job, targets, state_->object_of, &passes_stop);
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        ended.notify_one();
    });
    int reported = -1;
    auto report = [&] {
        const int finished = std::min(job.rows_done.load(std::memory_order_acquire), total);
        if (control.progress && finished != reported) control.progress(finished, total);
        reported = finished;
    };
    bool halted = false;  // the poll said stop once
    for (;;) {
        // render_frame clears the stop as it begins: it is set again until
        // the frame has ended.
        halted = halted || (control.poll && !control.poll());
        if (halted || (control.stop != nullptr && control.stop->load())) {
            job.stop_requested.store(true);
            passes_stop.store(true);
        }
        std::unique_lock<std::mutex> lock(mutex);
        if (ended.wait_for(lock, std::chrono::milliseconds(5), [&] { return done; })) break;
        lock.unlock();
        report();
    }
    worker.join();
    job.linear = nullptr;
    report();
    // 0x00BBGGRR pixels, as the picture files take them; the build without
    // picture files (the WebAssembly one) has none of their code.
    const std::vector<uint32_t> pixels = job.drawing_context->snapshot();
    picture.width = job.width;
    picture.height = job.height;
    picture.rgb.resize(pixels.size() * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        picture.rgb[3 * i] = static_cast<unsigned char>(pixels[i] & 0xFF);
        picture.rgb[3 * i + 1] = static_cast<unsigned char>((pixels[i] >> 8) & 0xFF);
        picture.rgb[3 * i + 2] = static_cast<unsigned char>((pixels[i] >> 16) & 0xFF);
    }
    picture.stopped = job.rows_done.load() < rows.end - rows.begin || !passes_complete;
    return picture;
}

std::optional<Pick> Frame::pick(int x, int y, bool innermost) {
    RenderJob& job = *state_->parse.job();
    if (x < 0 || y < 0 || x >= job.width || y >= job.height) return std::nullopt;
    // The search structures a trace would build, if none has yet.
    prepare_acceleration(job);
    const std::vector<const CShape*> path = pick_shapes(job, x, y);
    if (path.empty()) return std::nullopt;
    Pick found;
    found.kind = shape_block_keyword(shape_block(path.back()));
    auto take = [&](const CShape* shape) {
        const SourceRange* range = state_->parse.ranges().find(shape);
        if (range == nullptr) return false;
        found.start = range->start;
        found.end = range->end;
        return true;
    };
    if (innermost)
        std::find_if(path.rbegin(), path.rend(), take);
    else
        std::find_if(path.begin(), path.end(), take);
    return found;
}

std::vector<Diagnostic> check(const std::string& text, const Settings& settings) {
    EngineParse parse;
    parse.run(text.c_str(), settings, false);
    if (!parse.error()) return {};
    return {diagnostic_of(*parse.error(), text)};
}

Parsed parse(const std::string& text, const Settings& settings) {
    auto state = std::make_unique<Frame::State>();
    state->text = text;
    state->parse.run(state->text.c_str(), settings, true);
    Parsed parsed;
    if (state->parse.error()) parsed.error = diagnostic_of(*state->parse.error(), state->text);
    parsed.refusal = state->parse.refusal();
    if (state->parse.job() != nullptr) parsed.frame = std::make_unique<Frame>(std::move(state));
    return parsed;
}

Picture trace(const std::string& text, const Settings& settings, const TraceControl& control,
              Parsed* outcome) {
    Parsed parsed = parse(text, settings);
    Picture picture;
    if (parsed.frame) picture = parsed.frame->trace(control);
    if (outcome != nullptr) *outcome = std::move(parsed);
    return picture;
}

}  // namespace glimmark
