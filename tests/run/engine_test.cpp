#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "glimmark/engine.h"
#include "tests/cli/cli_process_support.h"

namespace {

const std::string kSceneMessage =
    "Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE";

// What `glimmark check` prints for these texts (tests/cli/check_process_test.cpp).
struct CheckCase {
    const char* name;
    const char* text;
    const char* included;  // inc.gmk, when the text includes it
    std::string box;
    int line, column, start, end;
    std::string include_file;
    int include_line;
};

class EngineCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(EngineCheck, GivesTheCommandsDiagnostic) {
    const CheckCase& c = GetParam();
    TempFolder dir;
    if (c.included != nullptr) dir.write("inc.gmk", c.included);
    glimmark::Settings settings;
    settings.folder = dir.path().string();
    const std::vector<glimmark::Diagnostic> found = glimmark::check(c.text, settings);
    ASSERT_EQ(found.size(), 1u);
    const glimmark::Diagnostic& d = found[0];
    EXPECT_EQ(d.text, c.box);
    EXPECT_EQ(d.text.substr(0, d.message.size() + 9), d.message + " at char ");
    EXPECT_EQ(std::vector<int>({d.line, d.column, d.start, d.end}),
              std::vector<int>({c.line, c.column, c.start, c.end}));
    // The file as it was opened, in the settings' folder.
    EXPECT_EQ(d.include_file, c.included == nullptr ? "" : dir.file(c.include_file));
    EXPECT_EQ(d.include_line, c.include_line);
    // A render meets the same error.
    glimmark::Parsed parsed = glimmark::parse(c.text, settings);
    EXPECT_FALSE(parsed.frame);
    ASSERT_TRUE(parsed.error);
    EXPECT_EQ(parsed.error->text, c.box);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineCheck,
    ::testing::Values(
        CheckCase{"bad_tracer_word", "TRACER SCENE\n", nullptr,
                  "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or "
                  "HEIGHT at char 13 found: SCENE",
                  1, 8, 7, 12, "", 0},
        CheckCase{"fourth_line", "; comment\nTRACER\n  WIDTH 10\n  BOGUS 3\nEND_TRACER\n", nullptr,
                  "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or "
                  "HEIGHT at char 36 found: BOGUS",
                  4, 3, 30, 35, "", 0},
        CheckCase{"in_included_file", "SCENE\n INCLUDE FILE \"inc.gmk\" END_INCLUDE\nEND_SCENE\n",
                  "SPHERE END_SPHERE\n; a comment\n  BAD\n",
                  kSceneMessage + " at char 42 found: BAD", 2, 25, 30, 41, "inc.gmk", 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineCheck, GoodTextHasNoDiagnostic) {
    EXPECT_TRUE(glimmark::check("TRACER WIDTH 640 END_TRACER\nSCENE END_SCENE\n").empty());
}

const std::string kBall =
    "TRACER WIDTH 48 HEIGHT 36 ANTIALIASING 2 END_TRACER\n"
    "ANIMATION START_TIME 1 END_TIME 3 FRAMES 8 FRAMES_PER_SECOND 12 OUTPUT_FILE \"a.avi\" "
    "END_ANIMATION\n"
    "SCENE BACKGROUND_COLOR 0.2 0.3 MUL 0.1 TIME\n"
    "  CAMERA TRANSLATE 0 0 -5 LOOK_AT 0 0 0 END_CAMERA\n"
    "  LIGHT TRANSLATE 4 8 -6 STRENGTH 40 END_LIGHT\n"
    "  UNION SPHERE TRANSLATE 0 0 -3 END_SPHERE\n"
    "    SPHERE TRANSLATE MUL 0.3 TIME 0 0 END_SPHERE END_UNION\n"
    "END_SCENE\n";

// The RGB bytes of a binary PPM file.
std::string ppm_pixels(const std::string& file) {
    size_t at = 0;
    for (int fields = 0; fields < 4; ++fields) {
        at = file.find_first_not_of(" \n", at);
        at = file.find_first_of(" \n", at);
    }
    return at == std::string::npos ? std::string() : file.substr(at + 1);
}

glimmark::Settings settings_of(int threads, int frame, std::optional<float> time = {},
                               std::optional<int> width = {}, std::optional<int> height = {}) {
    glimmark::Settings s;
    s.threads = threads;
    s.frame = frame;
    s.time = time;
    s.width = width;
    s.height = height;
    return s;
}

// A picture traced here against the one `glimmark render OPTIONS` writes.
struct PictureCase {
    const char* name;
    std::vector<std::string> options;
    const char* written;
    int threads, frame;
    std::optional<float> time = {};
    std::optional<int> width = {};
};

class EnginePicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(EnginePicture, IsTheRenderCommandsPicture) {
    const PictureCase& c = GetParam();
    TempFolder dir;
    dir.write("ball.gmk", kBall);
    std::vector<std::string> args = {"render", "ball.gmk", "-o", "out.ppm"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(run_glimmark(args, dir).status, 0);
    const std::string want = ppm_pixels(slurp(dir.file(c.written)));
    std::vector<std::pair<int, int>> progress;
    const glimmark::Picture picture =
        glimmark::trace(kBall, settings_of(c.threads, c.frame, c.time, c.width),
                        {[&](int done, int total) { progress.emplace_back(done, total); }});
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(std::string(picture.rgb.begin(), picture.rgb.end()), want);
    EXPECT_EQ(static_cast<size_t>(picture.width) * picture.height * 3, want.size());
    EXPECT_FALSE(picture.stopped);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(picture.height, picture.height));
    // Every pass asked for too: the same bytes.
    glimmark::TraceControl passes;
    passes.passes = {true, true, true, true};
    const glimmark::Picture with_passes =
        glimmark::trace(kBall, settings_of(c.threads, c.frame, c.time, c.width), passes);
    EXPECT_EQ(std::string(with_passes.rgb.begin(), with_passes.rgb.end()), want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnginePicture,
    ::testing::Values(
        PictureCase{"first_frame_one_thread", {"--frames", "0-0", "-j", "1"}, "out_0000.ppm", 1, 0},
        PictureCase{"third_frame_all_cores", {"--frames", "2-2"}, "out_0002.ppm", 0, 2},
        PictureCase{"one_moment_wider", {"--time", "2.5", "-W", "60"}, "out.ppm", 2, 0, 2.5f, 60}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineTrace, StopFromTheProgressEndsEarly) {
    std::atomic<bool> stop{false};
    int last_done = -1;
    auto progress = [&](int done, int) {
        last_done = done;
        if (done > 0) stop.store(true);
    };
    const glimmark::Picture picture =
        glimmark::trace(kBall, settings_of(0, 0, {}, 1200, 900), {progress, &stop});
    EXPECT_TRUE(picture.stopped);
    EXPECT_LT(last_done, 900);
    ASSERT_EQ(picture.rgb.size(), 1200u * 900u * 3u);
    EXPECT_NE(picture.rgb[0], 0);
    EXPECT_EQ(picture.rgb.back(), 0);
}

TEST(EngineFrames, ListsTheAnimation) {
    glimmark::Settings settings;
    settings.frame = 3;
    glimmark::Parsed parsed = glimmark::parse(kBall, settings);
    ASSERT_TRUE(parsed.frame) << parsed.refusal;
    const glimmark::Animation a = parsed.frame->animation();
    EXPECT_TRUE(a.animated);
    EXPECT_EQ(std::vector<int>({a.frames, a.frames_per_second}), std::vector<int>({8, 12}));
    EXPECT_EQ(std::vector<float>({a.start_time, a.end_time, a.time_of(0), a.time_of(3)}),
              std::vector<float>({1.0f, 3.0f, 1.0f, 1.75f}));
    EXPECT_EQ(a.output_file, "a.avi");
    EXPECT_EQ(parsed.frame->index(), 3);
    EXPECT_EQ(parsed.frame->time(), 1.75f);
    const auto traced = [](const glimmark::Frame& f) {
        return std::vector<int>({f.width(), f.height(), f.antialiasing()});
    };
    EXPECT_EQ(traced(*parsed.frame), std::vector<int>({48, 36, 2}));
    // The settings' values, the antialiasing as a trace caps it.
    settings.width = 10;
    settings.antialiasing = 5000;
    EXPECT_EQ(traced(*glimmark::parse(kBall, settings).frame), std::vector<int>({10, 36, 1024}));
    settings.frame = 8;
    parsed = glimmark::parse(kBall, settings);
    EXPECT_FALSE(parsed.frame);
    EXPECT_FALSE(parsed.error);
    EXPECT_EQ(parsed.refusal, "The scene has 8 frames (0 to 7); frame 8 is none of them.");
}

TEST(EnginePick, FindsTheBlockBehindAPixel) {
    const std::string text(kBall);
    const size_t union_at = text.find("UNION"), inner = text.find("SPHERE", union_at);
    // Frame 0 is parsed at TIME 0 and again at START_TIME; the blocks are
    // those of the second parse.
    for (int frame : {0, 5}) {
        glimmark::Parsed parsed = glimmark::parse(text, settings_of(0, frame));
        ASSERT_TRUE(parsed.frame);
        const auto outer = parsed.frame->pick(24, 18);
        ASSERT_TRUE(outer);
        EXPECT_EQ(std::make_pair(outer->start, outer->end),
                  std::make_pair(int(union_at), int(text.find("END_UNION") + 9)));
        const auto hit = parsed.frame->pick(24, 18, true);
        ASSERT_TRUE(hit);
        EXPECT_EQ(hit->kind, "SPHERE");
        EXPECT_EQ(std::make_pair(hit->start, hit->end),
                  std::make_pair(int(inner), int(text.find("END_SPHERE", inner) + 10)));
        EXPECT_FALSE(parsed.frame->pick(0, 0));
        EXPECT_FALSE(parsed.frame->pick(48, 10));
    }
}

// The object pass numbers the block pick() finds behind each pixel; depth
// and normal are there exactly where a shape is; the bytes are the linear
// colour made bytes.
TEST(EnginePasses, AgreeWithThePickAndThePicture) {
    glimmark::Parsed parsed = glimmark::parse(kBall, settings_of(2, 5));
    ASSERT_TRUE(parsed.frame);
    glimmark::Frame& frame = *parsed.frame;
    glimmark::TraceControl control;
    control.passes = {true, true, true, true};
    const glimmark::Picture p = frame.trace(control);
    ASSERT_EQ(frame.objects().size(), 1u);
    EXPECT_EQ(frame.objects()[0].kind, "UNION");
    int hits = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const size_t i = static_cast<size_t>(y) * p.width + x;
            const auto pick = frame.pick(x, y);
            ASSERT_EQ(p.object[i], pick ? 0 : -1) << x << "," << y;
            if (pick) {
                ++hits;
                EXPECT_EQ(std::make_pair(pick->start, pick->end),
                          std::make_pair(frame.objects()[0].start, frame.objects()[0].end));
                const float* n = &p.normal[3 * i];
                EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-4f);
                EXPECT_GT(p.depth[i], 0.0f);
            } else {
                EXPECT_TRUE(std::isinf(p.depth[i]));
            }
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(p.rgb[3 * i + c], static_cast<int>(p.linear[3 * i + c] * 255.0f) & 0xFF);
        }
    EXPECT_GT(hits, 100);
}

}  // namespace
