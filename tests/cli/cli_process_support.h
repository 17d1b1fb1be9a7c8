#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

// The glimmark program run as a real process, with its output captured.
struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string shell_quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs `glimmark ARGS` in `folder`, feeding `input` on standard input, with
// the NAME=value settings of `env` added to its environment.
inline ProcessResult run_glimmark(const std::vector<std::string>& args, const TempFolder& folder,
                                  const std::string& input = "",
                                  const std::vector<std::string>& env = {}) {
    const std::string binary = std::string(GMK_BINARY_DIR) + "/glimmark";
    const std::string in = folder.file(".stdin"), out = folder.file(".stdout"),
                      err = folder.file(".stderr");
    write_text(in, input);
    std::string command = "cd ";
    auto add = [&command](const char* sep, const std::string& word) {
        command.append(sep);
        command.append(shell_quote(word));
    };
    add("", folder.path());
    command.append(" && env");
    for (const std::string& setting : env)
        add(" ", setting);
    add(" ", binary);
    for (const std::string& a : args)
        add(" ", a);
    add(" <", in);
    add(" >", out);
    add(" 2>", err);
    ProcessResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

// The stderr of a run refused with --progress -: the refusal, then nothing
// more when it came before the scene was read, else only the progress log's
// last record, of nothing traced, with status=error.
inline bool refused_with_last_record(const std::string& err) {
    const size_t at = err.find("frame=");
    if (at == std::string::npos) return err.find("progress=") == std::string::npos;
    const std::string record = err.substr(at);
    const std::string end = "status=error\nprogress=end\n";
    return record.find("progress=continue") == std::string::npos &&
           record.rfind("frame=0\n", 0) == 0 && record.find("\nrow=0\n") != std::string::npos &&
           record.size() > end.size() &&
           record.compare(record.size() - end.size(), end.size(), end) == 0;
}

// RGB bytes of a binary PPM written by glimmark; empty when it is not one.
struct PpmImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    bool ok() const { return width > 0 && !rgb.empty(); }
    const unsigned char* at(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * width + x) * 3];
    }
};

inline PpmImage read_ppm(const std::string& path) {
    PpmImage im;
    const std::string data = slurp(path);
    std::istringstream s(data);
    std::string magic;
    int maxval = 0;
    // Comment lines (the band's record) may stand between the header's words.
    auto skip_comments = [&] {
        while ((s >> std::ws).peek() == '#')
            s.ignore(data.size(), '\n');
    };
    s >> magic;
    skip_comments();
    s >> im.width;
    skip_comments();
    s >> im.height;
    skip_comments();
    s >> maxval;
    if (magic != "P6" || maxval != 255) return {};
    s.get();
    const size_t n = static_cast<size_t>(im.width) * im.height * 3;
    const size_t offset = static_cast<size_t>(s.tellg());
    if (data.size() != offset + n) return {};
    im.rgb.assign(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end());
    return im;
}
