#include "cli/output_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "record/target_file.h"

std::string output_path_problem(const std::string& path) {
    const std::string folder = folder_of(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return "the folder '" + folder + "' " +
               (errno == ENOENT ? std::string("does not exist") : std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return "'" + folder + "' is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "the folder '" + folder + "' is not writable: " + std::strerror(errno);
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return "it is a folder";
    return {};
}

ExistingPicture existing_picture(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return ExistingPicture::None;
    if (::stat(path.c_str(), &st) != 0) return ExistingPicture::None;  // a dangling link
    if (!S_ISREG(st.st_mode)) return ExistingPicture::Other;
    if (st.st_size == 0) return ExistingPicture::Picture;  // nothing to lose
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return ExistingPicture::Other;
    unsigned char head[8] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n == 8 && std::memcmp(head, png, 8) == 0) return ExistingPicture::Picture;
    if (n >= 3 && head[0] == 'P' && head[1] == '6' && std::isspace(head[2]))
        return ExistingPicture::Picture;
    return ExistingPicture::Other;
}

bool has_extension(const std::string& path, const char* extension) {
    const size_t n = std::strlen(extension);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) !=
            std::tolower(static_cast<unsigned char>(extension[i])))
            return false;
    return true;
}
