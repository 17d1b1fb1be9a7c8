#include "scene/parse_error.h"

#include <cstdio>

std::string parse_error_text(const ParseError& error) {
    char text[512];
    std::snprintf(text, sizeof(text), "%s at char %d found: %s", error.message.c_str(),
                  error.position, error.word.c_str());
    return text;
}
