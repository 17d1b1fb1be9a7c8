#include "bench/scene_timing.h"

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "render/parallel_render.h"
#include "render/pixel_loop.h"
#include "tests/support/captured_scene.h"

const TraceMode TraceModes[3] = {
    {"plain", 1, false},
    {"bvh_1thread", 1, true},
    {"bvh_all_threads", 0, true},
};

namespace {

double process_cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

SceneTiming time_scene(const std::string& path, const TraceMode& mode, int width, int height) {
    SceneTiming t;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        t.error = "cannot read " + path;
        return t;
    }
    std::ostringstream text;
    text << in.rdbuf();

    CapturedScene captured;
    auto start = std::chrono::steady_clock::now();
    const bool loaded =
        captured.load(text.str(), std::filesystem::path(path).parent_path().string());
    t.parse_seconds = seconds_since(start);
    if (!loaded) {
        t.error = captured.error();
        return t;
    }
    RenderJob& job = captured.job();
    for (const CShape* s = captured.scene().shapes.head; s != nullptr; s = nextOf(s))
        ++t.top_level_shapes;

    // The hierarchy is built by render_frame when it is missing; building it
    // first times the two apart.
    job.accelerate = mode.accelerate;
    start = std::chrono::steady_clock::now();
    prepare_acceleration(job);
    t.build_seconds = seconds_since(start);

    const double cpu_start = process_cpu_seconds();
    start = std::chrono::steady_clock::now();
    captured.trace(width, height, mode.threads, mode.accelerate);
    t.trace_seconds = seconds_since(start);
    t.trace_cpu_seconds = process_cpu_seconds() - cpu_start;
    t.camera_rays = job.rays_traced.load();
    t.all_rays = job.rays_cast.load();
    t.threads = resolved_thread_count(job);
    t.width = job.width;
    t.height = job.height;
    return t;
}
