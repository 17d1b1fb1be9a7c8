#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "language/blocks.h"
#include "language/expressions.h"
#include "language_test_support.h"

namespace fs = std::filesystem;

namespace {

const char* BadDocument = "Bad document. Expected ANIMATION, TRACER, SCENE, DEFINE or INCLUDE.";
const char* BadTracer =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";

// The editor position behind the last occurrence of a word and its separator.
int behind(const std::string& text, const std::string& word) {
    size_t at = text.rfind(word);
    size_t end = at + word.size();
    return static_cast<int>(end < text.size() ? end + 1 : end);
}

std::vector<const TextBuffer*> texts(const ParseContext& pc) {
    std::vector<const TextBuffer*> out;
    for (const TextBuffer* t = pc.text_list.head; t != nullptr; t = t->next)
        out.push_back(t);
    return out;
}

int shape_count(const ParseContext& pc) {
    int n = 0;
    for (CShape* s = pc.scene->shapes.head; s != nullptr; s = nextOf(s))
        ++n;
    return n;
}

// A folder of its own under the system's temporary folder, removed afterwards.
struct TempFolder {
    fs::path path;
    TempFolder() {
        path = fs::temp_directory_path() /
               ("gmk_include_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::string& content) const {
        fs::path file = path / name;
        std::ofstream out(file, std::ios::binary);
        out << content;
        return file.string();
    }
};

TEST(Define, KeepsTheBodyExactlyAsWritten) {
    LanguageParse p("DEFINE NAME x\n  SPHERE ; a comment\n  [note] END_SPHERE\nEND_DEFINE\n");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    auto t = texts(p.pc);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0]->name, "x");
    EXPECT_EQ(t[0]->text, "  SPHERE ; a comment\n  [note] END_SPHERE\n");
    EXPECT_EQ(t[0]->length, static_cast<int>(t[0]->text.size()));
    EXPECT_EQ(t[0]->position, 0);
}

TEST(Define, EndsOnlyAtEndDefine) {
    LanguageParse p("DEFINE NAME a } END x end_define ");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    ASSERT_EQ(texts(p.pc).size(), 1u);
    EXPECT_EQ(texts(p.pc)[0]->text, "} END x ");
}

TEST(Define, EveryNameRestartsTheBody) {
    LanguageParse p("DEFINE NAME shape MATERIAL NAME red END_MATERIAL END_DEFINE ");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    ASSERT_EQ(texts(p.pc).size(), 1u);
    EXPECT_EQ(texts(p.pc)[0]->name, "red");
    EXPECT_EQ(texts(p.pc)[0]->text, "END_MATERIAL ");
}

TEST(Define, TemplateAndCheckOnlyParses) {
    LanguageParse p(
        "define\n\tname Make_unique\n\t;for a prototype define enter code here otherwise leave "
        "blank\nend_define",
        false);
    ASSERT_TRUE(parse_whole(p)) << p.error();
    ASSERT_EQ(texts(p.pc).size(), 1u);
    EXPECT_EQ(texts(p.pc)[0]->name, "Make_unique");
    EXPECT_EQ(texts(p.pc)[0]->text,
              "\t;for a prototype define enter code here otherwise leave blank");

    LanguageParse empty("DEFINE NAME e END_DEFINE");
    ASSERT_TRUE(parse_whole(empty)) << empty.error();
    ASSERT_EQ(texts(empty.pc).size(), 1u);
    EXPECT_EQ(texts(empty.pc)[0]->text, "");
}

TEST(Define, Errors) {
    LanguageParse open("DEFINE NAME a SPHERE");
    EXPECT_FALSE(parse_whole(open));
    EXPECT_EQ(open.error(), message_at("Expected END_DEFINE.", 20, "SPHERE"));
    EXPECT_TRUE(texts(open.pc).empty());

    LanguageParse nameless("DEFINE SPHERE END_DEFINE x");
    EXPECT_FALSE(parse_whole(nameless));
    EXPECT_EQ(nameless.error(), message_at("Expected NAME before END_DEFINE.", 25, "END_DEFINE"));
}

