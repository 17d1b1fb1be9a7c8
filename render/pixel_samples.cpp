#include "render/pixel_samples.h"

#include <algorithm>
#include <cmath>

#include "render/shading.h"

Ray primary_ray(const Camera& camera, float x, float y) {
    const Vector3 a = camera.view_point - camera.up_axis.scaled(y);
    const Vector3 b = a - camera.right_axis.scaled(x);
    return {camera.eye, (b - camera.eye).normalized()};
}

float noise(int32_t n) {
    // Unsigned arithmetic gives the two's-complement wrap-around without
    // overflow; the mask leaves a value that fits an int.
    const uint32_t u = static_cast<uint32_t>(n);
    const uint32_t m = u ^ (u << 13);
    const uint32_t v = (m * (m * m * 15731u + 789221u) - 771171059u) & 0x7FFFFFFFu;
    return 1.0f - static_cast<float>(static_cast<int32_t>(v)) * 9.313225746154785e-10f;
}

namespace {

// Low 8 bits of a channel times 255, truncated toward zero. Background colours
// outside [0, 1] wrap as the integer would; values too large for any integer
// keep their exact remainder, and NaN or infinity give 0.
uint32_t channel_byte(float v) {
    const float s = v * 255.0f;
    if (s >= 0.0f && s < 2147483648.0f)
        return static_cast<uint32_t>(static_cast<int32_t>(s)) & 0xFFu;
    if (!std::isfinite(s)) return 0;
    if (s < 0.0f && s > -2147483648.0f)
        return static_cast<uint32_t>(static_cast<int32_t>(s)) & 0xFFu;
    float r = std::fmod(std::trunc(s), 256.0f);
    if (r < 0.0f) r = r + 256.0f;
    return static_cast<uint32_t>(r) & 0xFFu;
}

}  // namespace

uint32_t to_colorref(const Vector3& c) {
    return channel_byte(c.x) | (channel_byte(c.y) << 8) | (channel_byte(c.z) << 16);
}

void keep_linear(const RenderJob& job, int col, int row, const Vector3& c) {
    if (col >= job.width || row >= job.height) return;
    float* out = job.linear + (static_cast<size_t>(row) * job.width + col) * 3;
    out[0] = c.x;
    out[1] = c.y;
    out[2] = c.z;
}

int extra_samples(const RenderJob& job) {
    // A negative count means no supersampling; a huge one is capped so that a
    // row always finishes.
    return std::clamp(job.antialiasing, 0, MaxAntialiasing);
}

bool needs_supersampling(const RenderJob& job, const Vector3& c, const Vector3& p) {
    if (extra_samples(job) <= 0) return false;
    // Each difference is rounded to f32, and the sum of the magnitudes is
    // compared in double.
    const float dr = c.x - p.x;
    const float dg = c.y - p.y;
    const float db = c.z - p.z;
    const double sum = std::fabs(static_cast<double>(dr)) + std::fabs(static_cast<double>(dg)) +
                       std::fabs(static_cast<double>(db));
    return sum > 1e-6;
}

Vector3 primary_sample(const Scene& scene, const RenderJob& job, int col, int row) {
    if (job.traced != nullptr) {
        if (const Vector3* known = job.traced->find(col, row, job.width, job.height)) return *known;
    }
    const float w = static_cast<float>(job.width);
    const float h = static_cast<float>(job.height);
    const float x = 2.0f * static_cast<float>(col) / w - 1.0f;
    const float y = 2.0f * static_cast<float>(row) / h - 1.0f;
    return trace_ray(primary_ray(scene.camera, x, y), scene, job);
}

