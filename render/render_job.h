#pragma once

#include <atomic>
#include <cstdint>

#include "core/ray.h"
#include "render/scene.h"

class Host;
class Surface;

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

    // The job builder: every field given or defaulted.
    void build(Host* main_window_, Surface* drawing_context_, int image_x_, int image_y_,
               int width_, int height_, const Scene* scene_);
};

// Entry routine of the render thread: render_frame, then post 200.
int render_thread_main(RenderJob* job);
void render_frame(RenderJob& job);
Ray primary_ray(const Camera& camera, float x, float y);
float noise(int32_t n);
uint32_t to_colorref(const Vector3& c);
