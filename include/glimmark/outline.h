#pragma once

// What a scene text holds, read as words without parsing it: each word's
// kind as the studio colours it, the blocks as their keywords and end words
// pair up, and the names the text defines. For a front end that outlines,
// folds, colours or completes a text while it is written; a text with an
// error still has its outline, as far as its words pair up.
// Positions are byte offsets into the text, [start, end).

#include <string>
#include <string_view>
#include <vector>

namespace glimmark {

enum class WordKind { Keyword, Statement, Operator, Number, String, Comment, Name, Other };

struct TextWord {
    int start = 0;
    int end = 0;
    WordKind kind = WordKind::Other;
};

// Every word, quoted string and comment of the text, in order. A word the
// text defines as a name (DEFINE, INTERPOLATION, MATERIAL NAME, a LOOP's
// counter) is a Name where it is defined.
std::vector<TextWord> text_words(std::string_view text);

struct Block {
    // The block's keyword in capitals ("SPHERE", "MATERIAL", "VERTEX_LIST").
    std::string kind;
    // From its keyword through its end word; a block the text does not end
    // runs to the end of the text.
    int start = 0;
    int end = 0;
    // Where its end word starts (`end` when it has none).
    int end_word = 0;
    bool closed = false;
    // The name a DEFINE, INTERPOLATION or MATERIAL defines with NAME, or a
    // LOOP's counter; the name of an INCLUDE NAME or the file of an INCLUDE
    // FILE (without its quotes). Empty when there is none.
    std::string name;
    int name_start = -1;
    int name_end = -1;
    // INCLUDE FILE: `name` is a file.
    bool file = false;
    std::vector<Block> blocks;
};

// The top-level blocks of the text, each with the blocks inside it.
std::vector<Block> outline(std::string_view text);

// A name that may be used at a place: a DEFINE, INTERPOLATION or MATERIAL
// defined above it, or the counter of a LOOP around it; `block` is where it
// is defined.
struct DefinedName {
    std::string name;
    std::string kind;  // "DEFINE", "INTERPOLATION", "MATERIAL" or "LOOP"
    int start = 0;     // the name's word
    int end = 0;
    const Block* block = nullptr;
};

// The names defined before `offset` that may be used there, in the order of
// the text (a later definition of the same name after an earlier one).
std::vector<DefinedName> names_defined_before(const std::vector<Block>& blocks, int offset);

// The blocks around `offset`, outermost first.
std::vector<const Block*> blocks_around(const std::vector<Block>& blocks, int offset);

// The keywords and statement words that may begin a word inside a block of
// `kind` ("" for the top level), in capitals.
std::vector<std::string_view> words_allowed_in(std::string_view kind);

}  // namespace glimmark
