#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "shapes/trioid_pyramid.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

struct FacetCase {
    const char* name;
    bool pyramid;
    Vector3 origin, direction;
    int kind, count;
    float entry, exit;
    // Outward face normals: e2 x e1 of the listed corner order.
    Vector3 entryNormal, exitNormal;
};

std::unique_ptr<UnitShape> make(bool pyramid) {
    if (pyramid) return std::make_unique<Pyramid>();
    return std::make_unique<Trioid>();
}

class FacetEdgeTest : public ::testing::TestWithParam<FacetCase> {};

TEST_P(FacetEdgeTest, Crossings) {
    const FacetCase& c = GetParam();
    auto s = make(c.pyramid);
    Hit h = hit_for(*s, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, c.count);
    EXPECT_EQ(h.shape, s.get());
    EXPECT_NEAR(h.entryDistance, c.entry, 1e-5f);
    expect_near(h.entryPoint, c.origin + c.direction * c.entry);
    expect_near(h.entryNormal, c.entryNormal);
    if (c.count < 2) return;
    EXPECT_NEAR(h.exitDistance, c.exit, 1e-5f);
    expect_near(h.exitPoint, c.origin + c.direction * c.exit);
    expect_near(h.exitNormal, c.exitNormal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FacetEdgeTest,
    ::testing::Values(
        // On the diagonal shared by the two base triangles: both sides hold
        // the base crossing and the apex at t = 6 is dropped.
        FacetCase{
            "PyramidBaseDiagonal", true, {0, -5, 0}, {0, 1, 0}, 1, 2, 4, 4, {0, -1, 0}, {0, -1, 0}},
        // Out through the side (V1, V4, V2), the plane x = (1 - y) / 2.
        FacetCase{"PyramidBaseThenSide",
                  true,
                  {0.5f, -5, 0.25f},
                  {0, 1, 0},
                  1,
                  2,
                  4,
                  5,
                  {0, -1, 0},
                  Vector3{2, 1, 0}.normalized()},
        FacetCase{"TrioidFromInside",
                  false,
                  {0, 0, 0},
                  {1, 0, 0},
                  2,
                  1,
                  0.25f,
                  0,
                  Vector3{4, 1, 2}.normalized(),
                  {}},
        // Three faces meet at the apex; the count stops at two.
        FacetCase{"TrioidApex",
                  false,
                  {0, 0, 0},
                  {0, 1, 0},
                  1,
                  2,
                  1,
                  1,
                  Vector3{4, 1, 2}.normalized(),
                  Vector3{0, 2, -4}.normalized()},
        FacetCase{"TrioidMiss", false, {3, 0, 0}, {0, 1, 0}, 0, 0, 0, 0, {}, {}},
        FacetCase{"PyramidBehind", true, {0, -5, 0}, {0, -1, 0}, 0, 0, 0, 0, {}, {}}),
    caseName<FacetCase>);

TEST(TrioidTest, TextureAtTheApexAndAtTheMiddleOfTheBaseEdge) {
    // Density 0.5 keeps v = 1 apart from v = 0 after wrapping: (u, v) reads
    // back as (u / 2, v / 2).
    Material m = gradientTexture(0.5f);
    Trioid t;
    t.material = &m;
    Hit apex = hit_for(t, rayOf({0, 0, 0}, {0, 1, 0}));
    ASSERT_EQ(apex.entryKind, 1);
    expect_near(apex.entryColour, {0.25f, 0, 0}, 1e-4f);  // (0.5, 0)
    Hit edge = hit_for(t, rayOf({0, -5, -1}, {0, 1, 0}));
    ASSERT_EQ(edge.entryKind, 1);
    EXPECT_NEAR(edge.entryDistance, 4.0f, 1e-5f);
    expect_near(edge.entryColour, {0.25f, 0.5f, 0}, 1e-4f);  // (0.5, 1)
}

TEST(TrioidTest, PlacementMovesAndTurnsTheFaces) {
    Trioid t;
    t.setTransform(placement({0, 0, 10}, {2, 2, 2}));
    Hit h = hit_for(t, rayOf({0, -10, 10}, {0, 1, 0}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_NEAR(h.entryDistance, 8.0f, 1e-5f);  // the base at world y = -2
    expect_near(h.entryNormal, {0, -1, 0});
}

}  // namespace
