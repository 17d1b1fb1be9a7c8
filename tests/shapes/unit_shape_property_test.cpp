#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "shapes/box.h"
#include "shapes/capped_surface.h"
#include "shapes/cosine.h"
#include "shapes/sphere.h"
#include "shapes/trioid_pyramid.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

constexpr float kSurfaceEps = 2e-4f;

float radial(const Vector3& p) { return std::sqrt(p.x * p.x + p.z * p.z); }

bool onSphere(const Vector3& p) {
    return std::fabs(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z) - 1.0f) < kSurfaceEps;
}
bool onBox(const Vector3& p) {
    return std::fabs(std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}) - 1.0f) <
           kSurfaceEps;
}
bool onCap(const Vector3& p, float y, float radiusSquared) {
    return std::fabs(p.y - y) < kSurfaceEps && p.x * p.x + p.z * p.z <= radiusSquared + kSurfaceEps;
}
bool onCylinder(const Vector3& p) {
    return (std::fabs(radial(p) - 1.0f) < kSurfaceEps && std::fabs(p.y) <= 1.0f + kSurfaceEps) ||
           onCap(p, 1, 1) || onCap(p, -1, 1);
}
bool onCone(const Vector3& p) {
    return (std::fabs(radial(p) - p.y) < kSurfaceEps && p.y >= -kSurfaceEps &&
            p.y <= 1.0f + kSurfaceEps) ||
           onCap(p, 1, 1);
}
bool onParaboloid(const Vector3& p) {
    const float r = radial(p);
    return (std::fabs(r * r - p.y) < kSurfaceEps && p.y >= -kSurfaceEps &&
            p.y <= 1.0f + kSurfaceEps) ||
           onCap(p, 1, 1);
}
bool onHyperboloid(const Vector3& p) {
    const float r = radial(p);
    return (std::fabs(r * r - p.y * p.y - 1.0f) < kSurfaceEps &&
            std::fabs(p.y) <= 1.0f + kSurfaceEps) ||
           onCap(p, 1, 2) || onCap(p, -1, 2);
}

// A convex solid whose listed corner order winds every face inward: on its
// surface every face distance is at least zero and the smallest is zero.
template <class Solid, int N>
bool onFaces(const Vector3& p) {
    static const Solid solid;
    float smallest = 1e30f;
    for (int f = 0; f < N; ++f) {
        const Vector3& a = solid.corners[Solid::kFaces[f][0]];
        const Vector3& b = solid.corners[Solid::kFaces[f][1]];
        const Vector3& c = solid.corners[Solid::kFaces[f][2]];
        const Vector3 n = (b - a).cross(c - a).normalized();
        const float dist = n.dot(p - a);
        if (dist < -kSurfaceEps) return false;
        smallest = std::min(smallest, dist);
    }
    return smallest < kSurfaceEps;
}

struct ShapeKind {
    const char* name;
    std::function<std::unique_ptr<UnitShape>()> make;
    Vector3 interior;  // a unit-space point well inside the solid
    bool (*onSurface)(const Vector3&);
    bool curved;  // curved solids report the origin as the entry from inside
};

template <class T>
std::unique_ptr<UnitShape> makeShape() {
    return std::make_unique<T>();
}

const ShapeKind kKinds[] = {
    {"Sphere", makeShape<Sphere>, {0, 0, 0}, onSphere, true},
    {"Box", makeShape<Box>, {0, 0, 0}, onBox, false},
    {"Cylinder", makeShape<Cylinder>, {0, 0, 0}, onCylinder, true},
    {"Cone", makeShape<Cone>, {0, 0.6f, 0}, onCone, true},
    {"Paraboloid", makeShape<Paraboloid>, {0, 0.6f, 0}, onParaboloid, true},
    {"Hyperboloid", makeShape<Hyperboloid>, {0, 0, 0}, onHyperboloid, true},
    {"Trioid", makeShape<Trioid>, {0, -0.5f, 0}, onFaces<Trioid, 4>, false},
    {"Pyramid", makeShape<Pyramid>, {0, -0.5f, 0}, onFaces<Pyramid, 6>, false},
};

class UnitShapeProperty : public ::testing::TestWithParam<ShapeKind> {
  protected:
    std::mt19937 rng{20240611u};
    float uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    Vector3 randomDirection() {
        for (;;) {
            Vector3 v{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const float l = v.length();
            if (l > 0.1f && l <= 1.0f) return v / l;
        }
    }
    Frame randomPlacement() {
        return placement({uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)},
                         {uniform(0.5f, 2), uniform(0.5f, 2), uniform(0.5f, 2)},
                         {uniform(-kPi, kPi), uniform(-kPi, kPi), uniform(-kPi, kPi)});
    }
    Vector3 unitPoint(const UnitShape& s, const Vector3& world) {
        return s.worldToUnit.transformPoint(world);
    }
};

