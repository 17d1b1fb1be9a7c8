#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli_process_support.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

namespace fs = std::filesystem;

// 0.25, 0.5 and 0.75 times 255, truncated.
const unsigned char kBackground[3] = {63, 127, 191};
const std::string kBackgroundScene =
    "TRACER WIDTH 8 HEIGHT 6 END_TRACER\n"
    "SCENE BACKGROUND_COLOR 0.25 0.5 0.75 END_SCENE\n";

bool all_pixels_are(const PpmImage& im, const unsigned char rgb[3]) {
    for (size_t i = 0; i < im.rgb.size(); i += 3)
        if (im.rgb[i] != rgb[0] || im.rgb[i + 1] != rgb[1] || im.rgb[i + 2] != rgb[2]) return false;
    return true;
}

TEST(RenderCommand, BackgroundFillsAPpmOfTheDocumentSize) {
    TempFolder dir("render_ppm");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    const ProcessResult r = run_glimmark({"render", "bg.gmk", "-o", "bg.ppm"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "bg.ppm\n");
    const PpmImage im = read_ppm(dir.file("bg.ppm"));
    ASSERT_TRUE(im.ok());
    EXPECT_EQ(im.width, 8);
    EXPECT_EQ(im.height, 6);
    EXPECT_TRUE(all_pixels_are(im, kBackground));
}

TEST(RenderCommand, PngHoldsTheSameBytes) {
    TempFolder dir("render_png");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    const ProcessResult r = run_glimmark({"render", "bg.gmk", "--output=bg.PNG"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    int w = 0, h = 0, n = 0;
    unsigned char* px = stbi_load(dir.file("bg.PNG").c_str(), &w, &h, &n, 3);
    ASSERT_NE(px, nullptr);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 6);
    PpmImage im{w, h, std::vector<unsigned char>(px, px + w * h * 3)};
    stbi_image_free(px);
    EXPECT_TRUE(all_pixels_are(im, kBackground));
}

TEST(RenderCommand, DefaultPictureSitsBesideTheScene) {
    TempFolder dir("render_default");
    fs::create_directories(dir.file("scenes"));
    write_text(dir.file("scenes/bg.gmk"), kBackgroundScene);
    const ProcessResult r = run_glimmark({"render", "scenes/bg.gmk", "-q"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "scenes/bg.png\n");
    EXPECT_TRUE(fs::exists(dir.file("scenes/bg.png")));
}

// "-o $OUT" with OUT unset must not fall back to the default picture.
TEST(RenderCommand, EmptyOutputNameIsAUsageErrorAndWritesNothing) {
    TempFolder dir("render_empty_out");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"render", "bg.gmk", "-o", ""},
          std::vector<std::string>{"render", "bg.gmk", "--output="}}) {
        const ProcessResult r = run_glimmark(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err,
                  "glimmark render: option '--output' needs a value\nTry 'glimmark --help'.\n");
        EXPECT_FALSE(fs::exists(dir.file("bg.png")));
    }
}

// The default name is taken as it is: a percent sign of the scene's name is
// no frame number.
TEST(RenderCommand, PercentSignsOfTheSceneNameStayInTheDefaultPicture) {
    TempFolder dir("render_percent");
    for (const std::string name : {"50%", "100%d", "x%%"}) {
        write_text(dir.file(name + ".gmk"), kBackgroundScene);
        const ProcessResult r = run_glimmark({"render", name + ".gmk", "-q"}, dir);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(r.out, name + ".png\n");
        EXPECT_TRUE(fs::exists(dir.file(name + ".png"))) << name;
    }
}

TEST(RenderCommand, APictureNeverReplacesItsOwnScene) {
    TempFolder dir("render_over_scene");
    write_text(dir.file("scene.png"), kBackgroundScene);
    const ProcessResult r = run_glimmark({"render", "scene.png", "-q"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "Glimmark Error: The picture 'scene.png' would replace the scene file; name it with "
              "-o\n");
    std::ifstream in(dir.file("scene.png"), std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, kBackgroundScene);
}

TEST(RenderCommand, StandardInputNeedsAnOutputName) {
    TempFolder dir("render_stdin");
    ProcessResult r = run_glimmark({"render", "-"}, dir, kBackgroundScene);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("needs -o OUT"), std::string::npos) << r.err;
    r = run_glimmark({"render", "-", "-o", "in.ppm"}, dir, kBackgroundScene);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(all_pixels_are(read_ppm(dir.file("in.ppm")), kBackground));
}

