#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <thread>

#include "render/shading.h"
#include "render_test_support.h"
#include "shapes/trioid_pyramid.h"
#include "tests/support/vector_near.h"

namespace {

constexpr float kTol = 1e-6f;

void expect_colour(const Vector3& got, const Vector3& want, float tol = kTol) {
    expect_near(got, want, tol);
}

// A ray from the default eye straight down the z axis.
const Ray kForward{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

TEST(ReflectRay, MirrorsTheNormalComponentAndKeepsTheOrigin) {
    const Ray r = reflect_ray({1, 2, 3}, {0, 0, -1}, {0.6f, 0.0f, 0.8f});
    expect_colour(r.origin, {1, 2, 3});
    expect_colour(r.direction, {0.6f, 0.0f, -0.8f});
}

struct RefractCase {
    const char* name;
    Vector3 d;
    Vector3 n;
    float eta;
    Vector3 want;
};

class RefractRayTest : public ::testing::TestWithParam<RefractCase> {};

TEST_P(RefractRayTest, Direction) {
    const RefractCase& c = GetParam();
    const Ray r = refract_ray({0, 0, 0}, c.n, c.d, c.eta);
    expect_colour(r.direction, c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefractRayTest,
    ::testing::Values(
        // eta 1 mirrors D in the normal line: the tangential part reverses.
        RefractCase{"eta_one", {0.6f, 0, 0.8f}, {0, 0, -1}, 1.0f, {-0.6f, 0, 0.8f}},
        // eta 0 sends the ray straight into the surface, along -N.
        RefractCase{"eta_zero", {0.6f, 0, 0.8f}, {0, 0, -1}, 0.0f, {0, 0, 1}},
        // Head-on incidence passes straight on for any eta.
        RefractCase{"head_on", {0, 0, 1}, {0, 0, -1}, 0.5f, {0, 0, 1}},
        // Past the critical angle k is raised to 0: a grazing direction.
        RefractCase{"grazing", {0.6f, 0, 0.8f}, {0, 0, -1}, 2.0f, {-1.2f, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Clamp, ChannelsIntoUnitRangeAndNanToZero) {
    Vector3 c{-0.5f, 1.5f, std::numeric_limits<float>::quiet_NaN()};
    clamp(c);
    expect_colour(c, {0, 1, 0});
    Vector3 inside{0.25f, 0.0f, 1.0f};
    clamp(inside);
    expect_colour(inside, {0.25f, 0.0f, 1.0f});
}

TEST(Mix, WeighsEachChannel) {
    expect_colour(mix({1, 0, 0.5f}, {0, 1, 0.5f}, 0.25f), {0.75f, 0.25f, 0.5f});
}

TEST(TraceRay, MissGivesTheBackgroundUnclamped) {
    TestScene t;
    t.scene.background_color = {1.5f, -0.5f, 2.0f};
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {1.5f, -0.5f, 2.0f});
}

TEST(TraceRay, WithoutLightsASurfaceIsItsColourTimesAmbience) {
    TestScene t;
    t.sphere({0, 0, 5}, 1, t.material({0.5f, 0.25f, 1.0f}));
    t.scene.ambience = 0.4f;
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {0.2f, 0.1f, 0.4f});
}

TEST(TraceRay, AmbientAboveOneIsClamped) {
    TestScene t;
    t.sphere({0, 0, 5}, 1, t.material({0.5f, 0.05f, 1.0f}));
    t.scene.ambience = 4.0f;
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {1.0f, 0.2f, 1.0f});
}

// Sphere of radius 1 at z = 5: the forward ray meets it at (0, 0, 4) with
// normal (0, 0, -1).
struct LitSphere : ::testing::Test {
    TestScene t;
    Material* m = nullptr;
    RenderJob job;
    void SetUp() override {
        m = t.material({0.1f, 0.2f, 0.3f});
        m->gloss = 0.0f;  // no highlights unless a test asks for them
        t.sphere({0, 0, 5}, 1, m);
    }
    Vector3 colour() { return trace_ray(kForward, t.scene, job); }
};

TEST_F(LitSphere, DiffuseTermDoublesTheAttenuatedCosine) {
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    // dist 4: att 0.96, N.L = 1, factor 2 * 0.96 = 1.92; ambient 0.2.
    expect_colour(colour(), {0.1f * 0.2f + 0.1f * 1.92f, 0.2f * 0.2f + 0.2f * 1.92f,
                             0.3f * 0.2f + 0.3f * 1.92f});
}

TEST_F(LitSphere, LightColourMultipliesTheSurface) {
    t.light({0, 0, 0}, {0.5f, 0, 1}, 100.0f);
    expect_colour(colour(), {0.1f * 0.2f + 0.05f * 1.92f, 0.2f * 0.2f, 0.3f * 0.2f + 0.3f * 1.92f});
}

TEST_F(LitSphere, TwoEqualLightsAtOnePlaceGiveTheBrightnessOfOne) {
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    const Vector3 one = colour();
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    expect_colour(colour(), one);
}

TEST_F(LitSphere, SecondLightIsAveragedNotAdded) {
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    t.light({0, 0, 200}, {1, 1, 1}, 100.0f);  // out of reach: att 0
    expect_colour(colour(), {0.1f * 0.2f + 0.1f * 1.92f / 2, 0.2f * 0.2f + 0.2f * 1.92f / 2,
                             0.3f * 0.2f + 0.3f * 1.92f / 2});
}

TEST_F(LitSphere, LightFartherThanItsStrengthGivesNothingNotEvenAHighlight) {
    m->gloss = 0.2f;
    t.light({0, 0, -10}, {1, 1, 1}, 13.9f);  // dist 14
    expect_colour(colour(), {0.02f, 0.04f, 0.06f});
}

TEST_F(LitSphere, NoDiffuseSwitchLeavesAmbient) {
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    job.no_diffuse = true;
    expect_colour(colour(), {0.02f, 0.04f, 0.06f});
}

TEST_F(LitSphere, FacingAwayGetsNoDiffuseButAHighlightFromTheShapeCentre) {
    m->gloss = 0.2f;
    // The light is above the sphere's centre and behind the hit point:
    // N.Ldir < 0, but the half vector from the shape's position is
    // normalized((0,0,-1) - (0,-1,0)), with N.H = 1/sqrt(2).
    const float strength = 100.0f;
    t.light({0, 10, 5}, {1, 1, 1}, strength);
    const float dist = std::sqrt(101.0f);
    const float att = (strength - dist) / strength;
    const float s = std::pow(1.0f / std::sqrt(2.0f), std::pow(10.0f, 1.2f));
    const float hl = s * att;
    expect_colour(colour(), {0.02f + hl, 0.04f + hl, 0.06f + hl}, 1e-5f);
}

// Each thread keeps the half vectors it worked out last; a moved eye, shape
// or light must give the colour a thread that kept nothing gives.
TEST_F(LitSphere, HighlightFollowsTheEyeTheShapeAndEachLight) {
    m->gloss = 0.2f;
    Light* first = t.light({0, 10, 5}, {1, 1, 1}, 100.0f);
    Light* second = t.light({-8, 2, 1}, {1, 1, 1}, 100.0f);
    CShape* ball = t.scene.shapes.head;
    const auto afresh = [this] {
        Vector3 c;
        std::thread([&] { c = colour(); }).join();
        return c;
    };
    const std::function<void()> moves[] = {
        [&] {
            t.scene.camera.eye = {0.5f, -0.5f, 0.0f};
        },
        [&] {
            ball->position = {0.2f, 0.3f, 5.0f};
        },
        [&] {
            first->position = {1.0f, 9.0f, 4.0f};
        },
        [&] {
            second->position = {-7.0f, 3.0f, 2.0f};
        },
    };
    for (const auto& move : moves) {
        const Vector3 before = colour();
        move();
        const Vector3 after = colour(), want = afresh();
        EXPECT_NE(before.x, want.x);  // the move changes the highlight
        EXPECT_EQ(after.x, want.x);
        EXPECT_EQ(after.y, want.y);
        EXPECT_EQ(after.z, want.z);
    }
}

TEST_F(LitSphere, NoHighlightsSwitchRemovesTheHighlight) {
    m->gloss = 0.2f;
    t.light({0, 10, 5}, {1, 1, 1}, 100.0f);
    job.no_highlights = true;
    expect_colour(colour(), {0.02f, 0.04f, 0.06f});
}

// The light sits behind the eye at (0, 0, -10); an occluder of radius 1 at
// (0, 0, -3) lies on the shadow ray from (0, 0, 4). The unoccluded light gives
// att 0.86, a diffuse factor 1.72 and, since the light, the eye and the
// sphere are in line, a full highlight of 0.86 times the light colour.
struct ShadowCase {
    const char* name;
    float transparency;
    float inner_depth;
    float diffuse_weight;  // share of the diffuse term that gets through
    bool highlight;
};

class ShadowTest : public ::testing::TestWithParam<ShadowCase> {};

TEST_P(ShadowTest, OccluderFiltersTheLight) {
    const ShadowCase& c = GetParam();
    TestScene t;
    Material* m = t.material({0.5f, 0.5f, 0.5f});
    t.sphere({0, 0, 5}, 1, m);
    Material* o = t.material({1, 1, 1});
    o->transparency = c.transparency;
    o->inner_transparency_depth = c.inner_depth;
    t.sphere({0, 0, -3}, 1, o);
    t.light({0, 0, -10}, {0.1f, 0.1f, 0.1f}, 100.0f);
    RenderJob job;
    const float ambient = 0.5f * 0.2f;
    const float diffuse = 0.05f * 1.72f;
    const float highlight = c.highlight ? 0.1f * 0.86f : 0.0f;
    const float want = ambient + diffuse * c.diffuse_weight + highlight;
    expect_colour(trace_ray(kForward, t.scene, job), {want, want, want});
}

INSTANTIATE_TEST_SUITE_P(Cases, ShadowTest,
                         ::testing::Values(ShadowCase{"opaque", 0.0f, 0.0f, 0.0f, false},
                                           ShadowCase{"half_transparent", 0.5f, 0.0f, 0.5f, false},
                                           // Crossing 2 units of a depth-4 occluder lets half
                                           // through, whatever its transparency.
                                           ShadowCase{"inner_depth", 0.0f, 4.0f, 0.5f, false},
                                           ShadowCase{"inner_depth_exceeded", 0.9f, 1.0f, 0.0f,
                                                      false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Shadow, NoShadowSwitchLetsEverythingThrough) {
    TestScene t;
    t.sphere({0, 0, 5}, 1, t.material({0.5f, 0.5f, 0.5f}));
    t.sphere({0, 0, -3}, 1, t.material({1, 1, 1}));
    t.light({0, 0, -10}, {0.1f, 0.1f, 0.1f}, 100.0f);
    RenderJob job;
    job.no_shadow = true;
    const float want = 0.1f + 0.05f * 1.72f + 0.1f * 0.86f;
    expect_colour(trace_ray(kForward, t.scene, job), {want, want, want});
}

// The shadow ray from (0, 0, 4) to the light 14 away: an occluder entering a
// thousandth short of the light still shadows, one past it does not.
TEST(Shadow, OnlyOccludersBeforeTheLightShadow) {
    for (const float centre : {-20.0f, -10.999f}) {
        TestScene t;
        t.sphere({0, 0, 5}, 1, t.material({0.5f, 0.5f, 0.5f}));
        t.sphere({0, 0, centre}, 1, t.material({1, 1, 1}));
        t.light({0, 0, -10}, {0.1f, 0.1f, 0.1f}, 100.0f);
        t.scene.shapes.buildAcceleration();
        RenderJob job;
        const float lit = centre < -15.0f ? 0.05f * 1.72f + 0.1f * 0.86f : 0.0f;
        const float want = 0.1f + lit;
        expect_colour(trace_ray(kForward, t.scene, job), {want, want, want});
    }
}

// A mirror facing the eye sends the forward ray straight back into the
// empty half of the scene, where it meets the background.
struct MirrorCase {
    const char* name;
    float reflection;
    int max_depth;
    bool no_reflection;
    float background_weight;
};

class MirrorTest : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(MirrorTest, MixesInTheReflectedColour) {
    const MirrorCase& c = GetParam();
    TestScene t;
    Material* m = t.material({1.0f, 0.5f, 0.0f});
    m->reflection = c.reflection;
    t.sphere({0, 0, 5}, 1, m);
    t.scene.background_color = {0.0f, 0.0f, 0.8f};
    RenderJob job;
    job.max_depth = c.max_depth;
    job.no_reflection = c.no_reflection;
    const float w = c.background_weight;
    const Vector3 ambient{0.2f, 0.1f, 0.0f};
    expect_colour(trace_ray(kForward, t.scene, job),
                  {ambient.x * (1 - w), ambient.y * (1 - w), 0.8f * w});
}

INSTANTIATE_TEST_SUITE_P(Cases, MirrorTest,
                         ::testing::Values(MirrorCase{"full", 1.0f, 3, false, 1.0f},
                                           MirrorCase{"half", 0.5f, 3, false, 0.5f},
                                           MirrorCase{"depth_zero", 1.0f, 0, false, 0.0f},
                                           MirrorCase{"switched_off", 1.0f, 3, true, 0.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Mirror, ReflectedSurfaceIsShadedOneLevelDown) {
    TestScene t;
    Material* m = t.material({1, 1, 1});
    m->reflection = 1.0f;
    t.sphere({0, 0, 5}, 1, m);
    // Behind the eye: only the reflected ray sees it.
    t.sphere({0, 0, -5}, 1, t.material({0.0f, 1.0f, 0.0f}));
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {0.0f, 0.2f, 0.0f});
}

// A sphere of radius 0.5 at z = 5 is crossed over exactly 1 unit by the
// forward ray; the transmitted ray skips it and meets the background.
TEST(Refraction, InteriorTintGrowsWithThicknessSquared) {
    TestScene t;
    Material* m = t.material({1.0f, 0.0f, 0.0f});
    m->transparency = 1.0f;
    m->inner_transparency_depth = 2.0f;
    m->gloss = 0.0f;
    t.sphere({0, 0, 5}, 0.5f, m);
    t.light({0, 0, 0}, {1, 1, 1}, 8388608.0f);
    t.scene.background_color = {0.0f, 0.0f, 0.5f};
    RenderJob job;
    // s = 1^2 / 2; the tint is the diffuse colour times the light's att at
    // the entry point, 4.5 units away.
    const float att = (8388608.0f - 4.5f) / 8388608.0f;
    expect_colour(trace_ray(kForward, t.scene, job), {0.5f * att, 0.0f, 0.25f});
}

TEST(Refraction, TransparencyMixesTheColourBehind) {
    TestScene t;
    Material* glass = t.material({1.0f, 1.0f, 1.0f});
    glass->transparency = 0.75f;
    t.sphere({0, 0, 5}, 1, glass);
    t.sphere({0, 0, 10}, 1, t.material({0.0f, 1.0f, 0.0f}));
    RenderJob job;
    // Head-on the transmitted ray goes straight on to the green sphere.
    expect_colour(trace_ray(kForward, t.scene, job), {0.05f, 0.05f + 0.75f * 0.2f, 0.05f});
    job.no_refraction = true;
    expect_colour(trace_ray(kForward, t.scene, job), {0.2f, 0.2f, 0.2f});
}

// The eye inside a large transparent sphere: the ray starts inside it.
struct InsideSphere : ::testing::Test {
    TestScene t;
    Material* glass = nullptr;
    RenderJob job;
    void SetUp() override {
        glass = t.material({0.0f, 1.0f, 0.0f});
        glass->transparency = 0.5f;
        t.sphere({0, 0, 0}, 10, glass);
        t.scene.background_color = {0.0f, 0.0f, 0.6f};
    }
};

TEST_F(InsideSphere, ShapeBeforeTheExitShowsThrough) {
    t.sphere({0, 0, 5}, 1, t.material({1.0f, 0.0f, 0.0f}));
    // Own ambient (0, 0.2, 0) mixed half and half with the red sphere's.
    expect_colour(trace_ray(kForward, t.scene, job), {0.1f, 0.1f, 0.0f});
}

TEST_F(InsideSphere, TintIsLinearInTheDistanceToTheInnerShape) {
    t.sphere({0, 0, 5}, 1, t.material({1.0f, 0.0f, 0.0f}));
    glass->inner_transparency_depth = 8.0f;
    // Thickness 4 (to the red sphere): s = 1/2; no lights, so the tint is black.
    expect_colour(trace_ray(kForward, t.scene, job), {0.05f, 0.1f, 0.0f});
}

TEST_F(InsideSphere, WithNothingInsideTheBackgroundShowsThrough) {
    expect_colour(trace_ray(kForward, t.scene, job), {0.0f, 0.1f, 0.3f});
}

TEST_F(InsideSphere, NothingShowsThroughAtMaxDepth) {
    job.max_depth = 0;
    expect_colour(trace_ray(kForward, t.scene, job), {0.0f, 0.2f, 0.0f});
}

struct FogCase {
    const char* name;
    float z;  // sphere centre; the hit lies one unit nearer
    float weight;
};

class FogTest : public ::testing::TestWithParam<FogCase> {};

TEST_P(FogTest, MixesTowardTheBackgroundWithDistance) {
    const FogCase& c = GetParam();
    TestScene t;
    t.sphere({0, 0, c.z}, 1, t.material({1.0f, 1.0f, 1.0f}));
    t.scene.fog_depth = 10.0f;
    t.scene.background_color = {0.0f, 0.0f, 1.0f};
    RenderJob job;
    const float w = c.weight;
    expect_colour(trace_ray(kForward, t.scene, job),
                  {0.2f * (1 - w), 0.2f * (1 - w), 0.2f + 0.8f * w});
}

INSTANTIATE_TEST_SUITE_P(Cases, FogTest,
                         ::testing::Values(FogCase{"five_units", 6.0f, 0.5f},
                                           FogCase{"two_units", 3.0f, 0.2f},
                                           FogCase{"fifteen_units", 16.0f, 1.0f}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Fog, BeyondTheFogDepthTheBackgroundIsNotClamped) {
    TestScene t;
    t.sphere({0, 0, 16}, 1, t.material({1.0f, 1.0f, 1.0f}));
    t.scene.fog_depth = 10.0f;
    t.scene.background_color = {1.5f, 0.0f, 0.0f};
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {1.5f, 0.0f, 0.0f});
}

// Two shapes that always reflect the ray straight back: between them a ray
// bounces until the depth limit ends it.
struct Retroreflector : CShape {
    int hits = 0;
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        if (hit.skipShape == this) return;
        ++hits;
        hit.entryKind = 1;
        hit.boundaryCount = 1;
        hit.shape = this;
        hit.entryDistance = 1.0f;
        hit.entryPoint = ray.origin.plus(ray.direction);
        hit.entryNormal = ray.direction.scaled(-1.0f).normalized();
        hit.entryColour = {1.0f, 1.0f, 1.0f};
    }
};

// The primary search asks both shapes; every reflection asks only the one
// the ray does not leave.
struct DepthCase {
    int max_depth;
    int expected_hits;
};

class DepthLimitTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DepthLimitTest, RecursionStopsAtTheLimit) {
    TestScene t;
    Material* m = t.material({1, 1, 1});
    m->reflection = 1.0f;
    auto* a = new Retroreflector;
    auto* b = new Retroreflector;
    a->material = m;
    b->material = m;
    t.scene.shapes.append(a);
    t.scene.shapes.append(b);
    RenderJob job;
    job.max_depth = GetParam().max_depth;
    trace_ray(kForward, t.scene, job);
    EXPECT_EQ(a->hits + b->hits, GetParam().expected_hits);
}

INSTANTIATE_TEST_SUITE_P(Cases, DepthLimitTest,
                         ::testing::Values(DepthCase{0, 2}, DepthCase{3, 5}, DepthCase{-5, 2},
                                           DepthCase{MaxTraceDepth, MaxTraceDepth + 2},
                                           DepthCase{1000000, MaxTraceDepth + 2}));

TEST(Shade, ShapeWithoutMaterialIsShadedAsTheDefault) {
    TestScene t;
    t.sphere({0, 0, 5}, 1, nullptr);
    RenderJob job;
    expect_colour(trace_ray(kForward, t.scene, job), {0.2f, 0.2f, 0.2f});
}

// A pyramid or a trioid at z = 3, in front of the sphere: the forward ray
// meets the slope through (+-1, -1, 2) and the apex (0, 1, 3) at (0, 0, 2.5),
// whose outward normal (0, 1, -2) / sqrt(5) is turned to the light.
TEST_F(LitSphere, PyramidAndTrioidSlopesTurnedToTheLightAreLit) {
    t.light({0, 0, 0}, {1, 1, 1}, 100.0f);
    const auto pyramid = []() -> UnitShape* { return new Pyramid; };
    const auto trioid = []() -> UnitShape* { return new Trioid; };
    for (UnitShape* (*make)() : {+pyramid, +trioid}) {
        std::unique_ptr<UnitShape> s(make());
        Frame f;
        f.addTranslation(0, 0, 3);
        s->setTransform(f);
        s->material = m;
        t.scene.shapes.append(s.get());
        // Ambient 0.2 plus 2 * att * N.L with att 0.975.
        const float k = 0.2f + 2.0f * 0.975f * 2.0f / std::sqrt(5.0f);
        expect_colour(colour(), {0.1f * k, 0.2f * k, 0.3f * k}, 1e-5f);
        t.scene.shapes.removeLast();
    }
}

}  // namespace
