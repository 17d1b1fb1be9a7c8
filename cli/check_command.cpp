#include <cstdio>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/scene_session.h"

int run_check(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    int status = ExitOk;
    if (!open_command_line("check", "checked", args, {{"help", 'h', false}}, print_usage, parsed,
                           status))
        return status;
    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    SceneSession session;
    status = session.run(source, false, false);
    if (status == ExitOk) std::printf("Parsed OK!\n");
    return status;
}
