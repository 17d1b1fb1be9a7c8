#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

// One option a command accepts: "--output" with an optional one-letter
// alias such as 'o', and whether it takes a value.
struct OptionSpec {
    const char* name;
    char alias;
    bool takes_value;
};

struct ParsedArguments {
    std::vector<std::string> positional;
    // Keyed by the option's long name; the last value given wins.
    std::map<std::string, std::string> values;

    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// Accepts "--name value", "--name=value", "-o value", "-ovalue", grouped
// letters ("-qj1") and "--" before positional words; "-" alone is a
// positional word (standard input).
bool parse_arguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                     ParsedArguments& out, std::string& error);

// A whole decimal number from min to max, nothing before or after it.
bool parse_number(const std::string& text, int min, int max, int& value);

// "glimmark <command>: <message>" and the pointer to --help, on stderr.
void report_usage_error(const char* command, const std::string& message);

// The opening every command shares: the options, --help (which prints `usage`
// on stdout) and exactly one SCENE, which the message calls what the command
// does with it ("checked", "rendered"). False when the command ends here with
// `status`: 0 after --help, the usage-error status after a message on stderr.
bool open_command_line(const char* command, const char* done_to_scene,
                       const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                       void (*usage)(std::FILE*), ParsedArguments& parsed, int& status);
