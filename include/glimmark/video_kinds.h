#pragma once

// The kinds of video a recording can be written as, as a front end offers
// them before a recording starts (RunOptions::choose_compression).

#include "glimmark/run.h"

namespace glimmark {

// Whether this build can write the kind: the AVI ones always, the others
// only with FFmpeg's libraries.
bool can_record(VideoKind kind);

}  // namespace glimmark
