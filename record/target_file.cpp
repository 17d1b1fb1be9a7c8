#include "record/target_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

TargetKind classify_target(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // A dangling link is replaced like a missing file: the link itself
        // goes, whatever it pointed to is not touched.
        return TargetKind::Missing;
    }
    if (S_ISDIR(st.st_mode)) return TargetKind::Folder;
    if (!S_ISREG(st.st_mode)) return TargetKind::NotAvi;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return TargetKind::NotAvi;
    unsigned char head[12] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n == sizeof head && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "AVI ", 4) == 0)
        return TargetKind::Avi;
    return TargetKind::NotAvi;
}

std::string temporary_name_for(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // Leaves room for the prefix and suffix within the longest file name.
    if (base.size() > TemporaryBaseLength) base.resize(TemporaryBaseLength);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%ld-%u.part", static_cast<long>(::getpid()),
                  counter.fetch_add(1));
    return folder + "." + base + suffix;
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool is_video_file(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    unsigned char head[12] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n < sizeof head) return false;
    const bool avi = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0;
    const bool mp4 = std::memcmp(head + 4, "ftyp", 4) == 0;
    const bool matroska = std::memcmp(head, "\x1A\x45\xDF\xA3", 4) == 0;
    const bool gif = std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0;
    return avi || mp4 || matroska || gif;
}
