#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "language/blocks.h"
#include "language/expressions.h"
#include "language_test_support.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const char* BadTracer =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";

// The editor position behind the first occurrence of a word and its separator.
int behind(const std::string& text, const std::string& word) {
    size_t end = text.find(word) + word.size();
    return static_cast<int>(end < text.size() ? end + 1 : end);
}

// The first DEFINE text of the parse, or "-" without one.
std::string first_text(const LanguageParse& p, std::string* name = nullptr) {
    const TextBuffer* t = p.pc.text_list.head;
    if (t != nullptr && name != nullptr) *name = t->name;
    return t != nullptr ? t->text : "-";
}

// An INCLUDE of a file of the folder.
std::string include_of(const TempFolder& folder, const std::string& name) {
    return " INCLUDE FILE \"" + folder.file(name) + "\" END_INCLUDE ";
}

TEST(Define, KeepsTheBodyExactlyAsWritten) {
    struct Case {
        const char *text, *name, *body;
    };
    const Case cases[] = {
        {"DEFINE NAME x\n  SPHERE ; note\n  [c] END_SPHERE\nEND_DEFINE\n", "x",
         "  SPHERE ; note\n  [c] END_SPHERE\n"},
        {"DEFINE NAME a } END x end_define ", "a", "} END x "},
        // Every NAME, also one of the body, restarts the body.
        {"DEFINE NAME s MATERIAL NAME red END_MATERIAL END_DEFINE ", "red", "END_MATERIAL "},
        {"define\n\tname Make_unique\n\t;for a prototype define enter code here otherwise "
         "leave blank\nend_define",
         "Make_unique", "\t;for a prototype define enter code here otherwise leave blank"},
        {"DEFINE NAME e END_DEFINE", "e", ""},
    };
    for (const Case& c : cases) {
        for (bool build : {true, false}) {
            LanguageParse p(c.text, build);
            ASSERT_TRUE(parse_whole(p)) << c.text << ": " << p.error();
            std::string name;
            EXPECT_EQ(first_text(p, &name), c.body) << c.text;
            EXPECT_EQ(name, c.name);
        }
    }
}

TEST(Define, Errors) {
    LanguageParse open("DEFINE NAME a SPHERE");
    EXPECT_FALSE(parse_whole(open));
    EXPECT_EQ(open.error(), message_at("Expected END_DEFINE.", 20, "SPHERE"));
    EXPECT_EQ(first_text(open), "-");

    LanguageParse nameless("DEFINE SPHERE END_DEFINE x");
    EXPECT_FALSE(parse_whole(nameless));
    EXPECT_EQ(nameless.error(), message_at("Expected NAME before END_DEFINE.", 25, "END_DEFINE"));
}

// A DEFINE read again and again (in a loop, or in a file included on every
// pass) must not keep a copy of its body each time: only the oldest text of
// a name is ever found.
TEST(Define, ALaterTextOfTheSameNameKeepsNoCopy) {
    const std::string body(4096, ' ');
    LanguageParse p("SCENE LOOP i LT i 50 DEFINE NAME big TRACER WIDTH 7 }" + body +
                    "END_DEFINE END_LOOP END_SCENE INCLUDE NAME big END_INCLUDE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 7);
    size_t records = 0, kept = 0;
    for (const TextBuffer* t = p.pc.text_list.head; t != nullptr; t = t->next) {
        ++records;
        kept += t->text.size();
    }
    EXPECT_EQ(records, 50u);
    EXPECT_EQ(kept, std::string("TRACER WIDTH 7 }").size() + body.size());
}

TEST(Include, SplicesDefinedTexts) {
    LanguageParse p(
        "DEFINE NAME w TRACER WIDTH 640 } END_DEFINE DEFINE NAME w TRACER WIDTH 2 } END_DEFINE\n"
        "INCLUDE NAME w END_INCLUDE INCLUDE END TRACER HEIGHT 99 END_TRACER\n");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);  // the oldest of the name
    EXPECT_EQ(p.pc.height, 99);

    LanguageParse scene(
        "DEFINE NAME s SCENE END_SCENE END_DEFINE INCLUDE NAME s }\n"
        "DEFINE NAME ball SPHERE END_SPHERE END_DEFINE\n"
        "SCENE INCLUDE NAME ball END_INCLUDE INCLUDE NAME ball END_INCLUDE END_SCENE");
    ASSERT_TRUE(parse_whole(scene)) << scene.error();
    int shapes = 0;
    for (CShape* s = scene.pc.scene->shapes.head; s != nullptr; s = nextOf(s))
        ++shapes;
    EXPECT_EQ(shapes, 2);
}

