#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "render/pixel_loop.h"
#include "render/shading.h"
#include "render_test_support.h"
#include "run/headless_host.h"
#include "scene/surface.h"
#include "tests/support/vector_near.h"

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

struct ScreenCase {
    float x, y;
    Vector3 unnormalised;
};

class PrimaryRayTest : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(PrimaryRayTest, DefaultCameraLooksDownZWithXAndYMirrored) {
    const ScreenCase& c = GetParam();
    Camera cam;
    const Ray r = primary_ray(cam, c.x, c.y);
    expect_near(r.origin, {0, 0, 0}, 1e-6f);
    expect_near(r.direction, c.unnormalised.normalized(), 1e-6f);
}

TEST_P(PrimaryRayTest, TranslatedCameraKeepsTheDirections) {
    const ScreenCase& c = GetParam();
    Matrix4 m = Matrix4::identity();
    m.addTranslation(1, 2, 3);
    Camera cam;
    cam.set(m);
    const Ray r = primary_ray(cam, c.x, c.y);
    expect_near(r.origin, {1, 2, 3}, 1e-6f);
    expect_near(r.direction, c.unnormalised.normalized(), 1e-6f);
}

INSTANTIATE_TEST_SUITE_P(Cases, PrimaryRayTest,
                         ::testing::Values(ScreenCase{0, 0, {0, 0, 1}},
                                           ScreenCase{1, 0, {-1, 0, 1}},
                                           ScreenCase{-1, -1, {1, 1, 1}},
                                           ScreenCase{0.5f, -0.25f, {-0.5f, 0.25f, 1}}));

TEST(PrimaryRay, TurnedCameraUsesItsOwnAxes) {
    // Looking down -z: right (-1, 0, 0), up (0, 1, 0), forward (0, 0, -1).
    Matrix4 m = Matrix4::identity();
    m.setRow(0, {-1, 0, 0});
    m.setRow(2, {0, 0, -1});
    Camera cam;
    cam.set(m);
    expect_near(primary_ray(cam, 0.5f, 0.25f).direction, Vector3{0.5f, -0.25f, -1}.normalized(),
                1e-6f);
}

TEST(Noise, KnownValuesOfTheHash) {
    // Worked out with arbitrary-precision integers, reduced to 32 bits.
    EXPECT_NEAR(noise(0), -0.2817909838631749, 1e-6);
    EXPECT_NEAR(noise(1), -0.2263730512931943, 1e-6);
    EXPECT_NEAR(noise(2), 0.29363288078457117, 1e-6);
    EXPECT_NEAR(noise(-1), 0.9001262886449695, 1e-6);
    EXPECT_NEAR(noise(12345), -0.8928926484659314, 1e-6);
    EXPECT_NEAR(noise(INT_MAX), 0.9001262886449695, 1e-6);
}

TEST(Noise, StaysWithinMinusOneToOne) {
    for (int32_t n = -50000; n < 50000; ++n) {
        const float v = noise(n * 977);
        ASSERT_GT(v, -1.0f) << n;
        ASSERT_LE(v, 1.0f) << n;
    }
}

struct ColorrefCase {
    Vector3 c;
    uint32_t want;
};

class ToColorrefTest : public ::testing::TestWithParam<ColorrefCase> {};

