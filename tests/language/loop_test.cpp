#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "language/blocks.h"
#include "language/expressions.h"
#include "language_test_support.h"
#include "shapes/shape.h"

namespace {

const char* BadLoop =
    "Bad Loop. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE";

// Runs the LOOP parser on a text that starts with its keyword.
bool run_loop(LanguageParse& p) {
    scan_token(p.pc);
    EXPECT_EQ(p.pc.token, LOOP);
    parse_loop(p.pc);
    return !p.pc.parse_error;
}

// Every pass of a body with "DEFINE NAME m END_DEFINE" leaves one text named m.
int texts_named(const ParseContext& pc, const std::string& name) {
    int n = 0;
    for (const TextBuffer* t = pc.text_list.head; t != nullptr; t = t->next)
        if (t->name == name) ++n;
    return n;
}

const std::string Mark = " DEFINE NAME m END_DEFINE ";

struct PassCase {
    std::string text;
    int passes;
};

TEST(Loop, RunsWhileTheConditionHolds) {
    const PassCase cases[] = {
        {"LOOP i LT i 3" + Mark + "END_LOOP", 3},
        {"loop i lt i 0" + Mark + "end_loop", 1},  // the first pass always runs
        {"LOOP i 0" + Mark + "END", 1},
        {"LOOP i LT i 2" + Mark + "}", 2},
        {"LOOP Make_unique LT Make_unique 10 ;performs 10 loops\n" + Mark + "\nEND_LOOP", 10},
        {"LOOP i LT i 1024" + Mark + "END_LOOP", 1024},
        // The inner condition reads the outer counter: 1 + 1 + 2 passes.
        {"LOOP i LT i 3 LOOP j LT j i" + Mark + "END_LOOP END_LOOP", 4},
        {"LOOP i LT i 3 LOOP j LT j 2" + Mark + "END_LOOP" + Mark + "END_LOOP", 9},
    };
    for (const PassCase& c : cases) {
        LanguageParse p(c.text + " after");
        EXPECT_TRUE(run_loop(p)) << c.text << ": " << p.error();
        EXPECT_EQ(texts_named(p.pc, "m"), c.passes) << c.text;
        EXPECT_TRUE(p.pc.counter_list.empty()) << c.text;
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, "after") << c.text;
    }
}

TEST(Loop, CheckOnlyParsesReadEveryBodyOnce) {
    const PassCase cases[] = {
        {"LOOP i LT i 3" + Mark + "END_LOOP", 1},
        {"LOOP i 1" + Mark + "END_LOOP", 1},
        {"LOOP i LT i 3 LOOP j LT j 2" + Mark + "END_LOOP" + Mark + "END_LOOP", 2},
    };
    for (const PassCase& c : cases) {
        LanguageParse p(c.text + " after", false);
        EXPECT_TRUE(run_loop(p)) << c.text << ": " << p.error();
        EXPECT_EQ(texts_named(p.pc, "m"), c.passes) << c.text;
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, "after") << c.text;
    }
}

TEST(Loop, CountLimit) {
    const std::string text = "LOOP i 1" + Mark + "END_LOOP";
    LanguageParse p(text);
    EXPECT_FALSE(run_loop(p));
    EXPECT_EQ(texts_named(p.pc, "m"), 1025);
    // Reported behind the condition, read again after the 1025th pass.
    EXPECT_EQ(p.error(), message_at("Loop count exceeded max (1024)", 9, "1"));
    EXPECT_TRUE(p.pc.counter_list.empty());

    // A nested loop reusing its enclosing loop's name reads the enclosing
    // counter, which does not change while the inner loop runs.
    LanguageParse same("LOOP i LT i 2 LOOP i LT i 5" + Mark + "END_LOOP END_LOOP");
    EXPECT_FALSE(run_loop(same));
    EXPECT_EQ(texts_named(same.pc, "m"), 1025);
    EXPECT_EQ(same.error().rfind("Loop count exceeded max (1024)", 0), 0u);
}

