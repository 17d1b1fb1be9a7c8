#include <gtest/gtest.h>

#include <cmath>
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

struct ExprCase {
    const char* text;
    float value;
};

TEST(ReadExpression, OperatorsAndNumbers) {
    const ExprCase cases[] = {
        {"ADD 1 MUL 2 3", 7.0f},
        {"SUB 10 4", 6.0f},
        {"DIV 1 4", 0.25f},
        {"DIV 1 0", 100000.0f},
        {"DIV 1 -0.000001", 100000.0f},
        {"DIV 0 0", 0.0f},
        {"DIV -3 -0.0", -300000.0f},
        {"DIV 1 -0.5", -2.0f},
        {"MOD -7 3", -1.0f},
        {"MOD 7.5 2", 1.5f},
        {"FLR -1.5", -2.0f},
        {"CLG -1.5", -1.0f},
        {"IFE LT 1 2 10 20", 10.0f},
        {"IFE 0 10 20", 20.0f},
        {"add 1 2", 3.0f},
        {"Mul 4 0.5", 2.0f},
        {"ABS -2.5", 2.5f},
        {"MAX 1 2", 2.0f},
        {"MAX 3 2", 3.0f},
        {"MIN 1 2", 1.0f},
        {"MIN 3 2", 2.0f},
        {"POW 2 10", 1024.0f},
        {"POW 9 0.5", 3.0f},
        {"EQU 2 2", 1.0f},
        {"EQU 2 3", 0.0f},
        {"GT 3 2", 1.0f},
        {"GT 2 2", 0.0f},
        {"LT 3 2", 0.0f},
        {"NEQ 1 1", 0.0f},
        {"NEQ 1 2", 1.0f},
        {"AND 1 0", 0.0f},
        {"AND -1 2", 1.0f},
        {"OR 0 2", 1.0f},
        {"OR 0 0", 0.0f},
        {"NOT 0", 1.0f},
        {"NOT 5", 0.0f},
        {"SIN 0", 0.0f},
        {"COS 0", 1.0f},
        {"TAN 0", 0.0f},
        {"ASN 1", static_cast<float>(std::asin(1.0))},
        {"ACS 1", 0.0f},
        {"ATN 1 1", static_cast<float>(std::atan2(1.0, 1.0))},
        {"ATN 1 -1", static_cast<float>(std::atan2(1.0, -1.0))},
        {"LOG 1", 0.0f},
        {"EXP 0", 1.0f},
        {"SIN 1", static_cast<float>(std::sin(1.0))},
        {"-.5", -0.5f},
        {"5.", 5.0f},
        {"2e3", 2000.0f},
        {"2E-1", 0.2f},
        {"3x", 3.0f},
        {"1e", 1.0f},
        {"1e+x", 1.0f},
        {"+5", 5.0f},
        {"0.1", 0.1f},
        {"007", 7.0f},
        {"1,5", 1.0f},
    };
    for (const ExprCase& c : cases)
        EXPECT_EQ(value_of(c.text), c.value) << c.text;
}

TEST(ReadExpression, EveryResultIsRoundedToF32) {
    // In f32, 16777216 + 1 is 16777216 again; in wider arithmetic it is not.
    EXPECT_EQ(value_of("SUB ADD 16777216 1 16777216"), 0.0f);
    EXPECT_EQ(value_of("SUB MUL 16777217 1 16777216"), 0.0f);
}

TEST(ReadExpression, NumbersBeyondTheF32Range) {
    EXPECT_EQ(value_of("1e999"), INFINITY);
    EXPECT_EQ(value_of("-1e999"), -INFINITY);
    EXPECT_EQ(value_of("1e-999"), 0.0f);
    EXPECT_EQ(value_of("1e-40"), static_cast<float>(1e-40));
    EXPECT_EQ(value_of(std::string(250, '9')), INFINITY);
    EXPECT_EQ(value_of("0." + std::string(200, '0') + "1"), 0.0f);
}

