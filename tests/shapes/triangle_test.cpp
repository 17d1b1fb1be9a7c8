#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shapes/triangle.h"
#include "tests/support/hit_checks.h"
#include "tests/support/vector_near.h"

namespace {

const Vector3 kUp{0, 0, 1};

Triangle unitTriangle(Material* m, Vector3 nA = kUp, Vector3 nB = kUp, Vector3 nC = kUp) {
    return Triangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, nA, nB, nC, 0, 0, 1, 0, 0, 1, m);
}

TEST(Triangle, HitFromAboveWithWeights) {
    Material m;
    // Corner normals along the axes make the reported normal the weights.
    Triangle t = unitTriangle(&m, {1, 0, 0}, {0, 1, 0}, {0, 0, 1});
    const Hit hit = hit_for(t, Ray{{0.25f, 0.25f, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_EQ(hit.shape, &t);
    EXPECT_FLOAT_EQ(hit.entryDistance, 5.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 5.0f);
    expect_near(hit.entryPoint, {0.25f, 0.25f, 0}, 1e-7f, "point");
    EXPECT_EQ(hit.exitPoint, hit.entryPoint);
    expect_near(hit.entryNormal, {0.5f, 0.25f, 0.25f}, 1e-6f, "weights");
    expect_near(hit.exitNormal, {-0.5f, -0.25f, -0.25f}, 1e-6f, "exit");
}

TEST(Triangle, EitherSideReportsTheSameNormal) {
    Material m;
    Triangle t = unitTriangle(&m);
    const Hit above = hit_for(t, Ray{{0.25f, 0.25f, 5}, {0, 0, -1}});
    const Hit below = hit_for(t, Ray{{0.25f, 0.25f, -5}, {0, 0, 1}});
    ASSERT_EQ(above.entryKind, 1);
    ASSERT_EQ(below.entryKind, 1);
    EXPECT_EQ(above.entryNormal, Vector3(0, 0, 1));
    EXPECT_EQ(below.entryNormal, Vector3(0, 0, 1));
    EXPECT_EQ(below.exitNormal, Vector3(0, 0, -1));
    EXPECT_EQ(above.entryPoint, below.entryPoint);
}

struct EdgeCase {
    const char* name;
    float x, y;
    bool hit;
};

// Rays straight down through (x, y); edges and corners are inclusive.
const EdgeCase kEdgeCases[] = {
    {"Inside", 0.25f, 0.25f, true},
    {"HypotenuseMidpoint", 0.5f, 0.5f, true},
    {"BeyondHypotenuse", 0.6f, 0.6f, false},
    {"CornerA", 0, 0, true},
    {"CornerB", 1, 0, true},
    {"CornerC", 0, 1, true},
    {"EdgeAB", 0.5f, 0, true},
    {"EdgeAC", 0, 0.5f, true},
    {"LeftOfAC", -0.01f, 0.5f, false},
    {"BelowAB", 0.5f, -0.01f, false},
    {"PastB", 1.01f, 0, false},
    {"PastC", 0, 1.01f, false},
};

class TriangleEdges : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(TriangleEdges, InclusiveBounds) {
    const EdgeCase& c = GetParam();
    Material m;
    Triangle t = unitTriangle(&m);
    const Hit hit = hit_for(t, Ray{{c.x, c.y, 3}, {0, 0, -1}});
    EXPECT_EQ(hit.entryKind, c.hit ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Points, TriangleEdges, ::testing::ValuesIn(kEdgeCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct MissCase {
    const char* name;
    Vector3 A, B, C;
    Ray ray;
};

const MissCase kMisses[] = {
    {"Collinear", {0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {{1, 1, 5}, {0, 0, -1}}},
    {"TwoCornersEqual", {0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {{0.5f, 0, 5}, {0, 0, -1}}},
    {"ParallelRayInThePlane", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {{-1, 0.2f, 0}, {1, 0, 0}}},
    {"ParallelRayAbove", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {{-1, 0.2f, 1}, {1, 0, 0}}},
    {"Behind", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {{0.2f, 0.2f, 5}, {0, 0, 1}}},
    {"ZeroDirection", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {{0.2f, 0.2f, 5}, {0, 0, 0}}},
};

class TriangleMisses : public ::testing::TestWithParam<MissCase> {};

TEST_P(TriangleMisses, NoHit) {
    const MissCase& c = GetParam();
    Material m;
    Triangle t(c.A, c.B, c.C, kUp, kUp, kUp, 0, 0, 0, 0, 0, 0, &m);
    EXPECT_EQ(hit_for(t, c.ray).entryKind, 0);
}

INSTANTIATE_TEST_SUITE_P(Degenerate, TriangleMisses, ::testing::ValuesIn(kMisses),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Triangle, RayStartingOnItHitsAtItsOrigin) {
    Material m;
    Triangle t = unitTriangle(&m);
    const Ray ray{{0.2f, 0.3f, 0}, {0, 0.5f, 1}};
    const Hit hit = hit_for(t, ray);
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.entryDistance, 0.0f);
    EXPECT_EQ(hit.entryPoint, ray.origin);
    EXPECT_EQ(hit_for(t, ray, &t).entryKind, 0);
}

TEST(Triangle, BlendedNormalIsNotRenormalised) {
    Material m;
    Triangle t = unitTriangle(&m, {0, 0, 1}, {1, 0, 0}, {0, 1, 0});
    const float third = 1.0f / 3.0f;
    const Hit hit = hit_for(t, Ray{{third, third, 2}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    expect_near(hit.entryNormal, {third, third, third}, 1e-6f, "centroid");
    EXPECT_NEAR(hit.entryNormal.length(), 0.57735f, 1e-5f);
}

TEST(Triangle, ColoursFromTheBlendedTextureCoordinates) {
    Material m;
    m.diffuse = {0.2f, 0.4f, 0.6f};
    Triangle plain = unitTriangle(&m);
    Hit hit = hit_for(plain, Ray{{0.25f, 0.25f, 1}, {0, 0, -1}});
    EXPECT_EQ(hit.entryColour, m.diffuse);
    EXPECT_EQ(hit.exitColour, m.diffuse);

    Material tex;
    tex.diffuse = {0.2f, 0.4f, 0.6f};
    tex.texture_loaded = true;
    tex.texture_width = 2;
    tex.texture_height = 2;
    tex.texel_count_less_one = 3;
    tex.texels = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1},
                  {1, 0, 1}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    // Corner (u, v): A (0.1, 0.1), B (0.9, 0.1), C (0.1, 0.9); at weights
    // (0.5, 0.25, 0.25) the blend is (0.3, 0.3).
    Triangle t({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, kUp, kUp, kUp, 0.1f, 0.1f, 0.9f, 0.1f, 0.1f, 0.9f,
               &tex);
    hit = hit_for(t, Ray{{0.25f, 0.25f, 1}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    const Vector3 expected = tex.colourAt(0.3f, 0.3f);
    expect_near(hit.entryColour, expected, 1e-5f, "entry colour");
    expect_near(hit.exitColour, expected, 1e-5f, "exit colour");
    EXPECT_NE(hit.entryColour, tex.diffuse);
}

// Only the corner data on top of the shape base (no hidden members or heap
// data): a mesh of a million triangles stays near 150 MB.
TEST(Triangle, HoldsOnlyItsCornerData) {
    EXPECT_EQ(sizeof(Triangle), sizeof(CShape) + 6 * sizeof(Vector3) + 6 * sizeof(float));
}

TEST(Triangle, BoundsHoldTheCornersAndEveryHitProperty) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Material m;
    int hits = 0;
    for (int i = 0; i < 200; ++i) {
        const Vector3 A{3 * u(rng), 3 * u(rng), 3 * u(rng)};
        // Every fourth triangle lies in a plane z = const: a box without depth.
        const float flat = (i % 4 == 0) ? 0.0f : 1.0f;
        const Vector3 B = A + Vector3{u(rng), u(rng), flat * u(rng)};
        const Vector3 C = A + Vector3{u(rng), u(rng), flat * u(rng)};
        Triangle t(A, B, C, kUp, kUp, kUp, 0, 0, 0, 0, 0, 0, &m);
        Bounds box;
        ASSERT_TRUE(t.worldBounds(box));
        for (const Vector3& p : {A, B, C}) {
            EXPECT_TRUE(box.lo.x <= p.x && p.x <= box.hi.x && box.lo.y <= p.y && p.y <= box.hi.y &&
                        box.lo.z <= p.z && p.z <= box.hi.z);
        }
        for (int r = 0; r < 20; ++r) {
            // Aim at a point of the triangle (or a little beside it).
            const float s = 1.2f * std::fabs(u(rng)), g = 1.2f * std::fabs(u(rng));
            const Vector3 target = A + (B - A) * s + (C - A) * g;
            const Vector3 origin{10 * u(rng), 10 * u(rng), 10 * u(rng)};
            const Hit hit = hit_for(t, Ray{origin, target - origin});
            if (hit.entryKind == 0) continue;
            ++hits;
            const Vector3& p = hit.entryPoint;
            EXPECT_TRUE(box.lo.x <= p.x && p.x <= box.hi.x && box.lo.y <= p.y && p.y <= box.hi.y &&
                        box.lo.z <= p.z && p.z <= box.hi.z)
                << i << " " << r;
        }
    }
    EXPECT_GT(hits, 1000);
}

}  // namespace
