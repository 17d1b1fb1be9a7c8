#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <limits>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/interrupts.h"
#include "cli/scene_session.h"
#include "record/avi_messages.h"
#include "record/video_formats.h"
#include "record/video_messages.h"

namespace {

void print_record_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark record SCENE [-o OUT] [--codec C] [--quality Q | --crf N] [-q]\n"
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
        "  --frames A-B          only frames A to B of the animation (from 0; A- to\n"
        "                        its end, A alone for one frame), the same pictures\n"
        "                        a whole run gives for them\n"
        "  -q, --quiet           no progress line\n"
        "\n"
        "The file grows beside OUT without a name (where the file system cannot do\n"
        "that, under a hidden temporary name) and takes its name when the recording\n"
        "is complete; an existing file is replaced only when it is a video file. Ctrl-C\n"
        "(or SIGTERM, SIGHUP) stops after the frame being\n"
        "traced and keeps the frames so far; a second one ends at once and saves\n"
        "nothing. Without OUTPUT_FILE and -o the scene is traced and nothing is\n"
        "recorded.\n"
        "\n"
        "Exit status: 0 done; 1 the scene has an error; 2 a wrong command line, or a\n"
        "file that could not be read or written; 130 interrupted.\n",
        out);
}

// "A-B", "A-" or "A", frames counted from 0.
bool parse_frame_range(const std::string& text, int& first, int& last) {
    const size_t dash = text.find('-');
    const std::string a = text.substr(0, dash);
    const std::string b = dash == std::string::npos ? a : text.substr(dash + 1);
    const int most = std::numeric_limits<int>::max();
    if (!parse_number(a, 0, most, first)) return false;
    if (b.empty() && dash != std::string::npos) {
        last = -1;
        return true;
    }
    return parse_number(b, first, most, last);
}

bool is_recorder_message(const std::string& caption) {
    return caption == avi_messages::kOpenFailedCaption ||
           caption == avi_messages::kStreamFailedCaption ||
           caption == avi_messages::kCompressorFailedCaption || caption == video_messages::kCaption;
}

}  // namespace

int run_record(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    const std::vector<OptionSpec> options = {
        {"output", 'o', true}, {"codec", 0, true},    {"quality", 0, true}, {"crf", 0, true},
        {"frames", 0, true},   {"quiet", 'q', false}, {"help", 'h', false}};
    int status = ExitOk;
    if (!open_command_line("record", "recorded", args, options, print_record_usage, parsed, status))
        return status;
    VideoChoice choice;
    if (parsed.has("codec")) {
        choice.codec = parsed.value("codec");
        const char* known[] = {"raw", "mjpeg", "h264", "mpeg4", "vp9", "gif"};
        if (std::find(std::begin(known), std::end(known), choice.codec) == std::end(known)) {
            report_usage_error("record", "--codec is raw, mjpeg, h264, mpeg4, vp9 or gif, not '" +
                                             choice.codec + "'");
            return ExitUsageOrFile;
        }
    }
    if (parsed.has("quality") && parsed.has("crf")) {
        report_usage_error("record", "--quality and --crf both set the quality; give one of them");
        return ExitUsageOrFile;
    }
    if (parsed.has("quality")) {
        if (!parse_number(parsed.value("quality"), 1, 100, choice.quality)) {
            report_usage_error("record", "--quality is a whole number from 1 to 100, not '" +
                                             parsed.value("quality") + "'");
            return ExitUsageOrFile;
        }
        if (choice.codec == "raw" || choice.codec == "gif")
            std::fprintf(stderr, "glimmark record: --quality has no effect on %s\n",
                         choice.codec == "raw" ? "raw frames" : "GIF");
    }
    if (parsed.has("crf") && !parse_number(parsed.value("crf"), 0, 63, choice.crf)) {
        report_usage_error(
            "record", "--crf is a whole number from 0 to 63, not '" + parsed.value("crf") + "'");
        return ExitUsageOrFile;
    }
    // The file named here is checked now; OUTPUT_FILE when the scene names
    // it, before its first frame is traced.
    if (parsed.has("output")) {
        const std::string refusal = refuse_video_choice(parsed.value("output"), choice);
        if (!refusal.empty()) {
            report_usage_error("record", refusal);
            return ExitUsageOrFile;
        }
    }

    int first_frame = 0, last_frame = -1;
    if (parsed.has("frames") &&
        !parse_frame_range(parsed.value("frames"), first_frame, last_frame)) {
        report_usage_error("record", "--frames is A-B, A- or A with 0 <= A <= B, not '" +
                                         parsed.value("frames") + "'");
        return ExitUsageOrFile;
    }

    SceneSource source;
    if (!load_scene_source(parsed.positional[0], source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }

    SceneSession session;
    TraceController& tc = session.controller();
    if (choice.codec == "raw" || choice.codec == "mjpeg")
        tc.recorder.avi.codec = choice.codec == "raw" ? AviCodec::Raw : AviCodec::Mjpeg;
    if (choice.quality > 0) tc.recorder.avi.quality = choice.quality;
    tc.recorder.choice = choice;
    tc.record_file = parsed.value("output");
    tc.first_frame = first_frame;
    tc.last_frame = last_frame;
    session.show_progress = !parsed.has("quiet") && isatty(STDERR_FILENO);

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
    bool trouble = false;
    for (const auto& m : session.host().messages)
        if (is_recorder_message(m.caption)) trouble = true;
    // A recording refused before its first frame ended the run.
    if (trouble && tc.recorder.refused()) return ExitUsageOrFile;
    if (session.frames_done.load() == 0) {
        std::fprintf(stderr,
                     "glimmark record: the animation has %d frame%s (0 to %d); --frames %s "
                     "names none of them\n",
                     std::max(1, tc.frames), tc.frames > 1 ? "s" : "", std::max(1, tc.frames) - 1,
                     parsed.value("frames").c_str());
        return ExitUsageOrFile;
    }

    const std::string named = tc.record_file.empty() ? tc.output_file : tc.record_file;
    if (named.empty()) {
        std::fprintf(stderr,
                     "glimmark record: the scene names no OUTPUT_FILE and no -o was given; "
                     "nothing was recorded\n");
        return ExitOk;
    }
    const int frames = tc.recorder.frame_count();
    if (frames > 0) {
        std::printf("%s\n", tc.recorder.file().c_str());
        std::fflush(stdout);
    }
    if (InterruptStopsRun::interrupted()) {
        std::fprintf(stderr, "glimmark record: interrupted after %d frame%s\n", frames,
                     frames == 1 ? "" : "s");
        return 128 + SIGINT;
    }
    return trouble ? ExitUsageOrFile : ExitOk;
}
