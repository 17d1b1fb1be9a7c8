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

}  // namespace glimmark
