#include "language/tokenizer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "scene/host.h"

namespace {

constexpr int MaxWord = 255;

const Keyword keywords[] = {
    {"ANIMATION", ANIMATION},
    {"END_ANIMATION", END_ANIMATION},
    {"TRACER", TRACER},
    {"END_TRACER", END_TRACER},
    {"SCENE", SCENE},
    {"END_SCENE", END_SCENE},
    {"FRAME", FRAME},
    {"END_FRAME", END_FRAME},
    {"BOUNDING_SHAPE", BOUNDING_SHAPE},
    {"CAMERA", CAMERA},
    {"END_CAMERA", END_CAMERA},
    {"LIGHT", LIGHT},
    {"END_LIGHT", END_LIGHT},
    {"MESH", MESH},
    {"END_MESH", END_MESH},
    {"PLANE", PLANE},
    {"END_PLANE", END_PLANE},
    {"SPHERE", SPHERE},
    {"END_SPHERE", END_SPHERE},
    {"CYLINDER", CYLINDER},
    {"END_CYLINDER", END_CYLINDER},
    {"CONE", CONE},
    {"END_CONE", END_CONE},
    {"PARABOLOID", PARABOLOID},
    {"END_PARABOLOID", END_PARABOLOID},
    {"HYPERBOLOID", HYPERBOLOID},
    {"END_HYPERBOLOID", END_HYPERBOLOID},
    {"CUBE", CUBE},
    {"END_CUBE", END_CUBE},
    {"QUADRIC", QUADRIC},
    {"END_QUADRIC", END_QUADRIC},
    {"COEFFICIENTS", COEFFICIENTS},
    {"EVERYWHERE", EVERYWHERE},
    {"END_EVERYWHERE", END_EVERYWHERE},
    {"CUBIC", CUBIC},
    {"END_CUBIC", END_CUBIC},
    {"TRIAD", TRIAD},
    {"END_TRIAD", END_TRIAD},
    {"COSINE", COSINE},
    {"END_COSINE", END_COSINE},
    {"PYRAMID", PYRAMID},
    {"END_PYRAMID", END_PYRAMID},
    {"SOR", SOR},
    {"END_SOR", END_SOR},
    {"INTERPOLATION", INTERPOLATION},
    {"END_INTERPOLATION", END_INTERPOLATION},
    {"DEFINE", DEFINE},
    {"END_DEFINE", END_DEFINE},
    {"NAME", NAME},
    {"FILE", FILE_TOKEN},
    {"MATERIAL", MATERIAL},
    {"END_MATERIAL", END_MATERIAL},
    {"INCLUDE", INCLUDE},
    {"END_INCLUDE", END_INCLUDE},
    {"TRANSLATE", TRANSLATE},
    {"SCALE", SCALE},
    {"ROTATE", ROTATE},
    {"MATRIX", MATRIX},
    {"UNION", UNION},
    {"END_UNION", END_UNION},
    {"INTERSECTION", INTERSECTION},
    {"END_INTERSECTION", END_INTERSECTION},
    {"DIFFERENCE", DIFFERENCE},
    {"END_DIFFERENCE", END_DIFFERENCE},
    {"LOOP", LOOP},
    {"END_LOOP", END_LOOP},
    {"START_TIME", START_TIME},
    {"END_TIME", END_TIME},
    {"FRAMES", FRAMES},
    {"FRAMES_PER_SECOND", FRAMES_PER_SECOND},
    {"OUTPUT_FILE", OUTPUT_FILE},
    {"ANTIALIASING", ANTIALIASING},
    {"WIDTH", WIDTH},
    {"HEIGHT", HEIGHT},
    {"NO_REFRACTION", NO_REFRACTION},
    {"NO_REFLECTION", NO_REFLECTION},
    {"NO_HIGHLIGHTS", NO_HIGHLIGHTS},
    {"NO_SHADOW", NO_SHADOW},
    {"NO_DIFFUSE", NO_DIFFUSE},
    {"MAX_DEPTH", MAX_DEPTH},
    {"BACKGROUND_COLOR", BACKGROUND_COLOR},
    {"AMBIENCE", AMBIENCE},
    {"FOG_DEPTH", FOG_DEPTH},
    {"}", BLOCK_END},
    {"END", BLOCK_END},
};

// Only ASCII letters fold; bytes of 128 and above compare as they are.
char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

}  // namespace

