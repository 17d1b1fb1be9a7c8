#include "run/version.h"

#ifdef GLIMMARK_IMAGE_LIBRARIES
// jpeglib.h needs FILE and size_t declared before it.
#include <cstdio>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>
#endif

#include "record/video_formats.h"

// The build passes both from the project's version.
const char* const GlimmarkVersion = GLIMMARK_VERSION;
const char* const GlimmarkVersionMajorMinor = GLIMMARK_VERSION_MAJOR_MINOR;

std::string built_with_libraries() {
#ifndef GLIMMARK_IMAGE_LIBRARIES
    // The WebAssembly build: every picture by stb.
    return "stb_image, stb_image_write";
#else
    std::string text = "libpng " PNG_LIBPNG_VER_STRING ", zlib " ZLIB_VERSION;
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
    // 2001005 is 2.1.5.
    constexpr int jpeg = LIBJPEG_TURBO_VERSION_NUMBER;
    text += ", libjpeg-turbo " + std::to_string(jpeg / 1000000) + "." +
            std::to_string(jpeg / 1000 % 1000) + "." + std::to_string(jpeg % 1000);
#else
    text += ", libjpeg " + std::to_string(JPEG_LIB_VERSION / 10) + "." +
            std::to_string(JPEG_LIB_VERSION % 10);
#endif
    // stb_image, for BMP and TGA textures, carries no version number.
    text += ", stb_image";
    const std::string video = video_library_versions();
    if (!video.empty()) text += ", " + video;
    return text;
#endif
}