TEST(Loop, PassesOfNestedLoopsAreBounded) {
    LanguageParse p("LOOP a LT a 1024 LOOP b LT b 1024 LOOP c LT c 2 END_LOOP END_LOOP END_LOOP");
    EXPECT_FALSE(run_loop(p));
    EXPECT_EQ(p.error().rfind("Loop passes exceeded max (1048576) at char", 0), 0u) << p.error();
    EXPECT_TRUE(p.pc.counter_list.empty());
}

TEST(Loop, CounterExistsOnlyWhileItsLoopRuns) {
    LanguageParse p("LOOP i LT i 2 END_LOOP i");
    EXPECT_TRUE(run_loop(p));
    EXPECT_TRUE(p.pc.counter_list.empty());
    EXPECT_EQ(read_expression(p.pc), 0.0f);
    EXPECT_EQ(p.error(), message_at("Expected Float.", 24, "i"));
}

TEST(Loop, Errors) {
    const std::string open_text = "LOOP i LT i 2" + Mark;
    LanguageParse open(open_text);
    EXPECT_FALSE(run_loop(open));
    EXPECT_EQ(open.error(),
              message_at("Expected END_LOOP.", static_cast<int>(open_text.size()), "END_DEFINE"));
    EXPECT_TRUE(open.pc.counter_list.empty());

    for (const char* word : {"WIDTH", "CAMERA", "BACKGROUND_COLOR", "AMBIENCE", "INTERPOLATION",
                             "EVERYWHERE", "CUBIC", "TRANSLATE", "BOUNDING_SHAPE", "END_SCENE"}) {
        std::string text = std::string("LOOP i LT i 2 ") + word + " END_LOOP";
        LanguageParse p(text);
        EXPECT_FALSE(run_loop(p)) << word;
        EXPECT_EQ(p.error(),
                  message_at(BadLoop, 15 + static_cast<int>(std::string(word).size()), word))
            << word;
    }
}