TEST(Include, SplicesADefinedText) {
    LanguageParse p(
        "DEFINE NAME t TRACER WIDTH 640 END_TRACER END_DEFINE\n"
        "INCLUDE NAME t END_INCLUDE\n"
        "TRACER HEIGHT 99 END_TRACER\n");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 640);
    EXPECT_EQ(p.pc.height, 99);
}

TEST(Include, BlockEndWordsAndEmptyIncludes) {
    LanguageParse p("DEFINE NAME t TRACER WIDTH 7 } END_DEFINE INCLUDE NAME t } INCLUDE END");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 7);
}

TEST(Include, NamesAreCaseSensitiveAndTheOldestCounts) {
    const std::string text = "DEFINE NAME ball TRACER END END_DEFINE INCLUDE NAME Ball END_INCLUDE";
    LanguageParse wrong(text);
    EXPECT_FALSE(parse_whole(wrong));
    EXPECT_EQ(wrong.error(),
              message_at("Could not find named INCLUDE.", behind(text, "Ball"), "Ball"));

    LanguageParse twice(
        "DEFINE NAME w TRACER WIDTH 1 END END_DEFINE DEFINE NAME w TRACER WIDTH 2 END END_DEFINE "
        "INCLUDE NAME w END_INCLUDE");
    ASSERT_TRUE(parse_whole(twice)) << twice.error();
    EXPECT_EQ(twice.pc.width, 1);
}

TEST(Include, Errors) {
    LanguageParse bad("INCLUDE WIDTH");
    EXPECT_FALSE(parse_whole(bad));
    EXPECT_EQ(bad.error(), message_at("Bad Include. Expected NAME or FILE", 13, "WIDTH"));

    LanguageParse open("DEFINE NAME a END_DEFINE INCLUDE NAME a");
    EXPECT_FALSE(parse_whole(open));
    EXPECT_EQ(open.error(), message_at("Expected END of Include", 39, "a"));

    // The empty word at the end of the text names nothing, not even a file's text.
    LanguageParse nameless("INCLUDE NAME");
    EXPECT_FALSE(parse_whole(nameless));
    EXPECT_EQ(nameless.error(), message_at("Could not find named INCLUDE.", 12, ""));
}

TEST(Include, ErrorPositionsAfterAndInsideTheSplicedText) {
    const std::string head =
        "DEFINE NAME t TRACER BAD END_TRACER END_DEFINE DEFINE NAME u TRACER END_TRACER "
        "END_DEFINE ";
    // Behind the splice, positions are those of the document.
    const std::string after_text = head + "INCLUDE NAME u END_INCLUDE FOO more";
    LanguageParse after(after_text);
    EXPECT_FALSE(parse_whole(after));
    int foo = static_cast<int>(after_text.find("FOO"));
    EXPECT_EQ(after.error(), message_at(BadDocument, foo + 4, "FOO"));
    EXPECT_EQ(after.host.selection_start, foo);
    EXPECT_EQ(after.host.selection_end, foo + 3);

    // Inside it, the spliced characters map to the places just before the
    // splice point: the body "TRACER BAD END_TRACER " is 22 characters long.
    const std::string inside_text = head + "INCLUDE NAME t END_INCLUDE more";
    LanguageParse inside(inside_text);
    EXPECT_FALSE(parse_whole(inside));
    int splice_point = behind(inside_text, "END_INCLUDE");
    EXPECT_EQ(inside.error(), message_at(BadTracer, splice_point - 22 + 11, "BAD"));
}