// A line that passes close to the cone's apex meets the double cone in two
// nearly equal roots, which f32 arithmetic cannot separate precisely.
bool nearTheApex(const ShapeKind& k, const Ray& unit) {
    if (std::string(k.name) != "Cone") return false;
    const Vector3 d = unit.direction.normalized();
    const Vector3 toApex = unit.origin * -1.0f;
    const Vector3 off = toApex - d * toApex.dot(d);
    return off.length() < 0.05f;
}

TEST_P(UnitShapeProperty, RayAimedAtTheInsideFromOutsideEntersAndLeavesOnTheSurface) {
    const ShapeKind& k = GetParam();
    Material m = gradientTexture();
    int checked = 0;
    for (int trial = 0; trial < 300; ++trial) {
        auto s = k.make();
        s->material = &m;
        s->setTransform(randomPlacement());
        const Vector3 target = s->unitToWorld.transformPoint(k.interior);
        const Vector3 origin = target + randomDirection() * 12.0f;
        const float length = uniform(0.5f, 2.0f);
        const Vector3 direction = (target - origin) * length;
        if (nearTheApex(k, s->worldToUnit.toUnitRay(rayOf(origin, direction)))) continue;
        ++checked;
        Hit h = hit_for(*s, rayOf(origin, direction));
        ASSERT_EQ(h.entryKind, 1) << k.name << " trial " << trial;
        ASSERT_EQ(h.boundaryCount, 2) << k.name << " trial " << trial;
        EXPECT_EQ(h.shape, s.get());
        const float tTarget = 1.0f / length;
        EXPECT_LE(h.entryDistance, tTarget) << trial;
        EXPECT_GE(h.exitDistance, tTarget) << trial;
        EXPECT_TRUE(k.onSurface(unitPoint(*s, h.entryPoint))) << k.name << " trial " << trial;
        EXPECT_TRUE(k.onSurface(unitPoint(*s, h.exitPoint))) << k.name << " trial " << trial;
        EXPECT_NEAR(h.entryNormal.length(), 1.0f, 1e-5f);
        EXPECT_NEAR(h.exitNormal.length(), 1.0f, 1e-5f);
        EXPECT_TRUE(isFinite(h.entryColour) && isFinite(h.exitColour)) << trial;
    }
    EXPECT_GT(checked, 250);
}

TEST_P(UnitShapeProperty, RayFromInsideStartsInsideAndMeetsTheSurfaceAhead) {
    const ShapeKind& k = GetParam();
    for (int trial = 0; trial < 300; ++trial) {
        auto s = k.make();
        s->setTransform(randomPlacement());
        const Vector3 origin = s->unitToWorld.transformPoint(k.interior);
        const Vector3 direction = randomDirection() * uniform(0.5f, 2.0f);
        Hit h = hit_for(*s, rayOf(origin, direction));
        ASSERT_EQ(h.entryKind, 2) << k.name << " trial " << trial;
        if (nearTheApex(k, s->worldToUnit.toUnitRay(rayOf(origin, direction)))) continue;
        if (k.curved && h.boundaryCount == 2) {
            // The entry is the origin; the way out is the exit side.
            EXPECT_EQ(h.entryDistance, 0.0f);
            expect_near(h.entryPoint, origin);
            EXPECT_GT(h.exitDistance, 0.0f);
            EXPECT_TRUE(k.onSurface(unitPoint(*s, h.exitPoint))) << k.name << " trial " << trial;
        } else if (k.curved) {
            // Both side roots behind the origin count as none, so a cap
            // ahead can be the only boundary found; it is the way out.
            ASSERT_EQ(h.boundaryCount, 1) << trial;
            EXPECT_GT(h.entryDistance, 0.0f);
            EXPECT_TRUE(k.onSurface(unitPoint(*s, h.entryPoint))) << k.name << " trial " << trial;
            EXPECT_EQ(h.exitDistance, h.entryDistance);
        } else {
            // The single face crossed ahead is the entry side.
            ASSERT_EQ(h.boundaryCount, 1) << trial;
            EXPECT_GT(h.entryDistance, 0.0f);
            EXPECT_TRUE(k.onSurface(unitPoint(*s, h.entryPoint))) << k.name << " trial " << trial;
        }
    }
}

