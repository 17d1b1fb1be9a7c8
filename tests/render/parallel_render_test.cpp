// The pixel loop on several threads against the plain loop, on scenes made
// to strain the antialiasing chain, and its stop.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <vector>

#include "render/parallel_render.h"
#include "render_test_support.h"
#include "scene/render_job.h"
#include "scene/surface.h"

namespace {

// Hits every ray at distance 1 and colours it by the column it passes
// through (default camera: screen x = -dx / dz). The colour changes inside
// a pixel but is the same at every pixel's own sample, so the own samples
// never tell which pixels the chain will supersample.
struct StripeShape : CShape {
    int width = 1;
    void intersect(Hit& hit, const Ray& ray) override {
        hit.entryKind = 0;
        if (hit.skipShape == this) return;
        const float x = -ray.direction.x / ray.direction.z;
        const float column = (x + 1.0f) * static_cast<float>(width) / 2.0f;
        const float f = column + 0.25f - std::floor(column + 0.25f);
        hit_at_one(hit, this, ray,
                   f > 0.5f ? Vector3{0.9f, 0.3f, 0.1f} : Vector3{0.2f, 0.4f, 0.8f});
    }
};

struct ChainCase {
    const char* name;
    int width, height, aa;
    bool stripes;  // else the gradient
};

void PrintTo(const ChainCase& c, std::ostream* out) { *out << c.name; }

// The picture of a case: stripes that keep the chain unsettled, or a gradient.
void add_chain_shape(TracedFrame& f, const ChainCase& c) {
    if (c.stripes) {
        auto* s = new StripeShape;
        s->width = c.width;
        f.t.scene.shapes.append(s);
    } else {
        f.t.scene.shapes.append(new GradientShape);
    }
}

class ParallelChain : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ParallelChain, EveryThreadCountGivesThePlainLoopsPixelsAndRays) {
    const ChainCase& c = GetParam();
    TracedFrame f(c.width, c.height, c.aa);
    add_chain_shape(f, c);
    const std::vector<uint32_t> plain = f.trace(1, false);
    const long long plain_rays = f.job.rays_traced.load();
    const long long plain_cast = f.job.rays_cast.load();
    EXPECT_EQ(f.job.rows_done.load(), c.height + 2);
    for (int threads : {2, 3, 8}) {
        EXPECT_EQ(f.trace(threads, true), plain) << threads << " threads";
        EXPECT_EQ(f.job.rays_traced.load(), plain_rays) << threads;
        EXPECT_EQ(f.job.rows_done.load(), c.height + 2) << threads;
        // Supersamples prepared but not needed are cast too, never fewer.
        EXPECT_GE(f.job.rays_cast.load(), plain_cast) << threads;
    }
}

// Every loop drives the same row cursor, so the pixels are also held against
// the chain as render_pixel defines it: from black at (0, 0), row after row.
TEST_P(ParallelChain, ThePlainLoopIsRenderPixelsChainFromTheTop) {
    const ChainCase& c = GetParam();
    TracedFrame f(c.width, c.height, c.aa);
    add_chain_shape(f, c);
    const std::vector<uint32_t> plain = f.trace(1, false);
    std::vector<uint32_t> chain(plain.size());
    long long rays = 0;
    Vector3 previous{0.0f, 0.0f, 0.0f};
    for (int y = 0; y < c.height + 2; ++y)
        for (int x = 0; x < c.width + 2; ++x) {
            int samples = 0;
            previous = render_pixel(f.t.scene, f.job, x, y, previous, &samples);
            chain[static_cast<size_t>(y * (c.width + 2) + x)] = to_colorref(previous);
            rays += samples;
        }
    EXPECT_EQ(plain, chain);
    EXPECT_EQ(f.job.rays_traced.load(), rays);
}

// A band of rows (the command line's --rows) starts from the colour the
// chain brings into it in a whole frame, so that bands traced apart join
// into the whole picture. On the stripes the chain never settles within a
// row: the band must find it from rows far above.
TEST_P(ParallelChain, EveryBandHasTheWholeFramesRowsAndBlackElsewhere) {
    const ChainCase& c = GetParam();
    TracedFrame f(c.width, c.height, c.aa);
    add_chain_shape(f, c);
    const std::vector<uint32_t> whole = f.trace(1, false);
    const int w = c.width + 2;
    const int bands[][2] = {{0, 0},
                            {1, 1},
                            {c.height / 2, c.height - 1},
                            {c.height - 1, -1},
                            {c.height / 3, c.height / 3 + 1}};
    for (const auto& band : bands) {
        for (int threads : {1, 3}) {
            f.job.first_row = band[0];
            f.job.last_row = band[1];
            const std::vector<uint32_t> picture = f.trace(threads, true);
            const int last = band[1] < 0 ? c.height + 1 : std::min(band[1], c.height - 1);
            for (int y = 0; y < c.height + 2; ++y)
                for (int x = 0; x < w; ++x) {
                    const size_t i = static_cast<size_t>(y * w + x);
                    const uint32_t want = y >= band[0] && y <= last ? whole[i] : 0u;
                    ASSERT_EQ(picture[i], want) << "rows " << band[0] << "-" << band[1] << ", "
                                                << threads << " threads, at " << x << "," << y;
                }
        }
    }
    f.job.first_row = 0;
    f.job.last_row = -1;
}

INSTANTIATE_TEST_SUITE_P(Cases, ParallelChain,
                         ::testing::Values(
                             // Own samples all equal: after the first pixel every supersample is
                             // one the chain finds only as it goes.
                             ChainCase{"stripes_unforeseen", 31, 9, 4, true},
                             ChainCase{"stripes_one_extra", 17, 5, 1, true},
                             ChainCase{"gradient", 24, 18, 4, false},
                             ChainCase{"gradient_no_aa", 24, 18, 0, false},
                             // Fewer rows and columns than threads.
                             ChainCase{"one_pixel", 1, 1, 4, false},
                             ChainCase{"one_column", 1, 12, 3, true},
                             ChainCase{"one_row", 12, 1, 2, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParallelRender, StopLeavesCompleteRowsAboveAndBlackBelow) {
    const int w = 20, h = 40;
    TracedFrame f(w, h, 2);
    f.t.scene.shapes.append(new GradientShape);
    const std::vector<uint32_t> plain = f.trace(1, false);

    auto* stop = new StopAtRow;
    stop->job = &f.job;
    stop->stop_row = 12;
    stop->height = h;
    f.t.scene.shapes.append(stop);
    for (int threads : {2, 4}) {
        const std::vector<uint32_t> picture = f.trace(threads, true);
        const int rows = f.job.rows_done.load();
        // Rows are settled in order, and the stop is seen after a settled row.
        EXPECT_GE(rows, 1) << threads;
        EXPECT_LT(rows, h + 2) << threads;
        for (int y = 0; y < h + 2; ++y)
            for (int x = 0; x < w + 2; ++x) {
                const uint32_t p = picture[static_cast<size_t>(y * (w + 2) + x)];
                if (y < rows)
                    ASSERT_EQ(p, plain[static_cast<size_t>(y * (w + 2) + x)]) << x << "," << y;
                else
                    ASSERT_EQ(p, 0u) << x << "," << y;
            }
    }
}

TEST(ParallelRender, ThreadCountZeroMeansEveryCore) {
    RenderJob job;
    job.threads = 0;
    EXPECT_GE(resolved_thread_count(job), 1);
    job.threads = 3;
    EXPECT_EQ(resolved_thread_count(job), 3);
    job.threads = 100000;
    EXPECT_LE(resolved_thread_count(job), 256);
}

}  // namespace
