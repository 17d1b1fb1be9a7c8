#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/scene_source.h"
#include "cli/trace_options.h"
#include "glimmark/engine.h"

namespace {

void print_check_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark check SCENE [--strict]\n"
        "       glimmark check SCENE --info [render's options]\n"
        "\n"
        "Parses the scene without tracing it and prints \"Parsed OK!\".\n"
        "  --strict   also builds the scene of its first frame as a trace would:\n"
        "             every TEXTURE_FILE and INCLUDE file it names is opened and\n"
        "             read, and one that cannot be fails the check\n"
        "  --info     builds the first frame as --strict does and prints, instead of\n"
        "             \"Parsed OK!\", one key=value line each for width, height,\n"
        "             frames, frames_per_second, start_time, end_time, output_file\n"
        "             and antialiasing: what `glimmark render SCENE` with the same\n"
        "             options traces (-W, -H, -A and --time count; render's other\n"
        "             options are checked and have no effect here). A scene without\n"
        "             ANIMATION has frames=1 and an empty output_file; frames is the\n"
        "             number of pictures the render writes (1 with --time).\n"
        "\n"
        "Exit status: 0 the scene is fine; 1 it has an error; 2 a wrong command line\n"
        "or a scene file that could not be read.\n",
        out);
}

// The first frame as a render would see it, read before it would be traced.
struct SceneInfo {
    int width = 0;
    int height = 0;
    int frames = 1;
    int frames_per_second = 0;
    float start_time = 0.0f;
    float end_time = 0.0f;
    std::string output_file;
    int antialiasing = 0;
};

// The shortest text that reads back as the same float.
std::string float_text(float value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return ec == std::errc() ? std::string(text, end) : std::string("0");
}

// One line per key; a line break in a name would end the line early, so it
// is written as \n (\r as \r).
void print_info(const SceneInfo& info) {
    std::string name;
    for (char c : info.output_file)
        name += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    std::printf(
        "width=%d\nheight=%d\nframes=%d\nframes_per_second=%d\nstart_time=%s\nend_time=%s\n"
        "output_file=%s\nantialiasing=%d\n",
        info.width, info.height, info.frames, info.frames_per_second,
        float_text(info.start_time).c_str(), float_text(info.end_time).c_str(), name.c_str(),
        info.antialiasing);
}

// The parse error as the studio's box shows it, then where it stands in the
// scene (and in the INCLUDE FILE text that brought the word in).
int show_parse_error(const SceneSource& source, const glimmark::Diagnostic& error) {
    std::fprintf(stderr, "Parse Error: %s\n", error.text.c_str());
    std::fprintf(stderr, "%s:%d:%d: %s\n", source.name.c_str(), error.line, error.column,
                 error.message.c_str());
    if (!error.include_file.empty())
        std::fprintf(stderr, "%s:%d: note: the word \"%s\" stands here, in the INCLUDE FILE text\n",
                     error.include_file.c_str(), error.include_line, error.word.c_str());
    return ExitSceneError;
}

}  // namespace

int run_check(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    int status = ExitOk;
    // render's options are read for --info alone; without it they stay the
    // unknown options they always were.
    std::vector<OptionSpec> specs = trace_option_specs(true);
    specs.push_back({"strict", 0, false});
    specs.push_back({"info", 0, false});
    if (!open_command_line("check", "checked", args, specs, print_check_usage, parsed, status))
        return status;
    const bool info = parsed.has("info");
    if (!info) {
        for (const auto& [name, value] : parsed.values)
            if (name != "strict") {
                report_usage_error("check", "option '--" + name + "' goes with --info");
                return ExitUsageOrFile;
            }
    }
    TraceOptions options;
    if (info && !read_trace_options("check", parsed, options)) return ExitUsageOrFile;
    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    glimmark::Settings settings = settings_of(options, source.folder);
    if (!parsed.has("strict") && !info) {
        const std::vector<glimmark::Diagnostic> found = glimmark::check(source.text, settings);
        if (!found.empty()) return show_parse_error(source, found.front());
        std::printf("Parsed OK!\n");
        return ExitOk;
    }
    // A strict check is the building parse of a trace's first frame, which
    // is then not traced.
    const glimmark::Parsed frame = glimmark::parse(source.text, settings);
    if (frame.error) return show_parse_error(source, *frame.error);
    if (!info) {
        std::printf("Parsed OK!\n");
        return ExitOk;
    }
    // A size the render would refuse is no size for a script to plan with.
    if (!frame.frame) {
        std::fprintf(stderr, "Glimmark Error: %s\n", frame.refusal.c_str());
        return ExitSceneError;
    }
    const glimmark::Animation animation = frame.frame->animation();
    print_info(SceneInfo{frame.frame->width(), frame.frame->height(),
                         settings.time ? 1 : std::max(1, animation.frames),
                         animation.frames_per_second, animation.start_time, animation.end_time,
                         animation.output_file, frame.frame->antialiasing()});
    return ExitOk;
}
