#include "glimmark/about.h"

#include "language/text_buffer.h"
#include "run/version.h"
#include "scene/render_job.h"

namespace glimmark {

static_assert(max_scene_characters == MaxSceneCharacters);
static_assert(max_image_side == MaxImageSide && max_antialiasing == MaxAntialiasing &&
              max_trace_depth == MaxTraceDepth);

const char* version() { return GlimmarkVersion; }

const char* version_major_minor() { return GlimmarkVersionMajorMinor; }

std::string built_with() { return built_with_libraries(); }

}  // namespace glimmark
