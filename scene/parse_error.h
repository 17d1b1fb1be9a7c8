#pragma once

#include <string>

// The first error of a parse, as the parser found it. The message box shows
// parse_error_text(); a front end that places the error in a file of its own
// (the command line's SCENE:LINE:COL) reads the fields.
struct ParseError {
    // The parser's own message, e.g. "Expected END_SCENE.".
    std::string message;
    // The word the parser stood on when it gave up.
    std::string word;
    // Editor character just behind that word and the separator that ended it.
    int position = 0;
    // Editor characters [selection_start, selection_end) to select: the word,
    // or the end word of the INCLUDE that brought the word in.
    int selection_start = 0;
    int selection_end = 0;
    // When the word came from a file read by INCLUDE FILE: that file and the
    // word's line in it (from 1); empty and 0 otherwise.
    std::string include_file;
    int include_line = 0;
};

// "<message> at char <position> found: <word>", at most 511 characters.
std::string parse_error_text(const ParseError& error);
