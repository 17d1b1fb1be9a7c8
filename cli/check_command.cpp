#include <cstdio>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/scene_session.h"

namespace {

void print_check_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark check SCENE [--strict]\n"
        "\n"
        "Parses the scene without tracing it and prints \"Parsed OK!\".\n"
        "  --strict   also builds the scene of its first frame as a trace would:\n"
        "             every TEXTURE_FILE and INCLUDE file it names is opened and\n"
        "             read, and one that cannot be fails the check\n"
        "\n"
        "Exit status: 0 the scene is fine; 1 it has an error; 2 a wrong command line\n"
        "or a scene file that could not be read.\n",
        out);
}

}  // namespace

int run_check(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    int status = ExitOk;
    if (!open_command_line("check", "checked", args, {{"strict", 0, false}, {"help", 'h', false}},
                           print_check_usage, parsed, status))
        return status;
    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    SceneSession session;
    const bool strict = parsed.has("strict");
    // A strict check is the building parse of a trace, stopped before the
    // first frame would be traced.
    if (strict)
        session.controller().before_frame = [](const TraceController&) {
            return FrameChoice::Stop;
        };
    status = session.run(source, strict, false);
    if (status == ExitOk) std::printf("Parsed OK!\n");
    return status;
}
