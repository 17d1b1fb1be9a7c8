#pragma once

#include <string_view>

#include "core/vector3.h"
#include "language/parse_context.h"

float read_expression(ParseContext& pc);
// The value of a number word as read_expression reads it; false when the word
// does not start as a number.
bool parse_number_word(std::string_view w, float& value);
Vector3 read_vector(ParseContext& pc);
void read_pair(ParseContext& pc, float& first, float& second);
// Looks the current word up as an interpolation, then a loop counter.
bool find_value(ParseContext& pc, float& value);
