#pragma once

#include "language/parse_context.h"

// What one parse may create. Loops multiply what their bodies make, so that a
// document of a few lines could otherwise ask for more memory than any
// machine has; past a limit the parse stops with an error instead.
//
// Shapes of every kind count, triangles and CSG and bounding shapes included
// (the largest, a SOR, takes under 500 bytes).
constexpr long long MaxSceneShapes = 4194304;
// Every light is visited at every shaded point.
constexpr long long MaxSceneLights = 65536;
// Materials and interpolation tables.
constexpr long long MaxSceneRecords = 2097152;
// DEFINE blocks a parse reads (a DEFINE inside a loop counts at every pass).
constexpr long long MaxSceneTexts = 1048576;
// Texels of all textures together, 12 bytes each.
constexpr long long MaxSceneTexels = 1LL << 26;

// Triangles of model files (MESH FILE) are bounded by the machine's memory
// instead (model_triangle_limit(), scene/model_file.h); they are no shapes of
// the count above.

// The limits above, as a parse starts with them.
SceneBudget scene_limits();

// Each takes one more from the parse's allowance; false, after reporting the
// parse error, when the allowance is spent and nothing may be created.
bool budget_shape(ParseContext& pc);
bool budget_light(ParseContext& pc);
bool budget_record(ParseContext& pc);
bool budget_text(ParseContext& pc);
// The texels still allowed to the next texture.
long long texels_left(const ParseContext& pc);
void spend_texels(ParseContext& pc, long long texels);
// Reports that a texture would pass the texels allowed.
void report_texels_spent(ParseContext& pc);
