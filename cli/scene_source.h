#pragma once

#include <string>

// A scene document as the command line names it: a file, or "-" for
// standard input.
struct SceneSource {
    std::string argument;  // as given
    std::string name;      // for messages: the path, or "<stdin>"
    std::string folder;    // for relative INCLUDE FILE and TEXTURE_FILE names
    std::string text;
    bool from_stdin = false;
};

// Reads the whole document; on failure `error` says why (path and reason).
bool load_scene_source(const std::string& argument, SceneSource& out, std::string& error);

// 1-based line and column of a byte offset in the text.
void line_and_column(const std::string& text, int offset, int& line, int& column);
