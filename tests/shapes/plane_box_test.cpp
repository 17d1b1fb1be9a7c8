#include <gtest/gtest.h>

#include <cmath>

#include "shapes/box.h"
#include "shapes/plane.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

struct PlaneCase {
    const char* name;
    Vector3 origin, direction;
    int kind;
    float entry;
};

class PlaneEdgeTest : public ::testing::TestWithParam<PlaneCase> {};

TEST_P(PlaneEdgeTest, EntryAndFarExit) {
    const PlaneCase& c = GetParam();
    Plane p;
    Hit h = hit_for(p, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, 2);
    EXPECT_EQ(h.shape, &p);
    EXPECT_FLOAT_EQ(h.entryDistance, c.entry);
    expect_near(h.entryPoint, c.origin + c.direction * c.entry);
    expect_near(h.entryNormal, {0, 1, 0});
    expect_near(h.exitNormal, {0, 1, 0});
    EXPECT_EQ(h.exitDistance, FarDistance);
    expect_near(h.exitPoint, c.origin + c.direction * FarDistance, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaneEdgeTest,
    ::testing::Values(PlaneCase{"FromAbove", {0, 1, 0}, {0, -1, 0}, 1, 1},
                      // Below the plane going down: inside the half-space throughout.
                      PlaneCase{"BelowGoingDown", {0, -1, 0}, {0, -1, 0}, 2, 0},
                      // Below going up: reported as an entry, though the ray leaves.
                      PlaneCase{"BelowGoingUp", {0, -1, 0}, {0, 1, 0}, 1, 1},
                      PlaneCase{"AboveGoingUp", {0, 1, 0}, {0, 1, 0}, 0, 0},
                      PlaneCase{"Parallel", {0, 1, 0}, {1, 0, 0}, 0, 0},
                      PlaneCase{"ParallelBelow", {0, -1, 0}, {1, 0, 0}, 0, 0}),
    caseName<PlaneCase>);

TEST(PlaneTest, RotatedPlacementIsMetUnrotatedWithRotatedNormal) {
    Plane p;
    // A quarter turn about z would stand the plane up; it is still met at
    // the world height of its placement.
    p.setTransform(placement({0, 2, 0}, {1, 1, 1}, {0, 0, kPi / 2}));
    Hit h = hit_for(p, rayOf({3, 5, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_NEAR(h.entryDistance, 3.0f, 1e-5f);
    expect_near(h.entryPoint, {3, 2, 0});
    expect_near(h.entryNormal, {-1, 0, 0});
}

TEST(PlaneTest, TextureUsesTheWorldPointOnTheAxes) {
    Material m = gradientTexture();
    Plane p;
    p.material = &m;
    // u = P.X0 = 0.25, v = -(P.Z2) = 0.5 at P = (0.25, 0, -0.5).
    Hit h = hit_for(p, rayOf({0.25f, 3, -0.5f}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    expect_near(h.entryColour, {0.25f, 0.5f, 0}, 1e-4f);
    expect_near(h.exitColour, m.diffuse);
}

TEST(PlaneTest, SkipsItselfAndHasNoFiniteBounds) {
    Plane p;
    EXPECT_EQ(hit_for(p, rayOf({0, 1, 0}, {0, -1, 0}), &p).entryKind, 0);
    Bounds b;
    EXPECT_FALSE(p.worldBounds(b));
}

struct BoxCase {
    const char* name;
    Vector3 origin, direction;
    int kind, count;
    float entry, exit;
    Vector3 entryNormal, exitNormal;
};

class BoxEdgeTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(BoxEdgeTest, Crossings) {
    const BoxCase& c = GetParam();
    Box b;
    Hit h = hit_for(b, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, c.count);
    EXPECT_EQ(h.shape, &b);
    EXPECT_NEAR(h.entryDistance, c.entry, 1e-5f);
    expect_near(h.entryPoint, c.origin + c.direction * c.entry);
    expect_near(h.entryNormal, c.entryNormal);
    if (c.count < 2) return;
    EXPECT_NEAR(h.exitDistance, c.exit, 1e-5f);
    expect_near(h.exitPoint, c.origin + c.direction * c.exit);
    expect_near(h.exitNormal, c.exitNormal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxEdgeTest,
    ::testing::Values(
        BoxCase{"Through", {0, 0, 5}, {0, 0, -1}, 1, 2, 4, 6, {0, 0, 1}, {0, 0, -1}},
        // From the centre: the single crossing ahead is the entry side.
        BoxCase{"FromCentre", {0, 0, 0}, {1, 0, 0}, 2, 1, 1, 0, {1, 0, 0}, {}},
        // Through the edge (0, 1, 1) and out through the edge (0, -1, -1): the
        // two crossings at the first edge fill both sides, the far ones are lost.
        BoxCase{"ThroughAnEdge", {0, 3, 3}, {0, -1, -1}, 1, 2, 2, 2, {0, 1, 0}, {0, 0, 1}},
        BoxCase{"Behind", {0, 0, 5}, {0, 0, 1}, 0, 0, 0, 0, {}, {}},
        BoxCase{"Beside", {2, 0, 5}, {0, 0, -1}, 0, 0, 0, 0, {}, {}},
        // Along a face plane: the in-face test is inclusive.
        BoxCase{"AlongAFace", {1, 0, 5}, {0, 0, -1}, 1, 2, 4, 6, {0, 0, 1}, {0, 0, -1}}),
    caseName<BoxCase>);

TEST(BoxTest, EntryTextureCoordinatesAtTheFaceCentre) {
    Material m = gradientTexture();
    Box b;
    b.material = &m;
    Hit h = hit_for(b, rayOf({0, 0, 5}, {0, 0, -1}));
    ASSERT_EQ(h.entryKind, 1);
    expect_near(h.entryColour, {0.5f, 0.5f, 0}, 1e-5f);
    // Off centre on the +z face: (a, b) = (x, -y) = (0.5, -0.25).
    Hit off = hit_for(b, rayOf({0.5f, 0.25f, 5}, {0, 0, -1}));
    expect_near(off.entryColour, {0.75f, 0.375f, 0}, 1e-5f);
}

TEST(BoxTest, RotatedBoxTurnsItsNormals) {
    Box b;
    const float angle = 0.3f;
    b.setTransform(placement({0, 0, 0}, {1, 1, 1}, {0, angle, 0}));
    Hit h = hit_for(b, rayOf({0, 0, 5}, {0, 0, -1}));
    ASSERT_EQ(h.entryKind, 1);
    // The +z face turned about y by the angle.
    expect_near(h.entryNormal, {std::sin(angle), 0, std::cos(angle)}, 1e-5f);
    expect_near(h.exitNormal, {-std::sin(angle), 0, -std::cos(angle)}, 1e-5f);
}

TEST(BoxTest, CountLeftByAnEarlierShapeDoesNotLeakIn) {
    Box b;
    Hit h;
    h.reset(nullptr);
    // A list search hands over the working hit as the previous shape left it.
    h.boundaryCount = 2;
    h.entryDistance = 0.5f;
    h.exitDistance = 0.75f;
    b.intersect(h, rayOf({0, 0, 5}, {0, 0, -1}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_FLOAT_EQ(h.entryDistance, 4.0f);
    EXPECT_FLOAT_EQ(h.exitDistance, 6.0f);
}

TEST(BoxTest, InsideHitRepeatsItsOneCrossingOnTheExitSide) {
    Box b;
    Hit h = hit_for(b, rayOf({0, 0, 0}, {0, 1, 0}));
    ASSERT_EQ(h.entryKind, 2);
    EXPECT_FLOAT_EQ(h.exitDistance, h.entryDistance);
    expect_near(h.exitPoint, {0, 1, 0});
    expect_near(h.exitNormal, {0, 1, 0});
}

}  // namespace
