#include "language/parse_context.h"

#include "language/scene_budget.h"

ParseContext::ParseContext() : limits(scene_limits()) {}
ParseContext::~ParseContext() = default;