TEST(Include, ReadsAFile) {
    TempFolder folder;
    std::string path = folder.write("size part.gmk", "TRACER WIDTH 123 END_TRACER\n");
    LanguageParse p("INCLUDE FILE \"" + path + "\" END_INCLUDE TRACER HEIGHT 45 END_TRACER");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 123);
    EXPECT_EQ(p.pc.height, 45);
    // The file's text lives in the list, without a name.
    auto t = texts(p.pc);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0]->name, "");
    EXPECT_EQ(t[0]->text, "TRACER WIDTH 123 END_TRACER\n");
}

TEST(Include, TextWithoutFinalLineBreakStaysApart) {
    TempFolder folder;
    for (const char* content : {"TRACER WIDTH 3 END_TRACER", "TRACER WIDTH 3 END_TRACER ; note"}) {
        std::string path = folder.write("open end.gmk", content);
        LanguageParse p("INCLUDE FILE \"" + path + "\" END_INCLUDE TRACER HEIGHT 4 END_TRACER");
        EXPECT_TRUE(parse_whole(p)) << content << ": " << p.error();
        EXPECT_EQ(p.pc.width, 3) << content;
        EXPECT_EQ(p.pc.height, 4) << content;
    }
    // Two splices one after the other keep the positions of what follows.
    const std::string text =
        "DEFINE NAME w NO_SHADOW END_DEFINE\n"
        "TRACER INCLUDE NAME w END_INCLUDE INCLUDE NAME w END_INCLUDE BAD END_TRACER";
    LanguageParse p(text);
    EXPECT_FALSE(parse_whole(p));
    EXPECT_EQ(p.error(), message_at(BadTracer, static_cast<int>(text.find("BAD")) + 4, "BAD"));
}