// A file whose text leaves a mark each time it is included.
struct MarkFile {
    std::string path;
    MarkFile() {
        path = (std::filesystem::temp_directory_path() /
                ("gmk_loop_mark_" + std::to_string(::getpid()) + ".gmk"))
                   .string();
        std::ofstream(path, std::ios::binary) << "DEFINE NAME m END_DEFINE\n";
    }
    ~MarkFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

struct IncludeCase {
    std::string text;
    int passes;
    int check_only_passes;
};

TEST(Loop, IncludeInsideARepeatedBody) {
    MarkFile file;
    const std::string inc = " INCLUDE FILE \"" + file.path + "\" END_INCLUDE ";
    const IncludeCase cases[] = {
        {"LOOP i LT i 4" + inc + "END_LOOP", 4, 1},
        {"LOOP i LT i 3 LOOP j LT j 2" + inc + "END_LOOP END_LOOP", 6, 1},
        {"LOOP i LT i 3" + inc + "LOOP j LT j 2" + inc + "END_LOOP END_LOOP", 9, 2},
        {"LOOP i LT i 2 LOOP j LT j 3 END_LOOP" + inc + "END_LOOP", 2, 1},
        {"LOOP i LT i 2" + inc + "LOOP j LT j 3 END_LOOP" + Mark + "END_LOOP", 4, 2},
    };
    for (const IncludeCase& c : cases) {
        for (bool build : {true, false}) {
            const std::string text = c.text + " after FOO ";
            LanguageParse p(text, build);
            EXPECT_TRUE(run_loop(p)) << c.text << ": " << p.error();
            EXPECT_EQ(texts_named(p.pc, "m"), build ? c.passes : c.check_only_passes) << c.text;
            EXPECT_TRUE(p.pc.counter_list.empty());
            scan_token(p.pc);
            EXPECT_EQ(p.pc.word, "after") << c.text;
            // What follows the loop keeps its editor positions.
            scan_token(p.pc);
            report_parse_error(p.pc, "Here.");
            EXPECT_EQ(p.error(), message_at("Here.", static_cast<int>(text.size()), "FOO"));
        }
    }
}

TEST(Loop, PassEndingInAnIncludedText) {
    // The end word closes the included text: the loop runs as written.
    LanguageParse last("DEFINE NAME e END_LOOP END_DEFINE LOOP i LT i 5" + Mark +
                       "INCLUDE NAME e END_INCLUDE tail");
    scan_token(last.pc);
    parse_define(last.pc);
    EXPECT_TRUE(run_loop(last)) << last.error();
    EXPECT_EQ(texts_named(last.pc, "m"), 5);
    scan_token(last.pc);
    EXPECT_EQ(last.pc.word, "tail");

    // More text follows the end word inside the included text: the loop's own
    // text cannot be read again, so that pass is the last.
    LanguageParse inside("DEFINE NAME e END_LOOP after_e END_DEFINE LOOP i LT i 5" + Mark +
                         "INCLUDE NAME e END_INCLUDE tail");
    scan_token(inside.pc);
    parse_define(inside.pc);
    EXPECT_TRUE(run_loop(inside)) << inside.error();
    EXPECT_EQ(texts_named(inside.pc, "m"), 1);
    scan_token(inside.pc);
    EXPECT_EQ(inside.pc.word, "after_e");
    scan_token(inside.pc);
    EXPECT_EQ(inside.pc.word, "tail");
}

TEST(Loop, DeepNestingIsAParseError) {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "LOOP i 0 ";
    LanguageParse p(text);
    EXPECT_FALSE(run_loop(p));
    EXPECT_EQ(p.error().rfind("Nesting exceeded max (256) at char", 0), 0u) << p.error();
    EXPECT_TRUE(p.pc.counter_list.empty());
    EXPECT_EQ(p.pc.nesting_depth, 0);
}

std::vector<Vector3> shape_positions(const ParseContext& pc) {
    std::vector<Vector3> out;
    for (CShape* s = pc.scene->shapes.head; s != nullptr; s = nextOf(s))
        out.push_back(s->position);
    return out;
}

// These go through the scene's parsers, which a LOOP body hands its shapes to.
TEST(LoopInScene, CreatesTheBodyOncePerPass) {
    LanguageParse p("SCENE loop i lt i 3 sphere translate i,0,0 end_sphere end_loop END_SCENE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    auto at = shape_positions(p.pc);
    ASSERT_EQ(at.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(at[i].x, static_cast<float>(i));
        EXPECT_EQ(at[i].y, 0.0f);
    }

    LanguageParse once("SCENE loop i lt i 0 sphere end_sphere end_loop END_SCENE");
    ASSERT_TRUE(parse_whole(once)) << once.error();
    EXPECT_EQ(shape_positions(once.pc).size(), 1u);
}

TEST(LoopInScene, IncludedShapesRepeat) {
    LanguageParse p(
        "DEFINE NAME ball SPHERE TRANSLATE 0, i, 0 END_SPHERE END_DEFINE\n"
        "SCENE LOOP i LT i 3 INCLUDE NAME ball END_INCLUDE END_LOOP END_SCENE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    auto at = shape_positions(p.pc);
    ASSERT_EQ(at.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(at[i].y, static_cast<float>(i));
}

TEST(LoopInScene, InterpolationHidesACounterOfTheSameName) {
    LanguageParse p(
        "SCENE INTERPOLATION NAME i 0 7 1 7 END_INTERPOLATION "
        "LOOP i LT i 2 SPHERE TRANSLATE i,0,0 END_SPHERE END_LOOP END_SCENE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    // Both the condition and the body read the interpolation's 7.
    auto at = shape_positions(p.pc);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0].x, 7.0f);
}

}  // namespace
