#include <gtest/gtest.h>

#include <cmath>

#include "shapes/cosine.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

const float kLastStep = std::ldexp(1.0f, -20);

struct CosineCase {
    const char* name;
    float phase;
    Vector3 origin, direction;
    int kind;
    float entry;
    float tolerance;
};

class CosineEdgeTest : public ::testing::TestWithParam<CosineCase> {};

TEST_P(CosineEdgeTest, Entry) {
    const CosineCase& c = GetParam();
    Cosine s;
    s.phase = c.phase;
    Hit h = hit_for(s, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, 2);
    EXPECT_EQ(h.shape, &s);
    EXPECT_NEAR(h.entryDistance, c.entry, c.tolerance);
    EXPECT_EQ(h.exitDistance, FarDistance);
    expect_near(h.entryPoint, c.origin + c.direction * h.entryDistance);
    expect_near(h.exitNormal, {0, -1, 0});
}

INSTANTIATE_TEST_SUITE_P(
    Listed, CosineEdgeTest,
    ::testing::Values(
        // Starting on the crest, the search stops at once.
        CosineCase{"Crest", 0, {0, 5, 0}, {0, -1, 0}, 1, 4, 0},
        CosineCase{"PointingAway", 0, {0, 5, 0}, {0, 1, 0}, 0, 0, 0},
        // 20 moves towards the height cos 0.5.
        CosineCase{"Slope", 0, {0.5f, 5, 0}, {0, -1, 0}, 1, 5 - std::cos(0.5f), 4e-6f},
        // The trough 2 beyond the start: every move goes forward.
        CosineCase{"Trough", 0, {kPi, 5, 0}, {0, -1, 0}, 1, 6 - kLastStep, 0},
        CosineCase{"FromBelow", 0, {0, -5, 0}, {0, 1, 0}, 1, 6, 0},
        CosineCase{"PhasePi", kPi, {0, 5, 0}, {0, -1, 0}, 1, 6 - kLastStep, 0},
        CosineCase{"Horizontal", 0, {0, 0.5f, 0}, {1, 0, 0}, 0, 0, 0}),
    caseName<CosineCase>);

INSTANTIATE_TEST_SUITE_P(
    BehindTheOrigin, CosineEdgeTest,
    ::testing::Values(
        // Under the crest going down: the search ends at -0.5, behind the
        // origin, which lies under the ripple: inside from distance 0.
        CosineCase{"UnderTheCrest", 0, {0, 0.5f, 0}, {0, -1, 0}, 2, 0, 0},
        // Above the ripple with the crest behind: the search from the start
        // ends behind, and the crossing is looked for from the origin; the
        // ray stays above the waves over the whole reach.
        CosineCase{"AboveWithTheCrestBehind", 0, {2, 0.2f, 0}, {1, -0.1f, 0}, 1, 2 - kLastStep, 0}),
    caseName<CosineCase>);

TEST(CosineTest, CrestNormalIsUp) {
    Cosine s;
    Hit h = hit_for(s, rayOf({0, 5, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    expect_near(h.entryNormal, {0, 1, 0});
    expect_near(h.exitPoint, Vector3{0, 5, 0} + Vector3{0, -1, 0} * FarDistance, 1.0f);
}

TEST(CosineTest, OnTheAxisTheNormalIsTheHeight) {
    Cosine s;
    s.phase = kPi;  // height -1 on the axis, so n = (0, -1, 0)
    Hit h = hit_for(s, rayOf({0, 5, 0}, {0, -1, 0}));
    expect_near(h.entryNormal, {0, -1, 0});
}

TEST(CosineTest, NormalBlendsTheRadialDirectionWithTheHeight) {
    Cosine s;
    Hit h = hit_for(s, rayOf({0.5f, 5, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    const float height = std::cos(0.5f);
    expect_near(h.entryNormal, Vector3{1, height, 0}.normalized(), 1e-5f);
}

TEST(CosineTest, CrossingAheadIsFoundFromTheOriginWhenTheStartEndsBehind) {
    Cosine s;
    const Vector3 o{2.5f, 0.3f, 0}, d{1, -0.35f, 0};
    Hit h = hit_for(s, rayOf(o, d));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_GT(h.entryDistance, 0.0f);
    const Vector3 p = o + d * h.entryDistance;
    // The reported point lies on the ripple.
    EXPECT_NEAR(p.y, std::cos(std::fabs(p.x)), 1e-4f);
}

TEST(CosineTest, InsideEntryIsTheOriginWithDiffuseColour) {
    Material m = uniformTexture({0.2f, 0.4f, 0.6f});
    Cosine s;
    s.material = &m;
    Hit h = hit_for(s, rayOf({0, 0.5f, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 2);
    expect_near(h.entryPoint, {0, 0.5f, 0});
    expect_near(h.entryColour, m.diffuse);
}

TEST(CosineTest, PlanarTextureAndDiffuseExit) {
    Material m = gradientTexture();
    Cosine s;
    s.material = &m;
    // Planar mapping u = X.P, v = -(Z.P) of the world entry point: the crest
    // on the axis at (0, 1, 0) maps to (0, 0).
    Hit h = hit_for(s, rayOf({0, 5, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    expect_near(h.entryColour, {0, 0, 0}, 1e-5f);  // (u, v) = (0, 0)
    expect_near(h.exitColour, m.diffuse);
    s.setTransform(placement({0.25f, 0, -0.5f}));
    Hit moved = hit_for(s, rayOf({0.25f, 5, -0.5f}, {0, -1, 0}));
    ASSERT_EQ(moved.entryKind, 1);
    // World point (0.25, 1, -0.5): u = X.P = 0.25, v = -(Z.P) = 0.5.
    expect_near(moved.entryColour, {0.25f, 0.5f, 0}, 1e-5f);
}

TEST(CosineTest, ExitNormalIsTheUnnormalisedDownwardAxis) {
    Cosine s;
    s.setTransform(placement({0, 0, 0}, {1, 3, 1}));
    Hit h = hit_for(s, rayOf({0, 10, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_NEAR(h.entryDistance, 7.0f, 1e-5f);
    expect_near(h.exitNormal, {0, -3, 0});
}

TEST(CosineTest, SkipShapeAndBounds) {
    Cosine s;
    EXPECT_EQ(hit_for(s, rayOf({0, 5, 0}, {0, -1, 0}), &s).entryKind, 0);
    Bounds b;
    EXPECT_FALSE(s.worldBounds(b));
}

}  // namespace
