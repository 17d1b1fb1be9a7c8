#include <algorithm>
#include <csignal>
#include <cstdio>
#include <limits>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupts.h"
#include "cli/output_checks.h"
#include "cli/scene_session.h"
#include "cli/trace_options.h"
#include "record/avi_messages.h"
#include "record/target_file.h"

namespace {

void print_record_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark record SCENE [-o OUT.avi] [--codec raw|mjpeg] [--quality Q] [options]\n"
        "\n"
        "Traces every frame of the scene's animation and writes them to a video file.\n"
        "  -o, --output OUT.avi  the file to write; default: the scene's OUTPUT_FILE.\n"
        "                        A relative name is relative to the current folder.\n"
        "  --codec raw|mjpeg     uncompressed 24-bit frames, or Motion-JPEG (default)\n"
        "  --quality Q           JPEG quality from 1 to 100 (default 90)\n",
        out);
    std::fputs(TraceOptionsHelp, out);
    std::fputs(
        "\n"
        "The file's name, extension and folder are checked before anything is traced;\n"
        "without OUTPUT_FILE and -o nothing is traced. The file grows beside OUT\n"
        "without a name (where the file system cannot do that, under a hidden\n"
        "temporary name) and takes its name when the recording is complete; an\n"
        "existing file is replaced only when it is an AVI file, or with --force.\n"
        "Ctrl-C (or SIGTERM, SIGHUP) stops after the frame being traced and keeps the\n"
        "frames so far; a second one ends at once and saves nothing.\n"
        "\n"
        "Exit status: 0 done; 1 the scene has an error; 2 a wrong command line, or a\n"
        "file that could not be read or written; 130 interrupted.\n",
        out);
}

// The kinds of file record writes, by the extension of their name. A new
// video format is one more entry here and its writer.
const char* const RecordableExtensions[] = {".avi"};

bool record_can_write(const std::string& path) {
    for (const char* extension : RecordableExtensions)
        if (has_extension(path, extension)) return true;
    return false;
}

std::string recordable_list() {
    std::string list;
    for (const char* extension : RecordableExtensions)
        list += (list.empty() ? "" : ", ") + std::string(extension);
    return list;
}

// Why a recording cannot go to `file` (empty when it can).
std::string record_target_problem(const std::string& file, bool force) {
    if (file == "-") return "a recording cannot go to standard output";
    if (!record_can_write(file))
        return "record writes " + recordable_list() + " files; this name asks for another kind";
    std::string why = output_path_problem(file);
    if (why.empty() && !force && classify_target(file) == TargetKind::NotAvi)
        why = "it exists and is not an AVI file; --force replaces it";
    return why;
}

bool is_recorder_message(const std::string& caption) {
    return caption == avi_messages::kOpenFailedCaption ||
           caption == avi_messages::kStreamFailedCaption ||
           caption == avi_messages::kCompressorFailedCaption;
}

}  // namespace

int run_record(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    std::vector<OptionSpec> specs = trace_option_specs(false);
    specs.push_back({"codec", 0, true});
    specs.push_back({"quality", 0, true});
    int status = ExitOk;
    if (!open_command_line("record", "recorded", args, specs, print_record_usage, parsed, status))
        return status;
    TraceOptions options;
    if (!read_trace_options("record", parsed, options)) return ExitUsageOrFile;
    AviCodec codec = AviCodec::Mjpeg;
    if (parsed.has("codec")) {
        const std::string name = parsed.value("codec");
        if (name == "raw") {
            codec = AviCodec::Raw;
        } else if (name != "mjpeg") {
            report_usage_error("record", "--codec is raw or mjpeg, not '" + name + "'");
            return ExitUsageOrFile;
        }
    }
    int quality = 90;
    if (parsed.has("quality")) {
        if (!parse_number(parsed.value("quality"), 1, 100, quality)) {
            report_usage_error("record", "--quality is a whole number from 1 to 100, not '" +
                                             parsed.value("quality") + "'");
            return ExitUsageOrFile;
        }
        if (codec == AviCodec::Raw)
            std::fprintf(stderr, "glimmark record: --quality has no effect on raw frames\n");
    }
    // A name given here is checked before the scene is read.
    const std::string named = parsed.value("output");
    if (!named.empty()) {
        const std::string why = record_target_problem(named, options.force);
        if (!why.empty()) {
            std::fprintf(stderr, "Glimmark Error: Cannot record to '%s': %s\n", named.c_str(),
                         why.c_str());
            return ExitUsageOrFile;
        }
    }

    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }

    SceneSession session;
    if (!apply_trace_options("record", options, session)) return ExitUsageOrFile;
    TraceController& tc = session.controller();
    tc.avi.codec = codec;
    tc.avi.quality = quality;
    tc.record_file = named;
    // The document's OUTPUT_FILE is known once it is parsed: checked then,
    // before the first frame is traced.
    int refused = ExitOk;
    bool checked = false;
    tc.before_frame = [&](const TraceController& c) {
        if (checked) return FrameChoice::Trace;
        checked = true;
        const std::string file = c.record_file.empty() ? c.output_file : c.record_file;
        std::string why;
        if (file.empty()) {
            std::fprintf(stderr,
                         "glimmark record: the scene names no OUTPUT_FILE and no -o was given; "
                         "nothing is traced\n");
            refused = ExitUsageOrFile;
            return FrameChoice::Stop;
        }
        why = record_target_problem(file, options.force);
        if (why.empty()) return FrameChoice::Trace;
        std::fprintf(stderr, "Glimmark Error: Cannot record to '%s': %s\n", file.c_str(),
                     why.c_str());
        refused = ExitUsageOrFile;
        return FrameChoice::Stop;
    };

    {
        InterruptStopsRun interrupt(tc.job.stop_requested);
        // A stop that came between frames is made again before the next
        // frame is begun (the render thread clears the flag when it starts).
        auto keep_stopped = [&tc](int, int, const Surface&) {
            if (InterruptStopsRun::interrupted()) tc.request_stop();
            return true;
        };
        status = session.run(source, true, true, keep_stopped);
    }
    if (status != ExitOk) return status;
    if (refused != ExitOk) return refused;
    if (session.frames_done.load() == 0) {
        std::fprintf(stderr,
                     "glimmark record: the animation has %d frame%s (0 to %d); --frames %s "
                     "names none of them\n",
                     std::max(1, tc.frames), tc.frames > 1 ? "s" : "", std::max(1, tc.frames) - 1,
                     parsed.value("frames").c_str());
        return ExitUsageOrFile;
    }

    const std::string file = tc.record_file.empty() ? tc.output_file : tc.record_file;
    bool trouble = false;
    for (const auto& m : session.host().messages)
        if (is_recorder_message(m.caption)) trouble = true;
    if (tc.avi.frames_written > 0) {
        std::printf("%s\n", file.c_str());
        std::fflush(stdout);
    }
    if (InterruptStopsRun::interrupted()) {
        std::fprintf(stderr, "glimmark record: interrupted after %d frame%s\n",
                     tc.avi.frames_written, tc.avi.frames_written == 1 ? "" : "s");
        return 128 + SIGINT;
    }
    return trouble ? ExitUsageOrFile : ExitOk;
}
