#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <random>
#include <utility>

#include "shapes/sor.h"
#include "tests/support/hit_checks.h"
#include "tests/support/vector_near.h"

namespace {

using Profile = std::initializer_list<std::pair<float, float>>;

struct Lathe {
    Material material;
    SOR sor;
    explicit Lathe(Profile points, int type = SOR::StraightProfile) {
        for (const auto& [radius, height] : points)
            sor.addPoint(radius, height);
        sor.profileType = type;
        sor.material = &material;
    }
    Hit hit(const Ray& ray, CShape* skip = nullptr) { return hit_for(sor, ray, skip); }
};

TEST(Sor, AddPointStopsAtTheLimit) {
    SOR s;
    EXPECT_EQ(s.pointCount, 0);
    EXPECT_EQ(s.profileType, SOR::StraightProfile);
    EXPECT_EQ(s.maxRadius, 0.0f);
    for (int i = 0; i < SOR::MaxPoints; ++i) {
        ASSERT_TRUE(s.addPoint(i % 5 == 3 ? 7.0f : 1.0f, float(i)));
    }
    EXPECT_EQ(s.pointCount, 32);
    EXPECT_FALSE(s.addPoint(99.0f, 100.0f));
    EXPECT_EQ(s.pointCount, 32);
    EXPECT_EQ(s.maxRadius, 7.0f);  // the refused point left no trace
    EXPECT_EQ(s.points[31].height, 31.0f);
}

TEST(Sor, MaxRadiusStartsAtZero) {
    SOR s;
    s.addPoint(-2, 0);
    s.addPoint(-1, 1);
    EXPECT_EQ(s.maxRadius, 0.0f);
    s.addPoint(0.5f, 2);
    EXPECT_EQ(s.maxRadius, 0.5f);
}

TEST(Sor, ConeOpeningUpward) {
    Lathe cone({{0, 0}, {1, 1}});
    const Hit hit = cone.hit(Ray{{0, 0.5f, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_EQ(hit.shape, &cone.sor);
    EXPECT_FLOAT_EQ(hit.entryDistance, 4.5f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 5.5f);
    expect_near(hit.entryPoint, {0, 0.5f, 0.5f}, 1e-6f, "entry point");
    const float n = 1.0f / std::sqrt(1.25f);
    expect_near(hit.entryNormal, {0, -n, 0.5f * n}, 1e-6f, "entry normal");
    expect_near(hit.exitNormal, {0, -n, -0.5f * n}, 1e-6f, "exit normal");
}

TEST(Sor, ConeNarrowingUpward) {
    Lathe cone({{1, 1}, {0, 2}});
    const Hit hit = cone.hit(Ray{{0, 1.5f, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryPoint.z, 0.5f);
    EXPECT_FLOAT_EQ(hit.exitPoint.z, -0.5f);
    EXPECT_GT(hit.entryNormal.y, 0.0f);
    EXPECT_GT(hit.exitNormal.y, 0.0f);
    EXPECT_GT(hit.entryNormal.z, 0.0f);
    EXPECT_LT(hit.exitNormal.z, 0.0f);
}

// Equal radii make a cylinder piece: no division by zero, radial normals.
TEST(Sor, VerticalSegmentIsACylinder) {
    Lathe can({{1, 0}, {1, 2}});
    Hit hit = can.hit(Ray{{0, 1, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryDistance, 4.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 6.0f);
    EXPECT_EQ(hit.entryNormal, Vector3(0, 0, 1));
    EXPECT_EQ(hit.exitNormal, Vector3(0, 0, -1));
    // Above and below the piece, and along its axis: nothing.
    EXPECT_EQ(can.hit(Ray{{0, 2.5f, 5}, {0, 0, -1}}).entryKind, 0);
    EXPECT_EQ(can.hit(Ray{{0, -0.5f, 5}, {0, 0, -1}}).entryKind, 0);
    EXPECT_EQ(can.hit(Ray{{0.5f, -5, 0}, {0, 1, 0}}).entryKind, 0);
    // A slanted ray through the wall.
    hit = can.hit(Ray{{-3, 0.1f, 0}, {1, 0.1f, 0}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_FLOAT_EQ(hit.entryDistance, 2.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 4.0f);
    expect_near(hit.entryPoint, {-1, 0.3f, 0}, 1e-6f, "slanted entry");
}

struct NoHitCase {
    const char* name;
    Profile profile;
    int type;
    Ray ray;
};

const NoHitCase kNoHits[] = {
    {"FallingProfile", {{1, 1}, {0, 0}}, SOR::StraightProfile, {{0, 0.5f, 5}, {0, 0, -1}}},
    {"FallingProfileFromBelow", {{1, 1}, {0, 0}}, SOR::StraightProfile, {{0, -5, 0.2f}, {0, 1, 0}}},
    {"FlatSegment", {{0, 1}, {1, 1}}, SOR::StraightProfile, {{0.5f, 5, 0}, {0, -1, 0}}},
    {"OnePoint", {{1, 0}}, SOR::StraightProfile, {{0, 0, 5}, {0, 0, -1}}},
    {"MissesEverySegment",
     {{0, 0}, {1, 1}, {0.5f, 2}},
     SOR::StraightProfile,
     {{3, 1, 5}, {0, 0, -1}}},
    {"ConeBehind", {{0, 0}, {1, 1}}, SOR::StraightProfile, {{0, 0.5f, 5}, {0, 0, 1}}},
    {"CatmullThreePoints",
     {{1, 0}, {1, 1}, {1, 2}},
     SOR::CatmullRomProfile,
     {{0, 1.5f, 5}, {0, 0, -1}}},
    {"CatmullBelowSecondPoint",
     {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}},
     SOR::CatmullRomProfile,
     {{0, 0.5f, 5}, {0, 0, -1}}},
    {"CatmullOutsideCylinder",
     {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}},
     SOR::CatmullRomProfile,
     {{2, 2, 5}, {0, 0, -1}}},
};

class SorNoHit : public ::testing::TestWithParam<NoHitCase> {};

TEST_P(SorNoHit, Misses) {
    const NoHitCase& c = GetParam();
    Lathe lathe(c.profile, c.type);
    const Hit hit = lathe.hit(c.ray);
    EXPECT_EQ(hit.entryKind, 0);
    EXPECT_EQ(hit.boundaryCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Profiles, SorNoHit, ::testing::ValuesIn(kNoHits),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Sor, SkipShapeIsNeverHit) {
    Lathe can({{1, 0}, {1, 2}});
    EXPECT_EQ(can.hit(Ray{{0, 1, 5}, {0, 0, -1}}, &can.sor).entryKind, 0);
}

// A ray from inside: the crossing behind the origin is the entry side,
// at its negative distance.
TEST(Sor, RayFromInsideKeepsTheCrossingBehind) {
    Lathe can({{1, 0}, {1, 2}});
    const Hit hit = can.hit(Ray{{0, 1, 0}, {1, 0, 0}});
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_FLOAT_EQ(hit.entryDistance, -1.0f);
    EXPECT_FLOAT_EQ(hit.exitDistance, 1.0f);
    expect_near(hit.entryPoint, {-1, 1, 0}, 1e-6f, "behind");
}

// One crossing ahead (its partner fails the height test): only the way
// out, as the entry side.
TEST(Sor, SingleCrossingAheadIsOneSided) {
    Lathe can({{1, 0}, {1, 2}});
    // Rising from below the open bottom, the ray meets the wall once.
    const Hit hit = can.hit(Ray{{0, -1, 0}, {1, 1.5f, 0}});
    ASSERT_EQ(hit.entryKind, 2);
    EXPECT_EQ(hit.boundaryCount, 1);
    EXPECT_FLOAT_EQ(hit.entryDistance, 1.0f);
    expect_near(hit.entryPoint, {1, 0.5f, 0}, 1e-6f, "wall");
    // The exit side repeats it, for readers of the way out.
    EXPECT_EQ(hit.exitDistance, hit.entryDistance);
    EXPECT_EQ(hit.exitPoint, hit.entryPoint);
    EXPECT_EQ(hit.exitNormal, hit.entryNormal);
}

// A single crossing behind the origin (nothing ahead) is a surface the ray
// has already left: no hit.
TEST(Sor, SingleCrossingBehindIsNoHit) {
    Lathe can({{1, 0}, {1, 2}});
    // Above the open top, going up and out: the wall was crossed at t = -1.5
    // (its partner root lies above the can).
    EXPECT_EQ(can.hit(Ray{{0.5f, 2.5f, 0}, {1, 1, 0}}).entryKind, 0);
}

// Between the bulges of a wide-narrow-wide profile two crossings lie behind
// the origin; the narrow waist ahead must still be seen.
TEST(Sor, CrossingsBehindDoNotHideTheSurfaceAhead) {
    Lathe vase({{2, 0}, {2, 1}, {0.5f, 1.5f}, {0.5f, 2.5f}, {2, 3}, {2, 4}});
    const Hit hit = vase.hit(Ray{{-1, 1.75f, 0}, {1, 1, 0}});
    ASSERT_NE(hit.entryKind, 0);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_FLOAT_EQ(hit.exitDistance, 0.5f);
    expect_near(hit.exitPoint, {-0.5f, 2.25f, 0}, 1e-6f, "waist");
    EXPECT_LT(hit.entryDistance, 0.0f);
}

TEST(Sor, TextureCoordinatesAreUnitNormalXAndHeight) {
    Lathe can({{1, 0}, {1, 1}});
    Material& m = can.material;
    m.texture_loaded = true;
    m.texture_width = 2;
    m.texture_height = 2;
    m.texel_count_less_one = 3;
    m.texels = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1},
                {1, 0, 1}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    // Enters at (0.6, 0.25, 0.8) with unit normal (0.6, 0, 0.8).
    Hit hit = can.hit(Ray{{0.6f, 0.25f, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    expect_near(hit.entryColour, m.colourAt(0.6f, 0.25f), 1e-5f, "u 0.6");
    // The mirror point has u = -0.6, not rescaled.
    hit = can.hit(Ray{{-0.6f, 0.25f, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    expect_near(hit.entryColour, m.colourAt(-0.6f, 0.25f), 1e-5f, "u -0.6");
    ASSERT_NE(m.colourAt(0.6f, 0.25f), m.colourAt(-0.6f, 0.25f));
}

TEST(Sor, CatmullRomOfEqualRadiiIsACylinder) {
    Lathe can({{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}}, SOR::CatmullRomProfile);
    const Hit hit = can.hit(Ray{{0, 2, 5}, {0, 0, -1}});
    ASSERT_EQ(hit.entryKind, 1);
    EXPECT_EQ(hit.boundaryCount, 2);
    EXPECT_NEAR(hit.entryDistance, 4.0f, 1e-4f);
    EXPECT_EQ(hit.exitDistance, hit.entryDistance);  // one point, offered twice
    expect_near(hit.entryNormal, {0, 0, 1}, 1e-4f, "radial normal");
}

// The Catmull-Rom search lands on the spline: where a hit is reported, the
// unit point's radius matches the spline radius at its height.
TEST(Sor, CatmullRomHitsLieOnTheSplineProperty) {
    Lathe vase({{0.5f, 0}, {1, 1}, {0.6f, 2}, {1.2f, 3}, {0.8f, 4}, {0.3f, 5}},
               SOR::CatmullRomProfile);
    const SOR& s = vase.sor;
    auto spline = [&](float y) {
        int i = 2;
        while (s.points[i].height < y)
            ++i;
        const float t =
            (y - s.points[i - 1].height) / (s.points[i].height - s.points[i - 1].height);
        const double p0 = s.points[i - 2].radius, p1 = s.points[i - 1].radius,
                     p2 = s.points[i].radius, p3 = s.points[i + 1].radius;
        // The Catmull-Rom segment from p1 to p2.
        return 0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                      (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
    };
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    int hits = 0;
    for (int i = 0; i < 500; ++i) {
        const Vector3 origin{5 * u(rng), 1 + 4 * std::fabs(u(rng)), 5 * u(rng)};
        const Vector3 target{0.3f * u(rng), 1 + 3 * std::fabs(u(rng)), 0.3f * u(rng)};
        const Hit hit = vase.hit(Ray{origin, target - origin});
        if (hit.entryKind == 0) continue;
        ++hits;
        const Vector3& p = hit.entryPoint;
        ASSERT_GT(p.y, 1.0f);
        ASSERT_LE(p.y, 4.0f);
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.z * p.z), spline(p.y), 1e-3) << i;
    }
    EXPECT_GT(hits, 100);
}

// Placed shapes: every reported side lies inside the claimed world box, for
// both profile kinds, including a spline that bulges past its radii.
TEST(SorBounds, HitsLieInsideTheBoxProperty) {
    std::mt19937 rng(2718);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    struct Shape {
        Profile profile;
        int type;
    };
    const Shape shapes[] = {
        {{{0, 0}, {1, 1}}, SOR::StraightProfile},
        {{{2, 0}, {2, 1}, {0.5f, 1.5f}, {0.5f, 2.5f}, {2, 3}, {2, 4}}, SOR::StraightProfile},
        // Bulges to about 1.1 between heights 2 and 3.
        {{{0.2f, 0}, {0.2f, 1}, {1, 2}, {1, 3}, {0.2f, 4}, {0.2f, 5}}, SOR::CatmullRomProfile},
        // A radius written negative: the cone's other nappe.
        {{{0.5f, 0}, {-1.5f, 1}, {0.5f, 2}, {0.5f, 3}}, SOR::StraightProfile},
    };
    int sides = 0;
    for (int i = 0; i < 80; ++i) {
        Lathe lathe(shapes[i % 4].profile, shapes[i % 4].type);
        Frame f;
        f.scaleDiagonal(1 + std::fabs(u(rng)), 1 + std::fabs(u(rng)), 1 + std::fabs(u(rng)));
        // Half of them unturned, where the box is tight around the profile.
        if ((i / 4) % 2 == 1) {
            Frame r;
            r.setRotation(3 * u(rng), 3 * u(rng), 3 * u(rng));
            f.compose(r);
        }
        f.addTranslation(3 * u(rng), 3 * u(rng), 3 * u(rng));
        lathe.sor.setTransform(f);
        Bounds box;
        ASSERT_TRUE(lathe.sor.worldBounds(box));
        auto inside = [&](const Vector3& p) {
            return box.lo.x <= p.x && p.x <= box.hi.x && box.lo.y <= p.y && p.y <= box.hi.y &&
                   box.lo.z <= p.z && p.z <= box.hi.z;
        };
        const Vector3 centre = f.transformPoint({0, 2, 0});
        for (int k = 0; k < 200; ++k) {
            const Vector3 origin = centre + Vector3{12 * u(rng), 12 * u(rng), 12 * u(rng)};
            const Vector3 target = centre + Vector3{3 * u(rng), 3 * u(rng), 3 * u(rng)};
            const Hit hit = lathe.hit(Ray{origin, target - origin});
            if (hit.entryKind == 0) continue;
            EXPECT_TRUE(inside(hit.entryPoint)) << i << " " << k;
            ++sides;
            if (hit.boundaryCount == 2) {
                EXPECT_TRUE(inside(hit.exitPoint)) << i << " " << k;
                ++sides;
            }
        }
    }
    EXPECT_GT(sides, 2000);
}

TEST(SorBounds, TooFewPointsHaveNoBox) {
    SOR s;
    Bounds box;
    EXPECT_FALSE(s.worldBounds(box));
    s.addPoint(1, 0);
    EXPECT_FALSE(s.worldBounds(box));
    s.addPoint(1, 1);
    EXPECT_TRUE(s.worldBounds(box));
}

}  // namespace
