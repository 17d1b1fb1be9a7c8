#pragma once

#include <string>

// One way of tracing a frame: the plain sequential loop, or the search
// hierarchy on one thread or on every core.
struct TraceMode {
    const char* name;
    int threads;  // 0 = every core
    bool accelerate;
};

extern const TraceMode TraceModes[3];

// What one traced frame cost.
struct SceneTiming {
    double parse_seconds = 0.0;
    double build_seconds = 0.0;      // the search hierarchy
    double trace_seconds = 0.0;      // the pixel loop
    double trace_cpu_seconds = 0.0;  // processor time of the pixel loop, all threads
    long long camera_rays = 0;       // own samples and supersamples
    long long all_rays = 0;          // with shadow, reflected and transmitted rays
    int threads = 1;
    int width = 0;
    int height = 0;
    long long top_level_shapes = 0;
    std::string error;  // set when the scene could not be traced
};

// Parses the scene file at `path` (INCLUDE FILE names relative to its
// folder) and traces its first frame once in `mode`, at width x height when
// those are above 0.
SceneTiming time_scene(const std::string& path, const TraceMode& mode, int width, int height);
