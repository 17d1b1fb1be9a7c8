// The hierarchy over real shapes: every search must give the linear scan's
// hit, field for field, whatever the ray, the shapes or their order.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "shapes/bounding_shape.h"
#include "shapes/box.h"
#include "shapes/bvh.h"
#include "shapes/capped_surface.h"
#include "shapes/csg.h"
#include "shapes/plane.h"
#include "shapes/sor.h"
#include "shapes/sphere.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "tests/support/hit_checks.h"

namespace {

template <class S>
S* placed(const Vector3& at, float scale) {
    auto* s = new S;
    Frame f;
    f.scaleDiagonal(scale, scale, scale);
    f.addTranslation(at.x, at.y, at.z);
    s->setTransform(f);
    return s;
}

// A surface of revolution: its entry may lie behind the ray origin.
SOR* vase(const Vector3& at, float scale) {
    SOR* s = placed<SOR>(at, scale);
    s->addPoint(0.5f, -1.0f);
    s->addPoint(1.0f, 0.0f);
    s->addPoint(0.6f, 1.0f);
    return s;
}

// Searches the same list with and without the hierarchy for every ray.
struct Comparison {
    ShapeList list;

    // Builds the hierarchy and checks `rays` rays from `origin()` along
    // `direction()`, each once with no skip shape and once skipping the shape
    // (a mesh: the triangle) the first search found (as shadow and reflected
    // rays do).
    template <class Origin, class Direction>
    void check(int rays, Origin origin, Direction direction) {
        list.buildAcceleration();
        ASSERT_NE(list.acceleration(), nullptr);
        int hits = 0;
        for (int i = 0; i < rays; ++i) {
            const Ray ray{origin(i), direction(i)};
            Hit linear, fast;
            linear.reset(nullptr);
            fast.reset(nullptr);
            list.nearestHitLinear(linear, ray);
            list.nearestHit(fast, ray);
            ASSERT_TRUE(same_hit(linear, fast)) << "ray " << i;
            if (linear.entryKind == 0) continue;
            ++hits;
            // From the hit point on, leaving the shape hit.
            const Ray onward{linear.entryPoint, direction(i + rays)};
            Hit l2, f2;
            l2.reset(linear.shape, linear.part);
            f2.reset(linear.shape, linear.part);
            list.nearestHitLinear(l2, onward);
            list.nearestHit(f2, onward);
            ASSERT_TRUE(same_hit(l2, f2)) << "onward ray " << i;
        }
        // Rays that all miss would prove nothing.
        EXPECT_GT(hits, rays / 10);
    }
};

// A wavy sheet of triangles, typed one by one or as one mesh, searched from
// above and from its own surface.
void checkSheet(bool asMesh, unsigned seed, int rays) {
    Comparison c;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> wave(-0.2f, 0.2f);
    const Vector3 up{0.0f, 1.0f, 0.0f};
    const int side = 60;
    const float step = 0.2f;
    std::vector<float> height((side + 1) * (side + 1));
    for (float& h : height)
        h = wave(rng);
    auto corner = [&](int i, int j) {
        return Vector3{-6.0f + step * i, height[i * (side + 1) + j], -6.0f + step * j};
    };
    auto* mesh = new TriangleMesh;
    for (int i = 0; i <= side; ++i)
        for (int j = 0; j <= side; ++j)
            mesh->corners.push_back({corner(i, j), up, 0.0f, 0.0f});
    auto at = [&](int i, int j) { return static_cast<uint32_t>(i * (side + 1) + j); };
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j) {
            mesh->faces.push_back({{at(i, j), at(i + 1, j), at(i + 1, j + 1)}});
            mesh->faces.push_back({{at(i, j), at(i + 1, j + 1), at(i, j + 1)}});
            if (asMesh) continue;
            c.list.append(new Triangle(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1), up, up,
                                       up, 0, 0, 0, 0, 0, 0, nullptr));
            c.list.append(new Triangle(corner(i, j), corner(i + 1, j + 1), corner(i, j + 1), up, up,
                                       up, 0, 0, 0, 0, 0, 0, nullptr));
        }
    if (asMesh)
        c.list.append(mesh);
    else
        delete mesh;
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    c.check(
        rays,
        [](int) {
            return Vector3{0.0f, 4.0f, -8.0f};
        },
        [&](int i) {
            // Every ninth ray runs level, along the sheet's flat stretches.
            if (i % 9 == 0) return Vector3{u(rng), 0.0f, 1.0f}.normalized();
            return Vector3{u(rng) * 0.7f, -0.5f + u(rng) * 0.3f, 1.0f}.normalized();
        });
}

