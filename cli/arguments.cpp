#include "cli/arguments.h"

#include <getopt.h>

#include <charconv>

#include <cstdio>

#include "cli/exit_codes.h"

namespace {

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
    // getopt_long does the reading, so grouped letters ("-qj1", "-j4") and
    // unambiguous abbreviations of long names work as in other tools. A
    // leading '-' hands every positional word back in order (whatever
    // POSIXLY_CORRECT says), ':' reports a missing value apart from an
    // unknown option.
    constexpr int LongBase = 256;
    std::string letters = "-:";
    std::vector<option> longs;
    for (size_t i = 0; i < specs.size(); ++i) {
        const OptionSpec& s = specs[i];
        longs.push_back(
            {s.name, s.takes_value ? required_argument : no_argument, nullptr, LongBase + int(i)});
        if (s.alias != 0) {
            letters += s.alias;
            if (s.takes_value) letters += ':';
        }
    }
    longs.push_back({nullptr, 0, nullptr, 0});
    std::vector<std::string> words;
    words.reserve(args.size() + 1);
    words.push_back("glimmark");
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    opterr = 0;
    optind = 0;  // glibc: start over, forgetting any earlier parse
    int c = 0;
    while ((c = getopt_long(argc, argv.data(), letters.c_str(), longs.data(), nullptr)) != -1) {
        // The word getopt has just read, for messages.
        const std::string word = optind > 0 && optind <= argc ? argv[optind - 1] : "";
        if (c == 1) {
            out.positional.push_back(optarg);
            continue;
        }
        if (c == '?' || c == ':') {
            std::string name = optopt != 0 && optopt < LongBase ? std::string("-") + char(optopt)
                                                                : word.substr(0, word.find('='));
            if (optopt >= LongBase)
                name = "--" + std::string(specs[size_t(optopt - LongBase)].name);
            if (c == ':')
                error = "option '" + name + "' needs a value";
            else if (optopt >= LongBase)
                error = "option '" + name + "' takes no value";
            else
                error = "unknown option '" + name + "'";
            return false;
        }
        const OptionSpec* spec =
            c >= LongBase ? &specs[size_t(c - LongBase)] : find_alias(specs, char(c));
        if (spec == nullptr) {
            error = "unknown option '" + word + "'";
            return false;
        }
        const std::string value = optarg != nullptr ? optarg : "";
        // An empty value is a slip ("-o $OUT" with OUT unset), not a request
        // for the default: the default would write somewhere not asked for.
        if (spec->takes_value && value.empty()) {
            error = "option '--" + std::string(spec->name) + "' needs a value";
            return false;
        }
        out.values[spec->name] = value;
    }
    for (int i = optind; i < argc; ++i)
        out.positional.push_back(argv[size_t(i)]);
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
