#pragma once

#include <cstdint>

#include "core/ray.h"
#include "scene/render_job.h"

// Entry routine of the render thread: render_frame, then post 200.
int render_thread_main(RenderJob* job);
void render_frame(RenderJob& job);
Ray primary_ray(const Camera& camera, float x, float y);
// The colour of loop position (col, row) given the colour of the position
// before it; reads only the scene and the job, so any thread may call it.
// `samples`, when given, receives the number of primary rays traced.
Vector3 render_pixel(const Scene& scene, const RenderJob& job, int col, int row,
                     const Vector3& previous, int* samples = nullptr);
// The steps of render_pixel, for loops that take them apart (the parallel
// loop): the position's own sample; whether a position whose own sample is
// `c` is supersampled after `previous`; and the supersampled colour, `c`
// averaged with the extra jittered samples. render_pixel is exactly
// needs_supersampling ? supersampled(primary_sample) : primary_sample.
Vector3 primary_sample(const Scene& scene, const RenderJob& job, int col, int row);
bool needs_supersampling(const RenderJob& job, const Vector3& c, const Vector3& previous);
Vector3 supersampled(const Scene& scene, const RenderJob& job, int col, int row, const Vector3& c);
// Extra samples per supersampled pixel: ANTIALIASING limited to 0..MaxAntialiasing.
int extra_samples(const RenderJob& job);
// Builds the scene's search structures when the job accelerates and drops
// them when it does not; render_frame calls it before the first pixel.
void prepare_acceleration(const RenderJob& job);
float noise(int32_t n);
uint32_t to_colorref(const Vector3& c);
