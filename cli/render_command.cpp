#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/frame_names.h"
#include "cli/interrupts.h"
#include "cli/scene_session.h"
#include "record/image_file.h"
#include "scene/surface.h"

int run_render(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    const std::vector<OptionSpec> options = {
        {"output", 'o', true}, {"quiet", 'q', false}, {"threads", 'j', true}, {"help", 'h', false}};
    int status = ExitOk;
    if (!open_command_line("render", "rendered", args, options, print_usage, parsed, status))
        return status;
    int threads = 0;
    if (parsed.has("threads") && !parse_number(parsed.value("threads"), 0, 256, threads)) {
        report_usage_error("render", "--threads needs a number from 0 (every core) to 256");
        return ExitUsageOrFile;
    }
    const std::string scene = parsed.positional[0];
    std::string out = parsed.value("output");
    if (out.empty()) {
        if (scene == "-") {
            report_usage_error("render", "a scene from standard input needs -o OUT");
            return ExitUsageOrFile;
        }
        out = default_picture_name(scene);
    }
    FramePattern pattern;
    if (!parse_frame_pattern(out, pattern, error)) {
        report_usage_error("render", error);
        return ExitUsageOrFile;
    }
    ImageFormat format;
    if (!image_format_for(out, format)) {
        report_usage_error("render", "'" + out + "' should end in .png or .ppm");
        return ExitUsageOrFile;
    }

    // "render scene.png" would write its picture over the scene it reads.
    std::error_code same_ec;
    if (scene != "-" && std::filesystem::equivalent(scene, out, same_ec)) {
        std::fprintf(stderr,
                     "Glimmark Error: The picture '%s' would replace the scene file; name it with "
                     "-o\n",
                     out.c_str());
        return ExitUsageOrFile;
    }

    SceneSource source;
    if (!load_scene_source(scene, source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }

    SceneSession session;
    session.controller().job.threads = threads;
    session.show_progress = !parsed.has("quiet") && isatty(STDERR_FILENO);
    auto write_frame = [&](int index, int frames, const Surface& picture) {
        const std::string name = frame_file_name(pattern, index, frames);
        std::string why;
        if (!write_image(name, format, picture, why)) {
            std::fprintf(stderr, "Glimmark Error: %s\n", why.c_str());
            return false;
        }
        std::printf("%s\n", name.c_str());
        std::fflush(stdout);
        return true;
    };
    // A picture cut short is not a picture: an interrupt ends the program
    // without saving the frame it was tracing or writing.
    InterruptEndsProgram interrupt;
    return session.run(source, true, false, write_frame);
}