TEST(ReadExpression, NaNRules) {
    const char* nan = "LOG -1 ";
    auto with = [&](const std::string& a, const std::string& b) { return a + nan + b; };
    EXPECT_TRUE(std::isnan(value_of(nan)));
    EXPECT_EQ(value_of(with("MAX ", "5")), 5.0f);
    EXPECT_TRUE(std::isnan(value_of(std::string("MAX 5 ") + nan)));
    EXPECT_EQ(value_of(with("MIN ", "5")), 5.0f);
    EXPECT_TRUE(std::isnan(value_of(std::string("MIN 5 ") + nan)));
    EXPECT_EQ(value_of(std::string("EQU ") + nan + nan), 0.0f);
    EXPECT_EQ(value_of(std::string("NEQ ") + nan + nan), 1.0f);
    EXPECT_EQ(value_of(with("GT ", "0")), 0.0f);
    EXPECT_EQ(value_of(with("LT ", "0")), 0.0f);
    EXPECT_EQ(value_of(with("NOT ", "")), 0.0f);
    EXPECT_EQ(value_of(with("AND ", "1")), 1.0f);
    EXPECT_EQ(value_of(with("OR ", "0")), 1.0f);
    EXPECT_EQ(value_of(with("IFE ", "1 2")), 1.0f);
    EXPECT_TRUE(std::isnan(value_of(with("DIV 1 ", ""))));
    EXPECT_TRUE(std::isnan(value_of("ASN 2")));
}

TEST(ReadExpression, TimeIsTheControllersTime) {
    EXPECT_EQ(value_of("TIME", 2.5f), 2.5f);
    EXPECT_EQ(value_of("mul time 2", 0.75f), 1.5f);
}

TEST(ReadExpression, UnknownWordReportsExpectedFloat) {
    LanguageParse p("FOO next");
    EXPECT_EQ(read_expression(p.pc), 0.0f);
    EXPECT_EQ(p.error(), "Expected Float. at char 4 found: FOO");
}

TEST(ReadExpression, FailedOperandStillReadsTheRest) {
    LanguageParse p("ADD FOO 2 after BAR");
    read_expression(p.pc);
    EXPECT_TRUE(p.pc.parse_error);
    EXPECT_EQ(p.message_count(), 1u);
    scan_token(p.pc);
    EXPECT_EQ(p.pc.word, "after");
}

TEST(ReadExpression, EndOfTextIsReported) {
    LanguageParse p("ADD 1");
    read_expression(p.pc);
    EXPECT_EQ(p.error(), "Expected Float. at char 5 found: ");
}

TEST(ReadExpression, DeepNestingIsAParseError) {
    std::string fine;
    for (int i = 0; i < 200; ++i)
        fine += "NOT ";
    EXPECT_EQ(value_of(fine + "0"), 0.0f);  // an even number of NOTs

    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "ADD 1 ";
    LanguageParse p(deep + "1");
    read_expression(p.pc);
    EXPECT_EQ(p.message_count(), 1u);
    EXPECT_EQ(p.error().rfind("Nesting exceeded max (256) at char", 0), 0u) << p.error();
    EXPECT_EQ(p.pc.nesting_depth, 0);
}

TEST(ReadExpression, SixteenMegabytesOfOperators) {
    std::string huge;
    huge.reserve(16 * 1024 * 1024);
    while (huge.size() < 16 * 1024 * 1024)
        huge += "ADD ";
    LanguageParse p(huge);
    read_expression(p.pc);
    EXPECT_TRUE(p.pc.parse_error);
}

TEST(ReadVector, ThreeExpressionsInOrder) {
    for (const char* text : {"1,2,3", "1 2 3", "ADD 0 1, 2, 3", "1\n2\t3"}) {
        LanguageParse p(text);
        Vector3 v = read_vector(p.pc);
        EXPECT_EQ(v.x, 1.0f) << text;
        EXPECT_EQ(v.y, 2.0f) << text;
        EXPECT_EQ(v.z, 3.0f) << text;
    }
    LanguageParse p("SUB 5 1 -7");
    float a = 0.0f, b = 0.0f;
    read_pair(p.pc, a, b);
    EXPECT_EQ(a, 4.0f);
    EXPECT_EQ(b, -7.0f);
}