TEST_P(ToColorrefTest, PacksTruncatedBytesAsBgr) {
    EXPECT_EQ(to_colorref(GetParam().c), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToColorrefTest,
    ::testing::Values(ColorrefCase{{0, 0, 0}, 0u}, ColorrefCase{{1, 1, 1}, 0x00FFFFFFu},
                      ColorrefCase{{0, 0, 1}, 0x00FF0000u},
                      // 127.5, 63.75 and 191.25 truncate.
                      ColorrefCase{{0.5f, 0.25f, 0.75f}, rgb(127, 63, 191)},
                      // 382 keeps its low 8 bits: 126.
                      ColorrefCase{{1.5f, 0, 0}, rgb(126, 0, 0)},
                      // -382 in two's complement ends in 0x82.
                      ColorrefCase{{-1.5f, 0, 0}, rgb(130, 0, 0)},
                      ColorrefCase{{std::numeric_limits<float>::quiet_NaN(), 0.2f, 0},
                                   rgb(0, 51, 0)},
                      ColorrefCase{{std::numeric_limits<float>::infinity(), 0, 0}, 0u},
                      // 2^40 * 255 is a multiple of 256.
                      ColorrefCase{{1099511627776.0f, 0, 0}, 0u},
                      // A background far beyond any integer (a fuzzed scene's)
                      // is converted without overflow; so is its negative.
                      ColorrefCase{{0.2f, 8.9e27f, 1.5f}, rgb(51, 0, 126)},
                      ColorrefCase{{0.2f, -8.9e27f, 1.5f}, rgb(51, 0, 126)}));

// A small picture of a hand-built scene through render_frame.
struct Picture {
    TestScene t;
    RenderJob job;
    Surface surface;
    Picture(int w, int h) : surface(w, h) {
        job.width = w;
        job.height = h;
        job.scene = &t.scene;
        job.drawing_context = &surface;
        // These tests follow the plain loop and the order of its rays.
        job.threads = 1;
    }
    uint32_t at(int x, int y) const { return surface.pixel(x, y); }
};

TEST(RenderFrame, EmptySceneIsTheBackgroundEverywhere) {
    Picture p(7, 5);
    p.t.scene.background_color = {0.25f, 0.5f, 0.75f};
    render_frame(p.job);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(p.at(x, y), rgb(63, 127, 191)) << x << "," << y;
}

TEST(RenderFrame, AmbientOnlySphereShowsItsColourTimesAmbience) {
    Picture p(21, 21);
    p.t.sphere({0, 0, 5}, 2, p.t.material({1.0f, 0.5f, 0.25f}));
    p.t.scene.background_color = {0, 0, 0};
    render_frame(p.job);
    // 0.2, 0.1 and 0.05 times 255, truncated.
    EXPECT_EQ(p.at(10, 10), rgb(51, 25, 12));
    EXPECT_EQ(p.at(0, 0), 0u);
}

int lit_pixels(const Picture& p, int x0, int x1, int y0, int y1, uint32_t background) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += p.at(x, y) != background ? 1 : 0;
    return n;
}

TEST(RenderFrame, WorldPlusXAppearsOnTheLeft) {
    Picture p(40, 40);
    p.t.sphere({2, 0, 5}, 1, p.t.material({1, 1, 1}));
    render_frame(p.job);
    const uint32_t bg = to_colorref(p.t.scene.background_color);
    EXPECT_GT(lit_pixels(p, 0, 20, 0, 40, bg), 0);
    EXPECT_EQ(lit_pixels(p, 20, 40, 0, 40, bg), 0);
    // The centre lies at x = -2/5 on the screen: column (1 - 0.4) * 20 = 12.
    EXPECT_NE(p.at(12, 20), bg);
    EXPECT_EQ(p.at(27, 20), bg);
}

TEST(RenderFrame, WorldPlusYAppearsAtTheTop) {
    Picture p(40, 40);
    p.t.sphere({0, 2, 5}, 1, p.t.material({1, 1, 1}));
    render_frame(p.job);
    const uint32_t bg = to_colorref(p.t.scene.background_color);
    EXPECT_GT(lit_pixels(p, 0, 40, 0, 20, bg), 0);
    EXPECT_EQ(lit_pixels(p, 0, 40, 20, 40, bg), 0);
}

TEST(RenderFrame, AnImageTracesTwoExtraRowsAndColumns) {
    Picture p(32, 24);
    auto* probe = new ProbeShape;
    p.t.scene.shapes.append(probe);
    render_frame(p.job);
    EXPECT_EQ(probe->rays.size(), 34u * 26u);
    EXPECT_EQ(p.job.rays_traced.load(), 34 * 26);
    EXPECT_EQ(p.job.rows_done.load(), 26);
    // The last position is (width + 1, height + 1).
    float x, y;
    screen_of(probe->rays.back(), x, y);
    EXPECT_NEAR(x, 2.0f * 33 / 32 - 1, 1e-6f);
    EXPECT_NEAR(y, 2.0f * 25 / 24 - 1, 1e-6f);
}

struct AaCase {
    const char* name;
    int antialiasing;
    Vector3 background;
    size_t extra_rays;
};

class AntialiasingCountTest : public ::testing::TestWithParam<AaCase> {};

