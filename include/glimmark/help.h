#pragma once

// The language reference (the help page the studio shows, docs/gmkhelp.htm)
// as a front end quotes it beside the text: the entry for one word.

#include <string>
#include <string_view>

namespace glimmark {

// The help page's entry for a keyword, statement or operator word (any
// letter case) as Markdown: the row of its table with the table's column
// names, the item of its list, or its section up to the next heading.
// Empty for a word the page has no entry for.
std::string help_entry(std::string_view word);

// The whole help page, as HTML.
std::string_view help_page();

}  // namespace glimmark
