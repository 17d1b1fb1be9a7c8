#include <gtest/gtest.h>

#include <string>

#include "glimmark/help.h"
#include "glimmark/vocabulary.h"

namespace {

// The page names every word of the language but "}" (END's entry tells of it).
TEST(HelpEntry, EveryWordOfTheLanguageHasOne) {
    for (const auto* words :
         {&glimmark::keyword_words(), &glimmark::statement_words(), &glimmark::operator_words()})
        for (const std::string_view word : *words) {
            if (word == "}") continue;
            EXPECT_FALSE(glimmark::help_entry(word).empty()) << word;
        }
}

TEST(HelpEntry, RowItemOrSection) {
    const struct {
        const char* word;
        const char* starts;
    } cases[] = {
        // A table's row under its column names; any letter case.
        {"height",
         "| Setting | Value | Default | Meaning |\n|---|---|---|---|\n| HEIGHT | integer |"},
        // An id on a cell names its row.
        {"END_CUBE",
         "| Block | End | The shape in unit space |\n|---|---|---|\n| CUBE | END_CUBE |"},
        // A list item.
        {"END", "- **END and }.** The words `END` and `}` close any block"},
        // A section, to the next heading, its example as a code block.
        {"DEFINE", "### DEFINE … END_DEFINE\n\nStores a piece of text under a name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(glimmark::help_entry(c.word).rfind(c.starts, 0), 0u)
            << c.word << ":\n"
            << glimmark::help_entry(c.word);
    EXPECT_NE(glimmark::help_entry("DEFINE").find("```\ndefine name ball\n"), std::string::npos);
    for (const char* none : {"", "NO_SUCH_WORD", "a\"b", "}"})
        EXPECT_EQ(glimmark::help_entry(none), "") << none;
    EXPECT_EQ(glimmark::help_page().substr(0, 15), "<!DOCTYPE html>");
}

}  // namespace
