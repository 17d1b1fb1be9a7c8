#include "render/row_cursor.h"

#include <algorithm>
#include <new>

#include "render/frame_threads.h"
#include "render/shading.h"
#include "scene/surface.h"

void prepare_acceleration(const RenderJob& job) {
    if (job.scene == nullptr) return;
    // The render thread is the only reader of the scene while it traces, and
    // nothing else writes it, so the search structures are built here.
    ShapeList& shapes = const_cast<ShapeList&>(job.scene->shapes);
    if (job.accelerate) {
        // Without memory for them the shapes are searched one by one: the
        // same picture, only slower.
        try {
            if (shapes.acceleration() == nullptr)
                shapes.buildAcceleration(resolved_thread_count(job));
        } catch (const std::bad_alloc&) {
            shapes.dropAllAcceleration();
        }
    } else {
        shapes.dropAllAcceleration();
    }
}

RowCursor::RowCursor(RenderJob& job) : job_(job), surface_(job.drawing_context) {
    job.stop_requested.store(false);
    job.rows_done.store(0);
    job.rays_traced.store(0);
    job.rays_cast.store(0);
    if (surface_ != nullptr) surface_->fill_black(job.image_x, job.image_y, job.width, job.height);
    // Screen coordinates divide by the size; an empty image has no pixels.
    traceable_ = job.scene != nullptr && job.width >= 1 && job.height >= 1;
    if (!traceable_) return;
    prepare_acceleration(job);
    rows_ = loop_rows(job);
    end_ = rows_.end;
    row_ = rows_.begin;
    columns_ = job.width + 2;
    aa_ = extra_samples(job);
    if (row_ >= end_) return;
    // A band of rows takes up the chain where a whole frame has it; the rays
    // that finds count among the frame's.
    const long long cast_before = rays_cast_on_this_thread();
    previous_ = chain_into_row(*job.scene, job, row_);
    job.rays_cast.fetch_add(rays_cast_on_this_thread() - cast_before);
}

void RowCursor::end_at_picture() { end_ = std::min(end_, job_.height); }

template <typename Own, typename Extra>
bool RowCursor::walk_row(Own own, Extra extra) {
    if (over()) return false;
    long long rays = 0;
    for (int col = 0; col < columns_; ++col) {
        if (job_.abandoned()) {
            ended_ = true;
            return false;
        }
        Vector3 c = own(col);
        rays += 1;
        if (needs_supersampling(job_, c, previous_)) {
            c = extra(col, c);
            rays += aa_;
        }
        if (surface_ != nullptr) surface_->set_pixel(col, row_, to_colorref(c));
        if (job_.linear != nullptr) keep_linear(job_, col, row_, c);
        previous_ = c;
    }
    return finish_row(rays);
}

bool RowCursor::trace_row() {
    if (over()) return false;
    // Counted as they are cast, so that a stopped row counts too.
    const long long cast_before = rays_cast_on_this_thread();
    const Scene& scene = *job_.scene;
    const int row = row_;
    const bool more =
        walk_row([&](int col) { return primary_sample(scene, job_, col, row); },
                 [&](int col, const Vector3& c) { return supersampled(scene, job_, col, row, c); });
    job_.rays_cast.fetch_add(rays_cast_on_this_thread() - cast_before);
    return more;
}

bool RowCursor::settle_row(const Vector3* own, const Vector3* extra, const uint8_t* prepared) {
    if (over()) return false;
    const Scene& scene = *job_.scene;
    const int row = row_;
    return walk_row([&](int col) { return own[col]; },
                    [&](int col, const Vector3& c) {
                        return prepared[col] ? extra[col] : supersampled(scene, job_, col, row, c);
                    });
}

bool RowCursor::count_row() {
    if (over()) return false;
    if (job_.abandoned()) {
        ended_ = true;
        return false;
    }
    return finish_row(columns_);
}

bool RowCursor::finish_row(long long rays) {
    job_.rays_traced.fetch_add(rays, std::memory_order_relaxed);
    job_.rows_done.fetch_add(1, std::memory_order_release);
    ++row_;
    if (job_.stop_requested.load()) ended_ = true;
    return !over();
}

void RowCursor::clear_unsettled_rows() {
    if (surface_ != nullptr && row_ < end_) surface_->fill_black(0, row_, columns_, end_);
}
