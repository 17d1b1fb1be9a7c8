#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "language/parse_entry.h"
#include "scene/scene.h"

// The parse entry alone: no host, no controller, no thread.
namespace {

// What a parse gave: the error box's text and the selection, or the frame's
// size, extra samples, shapes, TIME and background red (set from TIME).
std::string outcome(const ParsedFrame& parsed) {
    if (!parsed)
        return parse_error_text(parsed.error) + " [" +
               std::to_string(parsed.error.selection_start) + "," +
               std::to_string(parsed.error.selection_end) + ")";
    const ParseContext& f = *parsed.frame;
    std::string text = std::to_string(f.width) + "x" + std::to_string(f.height) + " aa " +
                       std::to_string(f.job.antialiasing) + " TIME " + std::to_string(f.time);
    if (!f.scene) return text + " no scene";
    if (f.job.scene != f.scene.get()) return text + " a job without its scene";
    int shapes = 0;
    for (const CShape* s = f.scene->shapes.head; s != nullptr; s = nextOf(s))
        ++shapes;
    return text + " shapes " + std::to_string(shapes) + " red " +
           std::to_string(f.scene->background_color.x);
}

ParseSettings settings(bool build, float time, bool first_frame, TracerOverrides overrides = {}) {
    ParseSettings s;
    s.build_scene = build;
    s.time = time;
    s.first_frame = first_frame;
    s.overrides = overrides;
    return s;
}

TEST(ParseEntry, ReturnsTheFrameOrTheErrorRecord) {
    const std::string sized =
        "TRACER WIDTH 100 HEIGHT 50 END_TRACER SCENE SPHERE } BACKGROUND_COLOR TIME 0 0 END_SCENE";
    const std::string animated =
        "ANIMATION START_TIME 2 END_TIME 4 FRAMES 2 END_ANIMATION "
        "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE";
    const std::string broken = "TRACER WIDTH 640\n  BOGUS\nEND_TRACER";
    const std::string bad_tracer =
        "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT at char "
        "25 found: BOGUS [19,24)";
    TracerOverrides over;
    over.width = 64;
    over.antialiasing = 3;
    TracerOverrides moment;
    moment.time = 1.5f;
    struct Case {
        const std::string& text;
        ParseSettings settings;
        std::string expected;
    };
    const Case cases[] = {
        {sized, settings(true, 0, true), "100x50 aa 0 TIME 0.000000 shapes 1 red 0.000000"},
        {sized, settings(true, 0, true, over), "64x50 aa 3 TIME 0.000000 shapes 1 red 0.000000"},
        // A check builds nothing, and no override applies.
        {sized, settings(false, 0, true, over), "320x240 aa 0 TIME 0.000000 no scene"},
        // Frame 0 is read again at START_TIME; a later frame at its own TIME.
        {animated, settings(true, 0, true), "320x240 aa 0 TIME 2.000000 shapes 0 red 2.000000"},
        {animated, settings(true, 3, false), "320x240 aa 0 TIME 3.000000 shapes 0 red 3.000000"},
        // The overridden TIME is the moment, first frame or not.
        {animated, settings(true, 0, true, moment),
         "320x240 aa 0 TIME 1.500000 shapes 0 red 1.500000"},
        // Errors come back as the record the front end shows.
        {broken, settings(true, 0, true), bad_tracer},
        {broken, settings(false, 0, true), bad_tracer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(outcome(parse_frame_text(c.text, c.settings)), c.expected);
    }
}

}  // namespace
