#pragma once

#include <string>

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
