#pragma once

#include "scene/render_job.h"

#include "scene/surface.h"

// A quick look at a frame before its full trace (the studio's live
// preview): the camera ray of every `step`-th position of every `step`-th
// row of the full-size picture, each shown as a step x step block. The
// positions are those of the full picture, so the blocks stand where their
// pixels will; they are the own samples, without supersampling. Runs on
// resolved_thread_count(job) threads; the scene's search structures must
// be ready (prepare_acceleration). False when the job was abandoned first.
// `keep`, when given, receives the pass's own samples, for the passes that
// follow (through RenderJob::traced); it holds them only when the pass ends
// complete.
bool trace_coarse_pass(const RenderJob& job, Surface& surface, int step,
                       TracedSamples* keep = nullptr);
