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
#include "glimmark/recording.h"

namespace {

void print_record_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark record SCENE [-o OUT] [--codec C] [--quality Q | --crf N]\n"
        "                      [--preset P] [options]\n"
        "\n"
        "Traces every frame of the scene's animation and writes them to a video file\n"
        "whose extension chooses its kind: .avi (raw or Motion-JPEG), .mp4 and .mkv\n"
        "(H.264), .webm (VP9) or .gif.\n"
        "  -o, --output OUT      the file to write; default: the scene's OUTPUT_FILE.\n"
        "                        A relative name is relative to the current folder.\n"
        "  --codec C             within the container: raw or mjpeg (default) in .avi,\n"
        "                        h264 (default) or mpeg4 in .mp4, and vp9 too in .mkv\n"
        "  --quality Q           from 1 to 100: JPEG quality (default 90), or the\n"
        "                        encoder's constant quality mapped onto its crf\n"
        "  --crf N               the encoder's own constant-quality scale instead:\n"
        "                        0 to 51 for h264 (default 16), 0 to 63 for vp9\n"
        "                        (default 12)\n"
        "  --preset P            the encoder's speed: for h264 ultrafast, superfast,\n"
        "                        veryfast, faster, fast (default), medium, slow,\n"
        "                        slower or veryslow; for vp9 realtime, fast, good\n"
        "                        (default) or best. Faster ones make larger files at\n"
        "                        the same quality (h264 superfast: 1.3 to 1.6 times\n"
        "                        fast; vp9 realtime: 1.25 to 2.2 times good)\n",
        out);
    std::fputs(TraceOptionsHelp, out);
    std::fputs(
        "\n"
        "The file's name, extension and folder are checked before anything is traced;\n"
        "without OUTPUT_FILE and -o nothing is traced. The file grows beside OUT\n"
        "without a name (where the file system cannot do that, under a hidden\n"
        "temporary name) and takes its name when the recording is complete; an\n"
        "existing file is replaced only when it is a video file, or with --force\n"
        "for .avi. Ctrl-C (or SIGTERM, SIGHUP) stops after the frame being traced and\n"
        "keeps the frames so far; a second one ends at once and saves nothing.\n"
        "\n"
        "Exit status: 0 done; 1 the scene has an error; 2 a wrong command line, or a\n"
        "file that could not be read or written; 130 interrupted.\n",
        out);
}

// The extensions this build records, for messages.
std::string recordable_list() {
    std::string list;
    for (const std::string& extension : glimmark::recordable_extensions())
        list += (list.empty() ? "" : ", ") + extension;
    return list;
}

// Why a recording with `choice` cannot go to `file` (empty when it can).
std::string record_target_problem(const std::string& file, const glimmark::VideoChoice& choice,
                                  bool force) {
    if (file == "-") return "a recording cannot go to standard output";
    const glimmark::VideoContainer container = glimmark::container_of(file);
    if (container == glimmark::VideoContainer::Unknown)
        return "record writes " + recordable_list() + " files; this name asks for another kind";
    std::string why = glimmark::refuse_video_choice(file, choice);
    if (why.empty()) why = output_path_problem(file);
    if (!why.empty() || glimmark::record_target(file) != glimmark::RecordTarget::NotAvi) return why;
    // The AVI writer replaces an AVI file, or anything with --force; the
    // other formats replace a video file of any of the kinds recorded here.
    if (container == glimmark::VideoContainer::Avi)
        return force ? std::string() : "it exists and is not an AVI file; --force replaces it";
    if (glimmark::is_video_file(file)) return std::string();
    return "it exists and is not a video file";
}

// Whether the run's recording went wrong (a warning is no trouble), and
// whether it was refused before anything was traced.
bool went_wrong(const std::vector<glimmark::RecordingMessage>& messages) {
    return std::any_of(messages.begin(), messages.end(), [](const glimmark::RecordingMessage& m) {
        return m.kind != glimmark::RecordingProblem::Warning;
    });
}

bool was_refused(const std::vector<glimmark::RecordingMessage>& messages) {
    return std::any_of(messages.begin(), messages.end(), [](const glimmark::RecordingMessage& m) {
        return m.kind == glimmark::RecordingProblem::Refused;
    });
}

// --codec, --preset, --quality and --crf into `choice`; false after saying
// what is wrong with them.
bool read_video_choice(const ParsedArguments& parsed, glimmark::VideoChoice& choice) {
    if (parsed.has("codec")) {
        choice.codec = parsed.value("codec");
        const char* known[] = {"raw", "mjpeg", "h264", "mpeg4", "vp9", "gif"};
        if (std::find(std::begin(known), std::end(known), choice.codec) == std::end(known)) {
            report_usage_error("record", "--codec is raw, mjpeg, h264, mpeg4, vp9 or gif, not '" +
                                             choice.codec + "'");
            return false;
        }
    }
    if (parsed.has("preset")) {
        // A name no codec knows is refused at once; one the codec of the
        // file does not know, with the file.
        choice.preset = parsed.value("preset");
        std::vector<std::string> known = glimmark::presets_of("h264");
        for (const std::string& p : glimmark::presets_of("vp9"))
            known.push_back(p);
        if (std::find(known.begin(), known.end(), choice.preset) == known.end()) {
            std::string list;
            for (const std::string& p : known)
                list += (list.empty() ? "" : ", ") + p;
            report_usage_error("record",
                               "--preset is one of " + list + ", not '" + choice.preset + "'");
            return false;
        }
    }
    if (parsed.has("quality") && parsed.has("crf")) {
        report_usage_error("record", "--quality and --crf both set the quality; give one of them");
        return false;
    }
    if (parsed.has("quality")) {
        if (!parse_number(parsed.value("quality"), 1, 100, choice.quality)) {
            report_usage_error("record", "--quality is a whole number from 1 to 100, not '" +
                                             parsed.value("quality") + "'");
            return false;
        }
        if (choice.codec == "raw" || choice.codec == "gif")
            std::fprintf(stderr, "glimmark record: --quality has no effect on %s\n",
                         choice.codec == "raw" ? "raw frames" : "GIF");
    }
    if (parsed.has("crf") && !parse_number(parsed.value("crf"), 0, 63, choice.crf)) {
        report_usage_error(
            "record", "--crf is a whole number from 0 to 63, not '" + parsed.value("crf") + "'");
        return false;
    }
    return true;
}