TEST(BvhScenes, MeshSheetFromAboveAndFromItsOwnSurface) {
    checkSheet(false, 3, 1000);
    checkSheet(true, 3, 300);
}

TEST(BvhScenes, MixedSolidsWithAPlaneAndRaysFromInside) {
    Comparison c;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> pos(-8.0f, 8.0f), size(0.2f, 1.5f), u(-1.0f, 1.0f);
    c.list.append(placed<Plane>({0.0f, -3.0f, 0.0f}, 1.0f));
    for (int i = 0; i < 120; ++i) {
        const Vector3 at{pos(rng), pos(rng), pos(rng)};
        switch (i % 4) {
            case 0:
                c.list.append(placed<Sphere>(at, size(rng)));
                break;
            case 1:
                c.list.append(placed<Box>(at, size(rng)));
                break;
            case 2:
                c.list.append(placed<Cylinder>(at, size(rng)));
                break;
            default:
                c.list.append(vase(at, size(rng)));
                break;
        }
    }
    // Origins anywhere among the shapes, many of them inside one.
    c.check(
        4000,
        [&](int) {
            return Vector3{pos(rng), pos(rng), pos(rng)};
        },
        [&](int) {
            return Vector3{u(rng), u(rng), u(rng)};
        });
}

TEST(BvhScenes, EntriesBehindTheOriginAreStillFound) {
    // A vase entered from inside reports an entry behind the origin; the
    // hierarchy must still find it although most of its box lies behind.
    Comparison c;
    for (int i = 0; i < 40; ++i)
        c.list.append(vase({3.0f * i, 0.0f, 0.0f}, 1.0f));
    c.check(
        400,
        [](int i) {
            return Vector3{3.0f * (i % 40) + 0.1f, 0.2f, 0.05f};
        },
        [](int i) {
            return i % 2 ? Vector3{1.0f, 0.01f, 0.02f} : Vector3{-1.0f, 0.02f, 0.01f};
        });
}

TEST(BvhScenes, TiesBetweenCopiesKeepTheEarlierOne) {
    // Each ball three times over, in a shuffled order of places: every hit
    // is a tie that the earliest copy must win.
    Comparison c;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-10.0f, 10.0f), u(-1.0f, 1.0f);
    std::vector<Vector3> places;
    for (int i = 0; i < 150; ++i)
        places.push_back({pos(rng), pos(rng), pos(rng)});
    for (int copy = 0; copy < 3; ++copy)
        for (const Vector3& p : places)
            c.list.append(placed<Sphere>(p, 0.8f));
    c.check(
        3000,
        [&](int) {
            return Vector3{pos(rng), pos(rng), -30.0f};
        },
        [&](int) {
            return Vector3{u(rng) * 0.5f, u(rng) * 0.5f, 1.0f};
        });
}

TEST(BvhScenes, AxisParallelRaysAlongBoxFaces) {
    // Unit boxes side by side: rays run exactly in the planes of their faces.
    Comparison c;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            c.list.append(placed<Box>({2.0f * i, 2.0f * j, 0.0f}, 1.0f));
    c.check(
        400,
        [](int i) {
            return Vector3{-5.0f, static_cast<float>(i % 21) - 1.0f, -1.0f};
        },
        [](int i) {
            return i % 3 == 0 ? Vector3{1.0f, 0.0f, 0.0f} : Vector3{1.0f, 0.0f, 1.0f};
        });
}

