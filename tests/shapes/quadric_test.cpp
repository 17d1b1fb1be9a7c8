#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "shapes/quadric.h"

namespace {

// Scale first, then rotate, then translate.
Frame placement(float sx, float sy, float sz, float rx, float ry, float rz, float tx, float ty,
                float tz) {
    Frame f;
    f.scaleDiagonal(sx, sy, sz);
    Frame r;
    r.setRotation(rx, ry, rz);
    f.compose(r);
    f.addTranslation(tx, ty, tz);
    return f;
}

// A 2x2 texture with four different texels (plus the spare rows and texels
// the bilinear lookup may read).
Material textured() {
    Material m;
    m.diffuse = {0.25f, 0.5f, 0.75f};
    m.texture_loaded = true;
    m.texture_width = 2;
    m.texture_height = 2;
    m.texel_count_less_one = 3;
    m.texels = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1},
                {1, 0, 1}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    return m;
}

struct QuadricRayCase {
    const char* name;
    Coefficients k;
    Vector3 origin, direction;
    int kind;
    float entry, exit;
    Vector3 entryNormal;
};

// Columns: name, k0..k9, ray origin and direction; expected kind, entry and
// exit distance, entry normal.
// clang-format off
const QuadricRayCase kQuadricCases[] = {
    {"TemplateSphere", {1, 1, 1, 0, 0, 0, 0, 0, 0, -1}, {0, 0, -5}, {0, 0, 1}, 1, 4, 6, {0, 0, -1}},
    {"CylinderAcross", {1, 0, 1, 0, 0, 0, 0, 0, 0, -1}, {-5, 0, 0}, {1, 0, 0}, 1, 4, 6, {-1, 0, 0}},
    {"CylinderAlongAxis", {1, 0, 1, 0, 0, 0, 0, 0, 0, -1}, {0, -5, 0}, {0, 1, 0}, 0, 0, 0, {}},
    {"PlaneFromAbove", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 5, 0}, {0, -1, 0}, 1, 5, 5, {0, 1, 0}},
    {"PlaneBehind", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 5, 0}, {0, 1, 0}, 0, 0, 0, {}},
    // xz = 1 from either side: the normal (z, 0, x) at (2, 0, 0.5) and (0.5, 0, 2).
    {"HyperbolaXZAlongZ", {0, 0, 0, 0, 1, 0, 0, 0, 0, -1}, {2, 0, -5}, {0, 0, 1}, 1, 5.5f, 5.5f,
        {0.24253563f, 0, 0.9701425f}},
    {"HyperbolaXZAlongX", {0, 0, 0, 0, 1, 0, 0, 0, 0, -1}, {-5, 0, 2}, {1, 0, 0}, 1, 5.5f, 5.5f,
        {0.9701425f, 0, 0.24253563f}},
    {"AllZero", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, -5}, {0, 0, 1}, 0, 0, 0, {}},
    // From inside the sphere the entry normal is the gradient at the origin.
    {"StartsInside", {1, 1, 1, 0, 0, 0, 0, 0, 0, -1}, {0, 0.5f, 0}, {0, 0, 1}, 2, 0, 0.8660254f,
        {0, 1, 0}},
    {"SphereMissed", {1, 1, 1, 0, 0, 0, 0, 0, 0, -1}, {0, 2, -5}, {0, 0, 1}, 0, 0, 0, {}},
};
// clang-format on

class QuadricTable : public ::testing::TestWithParam<QuadricRayCase> {};

TEST_P(QuadricTable, SpanAndNormal) {
    const QuadricRayCase& c = GetParam();
    Material m;
    Quadric q;
    q.material = &m;
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = c.k[i];
    Hit hit;
    hit.reset(nullptr);
    q.intersect(hit, Ray{c.origin, c.direction});
    ASSERT_EQ(hit.entryKind, c.kind);
    if (c.kind == 0) return;
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_EQ(hit.shape, &q);
    EXPECT_NEAR(hit.entryDistance, c.entry, 1e-5f);
    EXPECT_NEAR(hit.exitDistance, c.exit, 1e-5f);
    EXPECT_NEAR(hit.entryNormal.x, c.entryNormal.x, 1e-5f);
    EXPECT_NEAR(hit.entryNormal.y, c.entryNormal.y, 1e-5f);
    EXPECT_NEAR(hit.entryNormal.z, c.entryNormal.z, 1e-5f);
    const Vector3 p = c.origin + c.direction * c.entry;
    EXPECT_NEAR(hit.entryPoint.x, p.x, 1e-5f);
    EXPECT_NEAR(hit.entryPoint.y, p.y, 1e-5f);
    EXPECT_NEAR(hit.entryPoint.z, p.z, 1e-5f);
    EXPECT_EQ(hit.entryColour, m.diffuse);
    EXPECT_EQ(hit.exitColour, m.diffuse);
}