TEST(Include, Errors) {
    TempFolder folder;
    const std::string big = folder.write("big.gmk", "SCENE ");
    std::filesystem::resize_file(big, 67108865);
    const std::string wrong = "DEFINE NAME ball TRACER END END_DEFINE INCLUDE NAME Ball }";
    const std::pair<std::string, std::string> cases[] = {
        {wrong, message_at("Could not find named INCLUDE.", behind(wrong, "Ball"), "Ball")},
        {"INCLUDE WIDTH", message_at("Bad Include. Expected NAME or FILE", 13, "WIDTH")},
        {"DEFINE NAME a END_DEFINE INCLUDE NAME a", message_at("Expected END of Include", 39, "a")},
        // The empty word at the end names nothing, not even a file's text.
        {"INCLUDE NAME", message_at("Could not find named INCLUDE.", 12, "")},
        {"INCLUDE FILE \"/no/such/file.gmk\" END",
         message_at("Could not open INCLUDE file.", 32, "/no/such/file.gmk")},
        {"INCLUDE FILE \"/\" END", message_at("Could not open INCLUDE file.", 16, "/")},
        // A file that is there but longer than any document says so (a
        // sparse file: nothing of it is read).
        {"INCLUDE FILE \"" + big + "\" END",
         message_at("Included text exceeded max (67108864 characters)",
                    static_cast<int>(big.size()) + 15, big)},
    };
    for (const auto& [text, message] : cases) {
        LanguageParse p(text);
        EXPECT_FALSE(parse_whole(p)) << text;
        EXPECT_EQ(p.error(), message);
    }
}

TEST(Include, ErrorPositionsAfterAndInsideTheSplicedText) {
    const std::string head =
        "DEFINE NAME t TRACER BAD END_TRACER END_DEFINE DEFINE NAME u NO_SHADOW END_DEFINE ";
    // Behind the splices, positions are those of the document.
    const std::string after = head + "TRACER INCLUDE NAME u } INCLUDE NAME u } FOO more";
    LanguageParse p(after);
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.error(), message_at(BadTracer, behind(after, "FOO"), "FOO"));
    EXPECT_EQ(p.host.selection_start, static_cast<int>(after.find("FOO")));

    // A word of an included text is shown at the end word of the outermost
    // INCLUDE being read: its own place is in no editor.
    TempFolder folder;
    const std::string nested = folder.write("nested.gmk", "INCLUDE NAME t END_INCLUDE\n");
    struct Case {
        std::string text;
        std::string from_end_word;  // the text from the end word shown on
        std::string end_word;
    };
    const std::string long_text =
        "DEFINE NAME long " + std::string(300, ' ') + "TRACER BAD END_TRACER END_DEFINE ";
    const Case cases[] = {
        {head + "INCLUDE NAME t END_INCLUDE more", "END_INCLUDE more", "END_INCLUDE"},
        {head + "INCLUDE NAME t }", "}", "}"},
        // Longer than all that precedes it: before, the position went negative.
        {long_text + "INCLUDE NAME long END_INCLUDE more", "END_INCLUDE more", "END_INCLUDE"},
        // Nested: the outer INCLUDE.
        {head + "INCLUDE FILE \"" + nested + "\" END_INCLUDE more", "END_INCLUDE more",
         "END_INCLUDE"},
        // Behind a finished INCLUDE, the next one is the one shown.
        {head + "TRACER INCLUDE NAME u END_INCLUDE END_TRACER INCLUDE NAME t END more", "END more",
         "END"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LanguageParse q(c.text);
        EXPECT_FALSE(parse_whole(q));
        const int start = static_cast<int>(c.text.rfind(c.from_end_word));
        const int end = start + static_cast<int>(c.end_word.size());
        const int n = end < static_cast<int>(c.text.size()) ? end + 1 : end;
        EXPECT_EQ(q.error(), message_at(BadTracer, n, "BAD"));
        EXPECT_EQ(q.host.selection_start, start);
        EXPECT_EQ(q.host.selection_end, end);
    }
}

