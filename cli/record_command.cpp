#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"

// Placeholder for the recording command, which the AVI writer's owner wires
// up: SceneSession::run with record set, the codec chosen on the controller's
// AviWriter first. Until then it says so and does nothing.
int run_record(const std::vector<std::string>& args) {
    (void)args;
    std::fprintf(stderr, "glimmark record: recording is not available in this build yet\n");
    return ExitUsageOrFile;
}
