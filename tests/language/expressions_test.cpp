#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "language/expressions.h"
#include "language/random15.h"
#include "language_test_support.h"

namespace {

float value_of(const std::string& text, float time = 0.0f) {
    LanguageParse p(text);
    p.pc.time = time;
    float v = read_expression(p.pc);
    EXPECT_FALSE(p.pc.parse_error) << text << ": " << p.error();
    return v;
}

float f(double v) { return static_cast<float>(v); }

TEST(ReadExpression, OperatorsAndNumbers) {
    const std::pair<const char*, float> cases[] = {
        {"ADD 1 MUL 2 3", 7},
        {"SUB 10 4", 6},
        {"DIV 1 4", 0.25f},
        {"DIV 1 0", 100000},
        {"DIV 1 -0.000001", 100000},
        {"DIV 0 0", 0},
        {"DIV 1 -0.5", -2},
        {"MOD -7 3", -1},
        {"FLR -1.5", -2},
        {"CLG -1.5", -1},
        {"IFE LT 1 2 10 20", 10},
        {"IFE 0 10 20", 20},
        {"add 1 2", 3},
        {"ABS -2.5", 2.5f},
        {"MAX 1 2", 2},
        {"MAX 3 2", 3},
        {"MIN 1 2", 1},
        {"MIN 3 2", 2},
        {"POW 2 10", 1024},
        {"EQU 2 2", 1},
        {"EQU 2 3", 0},
        {"GT 3 2", 1},
        {"GT 2 2", 0},
        {"LT 3 2", 0},
        {"NEQ 1 1", 0},
        {"NEQ 1 2", 1},
        {"AND 1 0", 0},
        {"AND -1 2", 1},
        {"OR 0 2", 1},
        {"OR 0 0", 0},
        {"NOT 0", 1},
        {"NOT 5", 0},
        {"COS 0", 1},
        {"SIN 1", f(std::sin(1.0))},
        {"TAN 1", f(std::tan(1.0))},
        {"ASN 1", f(std::asin(1.0))},
        {"ACS 0.5", f(std::acos(0.5))},
        {"ATN 1 -1", f(std::atan2(1.0, -1.0))},
        {"LOG 2", f(std::log(2.0))},
        {"EXP 1", f(std::exp(1.0))},
        {"-.5", -0.5f},
        {"5.", 5},
        {"2e3", 2000},
        {"2E-1", 0.2f},
        {"3x", 3},
        {"1e+x", 1},
        {"+5", 5},
        {"0.1", 0.1f},
        {"007", 7},
        {"1e999", INFINITY},
        {"1e-999", 0},
        {"1e-40", f(1e-40)},
        {"-5.9464", -5.9464f},
        {"16777217", 16777216},
        {"1677.7217", 1677.7217f},
        {"0.0000000001", 1e-10f},
        {"0.00000000001", 1e-11f},
        {"1.5e10", 1.5e10f},
        {"0.10000000000000000555", 0.1f},
        {"3.4028235e38", 3.4028235e38f},
        // Each result is rounded to f32: 16777216 + 1 is 16777216 again.
        {"SUB ADD 16777216 1 16777216", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(value_of(text), value) << text;
    EXPECT_EQ(value_of(std::string(250, '9')), INFINITY);
    EXPECT_EQ(value_of("mul time 2", 0.75f), 1.5f);
}

// Short numbers take a quicker way than long ones: both round as
// std::from_chars does, to the nearest float.
TEST(ReadExpression, NumberWordsRoundAsFromChars) {
    uint32_t state = 2024;
    auto next = [&state](uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    for (int k = 0; k < 20000; ++k) {
        const std::string whole = std::to_string(next(1000000000u));
        const size_t point = next(static_cast<uint32_t>(whole.size()) + 1);
        std::string digits(whole, 0, point);
        digits.push_back('.');
        digits.append(whole, point);
        if (next(2) == 0) {
            digits.push_back('e');
            digits.append(std::to_string(static_cast<int>(next(27)) - 13));
        }
        float expected = 0.0f;
        std::from_chars(digits.data(), digits.data() + digits.size(), expected);
        float value = 1.0f;
        ASSERT_TRUE(parse_number_word(digits, value)) << digits;
        ASSERT_EQ(value, expected) << digits;
    }
}

TEST(ReadExpression, NaNRules) {
    // LOG -1 is a NaN.
    const std::pair<const char*, float> cases[] = {
        {"MAX LOG -1 5", 5},      {"MIN LOG -1 5", 5}, {"EQU LOG -1 LOG -1", 0},
        {"NEQ LOG -1 LOG -1", 1}, {"GT LOG -1 0", 0},  {"LT LOG -1 0", 0},
        {"NOT LOG -1", 0},        {"AND LOG -1 1", 1}, {"OR LOG -1 0", 1},
        {"IFE LOG -1 1 2", 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(value_of(text), value) << text;
    for (const char* text : {"MAX 5 LOG -1", "MIN 5 LOG -1", "DIV 1 LOG -1", "ASN 2"})
        EXPECT_TRUE(std::isnan(value_of(text))) << text;
}

TEST(ReadExpression, Errors) {
    LanguageParse unknown("FOO next");
    EXPECT_EQ(read_expression(unknown.pc), 0.0f);
    EXPECT_EQ(unknown.error(), "Expected Float. at char 4 found: FOO");

    // An operator whose operand failed still reads the others.
    LanguageParse operand("ADD FOO 2 after BAR");
    read_expression(operand.pc);
    EXPECT_EQ(operand.message_count(), 1u);
    scan_token(operand.pc);
    EXPECT_EQ(operand.pc.word, "after");

    LanguageParse end("ADD 1");
    read_expression(end.pc);
    EXPECT_EQ(end.error(), "Expected Float. at char 5 found: ");
}

TEST(ReadExpression, NestingHasALimit) {
    std::string fine;
    for (int i = 0; i < 200; ++i)
        fine += "NOT ";
    EXPECT_EQ(value_of(fine + "0"), 0.0f);

    std::string deep;
    while (deep.size() < (16u << 20))
        deep += "ADD 1 ";
    LanguageParse p(deep);
    read_expression(p.pc);
    EXPECT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.error().rfind("Nesting exceeded max (256) at char", 0), 0u) << p.error();
    EXPECT_EQ(p.pc.nesting_depth, 0);
}

TEST(ReadVector, ExpressionsInReadingOrder) {
    for (const char* text : {"1,2,3", "1 2 3", "ADD 0 1, 2, 3"}) {
        LanguageParse p(text);
        Vector3 v = read_vector(p.pc);
        EXPECT_EQ(v, Vector3(1, 2, 3)) << text;
    }
}

float with_names(const std::string& text, const char* table_name, const char* counter_name) {
    LanguageParse p(text);
    if (table_name != nullptr) {
        auto* table = new Interpolation;
        table->name = table_name;
        table->count = 2;
        table->points[1][0] = table->period = 2.0f;
        table->points[1][1] = 10.0f;  // 0 at time 0, 10 at time 2
        p.pc.interpolation_list.append(table);
    }
    for (int value : {3, 4}) {
        auto* c = new LoopCounter;
        c->name = counter_name != nullptr ? counter_name : "";
        c->value = value;
        p.pc.counter_list.append(c);
    }
    p.pc.time = 1.0f;
    return read_expression(p.pc);
}

TEST(FindValue, NamesBeforeOperatorsCaseSensitiveOldestFirst) {
    EXPECT_EQ(with_names("ADD 1 2", "ADD", nullptr), 5.0f);  // the table at time 1
    EXPECT_EQ(with_names("ADD 1 2", "add", nullptr), 3.0f);
    EXPECT_EQ(with_names("MUL i 2", nullptr, "i"), 6.0f);  // the older counter, 3
    EXPECT_EQ(with_names("i", "i", "i"), 5.0f);            // tables hide counters
    EXPECT_EQ(with_names("1", "1", "1"), 1.0f);            // numbers are never names
    LanguageParse p("I");
    EXPECT_EQ(read_expression(p.pc), 0.0f);
    EXPECT_TRUE(p.pc.parse_error);
}

TEST(Random15, StandardExampleSequenceAndRnd) {
    // The C standard's sample rand() from seed 1.
    random15_seed(1);
    for (int e : {16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419, 16212, 4086})
        EXPECT_EQ(random15_next(), e);
    random15_seed(1);
    EXPECT_EQ(value_of("RND"), 16838.0f / 32767.0f);
    EXPECT_EQ(value_of("rnd"), 5758.0f / 32767.0f);  // the draws go on
    int inside = 0;
    for (int i = 0; i < 1000; ++i) {
        float v = value_of("RND");
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f);
        inside += v > 0.0f && v < 1.0f;
    }
    EXPECT_GT(inside, 990);
}

}  // namespace
