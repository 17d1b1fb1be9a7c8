#pragma once

#include <string>

// Parses `text` as the command line does, through the parse entry: a
// check-only parse when `build` is false, otherwise a building parse and,
// when it parses to a size a run would trace, its first frame traced at most
// 8 x 8 pixels at a small depth, so that a document asking for a huge image
// still costs little.
void run_document(const std::string& text, bool build);
