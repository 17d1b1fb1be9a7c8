#include <cstdio>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/scene_session.h"

int run_check(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    if (!parse_arguments(args, {{"help", 'h', false}}, parsed, error)) {
        report_usage_error("check", error);
        return ExitUsageOrFile;
    }
    if (parsed.has("help")) {
        print_usage(stdout);
        return ExitOk;
    }
    if (parsed.positional.size() != 1) {
        report_usage_error("check", parsed.positional.empty() ? "no SCENE given"
                                                              : "only one SCENE can be checked");
        return ExitUsageOrFile;
    }
    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    SceneSession session;
    const int status = session.run(source, false, false);
    if (status == ExitOk) std::printf("Parsed OK!\n");
    return status;
}
