#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "shapes/solvers/polynomial.h"

namespace {

struct CubicCase {
    const char* name;
    float a3, a2, a1, a0;
    int kind;
    int count;
    float entry, exit;
};

// Polynomials with known roots; the three-root values carry the rounding of
// 2 pi = 6.28318 and of the f32 exponent 1/3, hence the tolerance.
const CubicCase kCubicCases[] = {
    {"ThreeRootsDropTheLargest", 1, -6, 11, -6, 1, 2, 1.0f, 2.0f},
    {"ThreeRootsNotMonic", 2, -12, 22, -12, 1, 2, 1.0f, 2.0f},
    {"OneRealRoot", 1, 0, 0, -1, 1, 1, 1.0f, 1.0f},
    {"OneRealRootNegativeLead", -1, 0, 0, 1, 1, 1, 1.0f, 1.0f},
    {"OneRealRootBothCubeRootsNonZero", 1, 0, 1, -2, 1, 1, 1.0f, 1.0f},
    {"DoubleRootThenSingle", 1, -5, 7, -3, 1, 2, 1.0f, 3.0f},
    {"SingleRootThenDouble", 1, -7, 15, -9, 1, 2, 1.0f, 3.0f},
    {"TripleRoot", 1, -3, 3, -1, 1, 2, 1.0f, 1.0f},
    {"RootsAroundTheOriginClampEntry", 1, 0, -3, 0, 2, 2, 0.0f, 0.0f},
    {"AllRootsBehind", 1, 6, 11, 6, 0, 0, 0, 0},
    {"TripleRootBehind", 1, 3, 3, 1, 0, 0, 0, 0},
    {"QuadraticFallbackClamps", 0, 1, 0, -4, 2, 2, 0.0f, 2.0f},
    {"QuadraticFallbackAhead", 0, 1, -5, 6, 1, 2, 2.0f, 3.0f},
    {"LinearIsNotSolved", 0, 0, 1, -1, 0, 0, 0, 0},
    {"ConstantIsNotSolved", 0, 0, 0, 0, 0, 0, 0, 0},
};

class SolveCubicTable : public ::testing::TestWithParam<CubicCase> {};

TEST_P(SolveCubicTable, SpanAndKinds) {
    const CubicCase& c = GetParam();
    Hit hit;
    hit.reset(nullptr);
    solveCubic(c.a3, c.a2, c.a1, c.a0, hit);
    ASSERT_EQ(hit.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(hit.boundaryCount, c.count);
    EXPECT_NEAR(hit.entryDistance, c.entry, 2e-5f);
    EXPECT_NEAR(hit.exitDistance, c.exit, 2e-5f);
    EXPECT_LE(hit.entryDistance, hit.exitDistance);
}

INSTANTIATE_TEST_SUITE_P(Polynomials, SolveCubicTable, ::testing::ValuesIn(kCubicCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SolveCubic, ClampedEntryIsExactlyZero) {
    Hit hit;
    hit.reset(nullptr);
    solveCubic(1, 0, -3, 0, hit);
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_EQ(hit.entryDistance, 0.0f);
    EXPECT_GE(hit.exitDistance, 0.0f);
}

// t^3 + e has p = 0 and D = e^2 / 4, so e = -0.06 lies inside the tolerance
// 0.001 and e = -0.07 outside it.
TEST(SolveCubic, DiscriminantToleranceChoosesTheDoubleRootFormula) {
    Hit inside;
    inside.reset(nullptr);
    solveCubic(1, 0, 0, -0.06f, inside);
    // K = cbrt(0.03): the "double root" -K lies behind, the single root 2K ahead.
    const double k = std::cbrt(0.03);
    ASSERT_EQ(inside.entryKind, 2);
    EXPECT_EQ(inside.boundaryCount, 2);
    EXPECT_EQ(inside.entryDistance, 0.0f);
    EXPECT_NEAR(inside.exitDistance, 2.0 * k, 1e-5);

    Hit outside;
    outside.reset(nullptr);
    solveCubic(1, 0, 0, -0.07f, outside);
    ASSERT_EQ(outside.entryKind, 1);
    EXPECT_EQ(outside.boundaryCount, 1);
    EXPECT_NEAR(outside.entryDistance, std::cbrt(0.07), 1e-5);
    EXPECT_EQ(outside.exitDistance, outside.entryDistance);
}

TEST(RealCubeRoot, SignsAndZero) {
    EXPECT_NEAR(realCubeRoot(8.0f), 2.0f, 1e-6f);
    EXPECT_NEAR(realCubeRoot(-27.0f), -3.0f, 1e-6f);
    EXPECT_EQ(realCubeRoot(0.0f), 0.0f);
    EXPECT_EQ(realCubeRoot(-5.0f), -realCubeRoot(5.0f));
}

// The exponent is 1/3 rounded to f32 (0.3333333432674408), a little above
// 1/3: for a large argument the result is measurably above the true root.
TEST(RealCubeRoot, ExponentIsTheRoundedThird) {
    const double expected = std::pow(1e30, static_cast<double>(1.0f / 3.0f));
    EXPECT_NEAR(realCubeRoot(1e30f) / 1e10, expected / 1e10, 2e-7);
    EXPECT_GT(realCubeRoot(1e30f), 1e10f * (1.0f + 4e-7f));
}

TEST(SolveQuadraticClamped, KindsAndOrder) {
    Hit hit;
    hit.reset(nullptr);
    solveQuadraticClamped(-1, 5, -6, hit);  // -(t - 2)(t - 3)
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_NEAR(hit.entryDistance, 2.0f, 1e-6f);
    EXPECT_NEAR(hit.exitDistance, 3.0f, 1e-6f);

    solveQuadraticClamped(1, 0, -1, hit);
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_EQ(hit.entryDistance, 0.0f);
    EXPECT_NEAR(hit.exitDistance, 1.0f, 1e-6f);

    solveQuadraticClamped(1, 3, 2, hit);  // roots -1, -2
    EXPECT_EQ(hit.entryKind, 0);
    solveQuadraticClamped(0, 1, -1, hit);
    EXPECT_EQ(hit.entryKind, 0);
    solveQuadraticClamped(1, 0, 1, hit);
    EXPECT_EQ(hit.entryKind, 0);
}

// Random cubics with three well separated roots ahead: the span is the two
// smallest; with one real root it is that root alone.
TEST(SolveCubic, RandomRootsProperty) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<float> root(0.5f, 5.5f);
    int three = 0, one = 0;
    for (int i = 0; i < 400; ++i) {
        float r[3] = {root(rng), root(rng), root(rng)};
        std::sort(r, r + 3);
        if (r[1] - r[0] < 1.0f || r[2] - r[1] < 1.0f) continue;
        const float lead = (i % 2 == 0) ? 1.0f : -2.5f;
        const double s1 = r[0] + r[1] + r[2];
        const double s2 = double(r[0]) * r[1] + double(r[0]) * r[2] + double(r[1]) * r[2];
        const double s3 = double(r[0]) * r[1] * r[2];
        Hit hit;
        hit.reset(nullptr);
        solveCubic(lead, float(-lead * s1), float(lead * s2), float(-lead * s3), hit);
        ASSERT_EQ(hit.entryKind, 1) << i;
        EXPECT_EQ(hit.boundaryCount, 2) << i;
        EXPECT_NEAR(hit.entryDistance, r[0], 2e-3f) << i;
        EXPECT_NEAR(hit.exitDistance, r[1], 2e-3f) << i;
        ++three;
    }
    for (int i = 0; i < 400; ++i) {
        // (t - r)(t^2 + w) with w > 0: a single real root r. Near 3w = r^2
        // (p close to 0) K + q cancels in f32 and Cardano's formula loses
        // digits; those draws are left out.
        const float r0 = root(rng);
        const float w = 0.5f + root(rng);
        if (std::fabs(3.0f * w - r0 * r0) < 2.0f) continue;
        Hit hit;
        hit.reset(nullptr);
        solveCubic(1.0f, -r0, w, -r0 * w, hit);
        ASSERT_EQ(hit.entryKind, 1) << i;
        EXPECT_EQ(hit.boundaryCount, 1) << i;
        EXPECT_NEAR(hit.entryDistance, r0, 2e-3f) << i;
        ++one;
    }
    EXPECT_GT(three, 50);
    EXPECT_GT(one, 200);
}

using K = Coefficients;

TEST(SolveQuadric, CylinderAlongItsAxisIsNeverHit) {
    const K k = {1, 0, 1, 0, 0, 0, 0, 0, 0, -1};
    Hit hit;
    hit.reset(nullptr);
    solveQuadric(k, hit, Ray{{0, -5, 0}, {0, 1, 0}});
    EXPECT_EQ(hit.entryKind, 0);
    solveQuadric(k, hit, Ray{{-5, 0, 0}, {1, 0, 0}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_FLOAT_EQ(hit.entryDistance, 4.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 6.0f);
}

TEST(SolveQuadric, LinearAlongTheRay) {
    const K plane = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0};  // y = 0
    Hit hit;
    hit.reset(nullptr);
    solveQuadric(plane, hit, Ray{{0, 5, 0}, {0, -1, 0}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_FLOAT_EQ(hit.entryDistance, 5.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 5.0f);
    solveQuadric(plane, hit, Ray{{0, 5, 0}, {0, 1, 0}});
    EXPECT_EQ(hit.entryKind, 0);
}

TEST(SolveQuadric, NegativeLeadingTermStillAscending) {
    const K k = {-1, -1, -1, 0, 0, 0, 0, 0, 0, 1};  // the unit sphere, negated
    Hit hit;
    hit.reset(nullptr);
    solveQuadric(k, hit, Ray{{0, 0, -5}, {0, 0, 1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryDistance, 4.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 6.0f);
}

TEST(QuadricGradient, NormalisedAndZero) {
    const K sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    const Vector3 g = quadricGradient(sphere, {0, 0, -2});
    EXPECT_FLOAT_EQ(g.x, 0.0f);
    EXPECT_FLOAT_EQ(g.z, -1.0f);
    const K saddle = {0, 0, 0, 1, 0, 0, 0, 0, 0, 0};  // xy: gradient (y, x, 0)
    const Vector3 s = quadricGradient(saddle, {3, 4, 7});
    EXPECT_FLOAT_EQ(s.x, 0.8f);
    EXPECT_FLOAT_EQ(s.y, 0.6f);
    EXPECT_EQ(quadricGradient(sphere, {0, 0, 0}), Vector3(0, 1, 0));
}

TEST(CubicGradient, LinearTermCarriesThreeK0) {
    K k = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(cubicGradient(k, {1, 0, 0}), Vector3(1, 0, 0));
    // 3 k0 x + 3 k0 x^2 vanishes at x = -1.
    EXPECT_EQ(cubicGradient(k, {-1, 0, 0}), Vector3(0, 1, 0));
    const K quadratic = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0};  // z^2: 2 z
    EXPECT_EQ(cubicGradient(quadratic, {0, 0, -3}), Vector3(0, 0, -1));
    const K yTerms = {0, 1, 0, 0, 1, 0, 0, 2, 0, 0};  // (3 + 2) y + 3 y^2 + 2
    const Vector3 g = cubicGradient(yTerms, {0, 1, 0});
    EXPECT_EQ(g, Vector3(0, 1, 0));
    const K mixed = {0, 0, 1, 0, 0, 0, 4, 0, 0, 0};  // z: 3 z + 3 z^2, x: 4
    const Vector3 m = cubicGradient(mixed, {0, 0, 1});
    EXPECT_FLOAT_EQ(m.x, 0.5547002f);  // (4, 0, 6) normalised
    EXPECT_FLOAT_EQ(m.z, 0.8320503f);
}

}  // namespace
