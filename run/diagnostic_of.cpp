#include "run/diagnostic_of.h"

#include <algorithm>

glimmark::Diagnostic diagnostic_of(const ParseError& error, const std::string& text) {
    glimmark::Diagnostic d;
    d.text = parse_error_text(error);
    d.message = error.message;
    d.word = error.word;
    d.start = error.selection_start;
    d.end = error.selection_end;
    const size_t end = std::min(static_cast<size_t>(std::max(0, d.start)), text.size());
    for (size_t i = 0; i < end; ++i) {
        d.column += 1;
        if (text[i] == '\n') {
            d.line += 1;
            d.column = 1;
        }
    }
    d.include_file = error.include_file;
    d.include_line = error.include_line;
    return d;
}