TEST_P(UnitShapeProperty, PlacedShapeGivesTheDistancesOfTheUnitRayOnTheUnplacedShape) {
    const ShapeKind& k = GetParam();
    int hits = 0;
    for (int trial = 0; trial < 400; ++trial) {
        auto placed = k.make();
        placed->setTransform(randomPlacement());
        auto unplaced = k.make();
        const Vector3 aim = placed->unitToWorld.transformPoint(
            k.interior + Vector3{uniform(-1.5f, 1.5f), uniform(-1.5f, 1.5f), uniform(-1.5f, 1.5f)});
        const Vector3 origin{uniform(-8, 8), uniform(-8, 8), uniform(-8, 8)};
        const Ray world = rayOf(origin, (aim - origin) * uniform(0.2f, 3.0f));
        const Ray unit = placed->worldToUnit.toUnitRay(world);
        Hit a = hit_for(*placed, world);
        Hit b = hit_for(*unplaced, unit);
        ASSERT_EQ(a.entryKind, b.entryKind) << k.name << " trial " << trial;
        if (a.entryKind == 0) continue;
        ++hits;
        ASSERT_EQ(a.boundaryCount, b.boundaryCount) << trial;
        EXPECT_FLOAT_EQ(a.entryDistance, b.entryDistance) << trial;
        const Vector3 entry = placed->unitToWorld.transformPoint(b.entryPoint);
        expect_near(a.entryPoint, entry, 1e-3f);
        if (a.boundaryCount == 2) {
            EXPECT_FLOAT_EQ(a.exitDistance, b.exitDistance) << trial;
            expect_near(a.exitPoint, placed->unitToWorld.transformPoint(b.exitPoint), 1e-3f);
        }
    }
    EXPECT_GT(hits, 100);
}

TEST_P(UnitShapeProperty, SkipShapeIsNeverHit) {
    const ShapeKind& k = GetParam();
    for (int trial = 0; trial < 100; ++trial) {
        auto s = k.make();
        s->setTransform(randomPlacement());
        const Vector3 target = s->unitToWorld.transformPoint(k.interior);
        for (const Vector3& origin : {target + randomDirection() * 12.0f, target}) {
            Hit h = hit_for(*s, rayOf(origin, target - origin + randomDirection()), s.get());
            EXPECT_EQ(h.entryKind, 0) << trial;
        }
    }
}

TEST_P(UnitShapeProperty, EveryReportedPointLiesInTheWorldBounds) {
    const ShapeKind& k = GetParam();
    int points = 0;
    for (int trial = 0; trial < 600; ++trial) {
        auto s = k.make();
        s->setTransform(randomPlacement());
        Bounds b;
        ASSERT_TRUE(s->worldBounds(b));
        ASSERT_TRUE(b.valid());
        // Origins inside and outside, rays through and past the solid.
        const Vector3 origin = s->unitToWorld.transformPoint(
            k.interior + Vector3{uniform(-2.5f, 2.5f), uniform(-2.5f, 2.5f), uniform(-2.5f, 2.5f)});
        const Vector3 aim = s->unitToWorld.transformPoint(
            k.interior + Vector3{uniform(-1.5f, 1.5f), uniform(-1.5f, 1.5f), uniform(-1.5f, 1.5f)});
        Hit h = hit_for(*s, rayOf(origin, aim - origin));
        if (h.entryKind == 0) continue;
        // The same slack the acceleration structure gives a box.
        const float big = std::max({b.hi.x - b.lo.x, b.hi.y - b.lo.y, b.hi.z - b.lo.z,
                                    std::fabs(b.lo.x), std::fabs(b.lo.y), std::fabs(b.lo.z),
                                    std::fabs(b.hi.x), std::fabs(b.hi.y), std::fabs(b.hi.z)});
        const float pad = big * 1e-4f + 1e-5f;
        auto inside = [&](const Vector3& p) {
            return p.x >= b.lo.x - pad && p.y >= b.lo.y - pad && p.z >= b.lo.z - pad &&
                   p.x <= b.hi.x + pad && p.y <= b.hi.y + pad && p.z <= b.hi.z + pad;
        };
        EXPECT_TRUE(inside(h.entryPoint)) << k.name << " trial " << trial;
        EXPECT_TRUE(inside(h.exitPoint)) << k.name << " trial " << trial;
        points += 2;
    }
    EXPECT_GT(points, 200);
}

INSTANTIATE_TEST_SUITE_P(Shapes, UnitShapeProperty, ::testing::ValuesIn(kKinds),
                         caseName<ShapeKind>);

TEST(CosineProperty, PlacedCosineGivesTheDistancesOfTheUnitRay) {
    std::mt19937 rng(7u);
    auto uniform = [&](float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(rng);
    };
    int hits = 0;
    for (int trial = 0; trial < 300; ++trial) {
        Cosine placed, unplaced;
        placed.phase = unplaced.phase = uniform(-3, 3);
        placed.setTransform(placement({uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)},
                                      {uniform(0.5f, 2), uniform(0.5f, 2), uniform(0.5f, 2)},
                                      {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)}));
        const Ray world = rayOf({uniform(-5, 5), uniform(-5, 5), uniform(-5, 5)},
                                {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
        Hit a = hit_for(placed, world);
        Hit b = hit_for(unplaced, placed.worldToUnit.toUnitRay(world));
        ASSERT_EQ(a.entryKind, b.entryKind) << trial;
        if (a.entryKind == 0) continue;
        ++hits;
        EXPECT_FLOAT_EQ(a.entryDistance, b.entryDistance) << trial;
        // Wherever the search reports a crossing behind the origin, the hit
        // starts inside at the origin instead.
        EXPECT_GE(a.entryDistance, 0.0f) << trial;
    }
    EXPECT_GT(hits, 50);
}

}  // namespace
