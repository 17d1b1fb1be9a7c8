#include "language/vocabulary.h"

#include <vector>

namespace {

// Only ASCII letters fold; bytes of 128 and above compare as they are.
char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_word(const std::string& word, std::string_view spelled) {
    if (word.size() != spelled.size()) return false;
    for (size_t i = 0; i < spelled.size(); ++i)
        if (fold(word[i]) != fold(spelled[i])) return false;
    return true;
}

constexpr size_t longest_operator_word() {
    size_t longest = 0;
    for (const Word<Operator>& o : operator_words)
        if (o.word.size() > longest) longest = o.word.size();
    return longest;
}

}  // namespace

int keyword_code(const std::string& word) {
    // Every word of the document is looked up, numbers included; the
    // keywords' first letters are gathered once, so that most words are
    // turned away at once.
    static const std::vector<bool> starts = [] {
        std::vector<bool> v(256, false);
        for (const Word<Token>& k : keywords)
            v[static_cast<unsigned char>(fold(k.word[0]))] = true;
        return v;
    }();
    if (word.empty() || !starts[static_cast<unsigned char>(fold(word[0]))]) return TOKEN_NONE;
    for (const Word<Token>& k : keywords)
        if (same_word(word, k.word)) return k.code;
    return TOKEN_NONE;
}

bool word_is(const std::string& word, Statement statement) {
    return same_word(word, statement_words[static_cast<int>(statement)].word);
}

bool find_operator(const std::string& word, Operator& op) {
    if (word.size() > longest_operator_word()) return false;
    for (const Word<Operator>& o : operator_words) {
        if (same_word(word, o.word)) {
            op = o.code;
            return true;
        }
    }
    return false;
}

std::string_view shape_block_keyword(ShapeBlock block) {
    if (block != ShapeBlock::None) {
        const Token keyword = shape_block_keywords[static_cast<int>(block)].keyword;
        for (const Word<Token>& k : keywords)
            if (k.code == keyword) return k.word;
    }
    return "shape";
}
