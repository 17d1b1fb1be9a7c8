#include "language/expressions.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "language/random15.h"
#include "language/tokenizer.h"
#include "language/vocabulary.h"

#ifdef __EMSCRIPTEN__
#include <fast_float/fast_float.h>
#endif

namespace {

using Apply = float (*)(const ParseContext& pc, const float* a);

// What an operator word does: how many operands it reads and how it combines
// them. The words themselves are in the vocabulary.
struct Operation {
    Operator op;
    int operands;
    Apply apply;
};

float f(double v) { return static_cast<float>(v); }
float truth(bool b) { return b ? 1.0f : 0.0f; }

// 0.00001 as f32 (bits 0x3727C5AC): the smallest divisor DIV uses.
constexpr float SmallestDivisor = 0.00001f;

// Indexed by Operator, as the operator words are.
constexpr Operation operations[] = {
    {Operator::Add, 2, [](const ParseContext&, const float* a) { return a[0] + a[1]; }},
    {Operator::Sub, 2, [](const ParseContext&, const float* a) { return a[0] - a[1]; }},
    {Operator::Mul, 2, [](const ParseContext&, const float* a) { return a[0] * a[1]; }},
    {Operator::Div, 2,
     [](const ParseContext&, const float* a) {
         // A divisor near zero of either sign becomes the small positive one,
         // so that a scene never divides by zero.
         float b = std::fabs(a[1]) < SmallestDivisor ? SmallestDivisor : a[1];
         return a[0] / b;
     }},
    {Operator::Abs, 1, [](const ParseContext&, const float* a) { return std::fabs(a[0]); }},
    {Operator::Max, 2,
     [](const ParseContext&, const float* a) {
         if (std::isnan(a[0]) || std::isnan(a[1])) return a[1];
         return a[1] >= a[0] ? a[1] : a[0];
     }},
    {Operator::Min, 2,
     [](const ParseContext&, const float* a) { return a[1] > a[0] ? a[0] : a[1]; }},
    {Operator::Flr, 1, [](const ParseContext&, const float* a) { return std::floor(a[0]); }},
    {Operator::Clg, 1, [](const ParseContext&, const float* a) { return std::ceil(a[0]); }},
    {Operator::Mod, 2,
     [](const ParseContext&, const float* a) { return f(std::fmod(a[0], a[1])); }},
    {Operator::Pow, 2,
     [](const ParseContext&, const float* a) {
         return f(std::pow(static_cast<double>(a[0]), static_cast<double>(a[1])));
     }},
    {Operator::Time, 0, [](const ParseContext& pc, const float*) { return pc.time; }},
    {Operator::Rnd, 0,
     [](const ParseContext&, const float*) {
         return static_cast<float>(random15_next()) / static_cast<float>(Random15Max);
     }},
    {Operator::Sin, 1,
     [](const ParseContext&, const float* a) { return f(std::sin(double(a[0]))); }},
    {Operator::Cos, 1,
     [](const ParseContext&, const float* a) { return f(std::cos(double(a[0]))); }},
    {Operator::Tan, 1,
     [](const ParseContext&, const float* a) { return f(std::tan(double(a[0]))); }},
    {Operator::Asn, 1,
     [](const ParseContext&, const float* a) { return f(std::asin(double(a[0]))); }},
    {Operator::Acs, 1,
     [](const ParseContext&, const float* a) { return f(std::acos(double(a[0]))); }},
    {Operator::Atn, 2,
     [](const ParseContext&, const float* a) {
         return f(std::atan2(static_cast<double>(a[0]), static_cast<double>(a[1])));
     }},
    {Operator::Log, 1,
     [](const ParseContext&, const float* a) { return f(std::log(double(a[0]))); }},
    {Operator::Exp, 1,
     [](const ParseContext&, const float* a) { return f(std::exp(double(a[0]))); }},
    {Operator::Ife, 3,
     [](const ParseContext&, const float* a) { return a[0] != 0.0f ? a[1] : a[2]; }},
    {Operator::Equ, 2, [](const ParseContext&, const float* a) { return truth(a[0] == a[1]); }},
    {Operator::Gt, 2, [](const ParseContext&, const float* a) { return truth(a[0] > a[1]); }},
    {Operator::Lt, 2, [](const ParseContext&, const float* a) { return truth(a[0] < a[1]); }},
    {Operator::Neq, 2, [](const ParseContext&, const float* a) { return truth(a[0] != a[1]); }},
    {Operator::And, 2,
     [](const ParseContext&, const float* a) { return truth(a[0] != 0.0f && a[1] != 0.0f); }},
    {Operator::Or, 2,
     [](const ParseContext&, const float* a) { return truth(a[0] != 0.0f || a[1] != 0.0f); }},
    {Operator::Not, 1, [](const ParseContext&, const float* a) { return truth(a[0] == 0.0f); }},
};

constexpr bool in_operator_order() {
    for (size_t i = 0; i < std::size(operations); ++i)
        if (static_cast<size_t>(operations[i].op) != i) return false;
    return std::size(operations) == std::size(operator_words);
}
static_assert(in_operator_order(), "one operation for every operator word, in their order");

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// std::from_chars for the digits of a number word. Emscripten's libc++ has
// none for floating point; fast_float rounds every word the same way, and
// reports a result beyond the type's range as std::from_chars does.
template <typename T>
std::from_chars_result read_number(const char* first, const char* last, T& value) {
#ifdef __EMSCRIPTEN__
    const auto r = fast_float::from_chars(first, last, value);
    if (r.ec != std::errc()) return {r.ptr, r.ec};
    // A word with a nonzero digit before its exponent that reads as zero
    // has underflowed.
    bool nonzero = false;
    for (const char* p = first; p < r.ptr && *p != 'e' && *p != 'E'; ++p)
        nonzero = nonzero || (*p >= '1' && *p <= '9');
    if (std::isinf(value) || (value == 0 && nonzero))
        return {r.ptr, std::errc::result_out_of_range};
    return {r.ptr, r.ec};
#else
    return std::from_chars(first, last, value);
#endif
}

}  // namespace

