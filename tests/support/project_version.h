#pragma once

// The version the top CMakeLists.txt gives the project, read from the file
// itself: what the programs print must come from there.

#include <fstream>
#include <sstream>
#include <string>

inline std::string project_version() {
    std::ifstream in(GMK_SOURCE_DIR "/CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    const std::string key = "project(Glimmark VERSION ";
    const size_t at = s.find(key);
    if (at == std::string::npos) return "(no project version)";
    const size_t from = at + key.size();
    return s.substr(from, s.find_first_of(" )", from) - from);
}
