#pragma once

// The words of the scene language as the scanner reads them, for a front end
// that colours or completes scene text: each list in the scanner's own
// spelling (capitals), which a text may write in any letter case.

#include <string_view>
#include <vector>

namespace glimmark {

// The keywords: every block word and its end ("SPHERE", "END_SPHERE"), and
// the other words the scanner reads as tokens ("WIDTH", "INCLUDE").
const std::vector<std::string_view>& keyword_words();
// The words only one block understands ("COLOR", "LOOK_AT").
const std::vector<std::string_view>& statement_words();
// The operator words of expressions ("ADD", "SIN").
const std::vector<std::string_view>& operator_words();

// Whether the character ends a word, as the scanner decides: space, tab,
// line feed, carriage return and comma.
bool is_word_separator(char c);

}  // namespace glimmark
