#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "language_test_support.h"

namespace {

using Words = std::vector<std::pair<std::string, int>>;

Words scan_all(const std::string& text) {
    LanguageParse p(text, false);
    Words out;
    for (int guard = 0; guard < 10000; ++guard) {
        scan_token(p.pc);
        if (p.pc.word.empty()) {
            EXPECT_EQ(p.pc.token, 0);
            break;
        }
        out.emplace_back(p.pc.word, p.pc.token);
    }
    return out;
}

struct ScanCase {
    const char* text;
    Words words;
};

TEST(ScanToken, SplitsAndClassifiesWords) {
    const ScanCase cases[] = {
        {"SCENE {", {{"SCENE", 30}}},
        {"SCENE{", {{"SCENE{", 0}}},
        {"} END", {{"}", 999}, {"END", 999}}},
        {"end_scene END_SCENE End_Scene",
         {{"end_scene", 31}, {"END_SCENE", 31}, {"End_Scene", 31}}},
        {"translate 1,2,3", {{"translate", 342}, {"1", 0}, {"2", 0}, {"3", 0}}},
        {"10;x", {{"10;x", 0}}},
        {"10 ;x\n20", {{"10", 0}, {"20", 0}}},
        {"a ;comment\rb", {{"a", 0}, {"b", 0}}},
        {"[a [b] c] d", {{"c]", 0}, {"d", 0}}},
        {"x[y z", {{"x[y", 0}, {"z", 0}}},
        {"a\tb\r\nc,,,d", {{"a", 0}, {"b", 0}, {"c", 0}, {"d", 0}}},
        {"{{{ FRAME {TRANSLATE", {{"FRAME", 40}, {"TRANSLATE", 342}}},
        {"}", {{"}", 999}}},
        {"END_SCENE\n", {{"END_SCENE", 31}}},
        {"\"a b\" (1)", {{"\"a", 0}, {"b\"", 0}, {"(1)", 0}}},
        {"\xC3\xA9t\xC3\xA9 sph\xC3\xA8re", {{"\xC3\xA9t\xC3\xA9", 0}, {"sph\xC3\xA8re", 0}}},
        {"[never closed SPHERE", {}},
        {"; never ended SPHERE", {}},
        {"", {}},
        {" \t\r\n,{", {}},
        {"file File FILE", {{"file", 323}, {"File", 323}, {"FILE", 323}}},
        {"Spheres SPHERE_ END_", {{"Spheres", 0}, {"SPHERE_", 0}, {"END_", 0}}},
    };
    for (const ScanCase& c : cases)
        EXPECT_EQ(scan_all(c.text), c.words) << "text: " << c.text;
}

TEST(ScanToken, EveryKeywordHasItsCodeInAnyCase) {
    const std::pair<const char*, int> table[] = {
        {"ANIMATION", 10},
        {"END_ANIMATION", 11},
        {"TRACER", 20},
        {"END_TRACER", 21},
        {"SCENE", 30},
        {"END_SCENE", 31},
        {"FRAME", 40},
        {"END_FRAME", 41},
        {"BOUNDING_SHAPE", 42},
        {"CAMERA", 50},
        {"END_CAMERA", 51},
        {"LIGHT", 60},
        {"END_LIGHT", 61},
        {"MESH", 100},
        {"END_MESH", 101},
        {"PLANE", 110},
        {"END_PLANE", 111},
        {"SPHERE", 200},
        {"END_SPHERE", 201},
        {"CYLINDER", 210},
        {"END_CYLINDER", 211},
        {"CONE", 220},
        {"END_CONE", 221},
        {"PARABOLOID", 230},
        {"END_PARABOLOID", 231},
        {"HYPERBOLOID", 240},
        {"END_HYPERBOLOID", 241},
        {"CUBE", 250},
        {"END_CUBE", 251},
        {"QUADRIC", 260},
        {"END_QUADRIC", 261},
        {"COEFFICIENTS", 262},
        {"EVERYWHERE", 270},
        {"END_EVERYWHERE", 271},
        {"CUBIC", 280},
        {"END_CUBIC", 281},
        {"TRIAD", 290},
        {"END_TRIAD", 291},
        {"COSINE", 292},
        {"END_COSINE", 293},
        {"PYRAMID", 294},
        {"END_PYRAMID", 295},
        {"SOR", 296},
        {"END_SOR", 297},
        {"INTERPOLATION", 310},
        {"END_INTERPOLATION", 311},
        {"DEFINE", 320},
        {"END_DEFINE", 321},
        {"NAME", 322},
        {"FILE", 323},
        {"MATERIAL", 330},
        {"END_MATERIAL", 331},
        {"INCLUDE", 340},
        {"END_INCLUDE", 341},
        {"TRANSLATE", 342},
        {"SCALE", 343},
        {"ROTATE", 344},
        {"MATRIX", 345},
        {"UNION", 350},
        {"END_UNION", 351},
        {"INTERSECTION", 360},
        {"END_INTERSECTION", 361},
        {"DIFFERENCE", 370},
        {"END_DIFFERENCE", 371},
        {"LOOP", 380},
        {"END_LOOP", 381},
        {"START_TIME", 12},
        {"END_TIME", 13},
        {"FRAMES", 14},
        {"FRAMES_PER_SECOND", 15},
        {"OUTPUT_FILE", 16},
        {"ANTIALIASING", 22},
        {"WIDTH", 23},
        {"HEIGHT", 24},
        {"NO_REFRACTION", 25},
        {"NO_REFLECTION", 26},
        {"NO_HIGHLIGHTS", 27},
        {"NO_SHADOW", 28},
        {"NO_DIFFUSE", 29},
        {"MAX_DEPTH", 32},
        {"BACKGROUND_COLOR", 33},
        {"AMBIENCE", 34},
        {"FOG_DEPTH", 35},
        {"}", 999},
        {"END", 999},
    };
    int count = 0;
    keyword_table(count);
    EXPECT_EQ(count, static_cast<int>(std::size(table)));
    for (const auto& [word, code] : table) {
        std::string lower = word;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(keyword_code(word), code) << word;
        EXPECT_EQ(keyword_code(lower), code) << lower;
    }
    // Words that a single block understands are no keywords.
    for (const char* w : {"COLOR", "LOOK_AT", "VERTEX_LIST", "DIFFUSE", "TYPE", "PHASE", "ADD"})
        EXPECT_EQ(keyword_code(w), 0) << w;
}

TEST(ScanToken, ConsumesTheSeparatorBehindTheWord) {
    LanguageParse p("WIDTH 320");
    scan_token(p.pc);
    EXPECT_EQ(p.pc.token, WIDTH);
    EXPECT_EQ(p.pc.document.position, 6);
    EXPECT_EQ(p.pc.word_position, 0);
    scan_token(p.pc);
    EXPECT_EQ(p.pc.word, "320");
    EXPECT_EQ(p.pc.word_position, 6);
    EXPECT_EQ(p.pc.document.position, 9);
}

TEST(ScanToken, StaysAtTheEndOfTheText) {
    LanguageParse p("SPHERE  ;tail");
    scan_token(p.pc);
    for (int i = 0; i < 5; ++i) {
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, "");
        EXPECT_EQ(p.pc.token, 0);
        EXPECT_EQ(p.pc.document.position, p.pc.document.length);
    }
}