Interpolation* add_constant(ParseContext& pc, const std::string& name, float value) {
    auto* table = new Interpolation;
    table->name = name;
    table->count = 1;
    table->points[0][0] = 1.0f;
    table->points[0][1] = value;
    pc.interpolation_list.append(table);
    return table;
}

LoopCounter* add_counter(ParseContext& pc, const std::string& name, int value) {
    auto* c = new LoopCounter;
    c->name = name;
    c->value = value;
    pc.counter_list.append(c);
    return c;
}

TEST(FindValue, NamesComeBeforeOperatorsAndAreCaseSensitive) {
    {
        LanguageParse p("ADD 1 2");
        add_constant(p.pc, "ADD", 42.0f);
        EXPECT_EQ(read_expression(p.pc), 42.0f);
    }
    {
        LanguageParse p("ADD 1 2");
        add_constant(p.pc, "add", 42.0f);
        EXPECT_EQ(read_expression(p.pc), 3.0f);
    }
    {
        LanguageParse p("I");
        add_counter(p.pc, "i", 3);
        EXPECT_EQ(read_expression(p.pc), 0.0f);
        EXPECT_TRUE(p.pc.parse_error);
    }
}

TEST(FindValue, LoopCounterAndOldestMatch) {
    {
        LanguageParse p("MUL i 2");
        add_counter(p.pc, "i", 3);
        EXPECT_EQ(read_expression(p.pc), 6.0f);
    }
    {
        LanguageParse p("i");
        add_counter(p.pc, "i", 3);
        add_counter(p.pc, "i", 5);
        EXPECT_EQ(read_expression(p.pc), 3.0f);
    }
    {
        LanguageParse p("i");
        add_counter(p.pc, "i", 3);
        add_constant(p.pc, "i", 9.0f);
        EXPECT_EQ(read_expression(p.pc), 9.0f);
    }
    {
        LanguageParse p("wave");
        add_constant(p.pc, "wave", 1.0f);
        add_constant(p.pc, "wave", 2.0f);
        EXPECT_EQ(read_expression(p.pc), 1.0f);
    }
    {
        // A number is never a name.
        LanguageParse p("1");
        add_constant(p.pc, "1", 9.0f);
        EXPECT_EQ(read_expression(p.pc), 1.0f);
    }
}

TEST(FindValue, InterpolationIsEvaluatedAtTheTime) {
    LanguageParse p("ramp");
    auto* table = new Interpolation;
    table->name = "ramp";
    table->count = 2;
    table->points[0][0] = 0.0f;
    table->points[0][1] = 0.0f;
    table->points[1][0] = 2.0f;
    table->points[1][1] = 10.0f;
    table->period = 2.0f;
    p.pc.interpolation_list.append(table);
    p.pc.time = 1.0f;
    EXPECT_EQ(read_expression(p.pc), 5.0f);
}

TEST(Random15, FollowsTheStandardExampleGenerator) {
    // The sequence of the C standard's sample rand() from seed 1.
    random15_seed(1);
    const int expected[] = {16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419, 16212, 4086};
    for (int e : expected)
        EXPECT_EQ(random15_next(), e);
}

TEST(Random15, RndDrawsBetweenZeroAndOne) {
    random15_seed(1);
    int inside = 0;
    for (int i = 0; i < 1000; ++i) {
        float v = value_of("RND");
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
        if (v > 0.0f && v < 1.0f) ++inside;
    }
    EXPECT_GT(inside, 990);
    random15_seed(1);
    EXPECT_EQ(value_of("RND"), 16838.0f / 32767.0f);
    // The draws go on from one parse to the next.
    EXPECT_EQ(value_of("rnd"), 5758.0f / 32767.0f);
}

}  // namespace
