#include "render/pick.h"

#include "render/pixel_loop.h"
#include "shapes/bounding_shape.h"
#include "shapes/box.h"
#include "shapes/capped_surface.h"
#include "shapes/cosine.h"
#include "shapes/csg.h"
#include "shapes/cubic.h"
#include "shapes/everywhere.h"
#include "shapes/plane.h"
#include "shapes/quadric.h"
#include "shapes/sor.h"
#include "shapes/sphere.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "shapes/trioid_pyramid.h"

namespace {

// Appends the shapes from `s` down to `target` to `path`; false, with the
// path as it was, when `s` does not hold it.
bool find_path(const CShape* s, const CShape* target, std::vector<const CShape*>& path) {
    if (s == nullptr) return false;
    path.push_back(s);
    if (s == target) return true;
    if (const auto* csg = dynamic_cast<const CSGShape*>(s)) {
        if (find_path(csg->left, target, path) || find_path(csg->right, target, path)) return true;
    } else if (const auto* group = dynamic_cast<const BoundingShape*>(s)) {
        if (find_path(group->bound, target, path)) return true;
        for (const CShape* inner = group->inner.head; inner != nullptr; inner = nextOf(inner))
            if (find_path(inner, target, path)) return true;
    }
    path.pop_back();
    return false;
}

}  // namespace

std::vector<const CShape*> pick_shapes(const RenderJob& job, int col, int row) {
    std::vector<const CShape*> path;
    if (job.scene == nullptr || job.width < 1 || job.height < 1) return path;
    const Scene& scene = *job.scene;
    // The screen coordinates of primary_sample.
    const float x = 2.0f * static_cast<float>(col) / static_cast<float>(job.width) - 1.0f;
    const float y = 2.0f * static_cast<float>(row) / static_cast<float>(job.height) - 1.0f;
    Hit hit;
    hit.reset(nullptr);
    scene.shapes.nearestHit(hit, primary_ray(scene.camera, x, y));
    if (hit.entryKind == 0 || hit.shape == nullptr) return path;
    for (const CShape* s = scene.shapes.head; s != nullptr; s = nextOf(s))
        if (find_path(s, hit.shape, path)) return path;
    // A shape the search reports but no list holds: itself alone.
    path.push_back(hit.shape);
    return path;
}

ShapeBlock shape_block(const CShape* s) {
    if (dynamic_cast<const Sphere*>(s)) return ShapeBlock::Sphere;
    if (dynamic_cast<const Box*>(s)) return ShapeBlock::Cube;
    if (dynamic_cast<const Cylinder*>(s)) return ShapeBlock::Cylinder;
    if (dynamic_cast<const Cone*>(s)) return ShapeBlock::Cone;
    if (dynamic_cast<const Paraboloid*>(s)) return ShapeBlock::Paraboloid;
    if (dynamic_cast<const Hyperboloid*>(s)) return ShapeBlock::Hyperboloid;
    if (dynamic_cast<const Plane*>(s)) return ShapeBlock::Plane;
    if (dynamic_cast<const Trioid*>(s)) return ShapeBlock::Triad;
    if (dynamic_cast<const Pyramid*>(s)) return ShapeBlock::Pyramid;
    if (dynamic_cast<const Cosine*>(s)) return ShapeBlock::Cosine;
    if (dynamic_cast<const Everywhere*>(s)) return ShapeBlock::Everywhere;
    if (dynamic_cast<const Quadric*>(s)) return ShapeBlock::Quadric;
    if (dynamic_cast<const Cubic*>(s)) return ShapeBlock::Cubic;
    if (dynamic_cast<const SOR*>(s)) return ShapeBlock::Sor;
    if (dynamic_cast<const Triangle*>(s) || dynamic_cast<const TriangleMesh*>(s))
        return ShapeBlock::Mesh;
    if (dynamic_cast<const CSGUnion*>(s)) return ShapeBlock::Union;
    if (dynamic_cast<const CSGIntersection*>(s)) return ShapeBlock::Intersection;
    if (dynamic_cast<const CSGDifference*>(s)) return ShapeBlock::Difference;
    if (dynamic_cast<const BoundingShape*>(s)) return ShapeBlock::BoundingShape;
    return ShapeBlock::None;
}
