#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "language/parse_entry.h"
#include "scene/scene.h"

// The parse entry alone: no host, no controller, no thread.
namespace {

const char* const Sized =
    "TRACER WIDTH 100 HEIGHT 50 END_TRACER SCENE SPHERE } BACKGROUND_COLOR TIME 0 0 END_SCENE";
const char* const Animated =
    "ANIMATION START_TIME 2 END_TIME 4 FRAMES 2 END_ANIMATION "
    "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE";
const char* const Broken = "TRACER WIDTH 640\n  BOGUS\nEND_TRACER";

struct EntryCase {
    const char* what;
    const char* text;
    bool build;
    float time;
    bool first_frame;
    std::optional<int> width_over;
    std::optional<int> antialiasing_over;
    std::optional<float> time_over;
    // The error box's text; null when the text parses to a frame of this
    // size, these extra samples and shapes, read at this TIME.
    const char* error;
    int width, height, antialiasing, shapes;
    float parsed_time;
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.what; }

class ParseEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(ParseEntry, ReturnsTheFrameOrTheErrorRecord) {
    const EntryCase& c = GetParam();
    ParseSettings settings;
    settings.build_scene = c.build;
    settings.time = c.time;
    settings.first_frame = c.first_frame;
    settings.overrides.width = c.width_over;
    settings.overrides.antialiasing = c.antialiasing_over;
    settings.overrides.time = c.time_over;
    const ParsedFrame parsed = parse_frame_text(c.text, settings);
    if (c.error != nullptr) {
        ASSERT_FALSE(parsed);
        EXPECT_EQ(parse_error_text(parsed.error), c.error);
        EXPECT_EQ(parsed.error.selection_start, 19);
        EXPECT_EQ(parsed.error.selection_end, 24);
        return;
    }
    ASSERT_TRUE(parsed) << parse_error_text(parsed.error);
    const ParseContext& frame = *parsed.frame;
    EXPECT_EQ(frame.width, c.width);
    EXPECT_EQ(frame.height, c.height);
    EXPECT_EQ(frame.job.antialiasing, c.antialiasing);
    EXPECT_EQ(frame.time, c.parsed_time);
    if (!c.build) {
        EXPECT_EQ(frame.scene, nullptr);
        return;
    }
    ASSERT_NE(frame.scene, nullptr);
    EXPECT_EQ(frame.job.scene, frame.scene.get());
    EXPECT_EQ(frame.scene->background_color.x, c.parsed_time);
    int shapes = 0;
    for (const CShape* s = frame.scene->shapes.head; s != nullptr; s = nextOf(s))
        ++shapes;
    EXPECT_EQ(shapes, c.shapes);
}

const char* const BrokenText =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT at char 25 "
    "found: BOGUS";

INSTANTIATE_TEST_SUITE_P(
    Table, ParseEntry,
    ::testing::Values(EntryCase{"a good text gives its scene",
                                Sized,
                                true,
                                0,
                                true,
                                {},
                                {},
                                {},
                                nullptr,
                                100,
                                50,
                                0,
                                1,
                                0.0f},
                      EntryCase{"the overrides go over the TRACER block",
                                Sized,
                                true,
                                0,
                                true,
                                64,
                                3,
                                {},
                                nullptr,
                                64,
                                50,
                                3,
                                1,
                                0.0f},
                      EntryCase{"a check builds nothing and overrides nothing",
                                Sized,
                                false,
                                0,
                                true,
                                64,
                                3,
                                {},
                                nullptr,
                                320,
                                240,
                                0,
                                0,
                                0.0f},
                      EntryCase{"the first frame is read again at START_TIME",
                                Animated,
                                true,
                                0,
                                true,
                                {},
                                {},
                                {},
                                nullptr,
                                320,
                                240,
                                0,
                                0,
                                2.0f},
                      EntryCase{"a later frame is read at its own TIME",
                                Animated,
                                true,
                                3,
                                false,
                                {},
                                {},
                                {},
                                nullptr,
                                320,
                                240,
                                0,
                                0,
                                3.0f},
                      EntryCase{"the overridden TIME is the moment, first frame or not",
                                Animated,
                                true,
                                0,
                                true,
                                {},
                                {},
                                1.5f,
                                nullptr,
                                320,
                                240,
                                0,
                                0,
                                1.5f},
                      EntryCase{"an error comes back as the record",
                                Broken,
                                true,
                                0,
                                true,
                                {},
                                {},
                                {},
                                BrokenText,
                                0,
                                0,
                                0,
                                0,
                                0.0f},
                      EntryCase{"an error of a check comes back as the record",
                                Broken,
                                false,
                                0,
                                true,
                                {},
                                {},
                                {},
                                BrokenText,
                                0,
                                0,
                                0,
                                0,
                                0.0f}));

}  // namespace
