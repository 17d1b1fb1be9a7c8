#include <gtest/gtest.h>

#include <algorithm>

#include "cli_process_support.h"
#include "tests/support/project_version.h"

namespace {

const std::string kSceneMessage =
    "Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE";
const std::string kTracerMessage =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";

TEST(CheckCommand, GoodSceneParsesOk) {
    TempFolder dir("check_ok");
    write_text(dir.file("good.gmk"), "TRACER WIDTH 640 HEIGHT 480 END_TRACER\nSCENE END_SCENE\n");
    const ProcessResult r = run_glimmark({"check", "good.gmk"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Parsed OK!\n");
    EXPECT_EQ(r.err, "");
}

TEST(CheckCommand, EmptyDocumentParsesOk) {
    TempFolder dir("check_empty");
    write_text(dir.file("empty.gmk"), "");
    const ProcessResult r = run_glimmark({"check", "empty.gmk"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Parsed OK!\n");
}

struct ErrorCase {
    const char* name;
    const char* text;
    std::string stderr_lines;        // with SCENE standing for the scene's name
    const char* included = nullptr;  // the text of inc.gmk, when the scene needs one
};

class CheckErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CheckErrorTest, PrintsTheBoxTextThenTheLocation) {
    TempFolder dir("check_error");
    write_text(dir.file("bad.gmk"), GetParam().text);
    if (GetParam().included != nullptr) write_text(dir.file("inc.gmk"), GetParam().included);
    const ProcessResult r = run_glimmark({"check", "bad.gmk"}, dir);
    std::string want = GetParam().stderr_lines;
    for (size_t at; (at = want.find("SCENE:")) != std::string::npos;)
        want.replace(at, 5, "bad.gmk");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckErrorTest,
    ::testing::Values(
        // SCENE occupies characters 7 to 11 and the line feed ends it.
        ErrorCase{"bad_tracer_word", "TRACER SCENE\n",
                  "Parse Error: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
                  "WIDTH or HEIGHT at char 13 found: SCENE\n"
                  "SCENE:1:8: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
                  "WIDTH or HEIGHT\n"},
        // BOGUS starts at character 30, on line 4, column 3.
        ErrorCase{"fourth_line", "; comment\nTRACER\n  WIDTH 10\n  BOGUS 3\nEND_TRACER\n",
                  "Parse Error: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
                  "WIDTH or HEIGHT at char 36 found: BOGUS\n"
                  "SCENE:4:3: Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, "
                  "WIDTH or HEIGHT\n"},
        // The block loop stops at the end of the text without another scan,
        // so the word found is still the last one read.
        ErrorCase{"missing_end", "TRACER WIDTH 640\n",
                  "Parse Error: Expected END_TRACER. at char 17 found: 640\n"
                  "SCENE:1:14: Expected END_TRACER.\n"},
        ErrorCase{"top_level_end", "SCENE END_SCENE END_SCENE\n",
                  "Parse Error: Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or "
                  "INCLUDE. at char 26 found: END_SCENE\n"
                  "SCENE:1:17: Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or "
                  "INCLUDE.\n"},
        ErrorCase{"bad_integer", "TRACER WIDTH abc END_TRACER\n",
                  "Parse Error: Expected Integer. at char 17 found: abc\n"
                  "SCENE:1:14: Expected Integer.\n"},
        // The place comes from the parser, not from the text of the box: a
        // file name may hold " at char " itself.
        ErrorCase{"name_with_at_char", "SCENE\n  INCLUDE FILE \"no at char 9 such.gmk\" END\n",
                  "Parse Error: Could not open INCLUDE file. at char 44 found: no at char 9 "
                  "such.gmk\n"
                  "SCENE:2:17: Could not open INCLUDE file.\n"},
        // An error in an included file is shown at the INCLUDE's end word,
        // and the file's own line is named after it.
        ErrorCase{"in_included_file", "SCENE\n INCLUDE FILE \"inc.gmk\" END_INCLUDE\nEND_SCENE\n",
                  "Parse Error: " + kSceneMessage +
                      " at char 42 found: BAD\n"
                      "SCENE:2:25: " +
                      kSceneMessage +
                      "\n"
                      "inc.gmk:3: note: the word \"BAD\" stands here, in the INCLUDE FILE text\n",
                  "SPHERE END_SPHERE\n; a comment\n  BAD\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckCommand, ReadsStandardInput) {
    TempFolder dir("check_stdin");
    ProcessResult r = run_glimmark({"check", "-"}, dir, "SCENE END_SCENE\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Parsed OK!\n");
    r = run_glimmark({"check", "-"}, dir, "\nTRACER SCENE\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Parse Error: " + kTracerMessage +
                         " at char 14 found: SCENE\n<stdin>:2:8: " + kTracerMessage + "\n");
}

TEST(CheckCommand, MissingTextureIsNotReportedByACheck) {
    TempFolder dir("check_texture");
    write_text(dir.file("t.gmk"),
               "SCENE MATERIAL TEXTURE_FILE \"nowhere.png\" END_MATERIAL SPHERE END_SPHERE "
               "END_SCENE\n");
    const ProcessResult r = run_glimmark({"check", "t.gmk"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Parsed OK!\n");
    // A strict check opens it, and fails as a trace would.
    const ProcessResult strict = run_glimmark({"check", "--strict", "t.gmk"}, dir);
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.out, "");
    EXPECT_NE(strict.err.find("Could not load texture."), std::string::npos) << strict.err;
    write_text(dir.file("ok.gmk"),
               "TRACER WIDTH 4 HEIGHT 4 END_TRACER SCENE SPHERE END_SPHERE "
               "END_SCENE\n");
    EXPECT_EQ(run_glimmark({"check", "--strict", "ok.gmk"}, dir).out, "Parsed OK!\n");
}

TEST(CheckCommand, UnreadableSceneExitsWithTwo) {
    TempFolder dir("check_missing");
    ProcessResult r = run_glimmark({"check", "absent.gmk"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Glimmark Error: Could not open scene file 'absent.gmk': No such file or "
              "directory\n");
    r = run_glimmark({"check", "."}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("Glimmark Error: Could not read scene file '.': ", 0), 0u) << r.err;
}

TEST(CheckCommand, ASceneEndsAtANulByteAndSaysSo) {
    TempFolder dir("check_nul");
    // What follows the NUL byte would be an error if it were read.
    const std::string text("TRACER WIDTH 8 END_TRACER\nSCENE END_SCENE\0 TRACER BAD", 53);
    write_text(dir.file("nul.gmk"), text);
    const std::pair<std::string, std::string> sources[] = {{"nul.gmk", "Scene file 'nul.gmk'"},
                                                           {"-", "The scene on standard input"}};
    for (const auto& [argument, what] : sources) {
        const ProcessResult r = run_glimmark({"check", argument}, dir, text);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Parsed OK!\n");
        EXPECT_EQ(r.err, "glimmark: warning: " + what +
                             " holds a NUL byte at line 2, column 16; the scene ends there\n");
    }
}

// check --info: key=value lines of what a render with the same options
// traces, for scripts; nothing on stdout when the scene cannot be traced.
struct InfoCase {
    const char* name;
    std::string text;
    std::vector<std::string> options;
    int status;
    std::string out;
    std::string err;  // the start of the message
};

class CheckInfoTest : public ::testing::TestWithParam<InfoCase> {};

TEST_P(CheckInfoTest, PrintsWhatARenderTraces) {
    TempFolder dir("check_info");
    write_text(dir.file("s.gmk"), GetParam().text);
    std::vector<std::string> args = {"check", "s.gmk"};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    const ProcessResult r = run_glimmark(args, dir);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.err.substr(0, GetParam().err.size()), GetParam().err) << r.err;
    EXPECT_EQ(r.err.empty(), GetParam().err.empty()) << r.err;
}

std::string info_lines(const std::string& size, const std::string& animation,
                       const std::string& antialiasing) {
    return size + animation + "antialiasing=" + antialiasing + "\n";
}

const std::string kClip =
    "ANIMATION FRAMES 16 FRAMES_PER_SECOND 8 START_TIME 0.25 END_TIME 2.1 OUTPUT_FILE "
    "\"clip one.avi\" END_ANIMATION TRACER WIDTH 64 HEIGHT 300 ANTIALIASING 3 END_TRACER "
    "SCENE END_SCENE\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckInfoTest,
    ::testing::Values(
        InfoCase{"animation",
                 kClip,
                 {"--info"},
                 0,
                 info_lines("width=64\nheight=300\n",
                            "frames=16\nframes_per_second=8\nstart_time=0.25\nend_time=2.1\n"
                            "output_file=clip one.avi\n",
                            "3"),
                 ""},
        InfoCase{"still",
                 "SCENE END_SCENE\n",
                 {"--info"},
                 0,
                 info_lines("width=320\nheight=240\n",
                            "frames=1\nframes_per_second=4\nstart_time=0\nend_time=1\n"
                            "output_file=\n",
                            "0"),
                 ""},
        // The options over the scene's values; --time traces one picture.
        InfoCase{"options",
                 kClip,
                 {"--info", "-W", "10", "-H20", "-A", "7", "--time", "1"},
                 0,
                 info_lines("width=10\nheight=20\n",
                            "frames=1\nframes_per_second=8\nstart_time=0.25\nend_time=2.1\n"
                            "output_file=clip one.avi\n",
                            "7"),
                 ""},
        // What the render makes of out-of-range values: FRAMES 0 is one
        // picture, ANTIALIASING counts as 1024 at most; a line break in a
        // name cannot end its line.
        InfoCase{"limits",
                 "ANIMATION FRAMES 0 OUTPUT_FILE \"a\nb.avi\" END_ANIMATION\n"
                 "TRACER ANTIALIASING 5000 END_TRACER\n",
                 {"--info"},
                 0,
                 info_lines("width=320\nheight=240\n",
                            "frames=1\nframes_per_second=4\nstart_time=0\nend_time=1\n"
                            "output_file=a\\nb.avi\n",
                            "1024"),
                 ""},
        InfoCase{"no_size",
                 "TRACER WIDTH 0 END_TRACER\n",
                 {"--info"},
                 1,
                 "",
                 "Glimmark Error: Image size 0 x 240 cannot be traced"},
        InfoCase{"parse_error", "TRACER BOGUS END_TRACER\n", {"--info"}, 1, "", "Parse Error: "},
        InfoCase{"missing_texture",
                 "SCENE MATERIAL TEXTURE_FILE \"nowhere.png\" END_MATERIAL SPHERE END_SPHERE "
                 "END_SCENE\n",
                 {"--info"},
                 1,
                 "",
                 "Parse Error: Could not load texture."},
        InfoCase{"option_without_info",
                 kClip,
                 {"-W", "10"},
                 2,
                 "",
                 "glimmark check: option '--width' goes with --info\n"},
        InfoCase{"bad_option_value",
                 kClip,
                 {"--info", "-H", "0"},
                 2,
                 "",
                 "glimmark check: --height is a whole number from 1 to 16384, not '0'\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct UsageCase {
    std::vector<std::string> args;
    int status;
    bool usage_on_stdout;
};

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, ExitStatusAndWhereTheTextGoes) {
    TempFolder dir("usage");
    const ProcessResult r = run_glimmark(GetParam().args, dir);
    EXPECT_EQ(r.status, GetParam().status);
    if (GetParam().usage_on_stdout) {
        EXPECT_NE(r.out.find("Usage:"), std::string::npos);
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsageTest,
                         ::testing::Values(UsageCase{{}, 2, false}, UsageCase{{"--help"}, 0, true},
                                           UsageCase{{"-h"}, 0, true},
                                           UsageCase{{"check", "--help"}, 0, true},
                                           UsageCase{{"render", "--help"}, 0, true},
                                           UsageCase{{"paint", "x.gmk"}, 2, false},
                                           UsageCase{{"check"}, 2, false},
                                           UsageCase{{"check", "a.gmk", "b.gmk"}, 2, false},
                                           UsageCase{{"check", "--fast", "a.gmk"}, 2, false},
                                           UsageCase{{"render", "a.gmk", "-o"}, 2, false},
                                           UsageCase{{"record", "--help"}, 0, true},
                                           UsageCase{{"join-rows", "--help"}, 0, true},
                                           UsageCase{{"join-rows", "-o", "x.png"}, 2, false}));

TEST(Version, PrintsTheProjectVersionAndTheLibraries) {
    TempFolder dir("version");
    const ProcessResult r = run_glimmark({"--version"}, dir);
    EXPECT_EQ(r.status, 0);
    const std::string first = "glimmark " + project_version() + "\n";
    ASSERT_EQ(r.out.substr(0, first.size()), first);
    const std::string second = r.out.substr(first.size());
    EXPECT_EQ(second.rfind("Built with libpng 1.", 0), 0u) << second;
    EXPECT_NE(second.find(", libjpeg"), std::string::npos) << second;
    EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 1) << second;
}

}  // namespace

TEST(CheckCommand, ASceneHoldsAtMostTheEditorsCharacters) {
    TempFolder dir("check_size");
    // A comment fills the document up to the last character it may hold.
    const std::string fits = "; " + std::string(0xFFFFFF - 3, 'x') + "\n";
    ASSERT_EQ(fits.size(), 0xFFFFFFu);
    write_text(dir.file("fits.gmk"), fits);
    write_text(dir.file("long.gmk"), fits + " ");
    ProcessResult r = run_glimmark({"check", "fits.gmk"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;

    const std::string tail = " characters, the most a scene may hold\n";
    r = run_glimmark({"check", "long.gmk"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Glimmark Error: Scene file 'long.gmk' holds more than 16777215" + tail);
    // A device that never ends is refused, not read for ever.
    r = run_glimmark({"check", "/dev/zero"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Glimmark Error: Scene file '/dev/zero' holds more than 16777215" + tail);
    r = run_glimmark({"check", "-"}, dir, fits + " ");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "Glimmark Error: The scene on standard input holds more than 16777215" + tail);
}
