// A list search hands every shape the same working hit, and the hierarchy
// visits shapes in another order than the list. So a shape that reports a
// hit must set every field shading reads, whatever the previous shape left
// in the working hit; otherwise the picture would depend on the search order.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>

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
#include "shapes/trioid_pyramid.h"
#include "tests/support/hit_checks.h"

namespace {

Material& testMaterial() {
    static Material m;
    return m;
}

template <class S>
S* unit(float scale = 1.0f, const Vector3& at = {}) {
    auto* s = new S;
    Frame f;
    f.scaleDiagonal(scale, 0.8f * scale, 1.2f * scale);
    f.addTranslation(at.x, at.y, at.z);
    s->setTransform(f);
    s->material = &testMaterial();
    return s;
}

SOR* lathe(int type) {
    SOR* s = unit<SOR>();
    s->profileType = type;
    const float r[5] = {0.3f, 0.5f, 1.0f, 0.6f, 0.4f};
    for (int i = 0; i < 5; ++i)
        s->addPoint(r[i], -1.0f + 0.5f * static_cast<float>(i));
    return s;
}

template <class Op>
CShape* csg(CShape* a, CShape* b) {
    auto* c = new Op;
    c->left = a;
    c->right = b;
    return c;
}

struct ShapeCase {
    std::string name;
    std::function<CShape*()> make;
};

std::vector<ShapeCase> cases() {
    return {
        {"sphere", [] { return unit<Sphere>(); }},
        {"box", [] { return unit<Box>(); }},
        {"plane", [] { return unit<Plane>(); }},
        {"cylinder", [] { return unit<Cylinder>(); }},
        {"cone", [] { return unit<Cone>(); }},
        {"paraboloid", [] { return unit<Paraboloid>(); }},
        {"hyperboloid", [] { return unit<Hyperboloid>(); }},
        {"trioid", [] { return unit<Trioid>(); }},
        {"pyramid", [] { return unit<Pyramid>(); }},
        {"sor_straight", [] { return lathe(SOR::StraightProfile); }},
        {"sor_spline", [] { return lathe(SOR::CatmullRomProfile); }},
        {"quadric",
         [] {
             Quadric* q = unit<Quadric>();
             const float k[10] = {1, -1, 1, 0, 0.2f, 0, 0, 0.3f, 0, -1};
             std::memcpy(q->coefficients, k, sizeof k);
             return q;
         }},
        {"cubic",
         [] {
             Cubic* c = unit<Cubic>();
             const float k[10] = {1, 0, 0, 0, 1, 1, 0, 0, 0, -1};
             std::memcpy(c->coefficients, k, sizeof k);
             return c;
         }},
        {"cosine", [] { return unit<Cosine>(); }},
        {"everywhere", [] { return unit<Everywhere>(); }},
        {"triangle",
         [] {
             return new Triangle({-1, -1, 0}, {1, -1, 0.2f}, {0, 1, -0.1f}, {0, 0, -1},
                                 {0, 0.6f, -0.8f}, {0.6f, 0, -0.8f}, 0, 0, 1, 0, 0, 1,
                                 &testMaterial());
         }},
        {"union",
         [] {
             return csg<CSGUnion>(unit<Sphere>(), unit<Box>(0.7f, {0.8f, 0, 0}));
         }},
        {"intersection",
         [] {
             return csg<CSGIntersection>(unit<Sphere>(), unit<Box>(0.7f, {0.5f, 0, 0}));
         }},
        {"difference",
         [] {
             return csg<CSGDifference>(unit<Box>(), unit<Sphere>(0.6f, {0.7f, 0.2f, 0}));
         }},
        {"bounding",
         [] {
             auto* b = new BoundingShape;
             b->bound = unit<Box>(1.5f);
             b->inner.append(unit<Sphere>(0.5f, {-0.6f, 0, 0}));
             b->inner.append(lathe(SOR::StraightProfile));
             return b;
         }},
    };
}

// A working hit as a previous shape might leave it: every field set, to
// values no shape reports.
Hit stale(CShape* skip, float seed) {
    Hit h;
    h.reset(skip);
    h.entryKind = 7;
    h.boundaryCount = 5;
    h.shape = nullptr;
    h.entryPoint = {seed, -seed, 3 * seed};
    h.exitPoint = {-2 * seed, seed, seed};
    h.entryNormal = {seed, seed, -seed};
    h.exitNormal = {-seed, 2 * seed, seed};
    h.entryColour = {seed, 0.5f, 0.25f};
    h.exitColour = {0.75f, seed, 0.5f};
    h.entryDistance = 123.0f * seed;
    h.exitDistance = -77.0f * seed;
    return h;
}

void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.name; }

class HitFields : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(HitFields, AHitDoesNotDependOnWhatTheWorkingHitHeld) {
    std::unique_ptr<CShape> shape(GetParam().make());
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    int hits = 0;
    for (int i = 0; i < 3000; ++i) {
        // From outside towards the shape, and from inside it.
        const Vector3 origin = i % 3 == 0 ? Vector3{0.3f * u(rng), 0.3f * u(rng), 0.3f * u(rng)}
                                          : Vector3{3 * u(rng), 3 * u(rng), -4.0f};
        const Vector3 target{0.8f * u(rng), 0.8f * u(rng), 0.8f * u(rng)};
        const Ray ray{origin, target - origin};
        Hit a = stale(nullptr, 0.5f), b = stale(nullptr, -3.0f);
        Hit clean;
        clean.reset(nullptr);
        shape->intersect(a, ray);
        shape->intersect(b, ray);
        shape->intersect(clean, ray);
        ASSERT_EQ(a.entryKind, clean.entryKind) << i;
        ASSERT_EQ(b.entryKind, clean.entryKind) << i;
        if (clean.entryKind == 0) continue;
        ++hits;
        // Every field shading reads, to the last bit.
        EXPECT_TRUE(same_hit(a, clean)) << i;
        EXPECT_TRUE(same_hit(b, clean)) << i;
        if (HasFailure()) break;
    }
    // Rays that all miss would prove nothing.
    EXPECT_GT(hits, 30);
}

INSTANTIATE_TEST_SUITE_P(Shapes, HitFields, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
