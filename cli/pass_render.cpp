#include "cli/pass_render.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/frame_names.h"
#include "cli/interrupts.h"
#include "cli/output_checks.h"
#include "cli/scene_source.h"
#include "glimmark/engine.h"
#include "glimmark/exr_file.h"

namespace {

// depth,normal,object,linear in any order; false after the reason.
bool read_passes(const std::string& list, glimmark::Passes& passes) {
    std::stringstream words(list);
    std::string word;
    bool some = false;
    while (std::getline(words, word, ',')) {
        if (word == "depth")
            passes.depth = true;
        else if (word == "normal")
            passes.normal = true;
        else if (word == "object")
            passes.object = true;
        else if (word == "linear" || word == "rgb")
            passes.linear = true;
        else {
            report_usage_error("render",
                               "--pass takes depth, normal, object and linear, not '" + word + "'");
            return false;
        }
        some = true;
    }
    if (!some) report_usage_error("render", "--pass takes depth, normal, object and linear");
    return some;
}

}  // namespace

bool wants_exr_render(const ParsedArguments& parsed) {
    return parsed.has("pass") || glimmark::is_exr_name(parsed.value("output"));
}

int run_exr_render(const ParsedArguments& parsed, const TraceOptions& options,
                   const std::string& scene) {
    const std::string out = parsed.value("output");
    if (!glimmark::is_exr_name(out)) {
        report_usage_error("render", "--pass writes an OpenEXR file: name it with -o OUT.exr");
        return ExitUsageOrFile;
    }
    if (!glimmark::exr_supported()) {
        report_usage_error("render", "this glimmark was built without OpenEXR: no .exr pictures");
        return ExitUsageOrFile;
    }
    for (const char* option : {"rows", "format", "no-overwrite", "progress"})
        if (parsed.has(option)) {
            report_usage_error(
                "render", std::string("--") + option + " is for PNG and PPM pictures, not OpenEXR");
            return ExitUsageOrFile;
        }
    // R G B are the linear colour in an OpenEXR picture.
    glimmark::Passes passes;
    passes.linear = true;
    if (parsed.has("pass") && !read_passes(parsed.value("pass"), passes)) return ExitUsageOrFile;
    FramePattern pattern;
    std::string error;
    if (!parse_frame_pattern(out, pattern, error)) {
        report_usage_error("render", error);
        return ExitUsageOrFile;
    }

    SceneSource source;
    if (!load_scene_source(scene, source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    glimmark::Settings settings = settings_of(options, source.folder);
    settings.threads = options.threads;

    InterruptEndsProgram interrupt;
    int last = options.last_frame;
    for (int index = std::max(0, options.first_frame); last < 0 || index <= last; ++index) {
        settings.frame = index;
        glimmark::Parsed parsed_frame = glimmark::parse(source.text, settings);
        if (parsed_frame.error) {
            // As the run shows a parse error: its box, then where it is.
            const glimmark::Diagnostic& e = *parsed_frame.error;
            std::fprintf(stderr, "Parse Error: %s\n", e.text.c_str());
            std::fprintf(stderr, "%s:%d:%d: %s\n", source.name.c_str(), e.line, e.column,
                         e.message.c_str());
            if (!e.include_file.empty())
                std::fprintf(stderr,
                             "%s:%d: note: the word \"%s\" stands here, in the INCLUDE FILE text\n",
                             e.include_file.c_str(), e.include_line, e.word.c_str());
            return ExitSceneError;
        }
        if (!parsed_frame.refusal.empty()) {
            std::fprintf(stderr, "Glimmark Error: %s\n", parsed_frame.refusal.c_str());
            return ExitSceneError;
        }
        glimmark::Frame& frame = *parsed_frame.frame;
        const int frames =
            settings.time || !frame.animation().animated ? 1 : frame.animation().frames;
        if (last < 0 || last >= frames) last = frames - 1;
        const std::string name = frame_file_name(pattern, index, frames);
        const std::string why = output_path_problem(name);
        if (!why.empty()) {
            std::fprintf(stderr, "Glimmark Error: Cannot write '%s': %s\n", name.c_str(),
                         why.c_str());
            return ExitUsageOrFile;
        }
        glimmark::TraceControl control;
        control.passes = passes;
        const glimmark::Picture picture = frame.trace(control);
        if (!glimmark::write_exr(name, picture, error)) {
            std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
            return ExitUsageOrFile;
        }
        std::printf("%s\n", name.c_str());
        std::fflush(stdout);
    }
    return ExitOk;
}
