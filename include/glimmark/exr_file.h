#pragma once

// Writing a traced picture and its passes as one multi-layer OpenEXR file,
// channels named as compositors read them: R G B (32-bit float) from the
// linear colour, or from the bytes when it was not traced; Z, the depth;
// N.X N.Y N.Z, the normal; object, an ID channel (32-bit unsigned) holding
// the object's number plus one, 0 where no shape is hit.

#include <string>

#include "glimmark/engine.h"

namespace glimmark {

// Whether this build writes OpenEXR files (it may have been made without the
// library).
bool exr_supported();

// Whether the file name ends in .exr (any case).
bool is_exr_name(const std::string& path);

// Writes the picture with every pass it holds. On failure `error` names the
// file and the reason, and no partial file is left behind.
bool write_exr(const std::string& path, const Picture& picture, std::string& error);

}  // namespace glimmark
