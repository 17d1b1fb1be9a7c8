#pragma once

#include <string>

#include "cli/arguments.h"
#include "cli/trace_options.h"

// render with --pass, or to an .exr picture: whether this command line asks
// for it.
bool wants_exr_render(const ParsedArguments& parsed);

// Traces the scene's frames with the passes --pass names and writes each as
// one OpenEXR file; returns the exit status.
int run_exr_render(const ParsedArguments& parsed, const TraceOptions& options,
                   const std::string& scene);