TEST(Include, ReadsFilesBesideTheSceneFirst) {
    TempFolder folder;
    folder.write("size part.gmk", "TRACER WIDTH 123 END_TRACER\n");
    LanguageParse p(include_of(folder, "size part.gmk") + "TRACER HEIGHT 45 END_TRACER");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 123);
    EXPECT_EQ(p.pc.height, 45);
    // The file's text is spliced in and not kept: no copy stays behind.
    EXPECT_EQ(first_text(p), "-");

    const std::string file = "gmk_relative_" + std::to_string(::getpid()) + ".gmk";
    const std::string text = "INCLUDE FILE \"" + file + "\" END_INCLUDE";
    auto width_from = [&](const std::string& source_folder) {
        LanguageParse r(text);
        r.pc.source_folder = source_folder;
        return parse_whole(r) ? r.pc.width : -1;
    };
    std::ofstream(fs::current_path() / file) << "TRACER WIDTH 1 END_TRACER";
    EXPECT_EQ(width_from(folder.path().string()), 1);  // only in the current folder
    folder.write(file, "TRACER WIDTH 2 END_TRACER");
    EXPECT_EQ(width_from(folder.path().string()), 2);  // beside the scene as well
    EXPECT_EQ(width_from(""), 1);                      // text without a file
    fs::remove(fs::current_path() / file);
    EXPECT_EQ(width_from(folder.path().string()), 2);  // only beside the scene
    EXPECT_EQ(width_from(""), -1);
}

TEST(Include, FileTextsStayApartAndEndAtNul) {
    TempFolder folder;
    std::string nul = "WIDTH 3";
    nul += '\0';
    nul += "garbage";
    for (std::string content : {std::string("WIDTH 3"), std::string("WIDTH 3 ; x"), nul}) {
        folder.write("open end.gmk", content);
        LanguageParse p("TRACER" + include_of(folder, "open end.gmk") + "HEIGHT 4 END_TRACER");
        EXPECT_TRUE(parse_whole(p)) << content << ": " << p.error();
        EXPECT_EQ(p.pc.width, 3);
        EXPECT_EQ(p.pc.height, 4) << content;
    }
}

TEST(Include, NestingHasALimit) {
    TempFolder folder;
    folder.write("first.gmk", include_of(folder, "first.gmk") + "TRACER END_TRACER");
    folder.write("last.gmk", "TRACER END_TRACER" + include_of(folder, "last.gmk") + "\n");
    folder.write("a.gmk", include_of(folder, "b.gmk") + include_of(folder, "b.gmk"));
    folder.write("b.gmk", "TRACER END" + include_of(folder, "a.gmk"));
    for (const char* file : {"first.gmk", "last.gmk", "a.gmk"}) {
        LanguageParse p(include_of(folder, file));
        EXPECT_FALSE(parse_whole(p)) << file;
        EXPECT_EQ(p.error().rfind("Include nesting exceeded max (32) at char", 0), 0u)
            << file << ": " << p.error();
    }

    // 32 levels are fine, 33 are not.
    std::string chain = "TRACER WIDTH 32 END_TRACER";
    for (int depth = 33; depth >= 2; --depth) {
        folder.write("chain" + std::to_string(depth), chain);
        chain = include_of(folder, "chain" + std::to_string(depth));
    }
    LanguageParse deep(chain);
    EXPECT_TRUE(parse_whole(deep)) << deep.error();
    EXPECT_EQ(deep.pc.width, 32);
    folder.write("chain1", chain);
    LanguageParse deeper(include_of(folder, "chain1"));
    EXPECT_FALSE(parse_whole(deeper));

    // Includes one after another are no nesting.
    folder.write("flat", "TRACER NO_SHADOW END_TRACER");
    folder.write("pair", include_of(folder, "flat") + include_of(folder, "flat"));
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += include_of(folder, "pair");
    LanguageParse flat(text + "TRACER WIDTH 5 END_TRACER");
    EXPECT_TRUE(parse_whole(flat)) << flat.error();
    EXPECT_EQ(flat.pc.width, 5);
}

