#include "language/tokenizer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

bool is_separator(char c) { return is_word_separator(c); }

}  // namespace

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

void insert_text(TextBuffer& buffer, std::string&& text) {
    int old_position = buffer.position;
    if (old_position < 0) old_position = 0;
    if (old_position > buffer.length) old_position = buffer.length;
    const int inserted = static_cast<int>(text.size());
    text.append(buffer.text, static_cast<size_t>(old_position), std::string::npos);
    buffer.text.swap(text);
    buffer.length = static_cast<int>(buffer.text.size());
    buffer.position = 0;
    buffer.offset += old_position - inserted;
}

void scan_token(ParseContext& pc) {
    if (pc.stoppable && !pc.parse_error && pc.job.stop_requested.load(std::memory_order_relaxed)) {
        // The parse ends as after an error, with nothing read past here.
        report_parse_error(pc, "Stopped.");
        pc.parse_stopped = true;
        pc.word.clear();
        pc.token = TOKEN_NONE;
        pc.document.position = pc.document.length;
        return;
    }
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

// int ::= [ + | - ] ( 0x hex_digits | 0 octal_digits | digits ) { character }
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
}

NestingGuard::NestingGuard(ParseContext& pc) : pc_(pc), ok_(true) {
    ++pc_.nesting_depth;
    if (pc_.nesting_depth > MaxNesting) {
        ok_ = false;
        report_parse_error(pc_, "Nesting exceeded max (256)");
    }
}

NestingGuard::~NestingGuard() { --pc_.nesting_depth; }