TEST(Include, FileTextEndsAtItsFirstNul) {
    TempFolder folder;
    std::string content = "TRACER WIDTH 7 END_TRACER";
    content += '\0';
    content += "garbage that is never read";
    std::string path = folder.write("nul.gmk", content);
    LanguageParse p("INCLUDE FILE \"" + path + "\" END_INCLUDE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 7);
}

TEST(Include, MissingFilesAndFolders) {
    TempFolder folder;
    for (std::string name : {(folder.path / "absent.gmk").string(), folder.path.string()}) {
        std::string text = "INCLUDE FILE \"" + name + "\" END_INCLUDE";
        LanguageParse p(text);
        EXPECT_FALSE(parse_whole(p)) << name;
        int behind_quote = static_cast<int>(text.rfind('"')) + 1;
        EXPECT_EQ(p.error(), message_at("Could not open INCLUDE file.", behind_quote, name));
    }
}

TEST(Include, RelativeNamesBesideTheSceneFileFirst) {
    TempFolder scene_folder;
    const std::string name = "gmk_relative_" + std::to_string(::getpid()) + ".gmk";
    fs::path in_current = fs::current_path() / name;

    // Only in the current folder.
    {
        std::ofstream(in_current) << "TRACER WIDTH 1 END_TRACER";
        LanguageParse p("INCLUDE FILE \"" + name + "\" END_INCLUDE");
        p.pc.source_folder = scene_folder.path.string();
        EXPECT_TRUE(parse_whole(p)) << p.error();
        EXPECT_EQ(p.pc.width, 1);
    }
    // Beside the scene file as well: that one wins.
    scene_folder.write(name, "TRACER WIDTH 2 END_TRACER");
    {
        LanguageParse p("INCLUDE FILE \"" + name + "\" END_INCLUDE");
        p.pc.source_folder = scene_folder.path.string();
        EXPECT_TRUE(parse_whole(p)) << p.error();
        EXPECT_EQ(p.pc.width, 2);
        EXPECT_EQ(resolve_document_path(p.pc, name), (scene_folder.path / name).string());
    }
    // Only beside the scene file.
    fs::remove(in_current);
    {
        LanguageParse p("INCLUDE FILE \"" + name + "\" END_INCLUDE");
        p.pc.source_folder = scene_folder.path.string();
        EXPECT_TRUE(parse_whole(p)) << p.error();
        EXPECT_EQ(p.pc.width, 2);
    }
    // Text without a file has no folder of its own.
    {
        LanguageParse p("INCLUDE FILE \"" + name + "\" END_INCLUDE");
        EXPECT_FALSE(parse_whole(p));
        EXPECT_EQ(resolve_document_path(p.pc, name), name);
    }
}

// A DEFINE body cannot hold the word NAME, so texts include each other only
// through files.
TEST(Include, SelfInclusionEndsWithAnError) {
    TempFolder folder;
    auto include = [&](const std::string& file) {
        return " INCLUDE FILE \"" + (folder.path / file).string() + "\" END_INCLUDE ";
    };
    folder.write("first.gmk", include("first.gmk") + "TRACER END_TRACER");
    folder.write("last.gmk", "TRACER END_TRACER" + include("last.gmk") + "\n");
    folder.write("a.gmk", include("b.gmk") + include("b.gmk"));
    folder.write("b.gmk", "TRACER END" + include("a.gmk"));
    for (const char* file : {"first.gmk", "last.gmk", "a.gmk"}) {
        LanguageParse p(include(file));
        EXPECT_FALSE(parse_whole(p)) << file;
        EXPECT_EQ(p.error().rfind("Include nesting exceeded max (32) at char", 0), 0u)
            << file << ": " << p.error();
        EXPECT_EQ(p.message_count(), 1u);
    }
}

TEST(Include, IncludesOneAfterAnotherAreNoNesting) {
    TempFolder folder;
    std::string inner = folder.write("inner.gmk", "TRACER NO_SHADOW END_TRACER");
    std::string pair = " INCLUDE FILE \"" + inner + "\" END_INCLUDE ";
    std::string outer = folder.write("outer.gmk", pair + pair);
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "INCLUDE FILE \"" + outer + "\" END_INCLUDE\n";
    text += "TRACER WIDTH 5 END_TRACER";
    LanguageParse p(text);
    EXPECT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(p.pc.width, 5);
    EXPECT_TRUE(p.pc.job.no_shadow);

    // Includes nested 32 deep are still fine.
    std::string chain = "TRACER WIDTH 32 END_TRACER";
    for (int depth = 31; depth >= 1; --depth) {
        std::string name = "chain" + std::to_string(depth + 1) + ".gmk";
        folder.write(name, chain);
        chain = " INCLUDE FILE \"" + (folder.path / name).string() + "\" END_INCLUDE ";
    }
    LanguageParse deep(chain);
    EXPECT_TRUE(parse_whole(deep)) << deep.error();
    EXPECT_EQ(deep.pc.width, 32);
}

TEST(Include, AtTheTopLevelAndInsideAScene) {
    LanguageParse top("DEFINE NAME s SCENE END_SCENE END_DEFINE INCLUDE NAME s END_INCLUDE");
    EXPECT_TRUE(parse_whole(top)) << top.error();

    LanguageParse p(
        "DEFINE NAME ball SPHERE END_SPHERE END_DEFINE\n"
        "SCENE INCLUDE NAME ball END_INCLUDE INCLUDE NAME ball END_INCLUDE END_SCENE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    EXPECT_EQ(shape_count(p.pc), 2);
}

// Runs the INTERPOLATION parser on a text that starts with its keyword.
bool run_interpolation(LanguageParse& p) {
    scan_token(p.pc);
    EXPECT_EQ(p.pc.token, INTERPOLATION);
    parse_interpolation(p.pc);
    return !p.pc.parse_error;
}

TEST(Interpolation, ReadsItsTable) {
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
    }
    // Inside a scene, through the scene's parser.
    LanguageParse p(
        "SCENE INTERPOLATION NAME wave 0 0 ADD 1 1, MUL 2 5 END_INTERPOLATION END_SCENE");
    ASSERT_TRUE(parse_whole(p)) << p.error();
    Interpolation* table = p.pc.interpolation_list.head;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->name, "wave");
    EXPECT_EQ(table->count, 2);
    EXPECT_EQ(table->points[1][0], 2.0f);
    EXPECT_EQ(table->points[1][1], 10.0f);
    EXPECT_EQ(table->period, 2.0f);
}