TEST(ScanToken, CutsLongWordsAt255Characters) {
    // 300 letters: 255 of them, the 256th dropped, then the other 44.
    Words w = scan_all(std::string(300, 'a'));
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].first, std::string(255, 'a'));
    EXPECT_EQ(w[1].first, std::string(44, 'a'));

    // Exactly 255 letters end like any word; the separator goes with them.
    w = scan_all(std::string(255, 'b') + " x");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].first.size(), 255u);
    EXPECT_EQ(w[1].first, "x");

    // A keyword spelled behind 255 characters is still found after the cut.
    w = scan_all(std::string(256, 'c') + "SPHERE");
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1], std::make_pair(std::string("SPHERE"), 200));
}

TEST(ScanToken, HugeDocumentsScanWithoutFault) {
    // 16 MB: one unterminated comment, then words of the longest length.
    std::string comment = "[" + std::string(16 * 1024 * 1024, 'x');
    EXPECT_TRUE(scan_all(comment).empty());

    std::string words;
    for (int i = 0; i < 65536; ++i)
        words += std::string(255, 'w') + ' ';
    LanguageParse p(words, false);
    int count = 0;
    for (;;) {
        scan_token(p.pc);
        if (p.pc.word.empty()) break;
        ++count;
    }
    EXPECT_EQ(count, 65536);
}

