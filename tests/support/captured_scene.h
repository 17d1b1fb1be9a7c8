#pragma once

#include <string>
#include <vector>

#include "language/parse_entry.h"
#include "render/pixel_loop.h"
#include "run/image_size.h"
#include "scene/surface.h"

// The first frame of one document, parsed by the parse entry as a Play run
// parses it and held until this object goes, so that the scene can be traced
// again and again, in different ways (benchmarks, equality checks).
class CapturedScene {
  public:
    // Parses `text`; INCLUDE FILE names are relative to `folder` when given.
    // False, with the reason in error() as the run would show it, when no
    // frame is ready to trace.
    bool load(const std::string& text, const std::string& folder) {
        text_ = text;
        ParseSettings settings;
        settings.source_folder = folder;
        parsed_ = parse_frame_text(text_, settings);
        if (!parsed_) {
            error_ = "Parse Error: " + parse_error_text(parsed_.error);
            return false;
        }
        const ParseContext& frame = *parsed_.frame;
        const std::string problem = image_size_problem(frame.width, frame.height);
        if (!problem.empty()) {
            error_ = "Glimmark Error: " + problem;
            parsed_ = ParsedFrame{};
            return false;
        }
        RenderJob& job = parsed_.frame->job;
        job.image_x = frame.image_x;
        job.image_y = frame.image_y;
        job.width = frame.width;
        job.height = frame.height;
        return true;
    }

    const std::string& error() const { return error_; }
    RenderJob& job() { return parsed_.frame->job; }
    const Scene& scene() { return *parsed_.frame->scene; }

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
    ParsedFrame parsed_;
    Surface surface_;
    std::string text_;
    std::string error_;
};
