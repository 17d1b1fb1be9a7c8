#include "scene/render_job.h"

void RenderJob::build(Host* main_window_, Surface* drawing_context_, int image_x_, int image_y_,
                      int width_, int height_, const Scene* scene_) {
    no_diffuse = false;
    no_highlights = false;
    no_shadow = false;
    no_reflection = false;
    no_refraction = false;
    stop_requested.store(false);
    antialiasing = 0;
    max_depth = 3;
    main_window = main_window_;
    drawing_context = drawing_context_;
    image_x = image_x_;
    image_y = image_y_;
    width = width_;
    height = height_;
    scene = scene_;
    rows_done.store(0);
    rays_traced.store(0);
    rays_cast.store(0);
    // threads, accelerate and the band of rows are the host's choice, not the document's: a
    // fresh job for the next frame keeps them.
}
