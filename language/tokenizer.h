#pragma once

#include <string>

#include "language/parse_context.h"
#include "language/vocabulary.h"

// The longest word the scan reads at once.
constexpr int MaxWord = 255;

void set_text(TextBuffer& buffer, const char* source);
void insert_text(TextBuffer& buffer, const std::string& text);
// The same, the text behind the read position appended to `text`'s own buffer.
void insert_text(TextBuffer& buffer, std::string&& text);
void scan_token(ParseContext& pc);
void read_string(ParseContext& pc);
int read_integer(ParseContext& pc);
// 1 when a separator ended the word just scanned, 0 when the end of the text did.
int separator_behind_word(const TextBuffer& doc);
void report_parse_error(ParseContext& pc, const char* message);
// Nested blocks and expressions recurse. Their depth is bounded so that no
// document can exhaust the stack: the block or operator that would go deeper
// than MaxNesting reports "Nesting exceeded max (256)" and must return at
// once when its guard is not ok().
constexpr int MaxNesting = 256;
class NestingGuard {
  public:
    explicit NestingGuard(ParseContext& pc);
    ~NestingGuard();
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    ParseContext& pc_;
    bool ok_;
};

// The shape of every parser loop: not at the end and no error.
inline bool more_to_read(const ParseContext& pc) {
    return pc.document.position < pc.document.length && !pc.parse_error;
}