struct EvalCase {
    float time;
    float value;
};

Interpolation table_of(std::initializer_list<std::pair<float, float>> points) {
    Interpolation t;
    for (auto [time, value] : points) {
        t.points[t.count][0] = time;
        t.points[t.count][1] = value;
        t.count += 1;
        t.period = time;
    }
    return t;
}

TEST(Interpolation, PeriodicPiecewiseLinear) {
    Interpolation ramp = table_of({{0, 0}, {2, 10}});
    const EvalCase ramp_cases[] = {{1, 5}, {2, 0}, {3, 5}, {0.5f, 2.5f}, {-0.5f, 0}, {4, 0}};
    for (const EvalCase& c : ramp_cases)
        EXPECT_EQ(ramp.evaluate(c.time), c.value) << c.time;

    // The template's table.
    Interpolation fall = table_of({{0, 1}, {0.5f, 0.75f}, {0.75f, 0.25f}, {1, 0}});
    EXPECT_FLOAT_EQ(fall.evaluate(0.25f), 0.875f);
    EXPECT_NEAR(fall.evaluate(0.9f), 0.1f, 1e-6f);
    EXPECT_FLOAT_EQ(fall.evaluate(1.0f), 1.0f);
    EXPECT_FLOAT_EQ(fall.evaluate(1.25f), 0.875f);

    // Before the first point the table holds the first value.
    Interpolation late = table_of({{1, 5}, {2, 7}});
    EXPECT_EQ(late.evaluate(0.5f), 5.0f);
    EXPECT_EQ(late.evaluate(1.5f), 6.0f);

    // Degenerate tables have defined values.
    Interpolation single = table_of({{0, 4}});
    EXPECT_EQ(single.evaluate(0.3f), 4.0f);
    Interpolation none;
    EXPECT_EQ(none.evaluate(0.3f), 0.0f);
}

TEST(Interpolation, ExpressionsReadItAtTheSceneTime) {
    LanguageParse p("INTERPOLATION NAME wave 0 0 2 10 END_INTERPOLATION");
    ASSERT_TRUE(run_interpolation(p)) << p.error();
    set_text(p.pc.document, "MUL wave 2");
    p.pc.time = 3.0f;
    EXPECT_EQ(read_expression(p.pc), 10.0f);
}

TEST(Interpolation, Errors) {
    const std::string end_text = "INTERPOLATION NAME w 0 1 END 2 END_INTERPOLATION";
    LanguageParse end_word(end_text);
    EXPECT_FALSE(run_interpolation(end_word));
    EXPECT_EQ(end_word.error(),
              message_at("Expected Float.", static_cast<int>(end_text.find(" END ")) + 5, "END"));

    LanguageParse open("INTERPOLATION NAME w 0 1");
    EXPECT_FALSE(run_interpolation(open));
    EXPECT_EQ(open.error(), message_at("Expected END_INTERPOLATION.", 24, "1"));

    std::string points;
    for (int i = 0; i < 32; ++i)
        points += std::to_string(i) + " 1 ";
    LanguageParse full("INTERPOLATION NAME w " + points + "END_INTERPOLATION");
    EXPECT_TRUE(run_interpolation(full)) << full.error();
    EXPECT_EQ(full.pc.interpolation_list.head->count, 32);

    const std::string over_text = "INTERPOLATION NAME w " + points + "99 1 END_INTERPOLATION";
    LanguageParse over(over_text);
    EXPECT_FALSE(run_interpolation(over));
    EXPECT_EQ(over.error(),
              message_at("Interpolation points exceeded max (32)", behind(over_text, "99"), "99"));
}

}  // namespace