TEST(BvhScenes, NonFiniteRaysGiveTheListsAnswer) {
    Comparison c;
    for (int i = 0; i < 50; ++i) {
        const float x = static_cast<float>(i);
        c.list.append(new Triangle({x, 0, 5}, {x + 1, 0, 5}, {x, 1, 5}, {0, 0, -1}, {0, 0, -1},
                                   {0, 0, -1}, 0, 0, 0, 0, 0, 0, nullptr));
    }
    c.list.buildAcceleration();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Ray rays[] = {{{0.2f, 0.2f, 0.0f}, {0.0f, 0.0f, inf}},
                        {{0.2f, 0.2f, 0.0f}, {nan, 0.0f, 1.0f}},
                        {{inf, 0.2f, 0.0f}, {0.0f, 0.0f, 1.0f}}};
    for (const Ray& ray : rays) {
        Hit linear, fast;
        linear.reset(nullptr);
        fast.reset(nullptr);
        c.list.nearestHitLinear(linear, ray);
        c.list.nearestHit(fast, ray);
        EXPECT_TRUE(same_hit(linear, fast));
    }
}

TEST(BvhScenes, ManyShapesAtOnePlaceStillSearchCorrectly) {
    // Equal centres leave no split: one big leaf.
    Comparison c;
    for (int i = 0; i < 300; ++i)
        c.list.append(placed<Sphere>({0.0f, 0.0f, 0.0f}, 0.5f + 0.01f * static_cast<float>(i)));
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    c.check(
        500,
        [&](int) {
            return Vector3{u(rng) * 3.0f, u(rng) * 3.0f, -20.0f};
        },
        [](int) {
            return Vector3{0.0f, 0.0f, 1.0f};
        });
}

TEST(BvhScenes, BoundingShapesAndCsgSearchTheirOwnLists) {
    ShapeList list;
    auto* group = new BoundingShape;
    group->bound = placed<Box>({0.0f, 0.0f, 0.0f}, 5.0f);
    for (int i = 0; i < 60; ++i)
        group->inner.append(placed<Sphere>(
            {-4.0f + 0.14f * i, 0.3f * static_cast<float>(i % 7) - 1.0f, 0.0f}, 0.3f));
    list.append(group);
    auto* nested = new BoundingShape;
    nested->bound = placed<Sphere>({10.0f, 0.0f, 0.0f}, 3.0f);
    for (int i = 0; i < 20; ++i)
        nested->inner.append(placed<Box>({9.0f + 0.1f * i, 0.0f, 0.0f}, 0.2f));
    auto* csg = new CSGUnion;
    csg->left = nested;
    csg->right = placed<Sphere>({-10.0f, 0.0f, 0.0f}, 1.0f);
    list.append(csg);

    list.buildAcceleration();
    EXPECT_NE(group->inner.acceleration(), nullptr);
    EXPECT_NE(nested->inner.acceleration(), nullptr);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> x(-12.0f, 12.0f), u(-0.3f, 0.3f);
    std::vector<Hit> accelerated;
    std::vector<Ray> rays;
    for (int i = 0; i < 2000; ++i) {
        rays.push_back({{x(rng), u(rng) * 10.0f, -10.0f}, {u(rng), u(rng), 1.0f}});
        Hit h;
        h.reset(nullptr);
        list.nearestHit(h, rays.back());
        accelerated.push_back(h);
    }
    // The same searches with every list scanned plainly.
    list.dropAllAcceleration();
    EXPECT_EQ(list.acceleration(), nullptr);
    EXPECT_EQ(group->inner.acceleration(), nullptr);
    EXPECT_EQ(nested->inner.acceleration(), nullptr);
    int hits = 0;
    for (size_t i = 0; i < rays.size(); ++i) {
        Hit h;
        h.reset(nullptr);
        list.nearestHit(h, rays[i]);
        ASSERT_TRUE(same_hit(h, accelerated[i])) << "ray " << i;
        hits += h.entryKind != 0 && h.entryDistance < FarDistance;
    }
    EXPECT_GT(hits, 100);
}

}  // namespace
