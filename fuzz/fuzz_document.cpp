#include "fuzz/fuzz_document.h"

#include <algorithm>

#include "language/parse_entry.h"
#include "render/pixel_loop.h"
#include "run/image_size.h"
#include "scene/surface.h"

namespace {

// The largest side of a traced frame.
constexpr int Side = 8;

}  // namespace

void run_document(const std::string& text, bool build) {
    ParseSettings settings;
    settings.build_scene = build;
    // Relative INCLUDE FILE and TEXTURE_FILE names resolve in the examples.
    settings.source_folder = GMK_SOURCE_DIR "/examples";
    const ParsedFrame parsed = parse_frame_text(text, settings);
    if (!parsed || !build) return;
    ParseContext& frame = *parsed.frame;
    if (!image_size_problem(frame.width, frame.height).empty()) return;
    // The frame cut down to a tile, one thread, few bounces.
    RenderJob& job = frame.job;
    job.width = std::min(frame.width, Side);
    job.height = std::min(frame.height, Side);
    job.max_depth = std::min(job.max_depth, 2);
    job.antialiasing = std::min(job.antialiasing, 2);
    job.threads = 1;
    Surface surface(job.width, job.height);
    job.drawing_context = &surface;
    render_frame(job);
}
