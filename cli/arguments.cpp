#include "cli/arguments.h"

#include <charconv>

#include <cstdio>

#include "cli/exit_codes.h"

namespace {

const OptionSpec* find_long(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& s : specs)
        if (name == s.name) return &s;
    return nullptr;
}

const OptionSpec* find_alias(const std::vector<OptionSpec>& specs, char alias) {
    for (const OptionSpec& s : specs)
        if (s.alias != 0 && s.alias == alias) return &s;
    return nullptr;
}

}  // namespace

bool parse_number(const std::string& text, int min, int max, int& value) {
    const char* end = text.data() + text.size();
    int v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v < min || v > max) return false;
    value = v;
    return true;
}

bool parse_arguments(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                     ParsedArguments& out, std::string& error) {
    out = ParsedArguments{};
    bool options_done = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options_done || a == "-" || a.empty() || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            options_done = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        std::string value;
        bool has_inline_value = false;
        if (a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
                has_inline_value = true;
            }
            spec = find_long(specs, name);
        } else if (a.size() == 2) {
            spec = find_alias(specs, a[1]);
        }
        if (spec == nullptr) {
            error = "unknown option '" + a + "'";
            return false;
        }
        if (!spec->takes_value) {
            if (has_inline_value) {
                error = "option '--" + std::string(spec->name) + "' takes no value";
                return false;
            }
            out.values[spec->name] = "";
            continue;
        }
        if (!has_inline_value) {
            if (i + 1 >= args.size()) {
                error = "option '" + a + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        // An empty value is a slip ("-o $OUT" with OUT unset), not a request
        // for the default: the default would write somewhere not asked for.
        if (value.empty()) {
            error = "option '--" + std::string(spec->name) + "' needs a value";
            return false;
        }
        out.values[spec->name] = value;
    }
    return true;
}

void report_usage_error(const char* command, const std::string& message) {
    std::fprintf(stderr, "glimmark %s: %s\nTry 'glimmark --help'.\n", command, message.c_str());
}

bool open_command_line(const char* command, const char* done_to_scene,
                       const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                       void (*usage)(std::FILE*), ParsedArguments& parsed, int& status) {
    std::string error;
    status = ExitUsageOrFile;
    if (!parse_arguments(args, specs, parsed, error)) {
        report_usage_error(command, error);
        return false;
    }
    if (parsed.has("help")) {
        usage(stdout);
        status = ExitOk;
        return false;
    }
    if (parsed.positional.size() != 1) {
        report_usage_error(command, parsed.positional.empty()
                                        ? std::string("no SCENE given")
                                        : std::string("only one SCENE can be ") + done_to_scene);
        return false;
    }
    return true;
}
