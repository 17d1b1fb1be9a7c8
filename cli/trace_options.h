#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "glimmark/engine.h"

class SceneSession;

// What -W, -H, -A, --max-depth and --time put over the TRACER block and the
// frame's TIME.
struct PictureOverrides {
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> antialiasing;
    std::optional<int> max_depth;
    std::optional<float> time;
};

// The options render and record share: what they put over the document's
// TRACER block, which frames and rows they trace, threads, progress and
// whether files are replaced.
struct TraceOptions {
    PictureOverrides overrides;
    int threads = 0;
    int first_frame = 0;
    int last_frame = -1;
    int first_row = 0;
    int last_row = -1;
    bool has_rows = false;
    bool quiet = false;
    // --progress: a file, or "-" for standard error; empty for none.
    std::string progress;
    // --progress-interval: seconds between its records.
    double progress_interval = 1.0;
    bool force = false;
    bool no_overwrite = false;
};

// The specs of the shared options; `render` adds the ones only render has.
std::vector<OptionSpec> trace_option_specs(bool render);

// Reads the shared options from a parsed command line. False after a usage
// error has been reported for `command`.
bool read_trace_options(const char* command, const ParsedArguments& parsed, TraceOptions& out);

// The engine's settings from the options' overrides, for a scene whose
// INCLUDE files are looked for in `folder`. Threads are left to the caller.
glimmark::Settings settings_of(const TraceOptions& options, const std::string& folder);

// "A-B", "A-" (to the end: last -1) or "A", counted from 0.
bool parse_range(const std::string& text, int& first, int& last);

// Hands the options to a session before it runs: the overrides, the frame
// range, the band of rows, threads and progress. False (with the reason
// reported) when the progress file cannot be opened.
bool apply_trace_options(const char* command, const TraceOptions& options, SceneSession& session);

// The option lines of --help that both commands show.
extern const char* const TraceOptionsHelp;
