#include "render/surface_passes.h"

#include <limits>

#include "render/frame_threads.h"
#include "render/pixel_samples.h"
#include "shapes/bounding_shape.h"
#include "shapes/csg.h"

bool trace_surface_passes(const RenderJob& job, const SurfacePassTargets& targets,
                          const std::unordered_map<const CShape*, int32_t>& objects,
                          const std::atomic<bool>* stop) {
    if (job.scene == nullptr || job.width < 1 || job.height < 1) return true;
    const Scene& scene = *job.scene;
    const float w = static_cast<float>(job.width);
    const float h = static_cast<float>(job.height);
    std::atomic<int> next_row{0};
    std::atomic<bool> stopped{false};
    auto work = [&] {
        for (int row = next_row++; row < job.height; row = next_row++) {
            if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
                stopped.store(true);
                return;
            }
            for (int col = 0; col < job.width; ++col) {
                // The screen coordinates of primary_sample.
                const float x = 2.0f * static_cast<float>(col) / w - 1.0f;
                const float y = 2.0f * static_cast<float>(row) / h - 1.0f;
                Hit hit;
                scene.shapes.nearestHit(hit, primary_ray(scene.camera, x, y));
                const bool found = hit.entryKind != 0;
                const size_t at = static_cast<size_t>(row) * job.width + col;
                if (targets.depth != nullptr)
                    targets.depth[at] =
                        found ? hit.entryDistance : std::numeric_limits<float>::infinity();
                if (targets.normal != nullptr) {
                    const Vector3 n = found ? hit.entryNormal : Vector3{};
                    targets.normal[3 * at] = n.x;
                    targets.normal[3 * at + 1] = n.y;
                    targets.normal[3 * at + 2] = n.z;
                }
                if (targets.object != nullptr) {
                    const auto it = found ? objects.find(hit.shape) : objects.end();
                    targets.object[at] = it == objects.end() ? -1 : it->second;
                }
            }
        }
    };
    run_on_threads(resolved_thread_count(job), work);
    return !stopped.load();
}

void for_each_part(const CShape* shape, const std::function<void(const CShape*)>& visit) {
    if (const auto* csg = dynamic_cast<const CSGShape*>(shape)) {
        if (csg->left != nullptr) visit(csg->left);
        if (csg->right != nullptr) visit(csg->right);
    } else if (const auto* group = dynamic_cast<const BoundingShape*>(shape)) {
        if (group->bound != nullptr) visit(group->bound);
        for (const CShape* inner = group->inner.head; inner != nullptr; inner = nextOf(inner))
            visit(inner);
    }
}
