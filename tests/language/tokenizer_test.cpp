#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "language/expressions.h"
#include "language/number_run.h"
#include "language_test_support.h"

namespace {

// The words of a text with their codes, as "word:code" joined by blanks.
std::string scan_all(const std::string& text) {
    LanguageParse p(text, false);
    std::string out;
    for (scan_token(p.pc); !p.pc.word.empty(); scan_token(p.pc))
        out += (out.empty() ? "" : " ") + p.pc.word + ":" + std::to_string(p.pc.token);
    EXPECT_EQ(p.pc.token, 0);
    EXPECT_EQ(p.pc.document.position, p.pc.document.length);
    return out;
}

TEST(ScanToken, SplitsAndClassifiesWords) {
    const std::pair<const char*, const char*> cases[] = {
        {"SCENE {", "SCENE:30"},
        {"SCENE{", "SCENE{:0"},
        {"} END", "}:999 END:999"},
        {"end_scene End_Scene", "end_scene:31 End_Scene:31"},
        {"translate 1,2,3", "translate:342 1:0 2:0 3:0"},
        {"10;x 10 ;x\n20", "10;x:0 10:0 20:0"},
        {"[a [b] c] d x[y", "c]:0 d:0 x[y:0"},
        {"a\tb\r\nc,,{d", "a:0 b:0 c:0 d:0"},
        {"END_SCENE\n", "END_SCENE:31"},
        {"\"a b\" (1) \xC3\xA9t\xC3\xA9", "\"a:0 b\":0 (1):0 \xC3\xA9t\xC3\xA9:0"},
        {"[never closed SPHERE", ""},
        {"x ; never ended SPHERE", "x:0"},
        {"COLOR LOOK_AT PHASE ADD", "COLOR:0 LOOK_AT:0 PHASE:0 ADD:0"},
    };
    for (const auto& [text, words] : cases)
        EXPECT_EQ(scan_all(text), words) << text;
}

TEST(ScanToken, EveryKeywordHasItsCodeInAnyCase) {
    std::istringstream table(
        "ANIMATION 10 END_ANIMATION 11 TRACER 20 END_TRACER 21 SCENE 30 END_SCENE 31 FRAME 40 "
        "END_FRAME 41 BOUNDING_SHAPE 42 CAMERA 50 END_CAMERA 51 LIGHT 60 END_LIGHT 61 MESH 100 "
        "END_MESH 101 PLANE 110 END_PLANE 111 SPHERE 200 END_SPHERE 201 CYLINDER 210 "
        "END_CYLINDER 211 CONE 220 END_CONE 221 PARABOLOID 230 END_PARABOLOID 231 HYPERBOLOID "
        "240 END_HYPERBOLOID 241 CUBE 250 END_CUBE 251 QUADRIC 260 END_QUADRIC 261 COEFFICIENTS "
        "262 EVERYWHERE 270 END_EVERYWHERE 271 CUBIC 280 END_CUBIC 281 TRIAD 290 END_TRIAD 291 "
        "COSINE 292 END_COSINE 293 PYRAMID 294 END_PYRAMID 295 SOR 296 END_SOR 297 "
        "INTERPOLATION 310 END_INTERPOLATION 311 DEFINE 320 END_DEFINE 321 NAME 322 FILE 323 "
        "MATERIAL 330 END_MATERIAL 331 INCLUDE 340 END_INCLUDE 341 TRANSLATE 342 SCALE 343 "
        "ROTATE 344 MATRIX 345 UNION 350 END_UNION 351 INTERSECTION 360 END_INTERSECTION 361 "
        "DIFFERENCE 370 END_DIFFERENCE 371 LOOP 380 END_LOOP 381 START_TIME 12 END_TIME 13 "
        "FRAMES 14 FRAMES_PER_SECOND 15 OUTPUT_FILE 16 ANTIALIASING 22 WIDTH 23 HEIGHT 24 "
        "NO_REFRACTION 25 NO_REFLECTION 26 NO_HIGHLIGHTS 27 NO_SHADOW 28 NO_DIFFUSE 29 "
        "MAX_DEPTH 32 BACKGROUND_COLOR 33 AMBIENCE 34 FOG_DEPTH 35 } 999 END 999");
    std::string word;
    int code = 0, rows = 0;
    while (table >> word >> code) {
        ++rows;
        std::string lower = word;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(keyword_code(word), code) << word;
        EXPECT_EQ(keyword_code(lower), code) << lower;
    }
    EXPECT_EQ(std::size(keywords), static_cast<size_t>(rows));
}

TEST(ScanToken, NoWordIsSpelledTwice) {
    // A statement or operator word in the keyword table would scan as a
    // keyword and never reach the block that understands it.
    std::vector<std::string_view> words;
    for (const auto& w : keywords)
        words.push_back(w.word);
    for (const auto& w : statement_words)
        words.push_back(w.word);
    for (const auto& w : operator_words)
        words.push_back(w.word);
    EXPECT_EQ(words.size(), 130u);
    for (size_t i = 0; i < words.size(); ++i)
        for (size_t j = i + 1; j < words.size(); ++j)
            EXPECT_TRUE(words[i] != words[j]) << words[i] << " is spelled twice";
}

TEST(ScanToken, CutsLongWordsAt255Characters) {
    // The 256th character is dropped; the next scan goes on behind it.
    EXPECT_EQ(scan_all(std::string(300, 'a')),
              std::string(255, 'a') + ":0 " + std::string(44, 'a') + ":0");
    EXPECT_EQ(scan_all(std::string(255, 'b') + " x"), std::string(255, 'b') + ":0 x:0");
    EXPECT_EQ(scan_all(std::string(256, 'c') + "SPHERE"), std::string(255, 'c') + ":0 SPHERE:200");
}

TEST(ScanToken, SixteenMegabyteDocuments) {
    EXPECT_EQ(scan_all("[" + std::string(16 << 20, 'x')), "");
    std::string words;
    for (int i = 0; i < 65536; ++i)
        words += std::string(255, 'w') + ' ';
    LanguageParse p(words, false);
    int count = 0;
    for (scan_token(p.pc); !p.pc.word.empty(); scan_token(p.pc))
        ++count;
    EXPECT_EQ(count, 65536);
}

// A run of plain numbers cut into any number of chunks holds the words, values
// and positions the scan reads one at a time, and ends where they end.
TEST(NumberRun, ChunksReadWhatTheScanReads) {
    const std::string long_digits = std::string(254, '0') + "1";
    const struct {
        std::string text;
        size_t words;
        bool refused;
    } cases[] = {
        {"1 -2.5 +3e2 4E-1 .5 6. -0 1e39 1e-45 7,8\t9\r\n10 END", 13, false},
        {"  \n\n 1 2 3", 2, false},
        {"1 2 {3 4", 2, false},
        {"5 6 1.5x 7", 2, false},
        {"1 2 -- 3 4", 2, true},
        {"- 1", 0, true},
        {long_digits + " 2 0" + long_digits + " 3", 2, true},
        {"1e5 2E+05,,,3e-5\n\n\n-4.5e+0 5 6 7 8 9 10 11 12 ;x", 12, false},
        {"0000000001 16777217 123456789 -.5 1.2.3 -5- 3.141592653 42949672970.5 5.9464 -0.1623 "
         "0.935 +. 7",
         11, true},
    };
    for (const auto& c : cases) {
        LanguageParse p(c.text, false);
        std::vector<float> values;
        std::vector<int> behind;
        float v = 0.0f;
        for (scan_token(p.pc); parse_number_word(p.pc.word, v); scan_token(p.pc)) {
            values.push_back(v);
            behind.push_back(p.pc.document.position);
        }
        for (int chunks = 1; chunks <= 6; ++chunks) {
            NumberRun run;
            run.read(c.text, 0, static_cast<int>(c.text.size()), chunks, 1);
            ASSERT_EQ(run.size(), c.words) << c.text << " in " << chunks;
            EXPECT_EQ(run.refused(), c.refused) << c.text << " in " << chunks;
            std::vector<float> read(run.size());
            if (!read.empty()) run.copy_values(0, read.size(), read.data());
            for (size_t i = 0; i < run.size(); ++i) {
                EXPECT_EQ(std::bit_cast<uint32_t>(read[i]), std::bit_cast<uint32_t>(values[i]));
                EXPECT_EQ(run.end_of(i) + 1, behind[i]) << c.text << " word " << i;
            }
        }
    }
}

TEST(TextBuffer, InsertTextKeepsEditorPositions) {
    TextBuffer b;
    set_text(b, "AAAA BBBB CCCC");
    b.position = 10;  // behind "BBBB "
    insert_text(b, "xyz ");
    EXPECT_EQ(b.text, "xyz CCCC");
    EXPECT_EQ(b.position, 0);
    EXPECT_EQ(b.length, 8);
    EXPECT_EQ(b.offset, 6);  // "CCCC" keeps editor position 10
    b.position = 4;
    insert_text(b, "0123456789");
    EXPECT_EQ(b.text, "0123456789CCCC");
    EXPECT_EQ(b.offset, 0);
}

TEST(ReadString, TakesTheCharactersBetweenTheQuotes) {
    struct Case {
        std::string text, word, next;
    };
    const Case cases[] = {
        {"  \"c:\\my films\\test.avi\" next", "c:\\my films\\test.avi", "next"},
        {"junk END x\"name\"next", "name", "next"},
        {std::string(400, 'q').insert(0, 1, '"') + "\" next", std::string(255, 'q'), "next"},
        {"\"never closed", "never closed", ""},
        {"no quote here", "", ""},
    };
    for (const Case& c : cases) {
        LanguageParse p(c.text);
        p.pc.token = SCENE;
        read_string(p.pc);
        EXPECT_EQ(p.pc.word, c.word) << c.text;
        EXPECT_EQ(p.pc.token, SCENE);
        scan_token(p.pc);
        EXPECT_EQ(p.pc.word, c.next) << c.text;
    }
}

TEST(ReadInteger, FollowsThePercentIRules) {
    const std::pair<std::string, int> cases[] = {
        {"0x10", 16},
        {"010", 8},
        {"12abc", 12},
        {"-3", -3},
        {"+7", 7},
        {"0XfF", 255},
        {"640.5", 640},
        {"0x", 0},
        {"08", 0},
        {"-0x10", -16},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {std::string(300, '7'), INT_MAX},
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto& [text, value] : cases) {
        LanguageParse p(text);
        EXPECT_EQ(read_integer(p.pc), value) << text;
        EXPECT_FALSE(p.pc.parse_error) << text;
    }
    for (std::string text : {"abc", "-", "", "+-3", ".5"}) {
        LanguageParse p(text);
        EXPECT_EQ(read_integer(p.pc), 0) << text;
        EXPECT_EQ(p.error(), message_at("Expected Integer.", static_cast<int>(text.size()), text));
    }
}

TEST(ReportParseError, PositionSelectionAndOnlyTheFirstBox) {
    LanguageParse p("aaaaaaaaa abc x");
    scan_token(p.pc);
    scan_token(p.pc);  // "abc": editor characters 10 to 12
    report_parse_error(p.pc, "Bad thing.");
    scan_token(p.pc);
    report_parse_error(p.pc, "Second.");
    EXPECT_TRUE(p.pc.parse_error);
    ASSERT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.host.messages[0].text, "Bad thing. at char 14 found: abc");
    EXPECT_EQ(p.host.messages[0].caption, "Parse Error");
    EXPECT_EQ(p.host.selection_start, 10);
    EXPECT_EQ(p.host.selection_end, 13);

