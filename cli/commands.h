#pragma once

#include <cstdio>
#include <string>
#include <vector>

// One function per subcommand; `args` are the words after the command name.
// Each returns the process exit status (cli/exit_codes.h).
int run_check(const std::vector<std::string>& args);
int run_render(const std::vector<std::string>& args);
int run_record(const std::vector<std::string>& args);
int run_join_rows(const std::vector<std::string>& args);

// The general usage text, for --help and for a command line that is wrong.
void print_usage(std::FILE* out);
