// glimmark_bench: traces the benchmark scenes in the three trace modes and
// prints, besides Google Benchmark's table, a summary with the ratios.
//
//   glimmark_bench [--scenes=DIR] [--only=a,b,...] [--size=WxH]
//                  [--plain_size=WxH] [--threads=N] [benchmark flags]
//
// DIR holds the .gmk scenes (default build/bench/gmk); --only picks scenes by
// name; --size traces every frame at WxH instead of the document's size;
// --plain_size does so for the plain loop only (its rates are then compared
// per camera ray); --threads sets the thread count of the third mode
// (default 0, every core); --repeat traces each accelerated mode N times
// (default 5) and keeps the fastest, since noise on a shared machine only
// ever adds time (the plain loop is traced once).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/scene_timing.h"

namespace {

const char* const DefaultScenes[] = {
    "showcase", "showcase_noaa", "many_spheres", "many_spheres_bounded", "mesh", "mesh_tiled"};

struct Options {
    std::string folder = "build/bench/gmk";
    std::vector<std::string> scenes;
    int width = 0, height = 0;
    int plain_width = 0, plain_height = 0;
    int threads = 0;
    int repeat = 5;
};

bool parse_size(const std::string& s, int& w, int& h) {
    return std::sscanf(s.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

bool take(const char* arg, const char* name, std::string& value) {
    const size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
    value = arg + n + 1;
    return true;
}

// Every measured run, by scene and mode, for the summary.
std::map<std::string, std::map<std::string, SceneTiming>> results;

void run_case(benchmark::State& state, const std::string& scene, const std::string& path,
              const TraceMode& mode, int w, int h) {
    for (auto _ : state) {
        const SceneTiming t = time_scene(path, mode, w, h);
        if (!t.error.empty()) {
            state.SkipWithError(t.error.c_str());
            return;
        }
        state.SetIterationTime(t.parse_seconds + t.build_seconds + t.trace_seconds);
        state.counters["parse_s"] = t.parse_seconds;
        state.counters["build_s"] = t.build_seconds;
        state.counters["trace_s"] = t.trace_seconds;
        state.counters["trace_cpu_s"] = t.trace_cpu_seconds;
        state.counters["threads"] = t.threads;
        state.counters["camera_rays"] = static_cast<double>(t.camera_rays);
        state.counters["rays"] = static_cast<double>(t.all_rays);
        state.counters["rays_per_s_core"] = t.all_rays / t.trace_seconds / t.threads;
        state.counters["camera_rays_per_s_core"] = t.camera_rays / t.trace_seconds / t.threads;
        // The fastest of the repetitions stands for the mode, part by part.
        auto& byMode = results[scene];
        auto found = byMode.find(mode.name);
        if (found == byMode.end()) {
            byMode[mode.name] = t;
        } else {
            SceneTiming& best = found->second;
            best.parse_seconds = std::min(best.parse_seconds, t.parse_seconds);
            best.build_seconds = std::min(best.build_seconds, t.build_seconds);
            if (t.trace_seconds < best.trace_seconds) {
                best.trace_seconds = t.trace_seconds;
                best.trace_cpu_seconds = t.trace_cpu_seconds;
            }
        }
    }
}

double per_camera_ray(const SceneTiming& t) {
    return t.camera_rays > 0 ? t.trace_seconds / static_cast<double>(t.camera_rays) : 0.0;
}

void print_summary(const Options& o) {
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf(
        "\nSummary (seconds, fastest of the repetitions; wall = parse + build + trace; cpu =\n"
        "processor time of the trace; rays/s/core counts every ray: camera, shadow, reflected,\n"
        "transmitted). Load average now: %.2f %.2f %.2f\n",
        load[0], load[1], load[2]);
    std::printf("%-21s %-15s %7s %3s %6s %6s %6s %6s %6s %9s %9s %9s %9s\n", "scene", "mode",
                "size", "thr", "parse", "build", "trace", "wall", "cpu", "cam rays", "all rays",
                "cam/s/c", "rays/s/c");
    for (const std::string& scene : o.scenes) {
        auto it = results.find(scene);
        if (it == results.end()) continue;
        for (const TraceMode& m : TraceModes) {
            auto r = it->second.find(m.name);
            if (r == it->second.end()) continue;
            const SceneTiming& t = r->second;
            char size[32];
            std::snprintf(size, sizeof size, "%dx%d", t.width, t.height);
            std::printf(
                "%-21s %-15s %7s %3d %6.3f %6.3f %6.3f %6.3f %6.3f %9lld %9lld %9.3g %9.3g\n",
                scene.c_str(), m.name, size, t.threads, t.parse_seconds, t.build_seconds,
                t.trace_seconds, t.parse_seconds + t.build_seconds + t.trace_seconds,
                t.trace_cpu_seconds, t.camera_rays, t.all_rays,
                t.camera_rays / t.trace_seconds / t.threads,
                t.all_rays / t.trace_seconds / t.threads);
        }
    }
    std::printf("\nRatios of trace time (per camera ray where the sizes differ)\n");
    std::printf("%-22s %16s %16s %16s\n", "scene", "bvh_1 vs plain", "all vs 1 thread",
                "all vs plain");
    for (const std::string& scene : o.scenes) {
        auto it = results.find(scene);
        if (it == results.end()) continue;
        auto& byMode = it->second;
        auto ratio = [&](const char* slow, const char* fast) -> std::string {
            auto s = byMode.find(slow), f = byMode.find(fast);
            if (s == byMode.end() || f == byMode.end()) return "-";
            const double a = per_camera_ray(s->second), b = per_camera_ray(f->second);
            if (a <= 0.0 || b <= 0.0) return "-";
            std::ostringstream out;
            out.precision(3);
            out << a / b << "x";
            return out.str();
        };
        std::printf("%-22s %16s %16s %16s\n", scene.c_str(), ratio("plain", "bvh_1thread").c_str(),
                    ratio("bvh_1thread", "bvh_all_threads").c_str(),
                    ratio("plain", "bvh_all_threads").c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string v;
        if (take(argv[i], "--scenes", v)) {
            o.folder = v;
        } else if (take(argv[i], "--only", v)) {
            std::stringstream list(v);
            for (std::string name; std::getline(list, name, ',');)
                if (!name.empty()) o.scenes.push_back(name);
        } else if (take(argv[i], "--size", v)) {
            if (!parse_size(v, o.width, o.height)) {
                std::fprintf(stderr, "glimmark_bench: --size needs WxH\n");
                return 2;
            }
        } else if (take(argv[i], "--plain_size", v)) {
            if (!parse_size(v, o.plain_width, o.plain_height)) {
                std::fprintf(stderr, "glimmark_bench: --plain_size needs WxH\n");
                return 2;
            }
        } else if (take(argv[i], "--repeat", v)) {
            o.repeat = std::max(1, std::atoi(v.c_str()));
        } else if (take(argv[i], "--threads", v)) {
            o.threads = std::atoi(v.c_str());
            if (o.threads < 0) {
                std::fprintf(stderr, "glimmark_bench: --threads needs N >= 0\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "glimmark_bench: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (o.scenes.empty()) o.scenes.assign(std::begin(DefaultScenes), std::end(DefaultScenes));

    for (const std::string& scene : o.scenes) {
        const std::string path = (std::filesystem::path(o.folder) / (scene + ".gmk")).string();
        if (!std::filesystem::exists(path)) {
            std::fprintf(stderr, "glimmark_bench: %s not found (run gen_mesh.py first?)\n",
                         path.c_str());
            return 2;
        }
        for (TraceMode m : TraceModes) {
            if (m.threads == 0) m.threads = o.threads;
            const bool plain = !m.accelerate;
            const int w = plain && o.plain_width > 0 ? o.plain_width : o.width;
            const int h = plain && o.plain_height > 0 ? o.plain_height : o.height;
            benchmark::RegisterBenchmark((scene + "/" + m.name).c_str(), run_case, scene, path, m,
                                         w, h)
                ->Iterations(1)
                ->Repetitions(plain ? 1 : o.repeat)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    print_summary(o);
    return 0;
}
