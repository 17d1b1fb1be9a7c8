#include "run/engine_parse.h"

#include <algorithm>

#include "run/headless_host.h"
#include "run/trace_controller.h"

namespace {

// The controller's host: it shows nothing and keeps the frame it would hand
// to a render thread.
class KeepingHost : public HeadlessHost {
  public:
    void start_render_thread(ThreadEntry entry, RenderJob* job) override {
        (void)entry;
        kept = job;
    }
    bool render_thread_running() const override { return false; }
    void join_render_thread() override {}

    RenderJob* kept = nullptr;
};

}  // namespace

struct EngineParse::State {
    // Declared before the controller, which calls it when it goes.
    KeepingHost host;
    TraceController controller;
    SourceRanges ranges;
    std::optional<ParseError> error;
    std::string refusal;
    ParsedFacts facts;

    // One run of the controller, from fresh ranges; the frame of a run
    // before is over first.
    void start(const char* text, bool build) {
        release();
        ranges.reset(text);
        controller.start(text, build, false, nullptr);
    }
    void release() {
        if (host.kept == nullptr) return;
        host.kept = nullptr;
        controller.handle_trace_done(TRACE_RUN_OVER);
    }
    ~State() { release(); }
};

EngineParse::EngineParse() : state_(std::make_unique<State>()) {}

EngineParse::~EngineParse() = default;

void EngineParse::run(const char* text, const glimmark::Settings& settings, bool build) {
    State& s = *state_;
    TraceController& tc = s.controller;
    s.host.quiet = true;
    s.host.set_handler([&tc](int wparam) { tc.handle_trace_done(wparam); });
    tc.host = &s.host;
    tc.source_folder = settings.folder;
    tc.overrides = TracerOverrides{settings.width, settings.height, settings.antialiasing,
                                   settings.max_depth, settings.time};
    tc.job.threads = settings.threads;
    tc.source_ranges = build ? &s.ranges : nullptr;
    const int wanted = settings.time ? 0 : std::max(0, settings.frame);
    // The shapes of a frame passed over are gone before the next frame's
    // parse, and no pick may find their blocks.
    tc.before_frame = [&s, wanted, text](const TraceController& c) {
        if (c.frame_index >= wanted) return FrameChoice::Trace;
        s.ranges.reset(text);
        return FrameChoice::Skip;
    };
    if (build && wanted == 0 && !settings.time) {
        // Frame 0 of an animation that starts at another TIME is parsed at 0
        // and again at START_TIME; as two runs of one moment each the blocks
        // recorded are those of the second parse alone.
        tc.overrides.time = 0.0f;
        s.start(text, build);
        if (!tc.parse_error && tc.has_animation && tc.start_time != 0.0f) {
            tc.overrides.time = tc.start_time;
            s.start(text, build);
        }
        tc.overrides.time.reset();
    } else {
        s.start(text, build);
    }
    tc.before_frame = nullptr;

    if (tc.parse_error) s.error = tc.parse_error_record;
    const int frames = std::max(1, tc.frames);
    if (build && !s.error && s.host.kept == nullptr) {
        if (!tc.run_error.empty())
            s.refusal = tc.run_error;
        else
            s.refusal = "The scene has " + std::to_string(frames) + " frame" +
                        (frames > 1 ? "s" : "") + " (0 to " + std::to_string(frames - 1) +
                        "); frame " + std::to_string(wanted) + " is none of them.";
    }
    s.facts.width = tc.width;
    s.facts.height = tc.height;
    s.facts.frame_index = tc.frame_index;
    s.facts.time = tc.time;
    s.facts.animation =
        glimmark::Animation{tc.has_animation,     tc.frames,     tc.start_time, tc.end_time,
                            tc.frames_per_second, tc.output_file};
}

const std::optional<ParseError>& EngineParse::error() const { return state_->error; }

const std::string& EngineParse::refusal() const { return state_->refusal; }

RenderJob* EngineParse::job() { return state_->host.kept; }

const SourceRanges& EngineParse::ranges() const { return state_->ranges; }

const ParsedFacts& EngineParse::facts() const { return state_->facts; }
