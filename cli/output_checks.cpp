#include "cli/output_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "glimmark/output_files.h"
#include "glimmark/picture_file.h"

std::string output_path_problem(const std::string& path) {
    const std::string folder = glimmark::folder_of(path);
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

namespace {

// The next number of a PPM header, past white space and # comments; -1 when
// there is none.
long ppm_number(const std::vector<unsigned char>& file, size_t& at) {
    while (at < file.size()) {
        if (file[at] == '#') {
            while (at < file.size() && file[at] != '\n')
                ++at;
        } else if (std::isspace(file[at])) {
            ++at;
        } else {
            break;
        }
    }
    long value = -1;
    while (at < file.size() && std::isdigit(file[at]) && value < 1000000)
        value = (value < 0 ? 0 : value * 10) + (file[at++] - '0');
    return value;
}

bool ppm_is_complete(const std::vector<unsigned char>& file, int width, int height) {
    size_t at = 2;
    const long w = ppm_number(file, at), h = ppm_number(file, at), most = ppm_number(file, at);
    // One white space character ends the header; the samples follow.
    if (w != width || h != height || most < 1 || most > 65535 || at >= file.size() ||
        !std::isspace(file[at]))
        return false;
    const size_t sample = most > 255 ? 2 : 1;
    return file.size() - (at + 1) >= size_t(width) * size_t(height) * 3 * sample;
}

}  // namespace

bool picture_bytes_complete(const std::vector<unsigned char>& file, int width, int height) {
    if (width < 1 || height < 1) return false;
    if (file.size() >= 3 && file[0] == 'P' && file[1] == '6' && std::isspace(file[2]))
        return ppm_is_complete(file, width, height);
    return glimmark::png_is_whole(file, width, height);
}

bool picture_is_complete(const std::string& path, int width, int height) {
    if (existing_picture(path) != ExistingPicture::Picture) return false;
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> file{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    if (in.bad()) return false;
    return picture_bytes_complete(file, width, height);
}
