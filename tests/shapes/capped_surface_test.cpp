#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "shapes/capped_surface.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

enum class Kind { Cylinder, Cone, Paraboloid, Hyperboloid };

std::unique_ptr<UnitShape> make(Kind k) {
    switch (k) {
        case Kind::Cylinder:
            return std::make_unique<Cylinder>();
        case Kind::Cone:
            return std::make_unique<Cone>();
        case Kind::Paraboloid:
            return std::make_unique<Paraboloid>();
        case Kind::Hyperboloid:
            return std::make_unique<Hyperboloid>();
    }
    return nullptr;
}

const float kRootHalf = std::sqrt(0.5f);
const float kInvRoot2 = 1.0f / std::sqrt(2.0f);
// The ray (0.25, 0.5, 0) + t (0.25, -1, 0) meets x^2 = y where
// 0.0625 t^2 + 1.125 t - 0.4375 = 0.
const float kParaboloidExit = static_cast<float>((-1.125 + std::sqrt(1.375)) / 0.125);
const Vector3 kParaboloidExitNormal =
    Vector3{0.25f + 0.25f * kParaboloidExit, -(0.5f - kParaboloidExit), 0}.normalized();

struct CappedCase {
    const char* name;
    Kind shape;
    Vector3 origin, direction;
    int kind, count;
    float entry, exit;
    // World normals (the shapes are unplaced, so transformNormal only
    // normalises the unit-space normal).
    Vector3 entryNormal, exitNormal;
};

class CappedEdgeTest : public ::testing::TestWithParam<CappedCase> {};