// No lights: the sphere shows DIFFUSE times AMBIENCE.
TEST(RenderCommand, AmbientOnlySphereIsItsDiffuseColourTimesAmbience) {
    TempFolder dir("render_ambient");
    write_text(dir.file("s.gmk"),
               "TRACER WIDTH 21 HEIGHT 21 END_TRACER\n"
               "SCENE AMBIENCE 0.5 BACKGROUND_COLOR 0 0 0\n"
               "  MATERIAL DIFFUSE 1 0.5 0.25 END_MATERIAL\n"
               "  SPHERE TRANSLATE 0 0 5 END_SPHERE\n"
               "END_SCENE\n");
    ASSERT_EQ(run_glimmark({"render", "s.gmk", "-o", "s.ppm"}, dir).status, 0);
    const PpmImage im = read_ppm(dir.file("s.ppm"));
    ASSERT_TRUE(im.ok());
    // 0.5, 0.25 and 0.125 times 255, truncated.
    EXPECT_EQ(im.at(10, 10)[0], 127);
    EXPECT_EQ(im.at(10, 10)[1], 63);
    EXPECT_EQ(im.at(10, 10)[2], 31);
    EXPECT_EQ(im.at(0, 0)[0], 0);
    EXPECT_EQ(im.at(20, 20)[2], 0);
}

int lit_pixels(const PpmImage& im, int x0, int x1, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += im.at(x, y)[0] != 0 ? 1 : 0;
    return n;
}

// The default camera's screen x runs against world x: world +x is drawn on
// the left, while world +y is drawn at the top.
struct PlacementCase {
    const char* name;
    const char* translate;
    bool left, right, top, bottom;
};

class DefaultCameraTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(DefaultCameraTest, WhereTheSphereAppears) {
    const PlacementCase& c = GetParam();
    TempFolder dir("render_camera");
    write_text(dir.file("p.gmk"), std::string("TRACER WIDTH 40 HEIGHT 40 END_TRACER\n"
                                              "SCENE BACKGROUND_COLOR 0 0 0 AMBIENCE 1\n"
                                              "  SPHERE TRANSLATE ") +
                                      c.translate + " END_SPHERE\nEND_SCENE\n");
    ASSERT_EQ(run_glimmark({"render", "p.gmk", "-o", "p.ppm"}, dir).status, 0);
    const PpmImage im = read_ppm(dir.file("p.ppm"));
    ASSERT_TRUE(im.ok());
    EXPECT_EQ(lit_pixels(im, 0, 20, 0, 40) > 0, c.left);
    EXPECT_EQ(lit_pixels(im, 20, 40, 0, 40) > 0, c.right);
    EXPECT_EQ(lit_pixels(im, 0, 40, 0, 20) > 0, c.top);
    EXPECT_EQ(lit_pixels(im, 0, 40, 20, 40) > 0, c.bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultCameraTest,
    ::testing::Values(PlacementCase{"plus_x", "2 0 5", true, false, true, true},
                      PlacementCase{"minus_x", "-2 0 5", false, true, true, true},
                      PlacementCase{"plus_y", "0 2 5", true, true, true, false},
                      PlacementCase{"minus_y", "0 -2 5", true, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderCommand, ParseErrorWritesNoPicture) {
    TempFolder dir("render_parse_error");
    write_text(dir.file("bad.gmk"), "TRACER SCENE\n");
    const ProcessResult r = run_glimmark({"render", "bad.gmk", "-o", "bad.png"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Parse Error: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
              "WIDTH or HEIGHT at char 13 found: SCENE\n"
              "bad.gmk:1:8: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
              "WIDTH or HEIGHT\n");
    EXPECT_FALSE(fs::exists(dir.file("bad.png")));
}

// Frame i of 4 is parsed at TIME i / 4, which becomes its red channel.
const std::string kAnimation =
    "ANIMATION FRAMES 4 END_ANIMATION\n"
    "TRACER WIDTH 3 HEIGHT 2 END_TRACER\n"
    "SCENE BACKGROUND_COLOR TIME 0 0 END_SCENE\n";
const unsigned char kFrameRed[4] = {0, 63, 127, 191};

struct FrameNameCase {
    const char* name;
    const char* out;
    const char* files[4];  // the frames written, from frame `first` on
    std::vector<std::string> options = {};
    int first = 0;
};

class AnimationTest : public ::testing::TestWithParam<FrameNameCase> {};

TEST_P(AnimationTest, EveryFrameGetsItsOwnPicture) {
    const FrameNameCase& c = GetParam();
    TempFolder dir("render_animation");
    write_text(dir.file("a.gmk"), kAnimation);
    std::vector<std::string> args = {"render", "a.gmk", "-o", c.out};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProcessResult r = run_glimmark(args, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string listed;
    for (int i = 0; i < 4 && c.files[i] != nullptr; ++i) {
        listed += std::string(c.files[i]) + "\n";
        const PpmImage im = read_ppm(dir.file(c.files[i]));
        ASSERT_TRUE(im.ok()) << c.files[i];
        const unsigned char want[3] = {kFrameRed[c.first + i], 0, 0};
        EXPECT_TRUE(all_pixels_are(im, want)) << c.files[i];
    }
    EXPECT_EQ(r.out, listed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnimationTest,
    ::testing::Values(
        FrameNameCase{
            "numbered", "a.ppm", {"a_0000.ppm", "a_0001.ppm", "a_0002.ppm", "a_0003.ppm"}},
        FrameNameCase{"pattern", "f%02d.ppm", {"f00.ppm", "f01.ppm", "f02.ppm", "f03.ppm"}},
        // A range keeps the whole run's numbers, and its pictures.
        FrameNameCase{"range", "a.ppm", {"a_0001.ppm", "a_0002.ppm"}, {"--frames", "1-2"}, 1},
        FrameNameCase{"range_to_end", "f%d.ppm", {"f2.ppm", "f3.ppm"}, {"--frames=2-"}, 2},
        // One moment is one picture, named as a still.
        FrameNameCase{"time", "t.ppm", {"t.ppm"}, {"--time", "0.5"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* err_start;
    const char* existing = nullptr;  // a file of someone else's, there before
};

class RefusedOutputTest : public ::testing::TestWithParam<RefusedCase> {};

// Refused before anything is traced: no progress record but the last one
// (once the scene is read), no file, and the file that was there is as it
// was.
TEST_P(RefusedOutputTest, SaysWhyAndExits) {
    TempFolder dir("render_refused");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    write_text(dir.file("a.gmk"), kAnimation);
    if (GetParam().existing != nullptr) write_text(dir.file(GetParam().existing), "my notes");
    std::vector<std::string> args = GetParam().args;
    args.insert(args.end(), {"--progress", "-"});
    const ProcessResult r = run_glimmark(args, dir);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.err.rfind(GetParam().err_start, 0), 0u) << r.err;
    EXPECT_TRUE(refused_with_last_record(r.err)) << r.err;
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        if (GetParam().existing != nullptr && name == GetParam().existing)
            EXPECT_EQ(slurp(e.path().string()), "my notes");
        else
            EXPECT_TRUE(name[0] == '.' || e.path().extension() == ".gmk") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedOutputTest,
    ::testing::Values(
        RefusedCase{"no_folder",
                    {"render", "bg.gmk", "-o", "missing/bg.png"},
                    2,
                    "Glimmark Error: Cannot write 'missing/bg.png': the folder 'missing' does "
                    "not exist\n"},
        RefusedCase{"not_a_picture",
                    {"render", "bg.gmk", "-o", "notes.png"},
                    2,
                    "Glimmark Error: Cannot write 'notes.png': it exists and is not a PNG or PPM "
                    "picture; --force replaces it\n",
                    "notes.png"},
        RefusedCase{"frame_not_a_picture",
                    {"render", "a.gmk", "-o", "a%d.ppm"},
                    2,
                    "Glimmark Error: Cannot write 'a3.ppm': it exists",
                    "a3.ppm"},
        RefusedCase{"output_is_a_folder",
                    {"render", "bg.gmk", "-o", "sub.ppm/x.ppm"},
                    2,
                    "Glimmark Error: Cannot write 'sub.ppm/x.ppm': 'sub.ppm' is not a folder\n",
                    "sub.ppm"},
        RefusedCase{"rows_past_the_picture",
                    {"render", "bg.gmk", "-o", "x.ppm", "--rows", "6-9"},
                    2,
                    "glimmark render: --rows 6-9: the picture has 6 rows (0 to 5)\n"},
        RefusedCase{"frames_past_the_end",
                    {"render", "a.gmk", "-o", "x.ppm", "--frames", "4-"},
                    2,
                    "glimmark render: the scene has 4 frames (0 to 3); --frames 4- names none"},
        RefusedCase{"zero_width",
                    {"render", "bg.gmk", "-W", "0"},
                    2,
                    "glimmark render: --width is a whole number from 1 to 16384, not '0'\n"},
        RefusedCase{"depth_too_deep",
                    {"render", "bg.gmk", "--max-depth=300"},
                    2,
                    "glimmark render: --max-depth is a whole number from 0 to 256"},
        RefusedCase{"time_and_frames",
                    {"render", "a.gmk", "--time", "1", "--frames", "1"},
                    2,
                    "glimmark render: --time traces one moment"},
        RefusedCase{"time_no_number",
                    {"render", "a.gmk", "--time", "noon"},
                    2,
                    "glimmark render: --time is a number"},
        RefusedCase{"interval_zero",
                    {"render", "bg.gmk", "--progress-interval", "0"},
                    2,
                    "glimmark render: --progress-interval is a number of seconds from 0.01 to "
                    "86400, not '0'\n"},
        RefusedCase{"interval_no_number",
                    {"render", "bg.gmk", "--progress-interval=nan"},
                    2,
                    "glimmark render: --progress-interval is a number of seconds"},
        RefusedCase{"interval_too_long",
                    {"render", "bg.gmk", "--progress-interval", "1e6"},
                    2,
                    "glimmark render: --progress-interval is a number of seconds"},
        RefusedCase{"format_for_a_file",
                    {"render", "bg.gmk", "-o", "x.png", "--format", "ppm"},
                    2,
                    "glimmark render: --format is for -o -"},
        RefusedCase{"unknown_format",
                    {"render", "bg.gmk", "-o", "bg.jpg"},
                    2,
                    "glimmark render: 'bg.jpg' should end in .png or .ppm\n"},
        RefusedCase{
            "text_conversion", {"render", "bg.gmk", "-o", "f%s.png"}, 2, "glimmark render: "},
        RefusedCase{"two_numbers", {"render", "bg.gmk", "-o", "%d_%d.png"}, 2, "glimmark render: "},
        RefusedCase{"missing_scene",
                    {"render", "none.gmk"},
                    2,
                    "Glimmark Error: Could not open scene file 'none.gmk': No such file or "
                    "directory\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --pass writes one OpenEXR file with the channels compositors read; with
// any other output, or an unknown pass, it is refused.
TEST(RenderCommand, PassesGoIntoOneOpenExrFile) {
    TempFolder dir("render_exr");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"-o", "bg.png", "--pass", "depth"},
         "glimmark render: --pass writes an OpenEXR file: name it with -o OUT.exr\n"},
        {{"-o", "bg.exr", "--pass", "depth,colour"},
         "glimmark render: --pass takes depth, normal, object and linear, not 'colour'\n"},
        {{"-o", "bg.exr", "--rows", "0-1"},
         "glimmark render: --rows is for PNG and PPM pictures, not OpenEXR\n"}};
    for (const auto& [options, message] : refused) {
        std::vector<std::string> args = {"render", "bg.gmk"};
        args.insert(args.end(), options.begin(), options.end());
        const ProcessResult r = run_glimmark(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), message);
    }
    EXPECT_FALSE(fs::exists(dir.file("bg.png")) || fs::exists(dir.file("bg.exr")));
    const ProcessResult r = run_glimmark(
        {"render", "bg.gmk", "--pass", "depth,normal,object,linear", "-o", "bg.exr"}, dir);
    if (r.status == 2 && r.err.find("without OpenEXR") != std::string::npos) GTEST_SKIP() << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "bg.exr\n");
    const std::string exr = slurp(dir.file("bg.exr"));
    EXPECT_EQ(exr.substr(0, 4), std::string("v/1\x01", 4));
    for (const char* channel : {"R", "G", "B", "Z", "N.X", "N.Y", "N.Z", "object"})
        EXPECT_NE(exr.find(std::string(channel) + '\0'), std::string::npos) << channel;
}

// A picture that stops growing part way (a file size limit, as a full disk
// would) is a failure with the path and the reason, and the picture from the
// run before stays as it was, with nothing left beside it.
TEST(RenderCommand, WriteCutShortKeepsThePreviousPicture) {
    TempFolder dir("render_cut_short");
    write_text(dir.file("bg.gmk"), kBackgroundScene);
    ASSERT_EQ(run_glimmark({"render", "bg.gmk", "-o", "bg.ppm"}, dir).status, 0);
    const std::string before = slurp(dir.file("bg.ppm"));
    ASSERT_FALSE(before.empty());
    write_text(dir.file("big.gmk"),
               "TRACER WIDTH 200 HEIGHT 200 END_TRACER\n"
               "SCENE BACKGROUND_COLOR 0.25 0.5 0.75 END_SCENE\n");
    // The shell ignores the file-size signal so that the write sees EFBIG, and
    // limits files to 8 blocks: far below the 120,015 bytes of the picture.
    const std::string command =
        "cd " + shell_quote(dir.path()) + " && (trap '' XFSZ; ulimit -f 8; " +
        shell_quote(std::string(GMK_BINARY_DIR) + "/glimmark") +
        " render -q big.gmk -o bg.ppm) 2>" + shell_quote(dir.file("err.txt"));
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    EXPECT_EQ(slurp(dir.file("err.txt")),
              "Glimmark Error: Could not write image 'bg.ppm': File too large\n");
    EXPECT_EQ(slurp(dir.file("bg.ppm")), before);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().filename().string()[0] != '.') names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bg.gmk", "bg.ppm", "big.gmk", "err.txt"}));
}

struct SizeCase {
    const char* tracer;
    const char* message;
};

class BadSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BadSizeTest, IsASceneErrorWithOneMessage) {
    TempFolder dir("render_size");
    write_text(dir.file("s.gmk"), std::string(GetParam().tracer) + "\nSCENE END_SCENE\n");
    const ProcessResult r = run_glimmark({"render", "s.gmk", "-o", "s.png"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("Glimmark Error: ") + GetParam().message + "\n");
    EXPECT_FALSE(fs::exists(dir.file("s.png")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadSizeTest,
    ::testing::Values(
        SizeCase{"TRACER WIDTH 0 END_TRACER",
                 "Image size 0 x 240 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{"TRACER WIDTH -20 HEIGHT -1 END_TRACER",
                 "Image size -20 x -1 cannot be traced: WIDTH and HEIGHT must be 1 to 16384."},
        SizeCase{"TRACER WIDTH 100000 HEIGHT 100000 END_TRACER",
                 "Image size 100000 x 100000 cannot be traced: WIDTH and HEIGHT must be 1 to "
                 "16384."}));

// The centre ray runs along z between two mirrors and never escapes: only
// the depth limit ends it, and the last surface's ambient 0.2 (51) is
// mirrored all the way back.
TEST(RenderCommand, HugeDepthBetweenTwoMirrorsFinishes) {
    TempFolder dir("render_mirrors");
    write_text(dir.file("m.gmk"),
               "TRACER WIDTH 12 HEIGHT 12 MAX_DEPTH 1000000 ANTIALIASING -3 END_TRACER\n"
               "SCENE BACKGROUND_COLOR 0 0 0\n"
               "  MATERIAL REFLECTION 1 END_MATERIAL\n"
               "  CUBE TRANSLATE 0 0 5 SCALE 10 10 0.1 END_CUBE\n"
               "  CUBE TRANSLATE 0 0 -5 SCALE 10 10 0.1 END_CUBE\n"
               "END_SCENE\n");
    const ProcessResult r = run_glimmark({"render", "m.gmk", "-o", "m.ppm"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const PpmImage im = read_ppm(dir.file("m.ppm"));
    ASSERT_TRUE(im.ok());
    EXPECT_EQ(im.at(6, 6)[0], 51);
    EXPECT_EQ(im.at(6, 6)[2], 51);
}

TEST(RenderCommand, FlattenedShapeIsNeverHit) {
    TempFolder dir("render_zero_scale");
    write_text(dir.file("z.gmk"),
               "TRACER WIDTH 8 HEIGHT 6 END_TRACER\n"
               "SCENE BACKGROUND_COLOR 0.25 0.5 0.75\n"
               "  SPHERE TRANSLATE 0 0 3 SCALE 0 0 0 END_SPHERE\n"
               "END_SCENE\n");
    const ProcessResult r = run_glimmark({"render", "z.gmk", "-o", "z.ppm"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(all_pixels_are(read_ppm(dir.file("z.ppm")), kBackground));
}

// With DENSITY 0 every lookup reads texel 0, the top-left pixel of the
// bitmap: (255, 128, 0) becomes (255/256, 1/2, 0) and is drawn as (254, 127, 0)
// under ambience 1.
TEST(RenderCommand, TextureBesideTheSceneIsFoundAndDrawn) {
    TempFolder dir("render_texture");
    fs::create_directories(dir.file("scenes"));
    std::vector<unsigned char> tex(16 * 16 * 3, 0);
    for (size_t i = 2; i < tex.size(); i += 3)
        tex[i] = 255;
    tex[0] = 255;
    tex[1] = 128;
    tex[2] = 0;
    ASSERT_TRUE(stbi_write_png(dir.file("scenes/tex.png").c_str(), 16, 16, 3, tex.data(), 48));
    write_text(dir.file("scenes/t.gmk"),
               "TRACER WIDTH 9 HEIGHT 9 END_TRACER\n"
               "SCENE AMBIENCE 1 BACKGROUND_COLOR 0 0 0\n"
               "  MATERIAL DENSITY 0 TEXTURE_FILE \"tex.png\" END_MATERIAL\n"
               "  SPHERE TRANSLATE 0 0 3 END_SPHERE\n"
               "END_SCENE\n");
    const ProcessResult r = run_glimmark({"render", "scenes/t.gmk", "-o", "t.ppm"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const PpmImage im = read_ppm(dir.file("t.ppm"));
    ASSERT_TRUE(im.ok());
    EXPECT_EQ(im.at(4, 4)[0], 254);
    EXPECT_EQ(im.at(4, 4)[1], 127);
    EXPECT_EQ(im.at(4, 4)[2], 0);
}

TEST(RenderCommand, TruncatedTextureIsAParseError) {
    TempFolder dir("render_bad_texture");
    const std::vector<unsigned char> grey(16 * 16 * 3, 128);
    ASSERT_TRUE(stbi_write_bmp(dir.file("cut.bmp").c_str(), 16, 16, 3, grey.data()));
    std::string bytes = slurp(dir.file("cut.bmp"));
    write_text(dir.file("cut.bmp"), bytes.substr(0, bytes.size() / 2));
    const std::string scene =
        "SCENE MATERIAL TEXTURE_FILE \"cut.bmp\" END_MATERIAL SPHERE END_SPHERE END_SCENE\n";
    write_text(dir.file("t.gmk"), scene);
    ProcessResult r = run_glimmark({"render", "t.gmk", "-o", "t.png"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Parse Error: Could not load texture. at char ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\nt.gmk:1:"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("t.png")));
    r = run_glimmark({"check", "t.gmk"}, dir);
    EXPECT_EQ(r.status, 0);
}

}  // namespace