Vector3 supersampled(const Scene& scene, const RenderJob& job, int col, int row, const Vector3& c) {
    const int aa = extra_samples(job);
    const float w = static_cast<float>(job.width);
    const float h = static_cast<float>(job.height);
    Vector3 sum = c;
    const uint32_t seed_base = 2u * static_cast<uint32_t>(job.width) * static_cast<uint32_t>(row) *
                                   static_cast<uint32_t>(aa) +
                               static_cast<uint32_t>(col);
    for (int j = 0; j < aa; ++j) {
        // Samples 0 to 3 fall into the quadrants (-,-), (-,+), (+,-), (+,+).
        const float sign_x = (j % 4) < 2 ? -1.0f : 1.0f;
        const float sign_y = (j % 2) == 0 ? -1.0f : 1.0f;
        const int32_t seed = static_cast<int32_t>(static_cast<uint32_t>(j) + seed_base);
        const int32_t seed1 = static_cast<int32_t>(static_cast<uint32_t>(seed) + 1u);
        const float ox = (noise(seed) + 1.0f) * sign_x * 0.25f;
        const float oy = (noise(seed1) + 1.0f) * sign_y * 0.25f;
        // The jitter is centred one pixel up and left of the pixel itself.
        const float xs = 2.0f * (static_cast<float>(col - 1) + ox) / w - 1.0f;
        const float ys = 2.0f * (static_cast<float>(row - 1) + oy) / h - 1.0f;
        sum = sum.plus(trace_ray(primary_ray(scene.camera, xs, ys), scene, job));
    }
    return sum / static_cast<float>(aa + 1);
}

Vector3 render_pixel(const Scene& scene, const RenderJob& job, int col, int row,
                     const Vector3& previous, int* samples) {
    Vector3 c = primary_sample(scene, job, col, row);
    int traced = 1;
    if (needs_supersampling(job, c, previous)) {
        c = supersampled(scene, job, col, row, c);
        traced += extra_samples(job);
    }
    if (samples != nullptr) *samples = traced;
    return c;
}

LoopRows loop_rows(const RenderJob& job) {
    return loop_rows(job.height, job.first_row, job.last_row);
}

LoopRows loop_rows(int height, int first_row, int last_row) {
    const int all = height + 2;
    if (first_row <= 0 && last_row < 0) return {0, all};
    const int end = last_row < 0 ? all : std::min(last_row + 1, height);
    const int begin = std::clamp(first_row, 0, std::max(0, end));
    return {begin, std::max(begin, end)};
}

Vector3 chain_into_row(const Scene& scene, const RenderJob& job, int row) {
    const Vector3 black{0.0f, 0.0f, 0.0f};
    // Without supersampling no colour depends on the one before it.
    if (row <= 0 || extra_samples(job) <= 0) return black;
    const int columns = job.width + 2;
    auto same = [](const Vector3& a, const Vector3& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    };
    // A position's colour is its own sample or its supersampled colour, and
    // only the choice between them depends on the colour before. Walking
    // from a row whose incoming colour is unknown, keep both candidates
    // until a position makes the same choice after either: from there on the
    // chain is the whole frame's. Rows further up are tried, twice as many
    // each time, until the chain settles; from row 0 it is known at once.
    for (int span = 1;; span *= 2) {
        const int start = std::max(0, row - span);
        bool known = start == 0;
        Vector3 colour = black;
        Vector3 candidates[2] = {black, black};
        bool open_start = !known;  // nothing known about the colour before
        for (int r = start; r < row; ++r) {
            for (int col = 0; col < columns; ++col) {
                const Vector3 own = primary_sample(scene, job, col, r);
                if (known) {
                    colour = needs_supersampling(job, own, colour)
                                 ? supersampled(scene, job, col, r, own)
                                 : own;
                    continue;
                }
                bool some_yes = open_start, some_no = open_start;
                open_start = false;
                for (const Vector3& c : candidates)
                    (needs_supersampling(job, own, c) ? some_yes : some_no) = true;
                const Vector3 extra = some_yes ? supersampled(scene, job, col, r, own) : own;
                if (some_yes && some_no && !same(own, extra)) {
                    candidates[0] = own;
                    candidates[1] = extra;
                } else {
                    colour = some_yes ? extra : own;
                    known = true;
                }
            }
        }
        if (known) return colour;
    }
}
