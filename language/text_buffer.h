#pragma once

#include <string>

// The most characters a document may hold: the studio's editor buffer of
// 16 MB less its terminating NUL. A longer text is refused rather than cut.
constexpr int MaxSceneCharacters = 0xFFFFFF;

// Scene text with a read position. position + offset is the editor position
// of the same character, which keeps error positions true across INCLUDE.
struct TextBuffer {
    TextBuffer* previous = nullptr;
    TextBuffer* next = nullptr;
    std::string text;
    std::string name;
    int length = 0;
    int position = 0;
    int offset = 0;
};