bool run_interpolation(LanguageParse& p) {
    scan_token(p.pc);
    parse_interpolation(p.pc);
    return !p.pc.parse_error;
}

TEST(Interpolation, ReadsItsTableInBothKindsOfParse) {
    for (bool build : {true, false}) {
        LanguageParse p("INTERPOLATION NAME wave 0 0 ADD 1 1, MUL 2 5 END_INTERPOLATION next",
                        build);
        ASSERT_TRUE(run_interpolation(p)) << p.error();
        Interpolation* table = p.pc.interpolation_list.head;
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->name, "wave");
        EXPECT_EQ(table->count, 2);
        EXPECT_EQ(table->points[1][0], 2.0f);
        EXPECT_EQ(table->points[1][1], 10.0f);
        EXPECT_EQ(table->period, 2.0f);
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, "next");
        // Expressions read it at the scene time.
        set_text(p.pc.document, "MUL wave 2");
        p.pc.time = 3.0f;
        EXPECT_EQ(read_expression(p.pc), 10.0f);
    }
}

Interpolation table_of(std::initializer_list<std::pair<float, float>> points) {
    Interpolation t;
    for (auto [time, value] : points) {
        t.points[t.count][0] = t.period = time;
        t.points[t.count++][1] = value;
    }
    return t;
}

TEST(Interpolation, PeriodicPiecewiseLinear) {
    Interpolation ramp = table_of({{0, 0}, {2, 10}});
    const std::pair<float, float> ramp_cases[] = {{1, 5},       {2, 0},     {3, 5},
                                                  {0.5f, 2.5f}, {-0.5f, 0}, {4, 0}};
    for (auto [time, value] : ramp_cases)
        EXPECT_EQ(ramp.evaluate(time), value) << time;

    Interpolation fall = table_of({{0, 1}, {0.5f, 0.75f}, {0.75f, 0.25f}, {1, 0}});
    EXPECT_FLOAT_EQ(fall.evaluate(0.25f), 0.875f);
    EXPECT_NEAR(fall.evaluate(0.9f), 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(fall.evaluate(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(fall.evaluate(1.25f), 0.875f);

    Interpolation late = table_of({{1, 5}, {2, 7}});  // the first value before the first point
    EXPECT_EQ(late.evaluate(0.5f), 5.0f);
    EXPECT_EQ(late.evaluate(1.5f), 6.0f);
    EXPECT_EQ(table_of({{0, 4}}).evaluate(0.3f), 4.0f);
    EXPECT_EQ(Interpolation().evaluate(0.3f), 0.0f);
}

TEST(Interpolation, Errors) {
    const std::string end_text = "INTERPOLATION NAME w 0 1 END 2 END_INTERPOLATION";
    std::string points;
    for (int i = 0; i < 32; ++i)
        points += std::to_string(i) + " 1 ";
    const std::string over = "INTERPOLATION NAME w " + points + "99 1 END_INTERPOLATION";
    const std::pair<std::string, std::string> cases[] = {
        {end_text, message_at("Expected Float.", behind(end_text, " END ") - 1, "END")},
        {"INTERPOLATION NAME w 0 1", message_at("Expected END_INTERPOLATION.", 24, "1")},
        {over, message_at("Interpolation points exceeded max (32)", behind(over, "99"), "99")},
    };
    for (const auto& [text, message] : cases) {
        LanguageParse p(text);
        EXPECT_FALSE(run_interpolation(p));
        EXPECT_EQ(p.error(), message);
    }
    LanguageParse full("INTERPOLATION NAME w " + points + "END_INTERPOLATION");
    EXPECT_TRUE(run_interpolation(full)) << full.error();
    EXPECT_EQ(full.pc.interpolation_list.head->count, 32);
}

}  // namespace
