#pragma once

// Positions as the protocol counts them: a line from 0 and a character from
// 0 in UTF-16 code units within the line; lines end at "\n" (a "\r" before
// it belongs to no character a client counts past). The scene text itself
// is bytes, UTF-8 where it is anything beyond ASCII.

#include <cstddef>
#include <string>
#include <vector>

namespace lsp {

struct Position {
    int line = 0;
    int character = 0;
};

class LineIndex {
  public:
    explicit LineIndex(const std::string& text);
    // The position of byte `offset` (clamped to the text).
    Position position_of(std::size_t offset) const;
    // The byte offset of a position; a line past the end gives the text's
    // end, a character past the line's end gives the line's end.
    std::size_t offset_of(Position position) const;

  private:
    const std::string& text_;
    std::vector<std::size_t> line_starts_;
};

// The path of a file: URI ("file:///home/a%20b/x.gmk" -> "/home/a b/x.gmk");
// empty for any other URI.
std::string path_of_uri(const std::string& uri);
// The file: URI of an absolute path, with the characters a URI may not hold
// written as %XX.
std::string uri_of_path(const std::string& path);

}  // namespace lsp