// Says why a recording cannot go to `file`; false when it can.
bool refuse_target(const std::string& file, const glimmark::VideoChoice& choice, bool force) {
    const std::string why = record_target_problem(file, choice, force);
    if (why.empty()) return false;
    std::fprintf(stderr, "Glimmark Error: Cannot record to '%s': %s\n", file.c_str(), why.c_str());
    return true;
}

// The file named with -o, checked before the scene is read; false after
// saying why nothing can be recorded to it. OUTPUT_FILE is checked when the
// scene names it, before its first frame is traced.
bool check_named_target(const ParsedArguments& parsed, const glimmark::VideoChoice& choice,
                        bool force) {
    if (parsed.has("output")) {
        const std::string refusal = glimmark::refuse_video_choice(parsed.value("output"), choice);
        if (!refusal.empty()) {
            report_usage_error("record", refusal);
            return false;
        }
    }
    const std::string named = parsed.value("output");
    return named.empty() || !refuse_target(named, choice, force);
}

// Sets the recorder up for `choice` and the file named with -o, and checks
// the file the run records to once the scene is parsed: a run that cannot
// record stops there with `refused` set to its exit status.
void prepare_recording(glimmark::Run& run, const glimmark::VideoChoice& choice,
                       const std::string& named, bool force, int& refused) {
    glimmark::RunOptions& o = run.options();
    o.video = choice;
    o.record_file = named;
    o.before_frame = [&refused, choice, force, checked = false](const glimmark::Run& c) mutable {
        if (checked) return glimmark::FrameChoice::Trace;
        checked = true;
        const std::string& given = c.options().record_file;
        const std::string file = given.empty() ? c.output_file() : given;
        if (file.empty()) {
            std::fprintf(stderr,
                         "glimmark record: the scene names no OUTPUT_FILE and no -o was given; "
                         "nothing is traced\n");
            refused = ExitUsageOrFile;
            return glimmark::FrameChoice::Stop;
        }
        if (!refuse_target(file, choice, force)) return glimmark::FrameChoice::Trace;
        refused = ExitUsageOrFile;
        return glimmark::FrameChoice::Stop;
    };
}

// Runs the scene; Ctrl-C stops after the frame being traced.
int run_recording(SceneSession& session, const SceneSource& source) {
    glimmark::Run& run = session.cycle();
    InterruptStopsRun interrupt(run.stop_flag());
    // A stop that came between frames is made again before the next frame
    // is begun (the render thread clears the flag when it starts).
    auto keep_stopped = [&run](int, int, const glimmark::Canvas&) {
        if (InterruptStopsRun::interrupted()) run.request_stop();
        return true;
    };
    return session.run(source, true, true, keep_stopped);
}

// What a finished run recorded: the file's name on standard output, and
// the exit status.
int report_recording(SceneSession& session, const std::string& frames_option) {
    const glimmark::Run& run = session.cycle();
    const bool trouble = went_wrong(run.recording_messages());
    // A recording refused before its first frame ended the run.
    if (was_refused(run.recording_messages())) return ExitUsageOrFile;
    if (session.frames_done.load() == 0) {
        std::fprintf(stderr,
                     "glimmark record: the animation has %d frame%s (0 to %d); --frames %s "
                     "names none of them\n",
                     std::max(1, run.frames()), run.frames() > 1 ? "s" : "",
                     std::max(1, run.frames()) - 1, frames_option.c_str());
        return ExitUsageOrFile;
    }
    const int frames = run.recorded_frames();
    if (frames > 0) {
        std::printf("%s\n", run.recorded_file().c_str());
        std::fflush(stdout);
    }
    if (InterruptStopsRun::interrupted()) {
        std::fprintf(stderr, "glimmark record: interrupted after %d frame%s\n", frames,
                     frames == 1 ? "" : "s");
        return 128 + SIGINT;
    }
    return trouble ? ExitUsageOrFile : ExitOk;
}

}  // namespace

int run_record(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::vector<OptionSpec> specs = trace_option_specs(false);
    specs.push_back({"codec", 0, true});
    specs.push_back({"quality", 0, true});
    specs.push_back({"crf", 0, true});
    specs.push_back({"preset", 0, true});
    int status = ExitOk;
    if (!open_command_line("record", "recorded", args, specs, print_record_usage, parsed, status))
        return status;
    TraceOptions options;
    if (!read_trace_options("record", parsed, options)) return ExitUsageOrFile;
    glimmark::VideoChoice choice;
    if (!read_video_choice(parsed, choice)) return ExitUsageOrFile;
    if (!check_named_target(parsed, choice, options.force)) return ExitUsageOrFile;

    SceneSource source;
    std::string error;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    SceneSession session;
    if (!apply_trace_options("record", options, session)) return ExitUsageOrFile;
    int refused = ExitOk;
    prepare_recording(session.cycle(), choice, parsed.value("output"), options.force, refused);
    status = run_recording(session, source);
    // Every way out from here ends the progress log with the exit status.
    if (status == ExitOk) status = refused;
    if (status == ExitOk) status = report_recording(session, parsed.value("frames"));
    session.end_progress(status);
    return status;
}
