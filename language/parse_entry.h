#pragma once

#include <memory>
#include <optional>
#include <string>

#include "language/parse_context.h"
#include "scene/parse_error.h"

// Settings a front end puts over the document's TRACER block (the command
// line's options), applied after every building parse.
struct TracerOverrides {
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> antialiasing;
    std::optional<int> max_depth;
    // One moment of the animation: the document is parsed at this TIME and
    // traced once.
    std::optional<float> time;
};

// What a parse of one frame is told beside the text.
struct ParseSettings {
    // The TIME the text is read at, unless overrides.time names the moment.
    float time = 0.0f;
    // The first frame of a run: a building parse that reads an ANIMATION
    // block whose START_TIME is another time reads the text again at
    // START_TIME, the moment frame 0 is meant to be seen at (not when
    // overrides.time names the moment).
    bool first_frame = true;
    TracerOverrides overrides;
    // False: the text is only checked; nothing is built and no override
    // applies.
    bool build_scene = true;
    // Folder of the scene file, for relative INCLUDE FILE and TEXTURE_FILE
    // names; empty for text that has no file (the current folder).
    std::string source_folder;
    // When set, where each shape's block stands in the text is recorded here
    // (source_ranges.h); the text must outlive what it records.
    SourceRanges* source_ranges = nullptr;
    // A Stop ends the parse (parse_frame_into's state only).
    bool stoppable = false;
};

// What parse_frame_text gives: the frame ready to trace, or why there is none.
struct ParsedFrame {
    // The scene and its job (picture size and position not yet copied into
    // it), what the TRACER and ANIMATION blocks said with the overrides put
    // over them, and the records the shapes point into; null when the parse
    // failed.
    std::unique_ptr<ParseContext> frame;
    // The first error of the parse, when frame is null.
    ParseError error;

    explicit operator bool() const { return frame != nullptr; }
};

// Parses `text` as one frame of a run. Shows nothing and asks nothing: an
// error is returned, for the front end to show.
ParsedFrame parse_frame_text(const std::string& text, const ParseSettings& settings);

// The same parse into a state kept from frame to frame (the trace
// controller's): what the state built before is freed first; the job's host
// choices (threads, search, band of rows), the limits and the ANIMATION
// values the last parse read stay. False on an error, which is left in
// state.parse_error_record.
bool parse_frame_into(ParseContext& state, const char* text, const ParseSettings& settings);