// number ::= [ + | - ] { digit } [ . { digit } ] [ ( e | E ) [ + | - ] digit { digit } ]
//            { character }
// The "%f" rules on the start of a word: sign, digits with an optional point,
// an optional exponent; at least one digit. The conversion does not depend on
// the locale, so "1.5" is one and a half whatever the desktop's settings.
bool parse_number_word(std::string_view w, float& value) {
    size_t i = 0;
    bool negative = false;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) {
        negative = w[i] == '-';
        ++i;
    }
    size_t begin = i;
    size_t digits = 0;
    // The digits as one integer and the power of ten it is scaled by, while
    // they fit (see below).
    uint64_t mantissa = 0;
    int scale = 0;
    bool exact = true;
    auto take_digit = [&](char c) {
        if (mantissa < (uint64_t{1} << 32))
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
        else
            exact = false;
    };
    while (i < w.size() && is_digit(w[i])) {
        take_digit(w[i]);
        ++i, ++digits;
    }
    if (i < w.size() && w[i] == '.') {
        ++i;
        while (i < w.size() && is_digit(w[i])) {
            take_digit(w[i]);
            --scale;
            ++i, ++digits;
        }
    }
    if (digits == 0) return false;
    bool negative_exponent = false;
    if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
        size_t j = i + 1;
        if (j < w.size() && (w[j] == '+' || w[j] == '-')) {
            negative_exponent = w[j] == '-';
            ++j;
        }
        if (j < w.size() && is_digit(w[j])) {
            int exponent = 0;
            while (j < w.size() && is_digit(w[j])) {
                if (exponent < 1000) exponent = exponent * 10 + (w[j] - '0');
                ++j;
            }
            scale += negative_exponent ? -exponent : exponent;
            i = j;
        } else {
            negative_exponent = false;
        }
    }
    // Most numbers of a scene have a few digits and a small exponent: the
    // integer and the power of ten are then both exact floats, and one
    // division or multiplication rounds their exact quotient or product
    // once, to the nearest float, as from_chars does with any number.
    constexpr float powers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    if (exact && mantissa <= (uint64_t{1} << 24) && scale >= -10 && scale <= 10) {
        const float m = static_cast<float>(mantissa);
        const float v = scale < 0 ? m / powers[-scale] : m * powers[scale];
        value = negative ? -v : v;
        return true;
    }
    const char* first = w.data() + begin;
    const char* last = w.data() + i;
    float v = 0.0f;
    auto result = read_number(first, last, v);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the f32 range: tiny values go through double (which also
        // covers the subnormals), the rest are zero or infinite.
        double d = 0.0;
        auto wide = read_number(first, last, d);
        if (wide.ec == std::errc())
            v = static_cast<float>(d);
        else
            v = negative_exponent ? 0.0f : INFINITY;
    } else if (result.ec != std::errc()) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

bool find_value(ParseContext& pc, float& value) {
    // The empty word at the end of the text is never a name.
    if (pc.word.empty()) return false;
    for (Interpolation* p = pc.interpolation_list.head; p != nullptr; p = p->next) {
        if (p->name == pc.word) {
            value = p->evaluate(pc.time);
            return true;
        }
    }
    for (LoopCounter* c = pc.counter_list.head; c != nullptr; c = c->next) {
        if (c->name == pc.word) {
            value = static_cast<float>(c->value);
            return true;
        }
    }
    return false;
}

// expr ::= number | name | operator { expr }
// A name is an interpolation or a loop counter; an operator word is followed
// by as many expressions as it takes operands.
float read_expression(ParseContext& pc) {
    NestingGuard guard(pc);
    if (!guard.ok()) return 0.0f;
    scan_token(pc);
    float value = 0.0f;
    if (parse_number_word(pc.word, value)) return value;
    if (find_value(pc, value)) return value;
    Operator op;
    if (find_operator(pc.word, op)) {
        const Operation& operation = operations[static_cast<int>(op)];
        // Every operand is read, also those whose value does not matter:
        // reading them is what moves the scan past them.
        float a[3] = {0.0f, 0.0f, 0.0f};
        for (int i = 0; i < operation.operands; ++i)
            a[i] = read_expression(pc);
        return operation.apply(pc, a);
    }
    report_parse_error(pc, "Expected Float.");
    return 0.0f;
}

// vec ::= expr expr expr
Vector3 read_vector(ParseContext& pc) {
    float x = read_expression(pc);
    float y = read_expression(pc);
    float z = read_expression(pc);
    return {x, y, z};
}

// pair ::= expr expr
void read_pair(ParseContext& pc, float& first, float& second) {
    first = read_expression(pc);
    second = read_expression(pc);
}
