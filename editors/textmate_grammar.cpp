// Writes the scene language's TextMate grammar (glimmark.tmLanguage.json) for
// the VS Code extension and any editor that reads TextMate grammars, from the
// words the scanner reads, so that an editor colours exactly the words the
// studio colours: block keywords, the words one block understands, operator
// words, numbers, quoted strings and comments (";" to the end of the line,
// "[ ... ]" over any number of lines), in any letter case.
//   gmk_textmate_grammar <out.tmLanguage.json>

#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "glimmark/about.h"
#include "glimmark/vocabulary.h"

namespace {

using Json = nlohmann::ordered_json;

// The separators as the inside of a regular expression's character class.
std::string separator_class() {
    std::string inside;
    for (int c = 0; c < 128; ++c) {
        if (!glimmark::is_word_separator(static_cast<char>(c))) continue;
        switch (c) {
            case ' ':
                inside += ' ';
                break;
            case '\t':
                inside += "\\t";
                break;
            case '\n':
                inside += "\\n";
                break;
            case '\r':
                inside += "\\r";
                break;
            default:
                if (c < 32) {
                    static const char hex[] = "0123456789abcdef";
                    inside += "\\x";
                    inside += hex[c >> 4];
                    inside += hex[c & 15];
                } else {
                    if (std::string_view("\\]^-[").find(static_cast<char>(c)) !=
                        std::string_view::npos)
                        inside += '\\';
                    inside += static_cast<char>(c);
                }
        }
    }
    return inside;
}

std::string escaped(std::string_view word) {
    std::string out;
    for (const char c : word) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// A whole word out of `words`, in any letter case.
std::string one_of(const std::vector<std::string_view>& words, const std::string& word_end) {
    std::string alternatives;
    for (const std::string_view w : words) {
        if (!alternatives.empty()) alternatives += '|';
        alternatives += escaped(w);
    }
    return "(?i)(?:" + alternatives + ")" + word_end;
}

Json grammar() {
    const std::string separators = separator_class();
    // A word runs to the next separator. Every pattern below that is not a
    // comment or a string matches a whole word, and each word is matched from
    // its first character, where the scanner starts it: after separators and
    // "{" (which the scanner skips there). A ";", "[" or quote inside a word
    // is part of the word.
    const std::string word_end = "(?=[" + separators + "]|$)";
    const std::string rest_of_word = "[^" + separators + "]*";
    Json patterns = Json::array();
    patterns.push_back({{"name", "comment.line.semicolon.glimmark"}, {"match", ";.*$"}});
    patterns.push_back(
        {{"name", "comment.block.bracket.glimmark"}, {"begin", "\\["}, {"end", "\\]"}});
    // A quoted name may hold blanks; without its closing quote it ends with
    // its line.
    patterns.push_back({{"name", "string.quoted.double.glimmark"}, {"match", "\"[^\"]*\"?"}});
    patterns.push_back({{"name", "keyword.control.glimmark"},
                        {"match", one_of(glimmark::keyword_words(), word_end)}});
    // The number reader's start: a sign, then digits with an optional point,
    // at least one digit; the rest of the word is the number's too.
    patterns.push_back(
        {{"name", "constant.numeric.glimmark"}, {"match", "[+-]?\\.?[0-9]" + rest_of_word}});
    patterns.push_back({{"name", "support.type.property-name.glimmark"},
                        {"match", one_of(glimmark::statement_words(), word_end)}});
    patterns.push_back({{"name", "keyword.operator.word.glimmark"},
                        {"match", one_of(glimmark::operator_words(), word_end)}});
    // Any other word, left plain; it keeps a ";", "[" or quote inside it
    // from starting a comment or a string.
    patterns.push_back({{"match", "[^" + separators + "{;\\[\"]" + rest_of_word}});
    return Json{
        {"$schema",
         "https://raw.githubusercontent.com/martinring/tmlanguage/master/tmlanguage.json"},
        {"name", "Glimmark"},
        {"scopeName", "source.glimmark"},
        {"fileTypes", {"gmk"}},
        {"comment", "Made by gmk_textmate_grammar from the scene language's vocabulary, version " +
                        std::string(glimmark::version()) + "; do not edit."},
        {"patterns", patterns}};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: gmk_textmate_grammar <out.tmLanguage.json>\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out << grammar().dump(2) << '\n';
    out.close();
    if (!out) {
        std::cerr << "gmk_textmate_grammar: cannot write " << argv[1] << '\n';
        return 1;
    }
    return 0;
}
