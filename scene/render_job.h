#pragma once

#include <atomic>
#include <vector>

#include "scene/scene.h"

class Host;
#include "scene/surface.h"

// Reflection and refraction stop at this depth whatever MAX_DEPTH says, so that
// two facing mirrors cannot exhaust the render thread's stack.
constexpr int MaxTraceDepth = 256;
// Extra samples per pixel are capped likewise, so that one row always ends and
// a Stop is seen in reasonable time.
constexpr int MaxAntialiasing = 1024;
// The largest WIDTH and HEIGHT a frame is traced at.
constexpr int MaxImageSide = 16384;

// Own samples (camera-ray colours) of a frame traced before its loop, as a
// quick look traces them: those of every `step`-th position of every
// `step`-th row of a width x height picture, row by row from the top.
struct TracedSamples {
    int step = 0;  // 0: none
    int width = 0;
    int height = 0;
    int columns = 0;  // positions per row: ceil(width / step)
    std::vector<Vector3> colours;
    // The own sample of position (col, row) of a width x height picture,
    // when it is held; null otherwise.
    const Vector3* find(int col, int row, int width_, int height_) const {
        if (step < 1 || width_ != width || height_ != height || col < 0 || row < 0 ||
            col >= width || row >= height || col % step != 0 || row % step != 0)
            return nullptr;
        return &colours[static_cast<size_t>(row / step) * static_cast<size_t>(columns) +
                        static_cast<size_t>(col / step)];
    }
};

// The settings and target of one frame's render thread.
struct RenderJob {
    bool no_diffuse = false;
    bool no_highlights = false;
    bool no_shadow = false;
    bool no_reflection = false;
    bool no_refraction = false;
    // Written by the UI thread (Stop), read by the render thread once a row.
    std::atomic<bool> stop_requested{false};
    int antialiasing = 0;
    int max_depth = 3;
    Host* main_window = nullptr;
    Surface* drawing_context = nullptr;
    int image_x = 0;
    int image_y = 0;
    int width = 320;
    int height = 240;
    const Scene* scene = nullptr;
    // Worker threads for the pixel loop; 0 = every core, 1 = the plain loop.
    int threads = 0;
    // Whether shape searches may use the bounding volume hierarchy.
    bool accelerate = true;
    // The band of picture rows traced, first_row to last_row (-1: to the
    // end); the rows outside it stay black, the rows inside get the colours
    // a whole frame gives them. Like threads, the host's choice.
    int first_row = 0;
    int last_row = -1;
    // Progress of the frame, for whoever shows it: rows finished and primary
    // rays traced so far. Reset by the job builder and by render_frame. A
    // row is counted (with release order) once its pixels are final, so a
    // reader that loads the count with acquire order may read those rows.
    std::atomic<int> rows_done{0};
    std::atomic<long long> rays_traced{0};
    // Every search of the scene the frame made: camera, shadow, reflected and
    // transmitted rays, and the parallel loop's unused supersamples too.
    // Reset by the job builder and by render_frame; complete once it returns.
    std::atomic<long long> rays_cast{0};
    // When set and true, the frame is given up within a few pixels, leaving
    // a row unfinished: a live preview overtaken by the next edit, whose
    // picture nobody shows. Unlike Stop, which ends after a settled row, the
    // loops never clear it. The host's choice; null: never given up.
    const std::atomic<bool>* abandon = nullptr;
    // When set, the colour of every picture pixel, before it is made bytes,
    // is kept here too: red, green, blue floats, width * height * 3, row by
    // row from the top. The host's choice; null: not kept.
    float* linear = nullptr;
    // When set, the own samples held there are taken instead of traced
    // again: they are the colours the same rays give. The host's choice
    // (the live preview's full pass after its coarse ones); null: none.
    const TracedSamples* traced = nullptr;
    bool abandoned() const {
        return abandon != nullptr && abandon->load(std::memory_order_relaxed);
    }

    // The job builder: every field given or defaulted.
    void build(Host* main_window_, Surface* drawing_context_, int image_x_, int image_y_,
               int width_, int height_, const Scene* scene_);
};
