#pragma once

#include <memory>
#include <optional>
#include <string>

#include "glimmark/engine.h"
#include "language/source_ranges.h"
#include "scene/parse_error.h"
#include "scene/render_job.h"

// What a parse read of its frame and the animation around it.
struct ParsedFacts {
    int width = 0;
    int height = 0;
    int frame_index = 0;
    float time = 0.0f;
    glimmark::Animation animation;
};

// One parse of a document for the embedding interface, frame by frame as a
// render parses it, and the frame it leaves ready to be traced. The engine
// reads the parse's state here and nowhere else.
class EngineParse {
  public:
    EngineParse();
    ~EngineParse();
    EngineParse(const EngineParse&) = delete;
    EngineParse& operator=(const EngineParse&) = delete;

    // Parses `text`, which must stay while this object does: a building
    // parse up to the frame the settings name (with every shape's block
    // recorded), or a check-only parse. Once per object.
    void run(const char* text, const glimmark::Settings& settings, bool build);

    const std::optional<ParseError>& error() const;
    // Why a building parse without error left no frame; empty otherwise.
    const std::string& refusal() const;
    // The frame to trace, its surface sized to it; null when there is none.
    RenderJob* job();
    const SourceRanges& ranges() const;
    const ParsedFacts& facts() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};