TEST_P(CappedEdgeTest, Span) {
    const CappedCase& c = GetParam();
    auto s = make(c.shape);
    Hit h = hit_for(*s, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, c.count);
    EXPECT_EQ(h.shape, s.get());
    EXPECT_NEAR(h.entryDistance, c.entry, 1e-5f);
    expect_near(h.entryPoint, c.origin + c.direction * c.entry, 1e-5f);
    expect_near(h.entryNormal, c.entryNormal, 1e-5f);
    if (c.count < 2) return;
    EXPECT_NEAR(h.exitDistance, c.exit, 1e-5f);
    expect_near(h.exitPoint, c.origin + c.direction * c.exit, 1e-5f);
    expect_near(h.exitNormal, c.exitNormal, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Listed, CappedEdgeTest,
    ::testing::Values(
        CappedCase{"CylinderSide",
                   Kind::Cylinder,
                   {-5, 0, 0},
                   {1, 0, 0},
                   1,
                   2,
                   4,
                   6,
                   {-1, 0, 0},
                   {1, 0, 0}},
        // Along the axis the side has no roots; the top cap first stands
        // alone, then the bottom cap takes the entry.
        CappedCase{"CylinderAxis",
                   Kind::Cylinder,
                   {0, -5, 0},
                   {0, 1, 0},
                   1,
                   2,
                   4,
                   6,
                   {0, -1, 0},
                   {0, 1, 0}},
        CappedCase{"CylinderCapThenSide",
                   Kind::Cylinder,
                   {0.5f, 5, 0},
                   {0.1f, -1, 0},
                   1,
                   2,
                   4,
                   5,
                   {0, 1, 0},
                   {1, 0, 0}},
        CappedCase{"ConeSide",
                   Kind::Cone,
                   {0, 0.5f, -5},
                   {0, 0, 1},
                   1,
                   2,
                   4.5f,
                   5.5f,
                   {0, -kInvRoot2, -kInvRoot2},
                   {0, -kInvRoot2, kInvRoot2}},
        CappedCase{
            "ConeLowerNappeTrimmed", Kind::Cone, {0, -0.5f, -5}, {0, 0, 1}, 0, 0, 0, 0, {}, {}},
        CappedCase{"ConeCapThenSide",
                   Kind::Cone,
                   {0.5f, 5, 0},
                   {0, -1, 0},
                   1,
                   2,
                   4,
                   4.5f,
                   {0, 1, 0},
                   {kInvRoot2, -kInvRoot2, 0}},
        // The apex double root is trimmed: only the cap is known.
        CappedCase{"ConeAxis", Kind::Cone, {0, 5, 0}, {0, -1, 0}, 2, 1, 4, 0, {0, 1, 0}, {}},
        CappedCase{"ParaboloidSide",
                   Kind::Paraboloid,
                   {0, 0.5f, -5},
                   {0, 0, 1},
                   1,
                   2,
                   5 - kRootHalf,
                   5 + kRootHalf,
                   Vector3{0, -0.5f, -kRootHalf}.normalized(),
                   Vector3{0, -0.5f, kRootHalf}.normalized()},
        CappedCase{"ParaboloidAlongAxis",
                   Kind::Paraboloid,
                   {0.5f, 5, 0},
                   {0, -1, 0},
                   2,
                   1,
                   4,
                   0,
                   {0, 1, 0},
                   {}},
        CappedCase{"HyperboloidWaist",
                   Kind::Hyperboloid,
                   {-5, 0, 0},
                   {1, 0, 0},
                   1,
                   2,
                   4,
                   6,
                   {-1, 0, 0},
                   {1, 0, 0}},
        CappedCase{"HyperboloidAxis",
                   Kind::Hyperboloid,
                   {0, -5, 0},
                   {0, 1, 0},
                   1,
                   2,
                   4,
                   6,
                   {0, -1, 0},
                   {0, 1, 0}},
        CappedCase{"HyperboloidCapThenSide",
                   Kind::Hyperboloid,
                   {1.2f, 5, 0},
                   {0, -1, 0},
                   1,
                   2,
                   4,
                   5 - std::sqrt(0.44f),
                   {0, 1, 0},
                   {1, 0, 0}},
        CappedCase{"HyperboloidOutsideCapAndRange",
                   Kind::Hyperboloid,
                   {1.5f, 5, 0},
                   {0, -1, 0},
                   0,
                   0,
                   0,
                   0,
                   {},
                   {}}),
    caseName<CappedCase>);

// Boundaries behind the origin: a cap plane behind the ray keeps its negative
// distance like a side root does, and the negative-distance rule then decides.
INSTANTIATE_TEST_SUITE_P(
    BehindTheOrigin, CappedEdgeTest,
    ::testing::Values(
        // Beyond the top cap, within its radius, pointing away: no hit (not a
        // zero-length hit at the origin).
        CappedCase{"CylinderAboveGoingAway",
                   Kind::Cylinder,
                   {0.5f, 5, 0},
                   {0.1f, 1, 0},
                   0,
                   0,
                   0,
                   0,
                   {},
                   {}},
        CappedCase{
            "CylinderBelowGoingAway", Kind::Cylinder, {0, -5, 0}, {0, -1, 0}, 0, 0, 0, 0, {}, {}},
        // From the centre up the axis: inside from 0 to the top cap; the
        // entry keeps the normal of the cap behind.
        CappedCase{"CylinderCentreUp",
                   Kind::Cylinder,
                   {0, 0, 0},
                   {0, 1, 0},
                   2,
                   2,
                   0,
                   1,
                   {0, -1, 0},
                   {0, 1, 0}},
        CappedCase{"CylinderCentreDownSlanted",
                   Kind::Cylinder,
                   {0, 0, 0},
                   {0.1f, -1, 0},
                   2,
                   2,
                   0,
                   1,
                   {0, 1, 0},
                   {0, -1, 0}},
        CappedCase{"CylinderCentreSideways",
                   Kind::Cylinder,
                   {0, 0.5f, 0},
                   {1, 0, 0},
                   2,
                   2,
                   0,
                   1,
                   {-1, 0, 0},
                   {1, 0, 0}},
        // Inside the cone heading down the axis: the apex is trimmed and the
        // only boundary found, the cap, is behind: nothing lies ahead.
        CappedCase{
            "ConeInsideDownTheAxis", Kind::Cone, {0, 0.5f, 0}, {0, -1, 0}, 0, 0, 0, 0, {}, {}},
        CappedCase{"ConeAboveGoingAway", Kind::Cone, {0, 5, 0}, {0, 1, 0}, 0, 0, 0, 0, {}, {}},
        // Inside, heading down and out through the side; the cap is behind.
        CappedCase{"ParaboloidInsideDown",
                   Kind::Paraboloid,
                   {0.25f, 0.5f, 0},
                   {0.25f, -1, 0},
                   2,
                   2,
                   0,
                   kParaboloidExit,
                   {0, 1, 0},
                   kParaboloidExitNormal},
        CappedCase{"HyperboloidCentreDown",
                   Kind::Hyperboloid,
                   {0, 0, 0},
                   {0, -1, 0},
                   2,
                   2,
                   0,
                   1,
                   {0, 1, 0},
                   {0, -1, 0}}),
    caseName<CappedCase>);

TEST(CappedSurfaceTest, LoneCapIsRepeatedOnTheExitSide) {
    Cone c;
    Hit h = hit_for(c, rayOf({0, 5, 0}, {0, -1, 0}));
    ASSERT_EQ(h.entryKind, 2);
    ASSERT_EQ(h.boundaryCount, 1);
    EXPECT_FLOAT_EQ(h.exitDistance, 4.0f);
    expect_near(h.exitNormal, {0, 1, 0});
}

TEST(CappedSurfaceTest, StaleDistancesOfTheHitDoNotDecide) {
    // Parallel to the paraboloid's axis the side gives no roots and leaves
    // the hit's distances as the previous shape left them.
    for (float stale : {-100.0f, 0.5f, 100.0f}) {
        Paraboloid p;
        Hit h;
        h.reset(nullptr);
        h.exitDistance = stale;
        p.intersect(h, rayOf({0.5f, 5, 0}, {0, 1, 0}));
        EXPECT_EQ(h.entryKind, 0) << stale;
        h.reset(nullptr);
        h.exitDistance = stale;
        p.intersect(h, rayOf({0.5f, 5, 0}, {0, -1, 0}));
        EXPECT_EQ(h.entryKind, 2) << stale;
        EXPECT_FLOAT_EQ(h.entryDistance, 4.0f) << stale;
    }
}

TEST(CappedSurfaceTest, ParallelToTheCapsNeverMeetsThem) {
    Cylinder c;
    // In the plane of the top cap: the side alone decides, and at y = 1 it
    // is outside the open height range.
    EXPECT_EQ(hit_for(c, rayOf({-5, 1, 0}, {1, 0, 0})).entryKind, 0);
    Hit h = hit_for(c, rayOf({-5, 0.999f, 0}, {1, 0, 0}));
    EXPECT_EQ(h.entryKind, 1);
}

TEST(CappedSurfaceTest, ZeroScaleIsNeverHit) {
    Cylinder c;
    c.setTransform(placement({0, 0, 0}, {1, 0, 1}));
    EXPECT_EQ(hit_for(c, rayOf({0, -5, 0}, {0, 1, 0})).entryKind, 0);
    EXPECT_EQ(hit_for(c, rayOf({-5, 0, 0}, {1, 0, 0})).entryKind, 0);
}

TEST(CappedSurfaceTest, NormalsFollowThePlacement) {
    Cylinder c;
    // Laid on its side: the unit y axis becomes world x.
    c.setTransform(placement({0, 0, 0}, {1, 1, 1}, {0, 0, -kPi / 2}));
    Hit h = hit_for(c, rayOf({-5, 0, 0}, {1, 0, 0}));
    ASSERT_EQ(h.entryKind, 1);
    expect_near(h.entryNormal, {-1, 0, 0}, 1e-5f);
    expect_near(h.exitNormal, {1, 0, 0}, 1e-5f);
    EXPECT_NEAR(h.entryDistance, 4.0f, 1e-5f);
}

struct SideMappingCase {
    const char* name;
    Vector3 point;
    float u, v;
};

class CylinderSideMappingTest : public ::testing::TestWithParam<SideMappingCase> {};

// Unplaced cylinder, X = (1, 0, 0): u = 2 acos(-n.x) / 3.14159 - 1, v = y.
TEST_P(CylinderSideMappingTest, Coordinates) {
    const SideMappingCase& c = GetParam();
    float u = 0, v = 0;
    sideTextureCoordinates({1, 0, 0}, {c.point.x, 0, c.point.z}, c.point, u, v);
    EXPECT_NEAR(u, c.u, 1e-5f);
    EXPECT_FLOAT_EQ(v, c.v);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CylinderSideMappingTest,
    ::testing::Values(SideMappingCase{"PlusX", {1, 0.25f, 0}, 2 * kPi / 3.14159f - 1, 0.25f},
                      SideMappingCase{"MinusX", {-1, 0.25f, 0}, -1, 0.25f},
                      SideMappingCase{"PlusZ", {0, 0.25f, 1}, 0, 0.25f},
                      SideMappingCase{"MinusZ", {0, 0.25f, -1}, 0, 0.25f}),
    caseName<SideMappingCase>);

TEST(CappedSurfaceMappingTest, CapCentreAndRim) {
    float u, v;
    capTextureCoordinates({0, 1, 0}, u, v);
    EXPECT_FLOAT_EQ(u, 0.5f);
    EXPECT_FLOAT_EQ(v, 0.5f);
    capTextureCoordinates({1, 1, -1}, u, v);
    EXPECT_FLOAT_EQ(u, 0.0f);
    EXPECT_FLOAT_EQ(v, 1.0f);
}

TEST(CappedSurfaceMappingTest, ScaledHyperboloidSideStaysFinite) {
    // Its side normal is longer than one and the axis carries the scale.
    float u = NAN, v = NAN;
    sideTextureCoordinates({3, 0, 0}, {1.4f, 0, 0.2f}, {1.4f, 0.9f, 0.2f}, u, v);
    EXPECT_TRUE(std::isfinite(u));
    EXPECT_NEAR(u, 2 * kPi / 3.14159f - 1, 1e-5f);
}

TEST(CappedSurfaceTest, TexturedCylinderUsesCapAndSideMappings) {
    Material m = gradientTexture(0.5f);
    Cylinder c;
    c.material = &m;
    // Bottom cap at its centre, then the top cap at its centre: (0.5, 0.5)
    // read back at density 0.5 as (0.25, 0.25).
    Hit axis = hit_for(c, rayOf({0, -5, 0}, {0, 1, 0}));
    ASSERT_EQ(axis.entryKind, 1);
    expect_near(axis.entryColour, {0.25f, 0.25f, 0}, 1e-5f);
    expect_near(axis.exitColour, {0.25f, 0.25f, 0}, 1e-5f);
    // Side exit at (0, 0.25, 1): u = 0, v = 0.25, read as (0, 0.125).
    Hit side = hit_for(c, rayOf({0, 0.25f, -5}, {0, 0, 1}));
    ASSERT_EQ(side.entryKind, 1);
    expect_near(side.exitColour, {0, 0.125f, 0}, 1e-4f);
}

TEST(CappedSurfaceTest, InsideCapEntryIsDiffuseButInsideSideEntryIsLookedUp) {
    Material m = uniformTexture({0.2f, 0.4f, 0.6f});
    Cylinder c;
    c.material = &m;
    Hit capEntry = hit_for(c, rayOf({0, 0, 0}, {0, 1, 0}));
    ASSERT_EQ(capEntry.entryKind, 2);
    expect_near(capEntry.entryColour, m.diffuse);
    expect_near(capEntry.exitColour, {0.2f, 0.4f, 0.6f});
    Hit sideEntry = hit_for(c, rayOf({0, 0, 0}, {1, 0, 0}));
    ASSERT_EQ(sideEntry.entryKind, 2);
    expect_near(sideEntry.entryColour, {0.2f, 0.4f, 0.6f});
}

}  // namespace
