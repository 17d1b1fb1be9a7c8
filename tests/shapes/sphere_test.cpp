#include <gtest/gtest.h>

#include <cmath>

#include "shapes/solvers/quadratic.h"
#include "shapes/sphere.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

struct QuadraticCase {
    const char* name;
    float a, b, c;
    int kind;
    int count;
    float entry, exit;  // expected stored distances (checked when storesRoots)
    bool storesRoots;
};

class SolveQuadraticTest : public ::testing::TestWithParam<QuadraticCase> {};

TEST_P(SolveQuadraticTest, KindCountAndDistances) {
    const QuadraticCase& q = GetParam();
    Hit hit;
    hit.reset(nullptr);
    hit.entryDistance = 111.0f;
    hit.exitDistance = 222.0f;
    solveQuadratic(q.a, q.b, q.c, hit);
    EXPECT_EQ(hit.entryKind, q.kind);
    EXPECT_EQ(hit.boundaryCount, q.count);
    if (q.storesRoots) {
        EXPECT_FLOAT_EQ(hit.entryDistance, q.entry);
        EXPECT_FLOAT_EQ(hit.exitDistance, q.exit);
    } else {
        EXPECT_EQ(hit.entryDistance, 111.0f);
        EXPECT_EQ(hit.exitDistance, 222.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Roots, SolveQuadraticTest,
    ::testing::Values(
        // (t + 1)(t - 3): the negative entry is returned for the caller to clamp.
        QuadraticCase{"MinusOneAndThree", 1, -2, -3, 1, 2, -1, 3, true},
        // -(t - 2)(t - 3): a negative leading coefficient still gives ascending roots.
        QuadraticCase{"NegativeA", -1, 5, -6, 1, 2, 2, 3, true},
        QuadraticCase{"LinearIsNoHit", 0, 4, -8, 0, 0, 0, 0, false},
        QuadraticCase{"NoRealRoots", 1, 0, 1, 0, 0, 0, 0, false},
        // Both roots behind: a miss that still leaves the roots stored.
        QuadraticCase{"BothBehind", 1, 3, 2, 0, 0, -2, -1, true},
        QuadraticCase{"TangentDoubleRoot", 1, -4, 4, 1, 2, 2, 2, true}),
    caseName<QuadraticCase>);

struct SphereCase {
    const char* name;
    Vector3 translate;
    Vector3 origin, direction;
    int kind;
    float entry, exit;
    Vector3 entryNormal, exitNormal;
};

class SphereEdgeTest : public ::testing::TestWithParam<SphereCase> {};

TEST_P(SphereEdgeTest, SpanAndNormals) {
    const SphereCase& c = GetParam();
    Sphere s;
    s.setTransform(placement(c.translate));
    Hit h = hit_for(s, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(h.boundaryCount, 2);
    EXPECT_EQ(h.shape, &s);
    EXPECT_NEAR(h.entryDistance, c.entry, 1e-5f);
    EXPECT_NEAR(h.exitDistance, c.exit, 1e-5f);
    expect_near(h.entryNormal, c.entryNormal);
    expect_near(h.exitNormal, c.exitNormal);
    expect_near(h.entryPoint, c.origin + c.direction * c.entry);
    expect_near(h.exitPoint, c.origin + c.direction * c.exit);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SphereEdgeTest,
    ::testing::Values(
        SphereCase{"Through", {0, 0, 0}, {0, 0, -5}, {0, 0, 1}, 1, 4, 6, {0, 0, -1}, {0, 0, 1}},
        SphereCase{"Translated", {5, 0, 0}, {0, 0, 0}, {1, 0, 0}, 1, 4, 6, {-1, 0, 0}, {1, 0, 0}},
        // From the centre: the entry is the origin itself, whose normal from
        // the centre is the zero vector's stand-in (0, 1, 0).
        SphereCase{"FromCentre", {0, 0, 0}, {0, 0, 0}, {0, 0, 1}, 2, 0, 1, {0, 1, 0}, {0, 0, 1}},
        SphereCase{"Behind", {0, 0, 0}, {0, 0, 5}, {0, 0, 1}, 0, 0, 0, {}, {}},
        SphereCase{"Tangent", {0, 0, 0}, {1, 0, -5}, {0, 0, 1}, 1, 5, 5, {1, 0, 0}, {1, 0, 0}},
        // A longer direction: distances stay ray parameters.
        SphereCase{
            "LongDirection", {0, 0, 0}, {0, 0, -5}, {0, 0, 2}, 1, 2, 3, {0, 0, -1}, {0, 0, 1}}),
    caseName<SphereCase>);

TEST(SphereTest, UniformScaleReportsTheWorldParameter) {
    Sphere s;
    s.setTransform(placement({0, 0, 0}, {2, 2, 2}));
    Hit h = hit_for(s, rayOf({0, 0, -5}, {0, 0, 1}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_NEAR(h.entryDistance, 3.0f, 1e-5f);
    EXPECT_NEAR(h.exitDistance, 7.0f, 1e-5f);
}

TEST(SphereTest, ZeroScaleIsNeverHit) {
    Sphere s;
    s.setTransform(placement({0, 0, 0}, {0, 1, 1}));
    Hit h = hit_for(s, rayOf({0, 0, -5}, {0, 0, 1}));
    EXPECT_EQ(h.entryKind, 0);
}

TEST(SphereTest, InsideEntryKeepsDiffuseWhileTheExitIsLookedUp) {
    Material m = uniformTexture({0.2f, 0.4f, 0.6f});
    Sphere s;
    s.material = &m;
    Hit inside = hit_for(s, rayOf({0, 0, 0}, {0, 0, 1}));
    ASSERT_EQ(inside.entryKind, 2);
    expect_near(inside.entryPoint, {0, 0, 0});
    expect_near(inside.entryColour, m.diffuse);
    expect_near(inside.exitColour, {0.2f, 0.4f, 0.6f});

    Hit outside = hit_for(s, rayOf({0, 0, -5}, {0, 0, 1}));
    ASSERT_EQ(outside.entryKind, 1);
    expect_near(outside.entryColour, {0.2f, 0.4f, 0.6f});
}

struct MappingCase {
    const char* name;
    Vector3 normal;
    float u, v;
};

class SphereMappingTest : public ::testing::TestWithParam<MappingCase> {};

// Unplaced sphere, pi taken as 3.14159: v = 2 acos(-N.y)/pi - 1; u from the
// angle to the x axis, mirrored (1 - u0) unless (Y x X).N > 0, where
// Y x X = (0, 0, -1).
TEST_P(SphereMappingTest, Coordinates) {
    const MappingCase& c = GetParam();
    float u = 0, v = 0;
    sphereTextureCoordinates(Matrix4::identity(), c.normal, u, v);
    EXPECT_NEAR(u, c.u, 1e-5f);
    EXPECT_NEAR(v, c.v, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(Cases, SphereMappingTest,
                         ::testing::Values(MappingCase{"PlusX", {1, 0, 0}, 1.0f, 0.0f},
                                           MappingCase{"MinusX", {-1, 0, 0}, -1.0f, 0.0f},
                                           MappingCase{"MinusZ", {0, 0, -1}, 1.0f, 0.0f},
                                           MappingCase{"PlusZ", {0, 0, 1}, 0.0f, 0.0f},
                                           MappingCase{"TopPole", {0, 1, 0}, 0.0f, 1.0f},
                                           MappingCase{"BottomPole", {0, -1, 0}, 0.0f, -1.0f}),
                         caseName<MappingCase>);

TEST(SphereMappingTest, ScaledSphereStaysFiniteAtThePoles) {
    Frame f = placement({0, 0, 0}, {2, 2, 2});
    for (Vector3 n : {Vector3{0, 1, 0}, Vector3{0, -1, 0}, Vector3{1, 0, 0}}) {
        float u = NAN, v = NAN;
        sphereTextureCoordinates(f.matrix, n, u, v);
        EXPECT_TRUE(std::isfinite(u) && std::isfinite(v)) << n.x << n.y << n.z;
    }
    float u, v;
    sphereTextureCoordinates(f.matrix, {0, 1, 0}, u, v);
    EXPECT_NEAR(v, 1.0f, 1e-5f);  // the clamp holds the pole at the top
}

}  // namespace
