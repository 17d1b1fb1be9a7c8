#include "cli/trace_options.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cli/scene_session.h"
#include "glimmark/about.h"

const char* const TraceOptionsHelp =
    "  -W, --width N         the picture's WIDTH, from 1 to 16384\n"
    "  -H, --height N        the picture's HEIGHT, from 1 to 16384\n"
    "  -A, --antialiasing N  extra samples where neighbours differ, 0 to 1024\n"
    "  --max-depth N         reflections and refractions followed, 0 to 256\n"
    "                        (these four replace the scene's TRACER values)\n"
    "  --frames A-B          only frames A to B of the animation (from 0; A- to\n"
    "                        its end, A alone for one frame), the same pictures\n"
    "                        a whole run gives for them\n"
    "  -j, --threads N       trace on N threads; 0, the default, uses every core\n"
    "                        this process may run on. The picture is the same\n"
    "                        for every N.\n"
    "  -f, --force           replace a file of the output's name even when it\n"
    "                        is not one Glimmark writes\n"
    "  -q, --quiet           no progress line (shown when stderr is a terminal)\n"
    "  --progress FILE       once a second, key=value lines for a log (frame:\n"
    "                        frames done, frames_total, row: rows of the frame\n"
    "                        done, rows_total, percent, elapsed_s, eta_s,\n"
    "                        rays_per_s, threads, then progress=continue); the\n"
    "                        last record has status=done, interrupted or error\n"
    "                        and progress=end. - writes them to standard error\n"
    "  --progress-interval S seconds between those records, from 0.01 to\n"
    "                        86400 (default 1)\n";

std::vector<OptionSpec> trace_option_specs(bool render) {
    std::vector<OptionSpec> specs = {{"output", 'o', true},          {"quiet", 'q', false},
                                     {"threads", 'j', true},         {"width", 'W', true},
                                     {"height", 'H', true},          {"antialiasing", 'A', true},
                                     {"max-depth", 0, true},         {"frames", 0, true},
                                     {"force", 'f', false},          {"progress", 0, true},
                                     {"progress-interval", 0, true}, {"help", 'h', false}};
    if (render) {
        specs.push_back({"time", 0, true});
        specs.push_back({"rows", 0, true});
        specs.push_back({"no-overwrite", 'n', false});
        specs.push_back({"format", 0, true});
        specs.push_back({"pass", 0, true});
    }
    return specs;
}

bool parse_range(const std::string& text, int& first, int& last) {
    const size_t dash = text.find('-');
    const std::string a = text.substr(0, dash);
    const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
    const int most = std::numeric_limits<int>::max();
    int f = 0, l = 0;
    if (!parse_number(a, 0, most, f)) return false;
    if (b.empty() && dash != std::string::npos) {
        first = f;
        last = -1;
        return true;
    }
    if (!parse_number(b, f, most, l)) return false;
    first = f;
    last = l;
    return true;
}

namespace {

struct NumberOption {
    const char* name;
    int min;
    int max;
    std::optional<int> PictureOverrides::*field;
};

bool parse_time(const std::string& text, float& value) {
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

}  // namespace

bool read_trace_options(const char* command, const ParsedArguments& parsed, TraceOptions& out) {
    out = TraceOptions{};
    const NumberOption numbers[] = {
        {"width", 1, glimmark::max_image_side, &PictureOverrides::width},
        {"height", 1, glimmark::max_image_side, &PictureOverrides::height},
        {"antialiasing", 0, glimmark::max_antialiasing, &PictureOverrides::antialiasing},
        {"max-depth", 0, glimmark::max_trace_depth, &PictureOverrides::max_depth},
    };
    for (const NumberOption& n : numbers) {
        if (!parsed.has(n.name)) continue;
        int v = 0;
        if (!parse_number(parsed.value(n.name), n.min, n.max, v)) {
            report_usage_error(command, std::string("--") + n.name + " is a whole number from " +
                                            std::to_string(n.min) + " to " + std::to_string(n.max) +
                                            ", not '" + parsed.value(n.name) + "'");
            return false;
        }
        out.overrides.*n.field = v;
    }
    if (parsed.has("threads") && !parse_number(parsed.value("threads"), 0, 256, out.threads)) {
        report_usage_error(command, "--threads needs a number from 0 (every core) to 256");
        return false;
    }
    if (parsed.has("frames") &&
        !parse_range(parsed.value("frames"), out.first_frame, out.last_frame)) {
        report_usage_error(command, "--frames is A-B, A- or A with 0 <= A <= B, not '" +
                                        parsed.value("frames") + "'");
        return false;
    }
    if (parsed.has("rows")) {
        if (!parse_range(parsed.value("rows"), out.first_row, out.last_row)) {
            report_usage_error(command, "--rows is A-B, A- or A with 0 <= A <= B, not '" +
                                            parsed.value("rows") + "'");
            return false;
        }
        out.has_rows = true;
    }
    if (parsed.has("time")) {
        float t = 0.0f;
        if (!parse_time(parsed.value("time"), t)) {
            report_usage_error(command, "--time is a number, not '" + parsed.value("time") + "'");
            return false;
        }
        if (parsed.has("frames")) {
            report_usage_error(command, "--time traces one moment; it cannot go with --frames");
            return false;
        }
        out.overrides.time = t;
    }
    out.quiet = parsed.has("quiet");
    out.progress = parsed.value("progress");
    if (parsed.has("progress-interval")) {
        const std::string text = parsed.value("progress-interval");
        float seconds = 0.0f;
        // Below a hundredth of a second the records would be all the run does.
        if (!parse_time(text, seconds) || !(seconds >= 0.01f) || seconds > 86400.0f) {
            report_usage_error(command,
                               "--progress-interval is a number of seconds from 0.01 to 86400, "
                               "not '" +
                                   text + "'");
            return false;
        }
        if (out.progress.empty()) {
            report_usage_error(command,
                               "--progress-interval sets how often --progress writes; "
                               "give --progress FILE too");
            return false;
        }
        out.progress_interval = seconds;
    }
    out.force = parsed.has("force");
    out.no_overwrite = parsed.has("no-overwrite");
    if (out.force && out.no_overwrite) {
        report_usage_error(command,
                           "--force replaces files and --no-overwrite keeps them; give "
                           "one of them");
        return false;
    }
    return true;
}

bool apply_trace_options(const char* command, const TraceOptions& options, SceneSession& session) {
    glimmark::Run& run = session.cycle();
    glimmark::RunOptions& o = run.options();
    o.width = options.overrides.width;
    o.height = options.overrides.height;
    o.antialiasing = options.overrides.antialiasing;
    o.max_depth = options.overrides.max_depth;
    o.time = options.overrides.time;
    o.first_frame = options.first_frame;
    o.last_frame = options.last_frame;
    run.set_threads(options.threads);
    run.set_rows(options.first_row, options.last_row);
    o.replace_any_file = options.force;
    const bool log_to_stderr = options.progress == "-";
    session.show_progress = !options.quiet && !log_to_stderr && isatty(STDERR_FILENO);
    if (!options.progress.empty() &&
        !session.open_progress_log(options.progress, options.progress_interval)) {
        std::fprintf(stderr, "glimmark %s: could not open progress file '%s': %s\n", command,
                     options.progress.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

glimmark::Settings settings_of(const TraceOptions& options, const std::string& folder) {
    glimmark::Settings settings;
    settings.width = options.overrides.width;
    settings.height = options.overrides.height;
    settings.antialiasing = options.overrides.antialiasing;
    settings.max_depth = options.overrides.max_depth;
    settings.time = options.overrides.time;
    settings.folder = folder;
    return settings;
}
