#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "scene/texture.h"
#include "shapes/material.h"

namespace {

// One file per process, rewritten for every input: load_texture reads files.
const std::string& input_path() {
    static const std::string path = "/tmp/glimmark-fuzz-texture-" + std::to_string(getpid());
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(input_path().c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) return 0;
    Material material;
    load_texture(material, input_path());
    return 0;
}
