#include "record/ffmpeg_library.h"

#include <dlfcn.h>

#include <iterator>
#include <string>

extern "C" {
#include <libavutil/version.h>
#include <libswscale/version.h>
}

namespace {

#define GMK_STRING(x) #x
#define GMK_SONAME(lib, major) "lib" lib ".so." GMK_STRING(major)

// The libraries of the versions the writer was compiled against; later
// ones only follow. Each opening takes in the libraries it needs.
const char* const kLibraries[] = {
    GMK_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
    GMK_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR),
    GMK_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
    GMK_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR),
    GMK_SONAME("avfilter", LIBAVFILTER_VERSION_MAJOR),
};

struct Loaded {
    FfmpegLibrary functions;
    bool complete = false;
    std::string trouble;
};

Loaded load() {
    Loaded out;
    void* handles[std::size(kLibraries)] = {};
    for (size_t i = 0; i < std::size(kLibraries); ++i) {
        // Kept open for the rest of the run: the functions stay in use.
        handles[i] = dlopen(kLibraries[i], RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr) {
            out.trouble = std::string(kLibraries[i]) + " could not be loaded";
            return out;
        }
    }
    auto find = [&](const char* name) -> void* {
        for (void* h : handles)
            if (void* f = dlsym(h, name)) return f;
        out.trouble = std::string(name) + " is missing from FFmpeg's libraries";
        return nullptr;
    };
#define GMK_FFMPEG_FIND(name)                                                         \
    out.functions.name = reinterpret_cast<decltype(out.functions.name)>(find(#name)); \
    if (out.functions.name == nullptr) return out;
    GMK_FFMPEG_FUNCTIONS(GMK_FFMPEG_FIND)
#undef GMK_FFMPEG_FIND
    out.complete = true;
    return out;
}

}  // namespace

const FfmpegLibrary* ffmpeg_library(const char** trouble) {
    static const Loaded loaded = load();
    if (trouble != nullptr) *trouble = loaded.trouble.c_str();
    return loaded.complete ? &loaded.functions : nullptr;
}
