#include "glimmark/vocabulary.h"

#include "language/vocabulary.h"

namespace glimmark {

namespace {

template <class Code, std::size_t N>
std::vector<std::string_view> words_of(const Word<Code> (&table)[N]) {
    std::vector<std::string_view> words;
    words.reserve(N);
    for (const Word<Code>& w : table)
        words.push_back(w.word);
    return words;
}

}  // namespace

const std::vector<std::string_view>& keyword_words() {
    static const std::vector<std::string_view> words = words_of(::keywords);
    return words;
}

const std::vector<std::string_view>& statement_words() {
    static const std::vector<std::string_view> words = words_of(::statement_words);
    return words;
}

const std::vector<std::string_view>& operator_words() {
    static const std::vector<std::string_view> words = words_of(::operator_words);
    return words;
}

bool is_word_separator(char c) { return ::is_word_separator(c); }

}  // namespace glimmark
