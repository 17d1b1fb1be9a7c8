#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "language/blocks.h"
#include "language/expressions.h"
#include "language_test_support.h"
#include "shapes/shape.h"
#include "tests/support/temp_folder.h"

namespace {

bool run_loop(LanguageParse& p) {
    scan_token(p.pc);
    EXPECT_EQ(p.pc.token, LOOP);
    parse_loop(p.pc);
    return !p.pc.parse_error;
}

// Each pass of a body with Mark leaves one DEFINE text named m.
const std::string Mark = " DEFINE NAME m END_DEFINE ";
int marks(const ParseContext& pc) {
    int n = 0;
    for (const TextBuffer* t = pc.text_list.head; t != nullptr; t = t->next)
        n += t->name == "m";
    return n;
}

struct PassCase {
    std::string text;
    int passes;
    int check_only_passes;
};

void expect_passes(const PassCase& c) {
    for (bool build : {true, false}) {
        const std::string text = c.text + " after FOO ";
        LanguageParse p(text, build);
        EXPECT_TRUE(run_loop(p)) << c.text << ": " << p.error();
        EXPECT_EQ(marks(p.pc), build ? c.passes : c.check_only_passes) << c.text;
        EXPECT_TRUE(p.pc.counter_list.empty()) << c.text;
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, "after") << c.text;
        // What follows the loop keeps its editor positions.
        scan_token(p.pc);
        report_parse_error(p.pc, "Here.");
        EXPECT_EQ(p.error(), message_at("Here.", static_cast<int>(text.size()), "FOO"));
    }
}

TEST(Loop, RunsWhileTheConditionHolds) {
    const PassCase cases[] = {
        {"LOOP i LT i 3" + Mark + "END_LOOP", 3, 1},
        {"loop i lt i 0" + Mark + "end_loop", 1, 1},  // the first pass always runs
        {"LOOP i LT i 2" + Mark + "}", 2, 1},
        {"LOOP Make_unique lt Make_unique 10 ;performs 10 loops\n" + Mark + "\nEND", 10, 1},
        {"LOOP i LT i 1024" + Mark + "END_LOOP", 1024, 1},
        // The inner condition reads the outer counter: 1 + 1 + 2 passes.
        {"LOOP i LT i 3 LOOP j LT j i" + Mark + "END_LOOP END_LOOP", 4, 1},
        {"LOOP i LT i 3 LOOP j LT j 2" + Mark + "END_LOOP" + Mark + "END_LOOP", 9, 2},
    };
    for (const PassCase& c : cases)
        expect_passes(c);
}

TEST(Loop, IncludeInARepeatedBody) {
    TempFolder folder;
    const std::string file = folder.write("mark.gmk", Mark);
    const std::string inc = " INCLUDE FILE \"" + file + "\" END_INCLUDE ";
    const PassCase cases[] = {
        {"LOOP i LT i 4" + inc + "END_LOOP", 4, 1},
        {"LOOP i LT i 3 LOOP j LT j 2" + inc + "END_LOOP END_LOOP", 6, 1},
        {"LOOP i LT i 3" + inc + "LOOP j LT j 2" + inc + "END_LOOP END_LOOP", 9, 2},
        {"LOOP i LT i 2 LOOP j LT j 3 END_LOOP" + inc + "END_LOOP", 2, 1},
        {"LOOP i LT i 2" + inc + "LOOP j LT j 3 END_LOOP" + Mark + "END_LOOP", 4, 2},
    };
    for (const PassCase& c : cases)
        expect_passes(c);
}

TEST(Loop, PassEndingInAnIncludedText) {
    // The end word closes the included text: the loop runs as written.
    LanguageParse last("DEFINE NAME e END_LOOP END_DEFINE LOOP i LT i 5" + Mark +
                       "INCLUDE NAME e END_INCLUDE tail");
    // More text follows it there: the loop cannot be read again after that pass.
    LanguageParse inside("DEFINE NAME e END_LOOP more END_DEFINE LOOP i LT i 5" + Mark +
                         "INCLUDE NAME e END_INCLUDE tail");
    for (auto [p, passes, next] : {std::tuple{&last, 5, "tail"}, std::tuple{&inside, 1, "more"}}) {
        scan_token(p->pc);
        parse_define(p->pc);
        EXPECT_TRUE(run_loop(*p)) << p->error();
        EXPECT_EQ(marks(p->pc), passes);
        scan_token(p->pc);
        EXPECT_EQ(p->pc.word, next);
    }
}

