#pragma once

// What the program is and what it reads at most, as front ends tell it.

#include <string>

namespace glimmark {

// The version ("1.0.3") and its first two numbers ("1.0", as the About box
// shows it).
const char* version();
const char* version_major_minor();

// The libraries the program was built with and their versions, as
// "libpng 1.6.39, zlib 1.2.13, libjpeg-turbo 2.1.5, stb_image" and, when
// recordings may be MP4, WebM or GIF, FFmpeg's libraries.
std::string built_with();

// The most characters a scene text may have for a trace to read it.
constexpr long long max_scene_characters = 0xFFFFFF;

// The largest WIDTH and HEIGHT a frame is traced at; the most extra samples a
// pixel takes and the deepest reflection or refraction followed (larger
// ANTIALIASING and MAX_DEPTH values count as these).
constexpr int max_image_side = 16384;
constexpr int max_antialiasing = 1024;
constexpr int max_trace_depth = 256;

}  // namespace glimmark
