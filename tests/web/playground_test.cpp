#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/captured_scene.h"
#include "web/bridge/playground.h"

namespace fs = std::filesystem;

namespace {

std::string example(const std::string& name) {
    std::ifstream in(fs::path(GMK_SOURCE_DIR) / "examples" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the worker would post, kept.
struct Recorded : PlaygroundEvents {
    std::vector<std::string> messages;
    std::string error_text, error_status;
    EditorPlace place;
    int frames_started = 0, frames_done = 0, delays = 0, runs_over = 0, delay_ms = 0;
    int last_frame_rows = -1;
    bool stopped = false;
    std::string status_line;

    void message(const std::string& caption, const std::string& text) override {
        messages.push_back(caption + ": " + text);
    }
    void parse_error(const std::string& caption, const std::string& text, const std::string& status,
                     const EditorPlace& where) override {
        messages.push_back(caption + ": " + text);
        error_text = text;
        error_status = status;
        place = where;
    }
    void parsed(const std::string& caption, const std::string& text) override {
        messages.push_back(caption + ": " + text);
    }
    void frame(int, int, int, int, int) override { ++frames_started; }
    void frame_done(int, int rows) override {
        ++frames_done;
        last_frame_rows = rows;
    }
    void delay(int milliseconds) override {
        ++delays;
        delay_ms = milliseconds;
    }
    void run_over(bool was_stopped, bool, double, const std::string& status) override {
        ++runs_over;
        stopped = was_stopped;
        status_line = status;
    }
    void status(const std::string& text) override { status_line = text; }
};

struct PlaceCase {
    const char* name;
    std::string text;
    int start, end;
    EditorPlace expected;
};

class EditorPlaceTest : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(EditorPlaceTest, CountsUtf16UnitsAndLines) {
    const PlaceCase& c = GetParam();
    const EditorPlace p = editor_place(c.text, c.start, c.end);
    EXPECT_EQ(p.from, c.expected.from);
    EXPECT_EQ(p.to, c.expected.to);
    EXPECT_EQ(p.line, c.expected.line);
    EXPECT_EQ(p.column, c.expected.column);
}

// "é" is 2 bytes and 1 unit, "😀" 4 bytes and 2 units.
INSTANTIATE_TEST_SUITE_P(
    Texts, EditorPlaceTest,
    ::testing::Values(PlaceCase{"Ascii", "SCENE\nSPHERE X", 13, 14, {13, 14, 2, 8}},
                      PlaceCase{"AfterTwoByteCharacter", "; \xC3\xA9\nAB", 5, 7, {4, 6, 2, 1}},
                      PlaceCase{"AfterSurrogatePair", "\xF0\x9F\x98\x80 AB", 5, 7, {3, 5, 1, 4}},
                      PlaceCase{"InsideACharacterMeansBeforeIt", "x\xC3\xA9y", 2, 2, {1, 1, 1, 2}},
                      PlaceCase{"ClampedToTheText", "AB\nC", -4, 99, {0, 4, 1, 1}},
                      PlaceCase{"EndBeforeStart", "ABC", 2, 1, {2, 2, 1, 3}},
                      PlaceCase{"AtTheEnd", "A\n", 2, 2, {2, 2, 2, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// The bridge traces a few rows per call and carries the colour the
// supersampling compares with from call to call: its picture is the plain
// loop's whatever the batch.
class RowByRowTest : public ::testing::TestWithParam<int> {};

TEST_P(RowByRowTest, GivesThePlainLoopsPicture) {
    for (const char* name : {"mirrors_and_glass.gmk", "csg.gmk"}) {
        const std::string text = example(name);
        CapturedScene captured;
        ASSERT_TRUE(captured.load(text, "")) << captured.error();
        const std::vector<uint32_t> reference = captured.trace(96, 72, 1, true);

        Recorded events;
        Playground playground(events);
        playground.overrides().width = 96;
        playground.overrides().height = 72;
        playground.play(text);
        int calls = 0;
        while (playground.frame_pending()) {
            playground.trace_rows(GetParam());
            ++calls;
        }
        EXPECT_EQ(calls, (72 + GetParam() - 1) / GetParam());
        EXPECT_EQ(events.frames_done, 1);
        EXPECT_EQ(events.last_frame_rows, 72);
        EXPECT_FALSE(events.stopped);
        EXPECT_EQ(events.status_line.rfind("Done in ", 0), 0u) << events.status_line;
        size_t differing = 0;
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x)
                differing += playground.picture().pixel(x, y) != reference[y * 98 + x];
        EXPECT_EQ(differing, 0u) << name;
        EXPECT_EQ(playground.rgba_rows(71, 72).size(), 96u * 4);
        EXPECT_EQ(playground.rgba_rows(71, 72)[3], 255);
    }
}

INSTANTIATE_TEST_SUITE_P(RowsPerCall, RowByRowTest, ::testing::Values(1, 5, 1000));

// Band k of 3 traces only its rows, each as the whole picture has it (the
// supersampling's chain taken up mid-picture); the rows around stay black.
TEST(Playground, ABandTracesOnlyItsRowsAsTheWholePictureHasThem) {
    const std::string text = example("mirrors_and_glass.gmk");
    CapturedScene captured;
    ASSERT_TRUE(captured.load(text, "")) << captured.error();
    const std::vector<uint32_t> reference = captured.trace(96, 70, 1, true);
    for (int band = 0; band < 3; ++band) {
        Recorded events;
        Playground playground(events);
        playground.overrides().width = 96;
        playground.overrides().height = 70;
        playground.set_band(band, 3);
        playground.play(text);
        int calls = 0;
        for (; playground.frame_pending() && calls < 100; ++calls)
            playground.trace_rows(1);
        const int begin = 70 * band / 3, end = 70 * (band + 1) / 3;
        EXPECT_EQ(playground.band_begin(), begin);
        EXPECT_EQ(playground.band_end(), end);
        EXPECT_EQ(calls, end - begin);
        // Only the band's rows take memory.
        EXPECT_EQ(playground.picture().first_row(), begin);
        EXPECT_EQ(playground.picture().end_row(), end);
        EXPECT_EQ(events.last_frame_rows, end);
        size_t differing = 0;
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 96; ++x)
                differing += playground.picture().pixel(x, y) !=
                             (y >= begin && y < end ? reference[y * 98 + x] : 0u);
        EXPECT_EQ(differing, 0u) << "band " << band;
    }
}

TEST(Playground, StopEndsTheFrameAfterItsRowAndTheRun) {
    Recorded events;
    Playground playground(events);
    playground.overrides().width = 40;
    playground.overrides().height = 30;
    playground.play(example("bounce.gmk"));
    EXPECT_EQ(playground.trace_rows(3), 3);
    playground.stop();
    EXPECT_FALSE(playground.frame_pending());
    EXPECT_FALSE(playground.running());
    EXPECT_EQ(events.last_frame_rows, 3);
    EXPECT_EQ(events.frames_started, 1);
    EXPECT_TRUE(events.stopped);
    EXPECT_EQ(events.status_line, "Stopped");
    EXPECT_EQ(playground.picture().pixel(20, 10), 0u);  // never traced: black
}

TEST(Playground, AnAnimationWaitsForEachFrameAndStopEndsTheWait) {
    Recorded events;
    Playground playground(events);
    playground.overrides().width = 8;
    playground.overrides().height = 6;
    playground.play(example("bounce.gmk"));
    playground.trace_rows(6);
    EXPECT_EQ(events.frames_done, 1);
    // FRAMES_PER_SECOND 8: the second frame waits its turn, and asks again
    // when it is called too soon.
    EXPECT_EQ(events.delays, 1);
    EXPECT_GT(events.delay_ms, 0);
    EXPECT_LE(events.delay_ms, 125);
    EXPECT_FALSE(playground.frame_pending());
    std::this_thread::sleep_for(std::chrono::milliseconds(events.delay_ms));
    playground.next_frame_due();
    ASSERT_TRUE(playground.frame_pending()) << events.delays << " delays";
    playground.trace_rows(6);
    EXPECT_EQ(events.delays, 2);
    playground.stop();
    EXPECT_FALSE(playground.running());
    EXPECT_EQ(events.frames_started, 2);
    EXPECT_EQ(events.runs_over, 1);
    EXPECT_TRUE(events.stopped);
}

TEST(Playground, ParseSaysWhatTheStudioSays) {
    Recorded events;
    Playground playground(events);
    playground.parse(example("first_sphere.gmk"));
    ASSERT_EQ(events.messages.size(), 1u);
    EXPECT_EQ(events.messages[0], "Parse: Parsed OK!");

    playground.parse("SCENE\n  \xC3\xA9 END_SCENE\n");
    ASSERT_EQ(events.messages.size(), 2u);
    EXPECT_EQ(events.messages[1].rfind("Parse Error: ", 0), 0u);
    EXPECT_NE(events.error_text.find("\n\nLine 2, Col 3"), std::string::npos) << events.error_text;
    EXPECT_EQ(events.error_status.rfind("Parse Error at Line 2, Col 3: ", 0), 0u)
        << events.error_status;
    EXPECT_EQ(events.place.from, 8);
    EXPECT_EQ(events.place.to, 9);
    EXPECT_EQ(events.runs_over, 0);  // a parse is no Play run
}

}  // namespace