TEST_P(AntialiasingCountTest, OnlyChangedPixelsAreSupersampled) {
    const AaCase& c = GetParam();
    Picture p(6, 4);
    p.job.antialiasing = c.antialiasing;
    p.t.scene.background_color = c.background;
    auto* probe = new ProbeShape;
    p.t.scene.shapes.append(probe);
    render_frame(p.job);
    EXPECT_EQ(probe->rays.size(), 8u * 6u + c.extra_rays);
    // A flat picture stays the background colour whatever the samples.
    EXPECT_EQ(p.at(3, 2), to_colorref(c.background));
    EXPECT_EQ(p.at(0, 0), to_colorref(c.background));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AntialiasingCountTest,
    ::testing::Values(AaCase{"off", 0, {0.25f, 0.5f, 0.75f}, 0},
                      // Only the first pixel differs from the black it is compared with.
                      AaCase{"four_flat", 4, {0.25f, 0.5f, 0.75f}, 4},
                      AaCase{"four_black", 4, {0, 0, 0}, 0},
                      // Below the comparison threshold of 1e-6 in total.
                      AaCase{"tiny_change", 4, {3e-7f, 3e-7f, 3e-7f}, 0},
                      AaCase{"negative_is_off", -3, {0.25f, 0.5f, 0.75f}, 0},
                      AaCase{"huge_is_capped", INT_MAX, {0.25f, 0.5f, 0.75f}, MaxAntialiasing}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Antialiasing, SamplesScatterOverTheFourQuadrantsOfThePixelUpAndLeft) {
    Picture p(10, 8);
    p.job.antialiasing = 8;
    p.t.scene.background_color = {0.5f, 0.5f, 0.5f};
    auto* probe = new ProbeShape;
    p.t.scene.shapes.append(probe);
    render_frame(p.job);
    ASSERT_GE(probe->rays.size(), 9u);
    // Pixel (0, 0): its own sample first, then eight around (-1, -1).
    const float sign_x[4] = {-1, -1, 1, 1};
    const float sign_y[4] = {-1, 1, -1, 1};
    for (int j = 0; j < 8; ++j) {
        float x, y;
        screen_of(probe->rays[1 + j], x, y);
        const float ox = (x + 1) * 10 / 2 - (0 - 1);
        const float oy = (y + 1) * 8 / 2 - (0 - 1);
        EXPECT_GT(ox * sign_x[j % 4], 0.0f) << j;
        EXPECT_LE(std::fabs(ox), 0.5f + 1e-5f) << j;
        EXPECT_GT(oy * sign_y[j % 4], 0.0f) << j;
        EXPECT_LE(std::fabs(oy), 0.5f + 1e-5f) << j;
    }
}

TEST(Antialiasing, OneExtraSampleMakesThePixelTheMeanOfTwo) {
    TestScene t;
    t.scene.ambience = 1.0f;
    std::vector<Ray> rays;
    auto* g = new GradientShape;
    g->rays = &rays;
    g->material = t.material({1, 1, 1});
    t.scene.shapes.append(g);
    RenderJob job;
    job.width = 10;
    job.height = 10;
    job.antialiasing = 1;
    int samples = 0;
    const Vector3 c = render_pixel(t.scene, job, 4, 3, {0, 0, 0}, &samples);
    EXPECT_EQ(samples, 2);
    ASSERT_EQ(rays.size(), 2u);
    // The gradient's red and green of the two samples.
    const Vector3 a = rays[0].direction * 0.5f + Vector3{0.5f, 0.5f, 0.0f};
    const Vector3 b = rays[1].direction * 0.5f + Vector3{0.5f, 0.5f, 0.0f};
    EXPECT_NE(a.x, b.x);
    EXPECT_NEAR(c.x, (a.x + b.x) / 2, 1e-6f);
    EXPECT_NEAR(c.y, (a.y + b.y) / 2, 1e-6f);
    // The extra sample lies in the quadrant (-, -) around (3, 2).
    float x, y;
    screen_of(rays[1], x, y);
    const float px = (x + 1) * 10 / 2, py = (y + 1) * 10 / 2;
    EXPECT_LT(px, 3.0f);
    EXPECT_GE(px, 2.5f - 1e-5f);
    EXPECT_LT(py, 2.0f);
    EXPECT_GE(py, 1.5f - 1e-5f);
}

TEST(Antialiasing, UnchangedColourTracesOneRay) {
    TestScene t;
    t.scene.background_color = {0.3f, 0.3f, 0.3f};
    RenderJob job;
    job.width = job.height = 10;
    job.antialiasing = 16;
    int samples = 0;
    render_pixel(t.scene, job, 5, 5, {0.3f, 0.3f, 0.3f}, &samples);
    EXPECT_EQ(samples, 1);
}

TEST(RenderFrame, SamePictureEveryTime) {
    auto render = [] {
        Picture p(24, 16);
        p.job.antialiasing = 3;
        p.t.sphere({0.5f, 0.2f, 4}, 1.3f, p.t.material({0.9f, 0.3f, 0.1f}));
        p.t.light({-3, 4, -2}, {1, 1, 1}, 100);
        render_frame(p.job);
        return p.surface.snapshot();
    };
    EXPECT_EQ(render(), render());
}

TEST(RenderFrame, StopEndsTheFrameAfterTheCurrentRow) {
    Picture p(12, 30);
    p.t.scene.background_color = {1, 1, 1};
    auto* s = new StopAtRow;
    s->job = &p.job;
    s->height = 30;
    s->stop_row = 10;
    p.t.scene.shapes.append(s);
    p.job.stop_requested.store(true);  // a stale request is cleared first
    render_frame(p.job);
    EXPECT_EQ(s->highest_row.load(), 10);
    EXPECT_EQ(p.job.rows_done.load(), 11);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(p.at(x, y), y <= 10 ? 0x00FFFFFFu : 0u) << x << "," << y;
}

TEST(RenderFrame, StartsFromBlack) {
    Picture p(4, 4);
    p.surface.set_pixel(1, 1, 0x123456);
    p.t.scene.background_color = {0, 0, 0};
    render_frame(p.job);
    EXPECT_EQ(p.at(1, 1), 0u);
}

struct SizeCase {
    int w, h;
};

class DegenerateSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DegenerateSizeTest, TracesNothing) {
    TestScene t;
    auto* probe = new ProbeShape;
    t.scene.shapes.append(probe);
    Surface surface(4, 4);
    surface.set_pixel(0, 0, 0x00ABCDEFu);
    RenderJob job;
    job.width = GetParam().w;
    job.height = GetParam().h;
    job.scene = &t.scene;
    job.drawing_context = &surface;
    render_frame(job);
    EXPECT_TRUE(probe->rays.empty());
    EXPECT_EQ(job.rows_done.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DegenerateSizeTest,
                         ::testing::Values(SizeCase{0, 10}, SizeCase{10, 0}, SizeCase{-5, 10},
                                           SizeCase{10, -3}, SizeCase{INT_MIN, INT_MIN}));

TEST(RenderThreadMain, PostsFrameDoneAfterTheFrame) {
    HeadlessHost host;
    host.quiet = true;
    TestScene t;
    Surface surface(3, 3);
    RenderJob job;
    job.build(&host, &surface, 0, 0, 3, 3, &t.scene);
    std::vector<int> got;
    host.set_handler([&](int w) {
        got.push_back(w);
        host.run_finished();
    });
    EXPECT_EQ(render_thread_main(&job), 0);
    host.run_loop();
    EXPECT_EQ(got, std::vector<int>{TRACE_FRAME_DONE});
    EXPECT_EQ(surface.pixel(2, 2), to_colorref(t.scene.background_color));
}

TEST(RenderJobBuild, RestoresEveryDefaultButKeepsTheHostChoices) {
    RenderJob job;
    job.no_diffuse = job.no_highlights = job.no_shadow = true;
    job.no_reflection = job.no_refraction = true;
    job.stop_requested.store(true);
    job.antialiasing = 9;
    job.max_depth = 12;
    job.threads = 1;
    job.accelerate = false;
    Scene scene;
    Surface surface;
    job.build(nullptr, &surface, 1, 2, 30, 40, &scene);
    EXPECT_FALSE(job.no_diffuse || job.no_highlights || job.no_shadow || job.no_reflection ||
                 job.no_refraction);
    EXPECT_FALSE(job.stop_requested.load());
    EXPECT_EQ(job.antialiasing, 0);
    EXPECT_EQ(job.max_depth, 3);
    EXPECT_EQ(job.drawing_context, &surface);
    EXPECT_EQ(job.image_x, 1);
    EXPECT_EQ(job.image_y, 2);
    EXPECT_EQ(job.width, 30);
    EXPECT_EQ(job.height, 40);
    EXPECT_EQ(job.scene, &scene);
    EXPECT_EQ(job.threads, 1);
    EXPECT_FALSE(job.accelerate);
}

}  // namespace
