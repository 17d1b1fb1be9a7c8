#include "glimmark/about.h"

#include "language/text_buffer.h"
#include "run/version.h"

namespace glimmark {

static_assert(max_scene_characters == MaxSceneCharacters);

const char* version() { return GlimmarkVersion; }

const char* version_major_minor() { return GlimmarkVersionMajorMinor; }

std::string built_with() { return built_with_libraries(); }

}  // namespace glimmark
