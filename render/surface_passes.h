#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "scene/render_job.h"

struct CShape;

// Where the surface passes of a picture go, each width * height values (the
// normal three per pixel) row by row from the top; null: not wanted.
struct SurfacePassTargets {
    float* depth = nullptr;     // distance along the camera ray; +inf: nothing hit
    float* normal = nullptr;    // unit, world space; 0, 0, 0: nothing hit
    int32_t* object = nullptr;  // `objects`' number for the shape hit; -1: nothing
};

// Fills the targets from each picture pixel's own camera ray (the one the
// pixel loop traces first, which pick_shapes searches too), on the job's
// threads. `objects` numbers every shape the search may report; one it does
// not hold gives -1. Ends between rows once `stop` reads true (the rows below
// keep what they held); false then.
bool trace_surface_passes(const RenderJob& job, const SurfacePassTargets& targets,
                          const std::unordered_map<const CShape*, int32_t>& objects,
                          const std::atomic<bool>* stop);

// Calls `visit` with each shape that `shape` is made of: a CSG shape's two
// operands, a bounding group's bound and its inner shapes.
void for_each_part(const CShape* shape, const std::function<void(const CShape*)>& visit);
