#include "render/progressive_passes.h"

#include <algorithm>
#include <atomic>

#include "render/frame_threads.h"
#include "render/pixel_samples.h"
#include "scene/surface.h"

namespace {

void fill_block(Surface& surface, int x, int y, int step, uint32_t colour) {
    const int x_end = std::min(x + step, surface.width());
    const int y_end = std::min(y + step, surface.height());
    for (int yy = y; yy < y_end; ++yy)
        for (int xx = x; xx < x_end; ++xx)
            surface.set_pixel(xx, yy, colour);
}

}  // namespace

bool trace_coarse_pass(const RenderJob& job, Surface& surface, int step, TracedSamples* keep) {
    if (keep != nullptr) keep->step = 0;
    if (job.scene == nullptr || job.width < 1 || job.height < 1 || step < 1) return false;
    const Scene& scene = *job.scene;
    const int block_rows = (job.height + step - 1) / step;
    const int block_columns = (job.width + step - 1) / step;
    Vector3* kept = nullptr;
    if (keep != nullptr) {
        keep->colours.resize(static_cast<size_t>(block_rows) * static_cast<size_t>(block_columns));
        kept = keep->colours.data();
    }
    std::atomic<int> next_row{0};
    std::atomic<bool> given_up{false};
    auto work = [&] {
        for (int b = next_row.fetch_add(1); b < block_rows; b = next_row.fetch_add(1)) {
            const int row = b * step;
            for (int col = 0; col < job.width; col += step) {
                if (job.abandoned()) {
                    given_up.store(true);
                    return;
                }
                const Vector3 c = primary_sample(scene, job, col, row);
                if (kept != nullptr)
                    kept[static_cast<size_t>(b) * static_cast<size_t>(block_columns) +
                         static_cast<size_t>(col / step)] = c;
                fill_block(surface, col, row, step, to_colorref(c));
            }
        }
    };
    run_on_threads(std::min(resolved_thread_count(job), block_rows), work);
    const bool complete = !given_up.load() && !job.abandoned();
    if (keep != nullptr && complete) {
        keep->step = step;
        keep->width = job.width;
        keep->height = job.height;
        keep->columns = block_columns;
    }
    return complete;
}
