#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shapes/bvh.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "tests/support/hit_checks.h"
#include "tests/support/test_ball.h"

namespace {

struct Case {
    const char* name;
    int balls;
    bool duplicates;  // every ball twice at the same place: ties everywhere
    int unbounded;    // some balls without bounds
    bool skipFirst;
    int threads = 1;      // the build's
    float scale = 1.0f;   // of the positions, sizes and ray origins
    float offset = 0.0f;  // added to the positions and ray origins
    // Triangles around the balls' places instead of the balls (every fifth
    // without area), tested from the hierarchy's own copy of their corners.
    bool triangles = false;
    // The same triangles as one TriangleMesh (its triangles without area
    // take no place in the hierarchy).
    bool mesh = false;
    // The digest of the hierarchy built (ShapeBvh::fingerprint).
    uint64_t layout = 0;
};

class BvhMatchesLinearScan : public ::testing::TestWithParam<Case> {};

TEST_P(BvhMatchesLinearScan, EveryRayGivesTheSameHit) {
    const Case c = GetParam();
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> pos(-20.0f, 20.0f), rad(0.1f, 2.0f), dir(-1.0f, 1.0f);
    ShapeList list;
    std::vector<CShape*> shapes;
    for (int i = 0; i < c.balls && c.triangles; ++i) {
        const Vector3 m{pos(rng), pos(rng), pos(rng)};
        const Vector3 a = m + Vector3{dir(rng), dir(rng), dir(rng)} * 3.0f;
        const Vector3 b = m + Vector3{dir(rng), dir(rng), dir(rng)} * 3.0f;
        const Vector3 up{0.0f, 1.0f, 0.0f};
        for (int copy = 0; copy < (c.duplicates ? 2 : 1); ++copy) {
            if (c.mesh) {
                if (shapes.empty()) shapes.push_back(new TriangleMesh);
                auto& mesh = *static_cast<TriangleMesh*>(shapes[0]);
                const auto first = static_cast<uint32_t>(mesh.corners.size());
                for (const Vector3& p : {a, b, i % 5 == 4 ? a : m})
                    mesh.corners.push_back({p, up, 0.0f, 0.0f});
                mesh.faces.push_back({{first, first + 1, first + 2}});
                continue;
            }
            shapes.push_back(
                new Triangle(a, b, i % 5 == 4 ? a : m, up, up, up, 0, 0, 1, 0, 0, 1, nullptr));
            list.append(shapes.back());
        }
    }
    if (c.mesh) list.append(shapes[0]);
    for (int i = 0; i < c.balls && !c.triangles; ++i) {
        auto* b = new TestBall;
        b->centre = Vector3{pos(rng), pos(rng), pos(rng)} * c.scale + Vector3{1, 1, 1} * c.offset;
        b->radius = rad(rng) * c.scale;
        b->bounded = i >= c.unbounded;
        list.append(b);
        shapes.push_back(b);
        if (c.duplicates) {
            auto* twin = new TestBall;
            twin->centre = b->centre;
            twin->radius = b->radius;
            list.append(twin);
        }
    }
    ShapeList accelerated;  // the same shapes, searched through the hierarchy
    ShapeBvh bvh;
    bvh.build(list, c.threads);
    const int withoutArea = c.mesh ? (c.balls + 1) / 5 * (c.duplicates ? 2 : 1) : 0;
    EXPECT_EQ(bvh.boundedCount() + bvh.unboundedCount(),
              static_cast<size_t>(c.balls * (c.duplicates ? 2 : 1) - withoutArea));
    if (c.threads > 1) {
        // Halves built on their own threads give the one-thread hierarchy.
        ShapeBvh one;
        one.build(list, 1);
        EXPECT_EQ(bvh.nodeCount(), one.nodeCount());
        EXPECT_EQ(bvh.fingerprint(), one.fingerprint());
    }
    EXPECT_EQ(bvh.fingerprint(), c.layout) << std::hex << bvh.fingerprint();
    int hits = 0;
    for (int r = 0; r < 3000; ++r) {
        Ray ray{Vector3{pos(rng), pos(rng), pos(rng)} * c.scale + Vector3{1, 1, 1} * c.offset,
                {dir(rng), dir(rng), dir(rng)}};
        if (r % 7 == 0) ray.direction = {0.0f, dir(rng), 0.0f};  // axis-parallel rays
        CShape* skip = c.skipFirst ? shapes[r % shapes.size()] : nullptr;
        const uint32_t part = c.mesh ? static_cast<uint32_t>(r % c.balls) : 0;
        Hit linear, fast;
        linear.reset(skip, part);
        fast.reset(skip, part);
        list.nearestHitLinear(linear, ray);
        bvh.nearestHit(fast, ray);
        EXPECT_TRUE(same_hit(linear, fast)) << r;
        hits += linear.entryKind != 0;
    }
    EXPECT_GT(hits, 10);  // the rays meet the scene
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, BvhMatchesLinearScan,
    ::testing::Values(
        Case{"few", 3, false, 0, false, 1, 1.0f, 0.0f, false, false, 0x3c25167d3260ef1fu},
        // lists searched without a tree, and
        // the first one with a tree
        Case{"flatMixed", 9, false, 2, false, 1, 1.0f, 0.0f, false, false, 0xc5d454ec03b014a3u},
        Case{"flatTies", 8, true, 0, false, 1, 1.0f, 0.0f, false, false, 0x29bffdadb24d7f11u},
        Case{"flatSkip", 16, false, 0, true, 1, 1.0f, 0.0f, false, false, 0xd5aedf3df30a8d60u},
        Case{"smallestTree", 17, false, 0, false, 1, 1.0f, 0.0f, false, false, 0xa6962d2657f0c012u},
        Case{"many", 500, false, 0, false, 1, 1.0f, 0.0f, false, false, 0x009f9d0f931c2677u},
        Case{"ties", 200, true, 0, false, 1, 1.0f, 0.0f, false, false, 0x2d253c0e4a940e80u},
        Case{"mixed", 300, false, 40, false, 1, 1.0f, 0.0f, false, false, 0x44b86838de54e6c2u},
        Case{"skip", 300, false, 0, true, 1, 1.0f, 0.0f, false, false, 0x8e3022ab87b9413du},
        // large enough for halves on threads
        Case{"threads", 12000, false, 5, false, 3, 1.0f, 0.0f, false, false, 0xae17aaf09524cfd2u},
        Case{"threadsAllBounded", 12000, false, 0, false, 2, 1.0f, 0.0f, false, false,
             0xf423fa00e61988c4u},
        // boxes far larger than the padding, and boxes far off
        Case{"huge", 300, false, 0, false, 1, 1e17f, 0.0f, false, false, 0x3fe42dacab617b35u},
        Case{"farFromOrigin", 300, true, 0, false, 1, 1.0f, 1e6f, false, false,
             0x3694a50102238f2fu},
        Case{"triangles", 400, false, 0, false, 1, 1.0f, 0.0f, true, false, 0x23ee13ea251f80c2u},
        Case{"triangleTies", 300, true, 0, true, 1, 1.0f, 0.0f, true, false, 0x7f204d6d5c5d1ccfu},
        Case{"mesh", 400, false, 0, true, 1, 1.0f, 0.0f, true, true, 0xb6d3d0f20a09c696u},
        Case{"meshTies", 300, true, 0, true, 1, 1.0f, 0.0f, true, true, 0x599ea3c64de09927u},
        Case{"meshThreads", 6000, false, 0, false, 2, 1.0f, 0.0f, true, true, 0x71e9da819cfc7f05u},
        // a few dozen triangles, each twice: small leaves of ties
        Case{"fewMeshTies", 40, true, 0, true, 1, 1.0f, 0.0f, true, true, 0x57af4671740cdf20u},
        Case{"fewTriangleTies", 40, true, 0, true, 1, 1.0f, 0.0f, true, false,
             0xa4ed2c79333ed68cu}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShapeListAcceleration, AppendDropsTheHierarchy) {
    ShapeList list;
    auto* a = new TestBall;
    a->centre = {0, 0, 5};
    list.append(a);
    list.buildAcceleration();
    ASSERT_NE(list.acceleration(), nullptr);
    auto* b = new TestBall;
    b->centre = {0, 0, 2};
    list.append(b);
    EXPECT_EQ(list.acceleration(), nullptr);
    Hit h;
    h.reset(nullptr);
    list.nearestHit(h, Ray{{0, 0, -10}, {0, 0, 1}});
    EXPECT_EQ(h.shape, b);
}

TEST(ShapeListAcceleration, HitAtStartingDistanceIsNeverTaken) {
    ShapeList list;
    auto* a = new TestBall;
    a->centre = {0, 0, 11};
    a->radius = 1.0f;  // entry exactly at t = 10
    list.append(a);
    list.buildAcceleration();
    Hit h;
    h.reset(nullptr);
    h.entryDistance = 10.0f;
    list.nearestHit(h, Ray{{0, 0, 0}, {0, 0, 1}});
    EXPECT_EQ(h.entryKind, 0);
    h.entryDistance = 10.5f;
    list.nearestHit(h, Ray{{0, 0, 0}, {0, 0, 1}});
    EXPECT_EQ(h.entryKind, 1);
    EXPECT_FLOAT_EQ(h.entryDistance, 10.0f);
}

}  // namespace