    ParseContext no_host;
    report_parse_error(no_host, "Bad.");
    EXPECT_TRUE(no_host.parse_error);
}

TEST(ReportParseError, WordAtTheVeryEndIsSelectedWhole) {
    struct Case {
        const char* text;
        int position, start, end;
    };
    for (const Case& c :
         {Case{"x bogus", 7, 2, 7}, Case{"x bogus\n", 8, 2, 7}, Case{"bogus", 5, 0, 5}}) {
        LanguageParse p(c.text);
        scan_token(p.pc);
        scan_token(p.pc);
        if (p.pc.word.empty()) {  // a one-word text
            LanguageParse q(c.text);
            scan_token(q.pc);
            report_parse_error(q.pc, "Bad.");
            EXPECT_EQ(q.shown().messages.at(0).text,
                      "Bad. at char " + std::to_string(c.position) + " found: bogus");
            EXPECT_EQ(q.shown().selection_start, c.start) << c.text;
            EXPECT_EQ(q.shown().selection_end, c.end) << c.text;
            continue;
        }
        report_parse_error(p.pc, "Bad.");
        EXPECT_EQ(p.shown().messages.at(0).text,
                  "Bad. at char " + std::to_string(c.position) + " found: bogus");
        EXPECT_EQ(p.shown().selection_start, c.start) << c.text;
        EXPECT_EQ(p.shown().selection_end, c.end) << c.text;
    }
}

TEST(ReportParseError, WithoutHostOnlySetsTheFlag) {
    ParseContext no_host;
    report_parse_error(no_host, "Bad.");
    EXPECT_TRUE(no_host.parse_error);
}

}  // namespace
