#include "record/video_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

struct Loaded {
    const GmkVideoEncoderApi* api = nullptr;
    std::string why;
};

#ifdef GLIMMARK_VIDEO_MODULE
// The folder of the running program, with its slash; empty when unknown.
std::string program_folder() {
    std::vector<char> path(4096);
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    std::string p(path.data(), static_cast<size_t>(n));
    return p.substr(0, p.find_last_of('/') + 1);
}

// GLIMMARK_VIDEO_MODULE names another file. Otherwise a program of the build
// tree takes the module the build made, and an installed one the module
// installed with it (../lib/<triplet>/glimmark from its folder).
std::string module_place() {
    if (const char* own = std::getenv("GLIMMARK_VIDEO_MODULE"); own != nullptr && *own != '\0')
        return own;
    const std::string folder = program_folder();
    const std::string tree = GLIMMARK_BUILD_TREE;
    if (folder.empty() || folder.compare(0, tree.size(), tree) == 0)
        return GLIMMARK_VIDEO_MODULE_BUILT;
    return folder + GLIMMARK_VIDEO_MODULE_INSTALLED;
}
#endif

std::string missing_text(const std::string& reason) {
    return "FFmpeg's libraries (libavformat), which could not be loaded: " + reason;
}

// The module is not installed: the package that brings it.
[[maybe_unused]] std::string absent_text(const std::string& place) {
    return missing_text(place +
                        " is missing (install glimmark-video for MP4, Matroska, WebM and GIF)");
}

Loaded load() {
    Loaded loaded;
#ifdef GLIMMARK_VIDEO_MODULE
    const std::string place = module_place();
    if (access(place.c_str(), F_OK) != 0) {
        loaded.why = absent_text(place);
        return loaded;
    }
    void* handle = dlopen(place.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* e = dlerror();
        loaded.why = missing_text(e != nullptr ? e : place);
        return loaded;
    }
    auto entry = reinterpret_cast<GmkVideoEncoderEntry>(dlsym(handle, GMK_VIDEO_ENCODER_ENTRY));
    const GmkVideoEncoderApi* api = entry != nullptr ? entry() : nullptr;
    if (api == nullptr || api->abi != GMK_VIDEO_ENCODER_ABI) {
        dlclose(handle);
        loaded.why = missing_text(place + " is not this program's encoder module");
        return loaded;
    }
    loaded.api = api;
#else
    loaded.why = "this build has no FFmpeg libraries (libavformat)";
#endif
    return loaded;
}

}  // namespace

const GmkVideoEncoderApi* video_encoder_api(std::string* why) {
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (why != nullptr) *why = loaded.why;
    return loaded.api;
}

bool video_encoder_present(std::string* why) {
#ifdef GLIMMARK_VIDEO_MODULE
    const std::string place = module_place();
    if (access(place.c_str(), F_OK) == 0) return true;
    if (why != nullptr) *why = absent_text(place);
    return false;
#else
    if (why != nullptr) *why = "this build has no FFmpeg libraries (libavformat)";
    return false;
#endif
}
