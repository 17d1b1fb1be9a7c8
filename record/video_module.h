#pragma once

#include <string>

#include "record/video_encoder_api.h"

// The encoder module, loaded on first use and kept for the life of the
// process. Null when this build has none, or when it cannot be loaded; then
// `why` (when given) says what is missing.
const GmkVideoEncoderApi* video_encoder_api(std::string* why = nullptr);

// Whether the module this program would load is there, without loading it
// (loading takes a tenth of a second: FFmpeg's libraries pull in many
// others); `why` as above when it is not.
bool video_encoder_present(std::string* why = nullptr);