INSTANTIATE_TEST_SUITE_P(Surfaces, QuadricTable, ::testing::ValuesIn(kQuadricCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Quadric, SkipShapeIsNeverHit) {
    Material m;
    Quadric q;
    q.material = &m;
    const Coefficients sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = sphere[i];
    Hit hit;
    hit.reset(&q);
    q.intersect(hit, Ray{{0, 0, -5}, {0, 0, 1}});
    EXPECT_EQ(hit.entryKind, 0);
}

// The template sphere, placed and scaled, matches the exact sphere of the
// same placement for random rays aimed at it: same distances, and normals
// along the unit point's direction carried to the world.
TEST(Quadric, TemplateSphereMatchesTheSphereProperty) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Material m;
    Quadric q;
    q.material = &m;
    const Coefficients sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = sphere[i];
    q.setTransform(placement(2, 2, 2, 0.3f, 0.7f, -0.2f, 1, -2, 3));
    int hits = 0;
    for (int i = 0; i < 500; ++i) {
        const Vector3 origin{10 * u(rng), 10 * u(rng), 10 * u(rng)};
        const Vector3 target{1 + 1.5f * u(rng), -2 + 1.5f * u(rng), 3 + 1.5f * u(rng)};
        const Vector3 dir = (target - origin) * (0.5f + 0.5f * std::fabs(u(rng)));
        Hit hit;
        hit.reset(nullptr);
        q.intersect(hit, Ray{origin, dir});
        // Exact sphere of radius 2 about (1, -2, 3), in double.
        const double ox = origin.x - 1.0, oy = origin.y + 2.0, oz = origin.z - 3.0;
        const double a = double(dir.x) * dir.x + double(dir.y) * dir.y + double(dir.z) * dir.z;
        const double b = 2 * (ox * dir.x + oy * dir.y + oz * dir.z);
        const double c = ox * ox + oy * oy + oz * oz - 4.0;
        const double disc = b * b - 4 * a * c;
        if (disc < 1e-3) continue;  // grazing rays: either answer is right
        const double t1 = (-b - std::sqrt(disc)) / (2 * a), t2 = (-b + std::sqrt(disc)) / (2 * a);
        if (t2 < 0) {
            EXPECT_EQ(hit.entryKind, 0) << i;
            continue;
        }
        ASSERT_NE(hit.entryKind, 0) << i;
        ++hits;
        EXPECT_EQ(hit.entryKind, t1 < 0 ? 2 : 1) << i;
        EXPECT_NEAR(hit.entryDistance, std::max(t1, 0.0), 1e-3) << i;
        EXPECT_NEAR(hit.exitDistance, t2, 1e-3) << i;
        const Vector3 n = (hit.exitPoint - Vector3{1, -2, 3}).normalized();
        EXPECT_NEAR(hit.exitNormal.dot(n), 1.0f, 1e-4f) << i;
    }
    EXPECT_GT(hits, 300);
}

TEST(Quadric, TextureFromWorldNormalAndHeight) {
    Material m = textured();
    Quadric q;
    q.material = &m;
    const Coefficients sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = sphere[i];
    q.setTransform(placement(1, 1, 1, 0, 0, 0, 0, 0.3f, 0));
    Hit hit;
    hit.reset(nullptr);
    // Enters at unit point (-0.6, 0, 0.8): world normal (-0.6, 0, 0.8), height 0.3.
    q.intersect(hit, Ray{{-5, 0.3f, 0.8f}, {1, 0, 0}});
    ASSERT_EQ(hit.entryKind, 1);
    const float pi = 3.14159f;
    const float uEntry = 2.0f * std::acos(0.6f) / pi - 1.0f;
    const float uExit = 2.0f * std::acos(-0.6f) / pi - 1.0f;
    const Vector3 entry = m.colourAt(uEntry, 0.3f);
    const Vector3 exit = m.colourAt(uExit, 0.3f);
    ASSERT_NE(entry, exit);  // the two sides sample different texels
    EXPECT_NEAR(hit.entryColour.x, entry.x, 1e-4f);
    EXPECT_NEAR(hit.entryColour.y, entry.y, 1e-4f);
    EXPECT_NEAR(hit.entryColour.z, entry.z, 1e-4f);
    EXPECT_NEAR(hit.exitColour.x, exit.x, 1e-4f);
    EXPECT_NEAR(hit.exitColour.y, exit.y, 1e-4f);
    EXPECT_NEAR(hit.exitColour.z, exit.z, 1e-4f);
}

TEST(Quadric, InsideEntryKeepsDiffuseEvenWhenTextured) {
    Material m = textured();
    Quadric q;
    q.material = &m;
    const Coefficients sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = sphere[i];
    Hit hit;
    hit.reset(nullptr);
    q.intersect(hit, Ray{{0, 0.2f, 0}, {0, 0, 1}});
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_EQ(hit.entryDistance, 0.0f);
    EXPECT_EQ(hit.entryPoint, Vector3(0, 0.2f, 0));
    EXPECT_EQ(hit.entryColour, m.diffuse);
    EXPECT_NE(hit.exitColour, m.diffuse);
}

TEST(Quadric, UnboundedAndFlattenedPlacements) {
    Material m;
    Quadric q;
    q.material = &m;
    const Coefficients sphere = {1, 1, 1, 0, 0, 0, 0, 0, 0, -1};
    for (int i = 0; i < 10; ++i)
        q.coefficients[i] = sphere[i];
    Bounds b;
    EXPECT_FALSE(q.worldBounds(b));
    // Scaled by zero: no finite unit space, never a hit (and never a NaN span).
    q.setTransform(placement(0, 1, 1, 0, 0, 0, 0, 0, 0));
    Hit hit;
    hit.reset(nullptr);
    q.intersect(hit, Ray{{0, 0, -5}, {0, 0, 1}});
    EXPECT_EQ(hit.entryKind, 0);
}

}  // namespace