TEST(SetText, CopiesUpToTheFirstNul) {
    TextBuffer b;
    b.position = 7;
    b.offset = 3;
    const char with_nul[] = "SCENE\0junk";
    set_text(b, with_nul);
    EXPECT_EQ(b.text, "SCENE");
    EXPECT_EQ(b.length, 5);
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(b.offset, 0);
    set_text(b, nullptr);
    EXPECT_EQ(b.length, 0);
}

TEST(InsertText, KeepsEditorPositionsOfTheRest) {
    TextBuffer b;
    set_text(b, "AAAA BBBB CCCC");
    b.position = 10;  // behind "BBBB "
    insert_text(b, "xyz ");
    EXPECT_EQ(b.text, "xyz CCCC");
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(b.length, 8);
    EXPECT_EQ(b.offset, 6);
    // "CCCC" was at editor characters 10 to 13 and still maps there.
    EXPECT_EQ(4 + b.offset, 10);

    // A second splice adds up the offsets.
    b.position = 4;
    insert_text(b, "0123456789");
    EXPECT_EQ(b.text, "0123456789CCCC");
    EXPECT_EQ(b.offset, 6 + 4 - 10);
    EXPECT_EQ(10 + b.offset, 10);
}

TEST(ReadString, TakesTheCharactersBetweenTheQuotes) {
    LanguageParse p("OUTPUT_FILE \"c:\\my films\\test.avi\" next");
    scan_token(p.pc);
    read_string(p.pc);
    EXPECT_EQ(p.pc.word, "c:\\my films\\test.avi");
    EXPECT_EQ(p.pc.token, OUTPUT_FILE);  // left as it was
    scan_token(p.pc);
    EXPECT_EQ(p.pc.word, "next");
}

TEST(ReadString, SkipsAnythingBeforeTheOpeningQuote) {
    LanguageParse p("junk END x\"name\"y");
    read_string(p.pc);
    EXPECT_EQ(p.pc.word, "name");
    scan_token(p.pc);
    EXPECT_EQ(p.pc.word, "y");
}

TEST(ReadString, WithoutQuoteIsEmptyAtTheEnd) {
    LanguageParse p("no quote here");
    read_string(p.pc);
    EXPECT_EQ(p.pc.word, "");
    EXPECT_EQ(p.pc.document.position, p.pc.document.length);

    LanguageParse open("\"never closed");
    read_string(open.pc);
    EXPECT_EQ(open.pc.word, "never closed");
    EXPECT_EQ(open.pc.document.position, open.pc.document.length);
}

TEST(ReadString, KeepsAtMost255Characters) {
    LanguageParse p("\"" + std::string(400, 'q') + "\" after");
    read_string(p.pc);
    EXPECT_EQ(p.pc.word, std::string(255, 'q'));
    scan_token(p.pc);
    EXPECT_EQ(p.pc.word, "after");
}

TEST(ReadInteger, FollowsThePercentIRules) {
    const std::pair<const char*, int> cases[] = {
        {"0x10", 16},
        {"010", 8},
        {"12abc", 12},
        {"-3", -3},
        {"+7", 7},
        {"0", 0},
        {"0XfF", 255},
        {"640.5", 640},
        {"0x", 0},
        {"08", 0},
        {"-0x10", -16},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"99999999999999999999999999", INT_MAX},
        {"-99999999999999999999999", INT_MIN},
    };
    for (const auto& [text, value] : cases) {
        LanguageParse p(text);
        EXPECT_EQ(read_integer(p.pc), value) << text;
        EXPECT_FALSE(p.pc.parse_error) << text;
    }
}

