#include "cli/scene_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "glimmark/about.h"

namespace {

// Reads at most one character more than a document may hold.
bool read_stream(std::FILE* f, std::string& out) {
    char buffer[65536];
    size_t n;
    while (static_cast<long long>(out.size()) <= glimmark::max_scene_characters &&
           (n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    return !std::ferror(f);
}

std::string too_long(const std::string& what) {
    return what + " holds more than " + std::to_string(glimmark::max_scene_characters) +
           " characters, the most a scene may hold";
}

// The scene ends at a NUL byte, as it does in the studio's editor; what
// follows it is not read, which is worth saying.
void warn_of_nul(const std::string& what, const std::string& text) {
    const size_t at = text.find('\0');
    if (at == std::string::npos) return;
    int line = 1, column = 1;
    line_and_column(text, static_cast<int>(at), line, column);
    std::fprintf(stderr,
                 "glimmark: warning: %s holds a NUL byte at line %d, column %d; the scene "
                 "ends there\n",
                 what.c_str(), line, column);
}

}  // namespace

bool load_scene_source(const std::string& argument, SceneSource& out, std::string& error) {
    out = SceneSource{};
    out.argument = argument;
    if (argument == "-") {
        out.name = "<stdin>";
        out.from_stdin = true;
        if (!read_stream(stdin, out.text)) {
            error = std::string("Could not read the scene from standard input: ") +
                    std::strerror(errno);
            return false;
        }
        if (static_cast<long long>(out.text.size()) > glimmark::max_scene_characters) {
            error = too_long("The scene on standard input");
            return false;
        }
        warn_of_nul("The scene on standard input", out.text);
        return true;
    }
    out.name = argument;
    out.folder = std::filesystem::path(argument).parent_path().string();
    errno = 0;
    std::FILE* f = std::fopen(argument.c_str(), "rb");
    if (f == nullptr) {
        error = "Could not open scene file '" + argument + "': " + std::strerror(errno);
        return false;
    }
    // A file longer than a scene may be is refused unread (a model's worth
    // of typed triangles is hundreds of megabytes).
    std::error_code size_error;
    if (std::filesystem::is_regular_file(argument, size_error) &&
        static_cast<long long>(std::filesystem::file_size(argument, size_error)) >
            glimmark::max_scene_characters &&
        !size_error) {
        std::fclose(f);
        error = too_long("Scene file '" + argument + "'");
        return false;
    }
    errno = 0;
    const bool ok = read_stream(f, out.text);
    const int read_errno = errno;
    std::fclose(f);
    if (!ok) {
        error = "Could not read scene file '" + argument + "': " + std::strerror(read_errno);
        return false;
    }
    if (static_cast<long long>(out.text.size()) > glimmark::max_scene_characters) {
        error = too_long("Scene file '" + argument + "'");
        return false;
    }
    warn_of_nul("Scene file '" + argument + "'", out.text);
    return true;
}

void line_and_column(const std::string& text, int offset, int& line, int& column) {
    if (offset < 0) offset = 0;
    const size_t end = std::min(static_cast<size_t>(offset), text.size());
    line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    column = static_cast<int>(end - line_start) + 1;
}