TEST(Loop, Limits) {
    LanguageParse count("LOOP i 1" + Mark + "END_LOOP");
    EXPECT_FALSE(run_loop(count));
    EXPECT_EQ(marks(count.pc), 1025);
    // Reported behind the condition, read again after the 1025th pass.
    EXPECT_EQ(count.error(), message_at("Loop count exceeded max (1024)", 9, "1"));

    // A nested loop that reuses the name reads the enclosing counter, which
    // does not change while it runs.
    LanguageParse same("LOOP i LT i 2 LOOP i LT i 5" + Mark + "END_LOOP END_LOOP");
    EXPECT_FALSE(run_loop(same));
    EXPECT_EQ(marks(same.pc), 1025);

    LanguageParse passes("LOOP a LT a 1024 LOOP b LT b 1024 LOOP c LT c 2 END END END");
    EXPECT_FALSE(run_loop(passes));
    EXPECT_EQ(passes.error().rfind("Loop passes exceeded max (1048576) at char", 0), 0u);

    std::string deep;
    for (int i = 0; i < 400; ++i)
        deep += "LOOP i 0 ";
    LanguageParse nested(deep);
    EXPECT_FALSE(run_loop(nested));
    EXPECT_EQ(nested.error().rfind("Nesting exceeded max (256) at char", 0), 0u);
    for (LanguageParse* p : {&count, &same, &passes, &nested}) {
        EXPECT_TRUE(p->pc.counter_list.empty());
        EXPECT_EQ(p->message_count(), 1u);
    }
}

TEST(Loop, Errors) {
    const std::string open = "LOOP i LT i 2" + Mark;
    LanguageParse p(open);
    EXPECT_FALSE(run_loop(p));
    EXPECT_EQ(p.error(),
              message_at("Expected END_LOOP.", static_cast<int>(open.size()), "END_DEFINE"));

    // The counter is gone after its loop.
    LanguageParse gone("LOOP i LT i 2 END_LOOP i");
    EXPECT_TRUE(run_loop(gone));
    read_expression(gone.pc);
    EXPECT_EQ(gone.error(), message_at("Expected Float.", 24, "i"));

    for (std::string word : {"WIDTH", "CAMERA", "BACKGROUND_COLOR", "AMBIENCE", "INTERPOLATION",
                             "EVERYWHERE", "CUBIC", "TRANSLATE", "BOUNDING_SHAPE", "END_SCENE"}) {
        LanguageParse bad("LOOP i LT i 2 " + word + " END_LOOP");
        EXPECT_FALSE(run_loop(bad)) << word;
        EXPECT_EQ(bad.error(),
                  message_at("Bad Loop. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or "
                             "AMBIENCE",
                             15 + static_cast<int>(word.size()), word));
    }
}

std::vector<Vector3> positions(const std::string& text) {
    LanguageParse p(text);
    EXPECT_TRUE(parse_whole(p)) << p.error();
    std::vector<Vector3> out;
    for (CShape* s = p.pc.scene->shapes.head; s != nullptr; s = nextOf(s))
        out.push_back(s->position);
    return out;
}

// Through the scene's parsers, which a LOOP body hands its shapes to.
TEST(LoopInScene, CreatesTheBodyOncePerPass) {
    EXPECT_EQ(positions("SCENE loop i lt i 3 sphere translate i,0,0 end_sphere end_loop END_SCENE"),
              (std::vector<Vector3>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}));
    EXPECT_EQ(positions("SCENE loop i lt i 0 sphere end_sphere end_loop END_SCENE").size(), 1u);
    EXPECT_EQ(positions("DEFINE NAME ball SPHERE TRANSLATE 0, i, 0 END_SPHERE END_DEFINE\n"
                        "SCENE LOOP i LT i 3 INCLUDE NAME ball END_INCLUDE END_LOOP END_SCENE"),
              (std::vector<Vector3>{{0, 0, 0}, {0, 1, 0}, {0, 2, 0}}));
    // An interpolation of the counter's name hides the counter: always 7.
    EXPECT_EQ(positions("SCENE INTERPOLATION NAME i 0 7 1 7 END_INTERPOLATION "
                        "LOOP i LT i 2 SPHERE TRANSLATE i,0,0 END_SPHERE END_LOOP END_SCENE"),
              (std::vector<Vector3>{{7, 0, 0}}));
}

}  // namespace
