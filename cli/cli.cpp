#include "cli/cli.h"

#include <cstdio>

// Placeholder until the command's options are in; says so plainly.
int run_cli(int, char**) {
    std::fprintf(stderr, "glimmark: commands are not built yet\n");
    return 1;
}