const Keyword* keyword_table(int& count) {
    count = static_cast<int>(sizeof(keywords) / sizeof(keywords[0]));
    return keywords;
}

namespace {

bool same_folded(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

}  // namespace

bool word_is(const std::string& word, const char* keyword) {
    size_t n = std::strlen(keyword);
    return word.size() == n && same_folded(word.data(), keyword, n);
}

int keyword_code(const std::string& word) {
    // Every word of the document is looked up, numbers included; the
    // keywords' lengths and first letters are gathered once, so that most
    // words are turned away at once.
    static const std::vector<size_t> lengths = [] {
        std::vector<size_t> v;
        for (const Keyword& k : keywords)
            v.push_back(std::strlen(k.word));
        return v;
    }();
    static const std::vector<bool> starts = [] {
        std::vector<bool> v(256, false);
        for (const Keyword& k : keywords)
            v[static_cast<unsigned char>(fold(k.word[0]))] = true;
        return v;
    }();
    if (word.empty() || !starts[static_cast<unsigned char>(fold(word[0]))]) return TOKEN_NONE;
    for (size_t i = 0; i < lengths.size(); ++i)
        if (word.size() == lengths[i] && same_folded(word.data(), keywords[i].word, lengths[i]))
            return keywords[i].code;
    return TOKEN_NONE;
}

void set_text(TextBuffer& buffer, const char* source) {
    buffer.text.assign(source != nullptr ? source : "");
    buffer.length = static_cast<int>(buffer.text.size());
    buffer.position = 0;
    buffer.offset = 0;
}

void insert_text(TextBuffer& buffer, const std::string& text) {
    int old_position = buffer.position;
    if (old_position < 0) old_position = 0;
    if (old_position > buffer.length) old_position = buffer.length;
    std::string joined;
    joined.reserve(text.size() + static_cast<size_t>(buffer.length - old_position));
    joined.append(text);
    joined.append(buffer.text, static_cast<size_t>(old_position), std::string::npos);
    buffer.text.swap(joined);
    buffer.length = static_cast<int>(buffer.text.size());
    buffer.position = 0;
    buffer.offset += old_position - static_cast<int>(text.size());
}

void scan_token(ParseContext& pc) {
    TextBuffer& doc = pc.document;
    const std::string& t = doc.text;
    int n = doc.length;
    int p = doc.position;
    pc.word.clear();
    pc.token = TOKEN_NONE;

    for (;;) {
        while (p < n && (is_separator(t[p]) || t[p] == '{'))
            ++p;
        if (p >= n) break;
        if (t[p] == ';') {
            while (p < n && t[p] != '\n' && t[p] != '\r')
                ++p;
            if (p < n) ++p;
            continue;
        }
        if (t[p] == '[') {
            while (p < n && t[p] != ']')
                ++p;
            if (p < n) ++p;
            continue;
        }
        break;
    }
    pc.word_position = p;
    if (p >= n) {
        doc.position = n;
        return;
    }

    int start = p;
    while (p < n && !is_separator(t[p]) && p - start < MaxWord)
        ++p;
    pc.word.assign(t, static_cast<size_t>(start), static_cast<size_t>(p - start));
    // The separator that ends a word goes with it; so does the character read
    // after a word that has reached its full length.
    if (p < n) ++p;
    doc.position = p;
    pc.token = keyword_code(pc.word);
}

void read_string(ParseContext& pc) {
    TextBuffer& doc = pc.document;
    const std::string& t = doc.text;
    int n = doc.length;
    int p = doc.position;
    pc.word.clear();
    while (p < n && t[p] != '"')
        ++p;
    if (p >= n) {
        doc.position = n;
        return;
    }
    ++p;
    int start = p;
    while (p < n && t[p] != '"')
        ++p;
    int len = p - start;
    if (len > MaxWord) len = MaxWord;
    pc.word.assign(t, static_cast<size_t>(start), static_cast<size_t>(len));
    if (p < n) ++p;
    doc.position = p;
}

namespace {

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The "%i" rules on a word: sign, then 0x hex, 0 octal or decimal digits.
// Values beyond the int range saturate, so a number word of any length has a
// defined value.
bool parse_integer_word(const std::string& w, int& value) {
    size_t i = 0;
    bool negative = false;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) {
        negative = w[i] == '-';
        ++i;
    }
    if (i >= w.size() || digit_value(w[i]) > 9) return false;
    int base = 10;
    if (w[i] == '0') {
        if (i + 2 < w.size() && (w[i + 1] == 'x' || w[i + 1] == 'X') &&
            digit_value(w[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    long long magnitude = 0;
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; i < w.size() && digit_value(w[i]) < base; ++i) {
        magnitude = magnitude * base + digit_value(w[i]);
        if (magnitude > limit) magnitude = limit;
    }
    if (negative)
        value = static_cast<int>(-magnitude);
    else
        value = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
    return true;
}

}  // namespace

int read_integer(ParseContext& pc) {
    scan_token(pc);
    int value = 0;
    if (!parse_integer_word(pc.word, value)) {
        report_parse_error(pc, "Expected Integer.");
        return 0;
    }
    return value;
}

int separator_behind_word(const TextBuffer& doc) {
    const bool ended_by_text_end =
        doc.position >= doc.length && doc.position > 0 && !is_separator(doc.text[doc.position - 1]);
    return ended_by_text_end ? 0 : 1;
}

namespace {

// Where a word that starts at `word_start` of the document came from, when an
// INCLUDE FILE brought it in: the innermost open INCLUDE whose text holds it,
// and the word's line there, counted back from the end of that text.
void place_in_included_file(const ParseContext& pc, int word_start, ParseError& error) {
    const TextBuffer& doc = pc.document;
    const std::vector<OpenInclude>& open = pc.splice.includes_open;
    const int word_tail = doc.length - word_start;
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        if (word_tail <= it->tail) continue;
        if (it->file.empty()) return;
        const int text_end = doc.length - it->tail;
        const auto first = doc.text.begin() + word_start;
        const int below = static_cast<int>(std::count(first, doc.text.begin() + text_end, '\n'));
        error.include_file = it->file;
        error.include_line = it->lines - below;
        return;
    }
}

}  // namespace

void report_parse_error(ParseContext& pc, const char* message) {
    // The first error ends the parse; whatever a parser reports after it would
    // only hide the message that matters.
    if (pc.parse_error) return;
    pc.parse_error = true;
    const TextBuffer& doc = pc.document;
    ParseError& error = pc.parse_error_record;
    error = ParseError{};
    error.message = message;
    error.word = pc.word;
    // The reported position stands behind the separator that ended the word
    // and the selection holds the word.
    int word = static_cast<int>(pc.word.size());
    int behind = separator_behind_word(doc);
    const int word_start = std::clamp(doc.position - word - behind, 0, doc.length);
    int n = doc.position + doc.offset;
    // A word of an INCLUDEd text has no place in the editor: the error is
    // shown at the end word of the outermost INCLUDE being read.
    const std::vector<OpenInclude>& open = pc.splice.includes_open;
    const int word_tail = doc.length - word_start;
    if (!open.empty() && word_tail > open.front().tail) {
        n = doc.length - open.front().tail + doc.offset;
        word = open.front().end_word;
        behind = open.front().separator;
        place_in_included_file(pc, word_start, error);
    }
    if (n < 0) n = 0;
    error.position = n;
    error.selection_start = std::max(n - word - behind, 0);
    error.selection_end = std::max(n - behind, error.selection_start);
    if (pc.host != nullptr) pc.host->show_parse_error(error);
}

NestingGuard::NestingGuard(ParseContext& pc) : pc_(pc), ok_(true) {
    ++pc_.nesting_depth;
    if (pc_.nesting_depth > MaxNesting) {
        ok_ = false;
        report_parse_error(pc_, "Nesting exceeded max (256)");
    }
}

NestingGuard::~NestingGuard() { --pc_.nesting_depth; }
