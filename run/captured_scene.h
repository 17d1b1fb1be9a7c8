#pragma once

#include <string>
#include <vector>

#include "render/pixel_loop.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"
#include "scene/surface.h"

// A host that keeps the frame the controller hands to a render thread
// instead of starting one, so that the parsed scene can be traced again and
// again, in different ways (benchmarks, equality checks).
class CapturingHost : public HeadlessHost {
  public:
    void start_render_thread(ThreadEntry entry, RenderJob* job) override {
        (void)entry;
        captured = job;
    }
    bool render_thread_running() const override { return false; }
    void join_render_thread() override {}

    RenderJob* captured = nullptr;
};

// The first frame of one document, parsed through the trace controller
// exactly as a Play run parses it, and held until this object goes.
class CapturedScene {
  public:
    CapturedScene() {
        host_.quiet = true;
        controller_.host = &host_;
    }
    CapturedScene(const CapturedScene&) = delete;
    CapturedScene& operator=(const CapturedScene&) = delete;
    ~CapturedScene() {
        if (host_.captured != nullptr) controller_.handle_trace_done(TRACE_RUN_OVER);
    }

    // Parses `text`; INCLUDE FILE names are relative to `folder` when given.
    // False, with the reason in error(), when no frame is ready to trace.
    bool load(const std::string& text, const std::string& folder) {
        text_ = text;
        controller_.source_folder = folder;
        controller_.start(text_.c_str(), true, false, nullptr);
        if (host_.captured == nullptr) {
            error_ = host_.messages.empty()
                         ? "no frame to trace"
                         : host_.messages.back().caption + ": " + host_.messages.back().text;
            return false;
        }
        return true;
    }

    const std::string& error() const { return error_; }
    RenderJob& job() { return *host_.captured; }
    const Scene& scene() { return *host_.captured->scene; }

    // Traces the frame at width x height (0 keeps the document's size) on
    // `threads` threads (0 = every core), with or without the search
    // hierarchy, and returns every traced position's colour, the two columns
    // and rows past the picture included, row by row.
    std::vector<uint32_t> trace(int width, int height, int threads, bool accelerate) {
        RenderJob& job = this->job();
        if (width > 0) job.width = width;
        if (height > 0) job.height = height;
        job.threads = threads;
        job.accelerate = accelerate;
        // The extra columns and rows are kept too, which the frame does not
        // black out itself.
        surface_.resize(job.width + 2, job.height + 2);
        surface_.fill_black(0, 0, job.width + 2, job.height + 2);
        job.drawing_context = &surface_;
        render_frame(job);
        return surface_.snapshot();
    }

  private:
    // The host outlives the controller, which calls it when it goes.
    CapturingHost host_;
    TraceController controller_;
    Surface surface_;
    std::string text_;
    std::string error_;
};
