#pragma once

#include <string>

#include "glimmark/engine.h"
#include "scene/parse_error.h"

// A parse error as the embedding interface reports it; line and column
// count bytes of `text` up to the error's start, as SCENE:LINE:COL does.
glimmark::Diagnostic diagnostic_of(const ParseError& error, const std::string& text);
