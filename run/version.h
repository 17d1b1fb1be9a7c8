#pragma once

#include <string>

// The program's version, as the command line and the studio print it. It is
// set in one place, the project's VERSION in the top CMakeLists.txt.
extern const char* const GlimmarkVersion;
// Its first two numbers ("1.0"), as the About box shows it.
extern const char* const GlimmarkVersionMajorMinor;

// The libraries the program was built with and their versions, as
// "libpng 1.6.39, zlib 1.2.13, libjpeg-turbo 2.1.5, stb_image" and, when
// recordings may be MP4, WebM or GIF, FFmpeg's libraries.
std::string built_with_libraries();
