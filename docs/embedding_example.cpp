// Checks a scene text, traces it with a progress line and writes a PPM file.
#include <cstdio>
#include <fstream>
#include <string>

#include "glimmark/engine.h"

int main(int argc, char** argv) {
    const std::string scene =
        "TRACER WIDTH 160 HEIGHT 120 ANTIALIASING 2 END_TRACER\n"
        "SCENE CAMERA TRANSLATE 0 1 -5 LOOK_AT 0 0 0 END_CAMERA\n"
        "  LIGHT TRANSLATE 4 8 -6 STRENGTH 40 END_LIGHT\n"
        "  SPHERE END_SPHERE PLANE TRANSLATE 0 -1 0 END_PLANE\n"
        "END_SCENE\n";
    for (const glimmark::Diagnostic& error : glimmark::check(scene)) {
        std::fprintf(stderr, "%d:%d: %s\n", error.line, error.column, error.message.c_str());
        return 1;
    }
    const glimmark::Picture picture = glimmark::trace(
        scene, {},
        {[](int done, int total) { std::fprintf(stderr, "\r%d of %d rows", done, total); }});
    std::fprintf(stderr, "\n");
    std::ofstream out(argc > 1 ? argv[1] : "picture.ppm", std::ios::binary);
    out << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(picture.rgb.data()), picture.rgb.size());
    return out ? 0 : 1;
}
