#pragma once

#include <cstdint>

#include "core/ray.h"
#include "scene/render_job.h"

// The colour of each loop position and the chain that carries one position's
// colour into the next. The loops (row_cursor.h and above) are built on them.

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
// The own sample is the job's traced one where it holds it.
Vector3 primary_sample(const Scene& scene, const RenderJob& job, int col, int row);
bool needs_supersampling(const RenderJob& job, const Vector3& c, const Vector3& previous);
Vector3 supersampled(const Scene& scene, const RenderJob& job, int col, int row, const Vector3& c);
// The loop rows a frame traces, from `begin` up to (not including) `end`:
// every row and the two past the picture, or the job's band of rows.
struct LoopRows {
    int begin = 0;
    int end = 0;
};
LoopRows loop_rows(const RenderJob& job);
LoopRows loop_rows(int height, int first_row, int last_row);
// The colour the loop carries into position (0, row): the final colour of
// the last position of the row above, exactly as a loop from row 0 leaves
// it, found by tracing as few rows above as settle the chain.
Vector3 chain_into_row(const Scene& scene, const RenderJob& job, int row);
// Extra samples per supersampled pixel: ANTIALIASING limited to 0..MaxAntialiasing.
int extra_samples(const RenderJob& job);
float noise(int32_t n);
uint32_t to_colorref(const Vector3& c);
// Keeps the colour of loop position (col, row) in the job's `linear`
// picture when the position is a picture pixel.
void keep_linear(const RenderJob& job, int col, int row, const Vector3& c);
