#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shapes/cubic.h"
#include "shapes/quadric.h"

namespace {

void setCoefficients(Coefficients& to, const Coefficients& from) {
    for (int i = 0; i < 10; ++i)
        to[i] = from[i];
}

struct CubicRayCase {
    const char* name;
    Coefficients k;
    Vector3 origin, direction;
    int kind, count;
    float entry, exit;
    Vector3 entryNormal;
};

// Columns: name, k0..k9, ray origin and direction; expected kind, count,
// entry and exit distance, entry normal.
// clang-format off
const CubicRayCase kCubicCases[] = {
    // x^3 = 1: (t - 5)^3 - 1 along the ray, one real root.
    {"PlaneXIsOne", {1, 0, 0, 0, 0, 0, 0, 0, 0, -1}, {-5, 0, 0}, {1, 0, 0}, 1, 1, 6, 6, {1, 0, 0}},
    {"CylinderFallback", {0, 0, 0, 1, 0, 1, 0, 0, 0, -1}, {-5, 0, 0}, {1, 0, 0}, 1, 2, 4, 6,
        {-1, 0, 0}},
    {"CylinderFromInside", {0, 0, 0, 1, 0, 1, 0, 0, 0, -1}, {0, 0, 0}, {1, 0, 0}, 2, 2, 0, 1,
        {0, 1, 0}},
    // y^3 - y = 0: the planes y = -1, 0, 1; from below the first two. The
    // normal rule gives 3 (-1) + 3 (-1)^2 - 1 = -1 at y = -1: it points down.
    {"ThreePlanes", {0, 1, 0, 0, 0, 0, 0, -1, 0, 0}, {0.3f, -4, 0}, {0, 1, 0}, 1, 2, 3, 4,
        {0, -1, 0}},
    {"RootBehind", {1, 0, 0, 0, 0, 0, 0, 0, 0, -1}, {5, 0, 0}, {1, 0, 0}, 0, 0, 0, 0, {}},
    {"AllZero", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {-5, 0, 0}, {1, 0, 0}, 0, 0, 0, 0, {}},
};
// clang-format on

class CubicTable : public ::testing::TestWithParam<CubicRayCase> {};

TEST_P(CubicTable, SpanAndNormal) {
    const CubicRayCase& c = GetParam();
    Material m;
    Cubic s;
    s.material = &m;
    setCoefficients(s.coefficients, c.k);
    Hit hit;
    hit.reset(nullptr);
    s.intersect(hit, Ray{c.origin, c.direction});
    ASSERT_EQ(hit.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(hit.boundaryCount, c.count);
    EXPECT_EQ(hit.shape, &s);
    EXPECT_NEAR(hit.entryDistance, c.entry, 1e-4f);
    EXPECT_NEAR(hit.exitDistance, c.exit, 1e-4f);
    EXPECT_NEAR(hit.entryNormal.x, c.entryNormal.x, 1e-5f);
    EXPECT_NEAR(hit.entryNormal.y, c.entryNormal.y, 1e-5f);
    EXPECT_NEAR(hit.entryNormal.z, c.entryNormal.z, 1e-5f);
    EXPECT_EQ(hit.entryColour, m.diffuse);
}

INSTANTIATE_TEST_SUITE_P(Surfaces, CubicTable, ::testing::ValuesIn(kCubicCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cubic, SkipAndBounds) {
    Material m;
    Cubic s;
    s.material = &m;
    setCoefficients(s.coefficients, {1, 0, 0, 0, 0, 0, 0, 0, 0, -1});
    Hit hit;
    hit.reset(&s);
    s.intersect(hit, Ray{{-5, 0, 0}, {1, 0, 0}});
    EXPECT_EQ(hit.entryKind, 0);
    Bounds b;
    EXPECT_FALSE(s.worldBounds(b));
}

TEST(Cubic, PlacementMovesTheSurface) {
    Material m;
    Cubic s;
    s.material = &m;
    setCoefficients(s.coefficients, {1, 0, 0, 0, 0, 0, 0, 0, 0, -1});  // x = 1
    Frame f;
    f.scaleDiagonal(2, 1, 1);
    f.addTranslation(3, 0, 0);
    s.setTransform(f);  // unit x = 1 is world x = 5
    Hit hit;
    hit.reset(nullptr);
    s.intersect(hit, Ray{{0, 0, 0}, {1, 0, 0}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_NEAR(hit.entryDistance, 5.0f, 1e-4f);
    EXPECT_NEAR(hit.entryPoint.x, 5.0f, 1e-4f);
    EXPECT_NEAR(hit.entryNormal.x, 1.0f, 1e-6f);
}

// Without cubic terms the cubic is the separable quadric with the same
// coefficients: same span and normals for random rays.
TEST(Cubic, WithoutCubicTermsMatchesTheQuadricProperty) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Material m;
    int compared = 0;
    for (int i = 0; i < 400; ++i) {
        const float kx = 0.5f + std::fabs(u(rng)), ky = u(rng), kz = 0.5f + std::fabs(u(rng));
        const float lx = 0.3f * u(rng), ly = 0.3f * u(rng), lz = 0.3f * u(rng);
        Cubic c;
        Quadric q;
        c.material = q.material = &m;
        setCoefficients(c.coefficients, {0, 0, 0, kx, ky, kz, lx, ly, lz, -1});
        setCoefficients(q.coefficients, {kx, ky, kz, 0, 0, 0, lx, ly, lz, -1});
        const Ray ray{{5 * u(rng), 5 * u(rng), 5 * u(rng)}, {u(rng), u(rng), u(rng)}};
        Hit hc, hq;
        hc.reset(nullptr);
        hq.reset(nullptr);
        c.intersect(hc, ray);
        q.intersect(hq, ray);
        ASSERT_EQ(hc.entryKind, hq.entryKind) << i;
        if (hc.entryKind == 0) continue;
        ++compared;
        EXPECT_EQ(hc.boundaryCount, hq.boundaryCount) << i;
        const float scale = 1.0f + std::fabs(hq.exitDistance);
        EXPECT_NEAR(hc.entryDistance, hq.entryDistance, 1e-4f * scale) << i;
        EXPECT_NEAR(hc.exitDistance, hq.exitDistance, 1e-4f * scale) << i;
        EXPECT_NEAR(hc.exitNormal.dot(hq.exitNormal), 1.0f, 1e-3f) << i;
    }
    EXPECT_GT(compared, 100);
}

// x^3 + y^3 + z^3 = 1 with random rays: where a span is reported its ends
// lie on the surface (F close to 0 relative to its terms), unless the polynomial along the ray is
// within the solver's double-root tolerance.
TEST(Cubic, EntryLiesOnTheSurfaceProperty) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Material m;
    Cubic c;
    c.material = &m;
    setCoefficients(c.coefficients, {1, 1, 1, 0, 0, 0, 0, 0, 0, -1});
    int checked = 0;
    for (int i = 0; i < 1000; ++i) {
        const Vector3 o{4 * u(rng), 4 * u(rng), 4 * u(rng)};
        const Vector3 d = Vector3{u(rng), u(rng), u(rng)}.normalized();
        Hit hit;
        hit.reset(nullptr);
        c.intersect(hit, Ray{o, d});
        if (hit.entryKind != 1) continue;
        // The monic polynomial's discriminant, in double.
        const double a3 =
            double(d.x) * d.x * d.x + double(d.y) * d.y * d.y + double(d.z) * d.z * d.z;
        const double a2 =
            3 * (o.x * double(d.x) * d.x + o.y * double(d.y) * d.y + o.z * double(d.z) * d.z);
        const double a1 =
            3 * (double(o.x) * o.x * d.x + double(o.y) * o.y * d.y + double(o.z) * o.z * d.z);
        const double a0 =
            double(o.x) * o.x * o.x + double(o.y) * o.y * o.y + double(o.z) * o.z * o.z - 1;
        const double b = a2 / a3, cc = a1 / a3, e = a0 / a3;
        const double p = cc / 3 - b * b / 9, q = b * b * b / 27 - b * cc / 6 + e / 2;
        const double disc = p * p * p + q * q;
        // Near a double root (D small beside its terms) or near p = 0 the
        // closed forms lose digits in f32.
        const double size = std::fabs(p * p * p) + q * q;
        if (std::fabs(disc) < 1e-2 * size || std::fabs(p) < 0.05) continue;
        const Vector3 x = hit.entryPoint;
        const double cx = double(x.x) * x.x * x.x, cy = double(x.y) * x.y * x.y,
                     cz = double(x.z) * x.z * x.z;
        // Far along the ray the terms are large and cancel: a relative test.
        const double scale = 1 + std::fabs(cx) + std::fabs(cy) + std::fabs(cz);
        EXPECT_NEAR((cx + cy + cz - 1) / scale, 0.0, 1e-3) << i;
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

}  // namespace