TEST(ReadInteger, ReportsWordsThatAreNoNumber) {
    for (const char* text : {"abc", "-", "x1", "", "+-3", ".5"}) {
        LanguageParse p(text);
        EXPECT_EQ(read_integer(p.pc), 0) << text;
        EXPECT_TRUE(p.pc.parse_error) << text;
        EXPECT_EQ(p.error(),
                  message_at("Expected Integer.", static_cast<int>(std::string(text).size()), text))
            << text;
    }
}

TEST(ReadInteger, NumberWordsOfAnyLength) {
    LanguageParse p(std::string(5000, '7') + " 5");
    EXPECT_EQ(read_integer(p.pc), INT_MAX);
    // The cut word's rest is a word of its own.
    EXPECT_EQ(read_integer(p.pc), INT_MAX);
}

TEST(ReportParseError, GivesPositionBehindTheWordAndSelectsIt) {
    LanguageParse p("aaaaaaaaa abc x");
    scan_token(p.pc);
    scan_token(p.pc);  // "abc" at editor characters 10 to 12
    report_parse_error(p.pc, "Bad thing.");
    EXPECT_TRUE(p.pc.parse_error);
    ASSERT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.host.messages[0].text, "Bad thing. at char 14 found: abc");
    EXPECT_EQ(p.host.messages[0].caption, "Parse Error");
    EXPECT_EQ(p.host.selection_start, 10);
    EXPECT_EQ(p.host.selection_end, 13);
}

TEST(ReportParseError, OnlyTheFirstErrorOpensABox) {
    LanguageParse p("one two");
    scan_token(p.pc);
    report_parse_error(p.pc, "First.");
    scan_token(p.pc);
    report_parse_error(p.pc, "Second.");
    ASSERT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.error(), "First. at char 4 found: one");
    EXPECT_EQ(p.host.selection_start, 0);
    EXPECT_EQ(p.host.selection_end, 3);
}

TEST(ReportParseError, UsesTheOffsetOfSplicedText) {
    LanguageParse p("AAAA BBBB CCCC DDDD");
    p.pc.document.position = 10;
    insert_text(p.pc.document, "xyz ");
    scan_token(p.pc);  // "xyz"
    scan_token(p.pc);  // "CCCC", editor characters 10 to 13
    report_parse_error(p.pc, "Bad.");
    EXPECT_EQ(p.error(), "Bad. at char 15 found: CCCC");
    EXPECT_EQ(p.host.selection_start, 10);
    EXPECT_EQ(p.host.selection_end, 14);
}

TEST(ReportParseError, WithoutHostOnlySetsTheFlag) {
    ParseContext pc;
    set_text(pc.document, "word");
    scan_token(pc);
    report_parse_error(pc, "Bad.");
    EXPECT_TRUE(pc.parse_error);
}

TEST(ReportParseError, TextIsAtMost511Characters) {
    LanguageParse p(std::string(255, 'w'));
    scan_token(p.pc);
    std::string message(400, 'm');
    report_parse_error(p.pc, message.c_str());
    ASSERT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.error().size(), 511u);
    EXPECT_EQ(p.error().substr(0, 400), message);
}

TEST(NestingGuard, ReportsOnceTheLimitIsPassed) {
    LanguageParse p("deep");
    scan_token(p.pc);
    std::vector<std::unique_ptr<NestingGuard>> guards;
    for (int i = 0; i < MaxNesting; ++i) {
        guards.push_back(std::make_unique<NestingGuard>(p.pc));
        EXPECT_TRUE(guards.back()->ok());
    }
    EXPECT_FALSE(p.pc.parse_error);
    NestingGuard one_more(p.pc);
    EXPECT_FALSE(one_more.ok());
    EXPECT_EQ(p.error(), "Nesting exceeded max (256) at char 4 found: deep");
    guards.clear();
    EXPECT_EQ(p.pc.nesting_depth, 1);
}

}  // namespace
