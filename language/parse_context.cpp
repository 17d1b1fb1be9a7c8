#include "language/parse_context.h"

ParseContext::ParseContext() = default;
ParseContext::~ParseContext() = default;
