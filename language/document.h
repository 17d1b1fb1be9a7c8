#pragma once

#include "language/parse_context.h"

// The document loop: every top-level block of the document, in order.
void parse_document(ParseContext& pc);
void parse_tracer(ParseContext& pc);
void parse_animation(ParseContext& pc);
