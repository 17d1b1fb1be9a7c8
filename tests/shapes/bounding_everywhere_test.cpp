#include <gtest/gtest.h>

#include "shapes/bounding_shape.h"
#include "shapes/box.h"
#include "shapes/everywhere.h"
#include "shapes/plane.h"
#include "shapes/sphere.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

// Counts how many of its kind are alive, to see what a bounding shape frees.
struct CountedSphere : Sphere {
    static int alive;
    CountedSphere() { ++alive; }
    ~CountedSphere() override { --alive; }
};
int CountedSphere::alive = 0;

Sphere* sphereAt(Vector3 centre, float radius = 1.0f) {
    Sphere* s = new Sphere;
    s->setTransform(placement(centre, {radius, radius, radius}));
    return s;
}

TEST(BoundingShapeTest, MissingTheBoundHidesWhatSticksOut) {
    BoundingShape b;
    b.bound = sphereAt({0, 0, 0});
    b.inner.append(sphereAt({3, 0, 0}));  // pokes out of the bound
    Hit h = hit_for(b, rayOf({3, 0, -5}, {0, 0, 1}));
    EXPECT_EQ(h.entryKind, 0);
}

TEST(BoundingShapeTest, InnerHitWins) {
    BoundingShape b;
    b.bound = sphereAt({0, 0, 0}, 3);
    Sphere* inner = sphereAt({0, 0, 0});
    b.inner.append(inner);
    Hit h = hit_for(b, rayOf({0, 0, -5}, {0, 0, 1}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_EQ(h.shape, inner);
    EXPECT_NEAR(h.entryDistance, 4.0f, 1e-5f);
}

TEST(BoundingShapeTest, BoundAloneGivesAFarHitThatSearchesIgnore) {
    for (bool withInner : {false, true}) {
        auto* b = new BoundingShape;
        b->bound = sphereAt({0, 0, 0}, 3);
        if (withInner) b->inner.append(sphereAt({0, 2, 0}, 0.5f));  // off the ray
        Hit h = hit_for(*b, rayOf({0, 0, -5}, {0, 0, 1}));
        EXPECT_NE(h.entryKind, 0) << withInner;
        EXPECT_EQ(h.entryDistance, FarDistance) << withInner;

        ShapeList scene;
        scene.append(b);
        Hit best;
        best.reset(nullptr);
        scene.nearestHit(best, rayOf({0, 0, -5}, {0, 0, 1}));
        EXPECT_EQ(best.entryKind, 0) << withInner;
    }
}

TEST(BoundingShapeTest, EqualDistancesKeepTheEarlierInnerShape) {
    BoundingShape b;
    b.bound = sphereAt({0, 0, 0}, 5);
    Sphere* first = sphereAt({0, 0, 0});
    Box* second = new Box;
    b.inner.append(first);
    b.inner.append(second);
    Hit h = hit_for(b, rayOf({0, 0, -5}, {0, 0, 1}));
    ASSERT_EQ(h.entryKind, 1);
    EXPECT_EQ(h.shape, first);
}

TEST(BoundingShapeTest, SkipShapeReachesTheInnerShapes) {
    BoundingShape b;
    b.bound = sphereAt({0, 0, 0}, 5);
    Sphere* inner = sphereAt({0, 0, 0});
    b.inner.append(inner);
    Hit h = hit_for(b, rayOf({0, 0, -5}, {0, 0, 1}), inner);
    EXPECT_NE(h.entryKind, 0);
    EXPECT_EQ(h.entryDistance, FarDistance);
}

TEST(BoundingShapeTest, WithoutABoundNothingIsHit) {
    BoundingShape b;
    b.inner.append(sphereAt({0, 0, 0}));
    EXPECT_EQ(hit_for(b, rayOf({0, 0, -5}, {0, 0, 1})).entryKind, 0);
    Bounds box;
    EXPECT_FALSE(b.worldBounds(box));
}

TEST(BoundingShapeTest, ReleasesItsBoundAndInnerShapes) {
    CountedSphere::alive = 0;
    {
        BoundingShape b;
        b.bound = new CountedSphere;
        b.inner.append(new CountedSphere);
        b.inner.append(new CountedSphere);
        EXPECT_EQ(CountedSphere::alive, 3);
    }
    EXPECT_EQ(CountedSphere::alive, 0);
    {
        // Deleted through the base, as a shape list does.
        CShape* s = new BoundingShape;
        static_cast<BoundingShape*>(s)->bound = new CountedSphere;
        delete s;
    }
    EXPECT_EQ(CountedSphere::alive, 0);
}

TEST(BoundingShapeTest, BoundsCoverTheBoundAndEveryInnerShape) {
    BoundingShape b;
    b.bound = sphereAt({0, 0, 0});
    b.inner.append(sphereAt({4, 0, 0}));
    Bounds box;
    ASSERT_TRUE(b.worldBounds(box));
    expect_near(box.lo, {-1, -1, -1});
    expect_near(box.hi, {5, 1, 1});
    b.inner.append(new Plane);
    EXPECT_FALSE(b.worldBounds(box));
}

struct EverywhereCase {
    const char* name;
    Vector3 translate, scale, rotate;
    Vector3 origin, direction;
};

class EverywhereTest : public ::testing::TestWithParam<EverywhereCase> {};

TEST_P(EverywhereTest, StartsInsideAndNeverLeaves) {
    const EverywhereCase& c = GetParam();
    Material m;
    m.diffuse = {0.2f, 0.3f, 0.4f};
    Everywhere e;
    e.material = &m;
    e.setTransform(placement(c.translate, c.scale, c.rotate));
    Hit h = hit_for(e, rayOf(c.origin, c.direction));
    ASSERT_EQ(h.entryKind, 2);
    EXPECT_EQ(h.boundaryCount, 2);
    EXPECT_EQ(h.shape, &e);
    EXPECT_EQ(h.entryDistance, 0.0f);
    expect_near(h.entryPoint, c.origin);
    EXPECT_EQ(h.exitDistance, FarDistance);
    expect_near(h.exitPoint, c.origin + c.direction * FarDistance, 1.0f);
    expect_near(h.entryNormal, c.direction * -1.0f);
    expect_near(h.exitNormal, c.direction * -1.0f);
    expect_near(h.entryColour, m.diffuse);
    expect_near(h.exitColour, m.diffuse);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EverywhereTest,
    ::testing::Values(
        EverywhereCase{"Unplaced", {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {1, 2, 3}, {0, 0, 1}},
        // The normals are the reversed direction, not normalised.
        EverywhereCase{"LongDirection", {0, 0, 0}, {1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 2}},
        EverywhereCase{"PlacementIgnored",
                       {5, -3, 2},
                       {0, 2, 0.5f},
                       {1, 2, 3},
                       {1, 2, 3},
                       {0.3f, -0.4f, 0.5f}}),
    caseName<EverywhereCase>);

TEST(EverywhereTest, SkipsItselfAndHasNoBounds) {
    Everywhere e;
    EXPECT_EQ(hit_for(e, rayOf({0, 0, 0}, {1, 0, 0}), &e).entryKind, 0);
    Bounds b;
    EXPECT_FALSE(e.worldBounds(b));
}

TEST(EverywhereTest, WinsANearestHitSearchAtDistanceZero) {
    ShapeList list;
    Sphere* s = sphereAt({0, 0, 5});
    Everywhere* e = new Everywhere;
    list.append(s);
    list.append(e);
    Hit best;
    best.reset(nullptr);
    list.nearestHit(best, rayOf({0, 0, 0}, {0, 0, 1}));
    EXPECT_EQ(best.shape, e);
}

}  // namespace
