#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/frame_names.h"
#include "cli/image_while_tracing.h"
#include "cli/interrupts.h"
#include "cli/output_checks.h"
#include "cli/pass_render.h"
#include "cli/scene_session.h"
#include "cli/trace_options.h"
#include "glimmark/output_files.h"
#include "glimmark/picture_file.h"

namespace {

void print_render_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark render SCENE [-o OUT] [options]\n"
        "\n"
        "Traces every frame of the scene (or those asked for) and writes the pictures.\n"
        "  -o, --output OUT      the picture: OUT ending in .png writes PNG, .ppm\n"
        "                        binary PPM. Default: the scene's name with .png,\n"
        "                        beside it (required for standard input). An\n"
        "                        animation writes OUT_0000.png, OUT_0001.png, ...\n"
        "                        (the whole run's frame numbers, also with\n"
        "                        --frames); an OUT holding %d or %04d names each\n"
        "                        frame through it (%% for a percent sign).\n"
        "                        - writes the pictures to standard output, one\n"
        "                        after the other, in the --format given.\n"
        "  --format png|ppm      the format of -o - (default png; ppm makes the\n"
        "                        stream ffmpeg -f image2pipe reads)\n"
        "  --time T              one moment of the animation: the scene at TIME T,\n"
        "                        one picture\n"
        "  --rows A-B            trace only rows A to B (from 0, the top; A- to the\n"
        "                        bottom); the other rows stay black. The rows traced\n"
        "                        are exactly those of the whole picture, so bands\n"
        "                        traced apart join into it (glimmark join-rows).\n"
        "  -n, --no-overwrite    skip the frames whose file is a whole picture of\n"
        "                        the run's size (a restarted job); an empty, cut\n"
        "                        short or other-sized one is traced again\n"
        "  --pass LIST           with -o OUT.exr: one OpenEXR file per picture with\n"
        "                        the passes named (depth,normal,object,linear):\n"
        "                        R G B (the colour before it becomes bytes), Z,\n"
        "                        N.X N.Y N.Z and the ID channel object (the\n"
        "                        shape's block, from 1; 0 for none)\n",
        out);
    std::fputs(TraceOptionsHelp, out);
    std::fputs(
        "\n"
        "Every file name is checked before anything is traced; a file that is not a\n"
        "PNG or PPM picture is not replaced without --force. Ctrl-C (SIGTERM, SIGHUP)\n"
        "ends at once and leaves the picture being traced as it was.\n"
        "\n"
        "Exit status: 0 done; 1 the scene has an error; 2 a wrong command line, or a\n"
        "file that could not be read or written; 130 interrupted.\n",
        out);
}

// Which picture a frame is: the scene's text, the frame and the settings
// that change its pixels (not the threads, nor the band of rows traced).
uint64_t picture_fingerprint(const std::string& text, const glimmark::Run& c) {
    const glimmark::Run::PictureValues v = c.picture_values();
    char settings[200];
    std::snprintf(settings, sizeof settings,
                  "\n%dx%d antialiasing %d depth %d frame %d time %a off %d%d%d%d%d", c.width(),
                  c.height(), v.antialiasing, v.max_depth, c.frame_index(),
                  static_cast<double>(v.time), v.no_diffuse, v.no_highlights, v.no_shadow,
                  v.no_reflection, v.no_refraction);
    return glimmark::fingerprint(settings, glimmark::fingerprint(text));
}

// Where the pictures go, as the command line names them.
struct RenderOutput {
    std::string name;  // -o's name, or the scene's own with .png
    bool to_stdout = false;
    glimmark::PictureFormat format = glimmark::PictureFormat::Png;
    FramePattern pattern;  // of the files' names; not for standard output
};

// Reads -o and --format and checks, before the scene is read, that the
// first picture can be written and would not replace the scene. False after
// the reason has been reported.
bool read_render_output(const ParsedArguments& parsed, const TraceOptions& options,
                        const std::string& scene, RenderOutput& output) {
    std::string error;
    std::string& out = output.name;
    out = parsed.value("output");
    if (out.empty()) {
        if (scene == "-") {
            report_usage_error("render", "a scene from standard input needs -o OUT");
            return false;
        }
        out = default_picture_name(scene);
    }
    output.to_stdout = out == "-";
    if (parsed.has("format")) {
        const std::string name = parsed.value("format");
        if (!output.to_stdout) {
            report_usage_error("render",
                               "--format is for -o -; a file's name ends in .png or "
                               ".ppm");
            return false;
        }
        if (name != "png" && name != "ppm") {
            report_usage_error("render", "--format is png or ppm, not '" + name + "'");
            return false;
        }
        output.format = name == "ppm" ? glimmark::PictureFormat::Ppm : glimmark::PictureFormat::Png;
    }
    if (!output.to_stdout) {
        if (!parse_frame_pattern(out, output.pattern, error)) {
            report_usage_error("render", error);
            return false;
        }
        if (!glimmark::picture_format_for(out, output.format)) {
            report_usage_error("render", "'" + out + "' should end in .png or .ppm");
            return false;
        }
        // The folder is known before the scene is read: a run that could not
        // save its first picture does not begin.
        const std::string first = frame_file_name(output.pattern, options.first_frame, 1);
        const std::string why = output_path_problem(first);
        if (!why.empty()) {
            std::fprintf(stderr, "Glimmark Error: Cannot write '%s': %s\n", first.c_str(),
                         why.c_str());
            return false;
        }
    } else if (options.no_overwrite) {
        report_usage_error("render", "--no-overwrite needs files; -o - writes no file");
        return false;
    }

    // "render scene.png" would write its picture over the scene it reads.
    std::error_code same_ec;
    if (scene != "-" && !output.to_stdout && std::filesystem::equivalent(scene, out, same_ec)) {
        std::fprintf(stderr,
                     "Glimmark Error: The picture '%s' would replace the scene file; name it with "
                     "-o\n",
                     out.c_str());
        return false;
    }
    return true;
}

// Checks every name of the run's frames from `c`'s first before it is
// traced, and removes what a killed run of these frames left behind. False
// after the reason has been reported.
bool check_frame_names(const glimmark::Run& c, const TraceOptions& options,
                       const std::function<std::string(int)>& name_of) {
    const int last_frame = c.options().last_frame;
    const int last = c.options().time || c.frames() <= 1 ? c.frame_index()
                     : last_frame < 0                    ? c.frames() - 1
                                                         : std::min(last_frame, c.frames() - 1);
    std::vector<std::string> names;
    for (int i = c.frame_index(); i <= last; ++i) {
        const std::string name = name_of(i);
        std::string why = output_path_problem(name);
        // With -n a foreign file is no finished frame, and -n
        // replaces nothing but pictures.
        if (why.empty() && !options.force && existing_picture(name) == ExistingPicture::Other)
            why = options.no_overwrite
                      ? "it exists and is not a PNG or PPM picture; move it away"
                      : "it exists and is not a PNG or PPM picture; --force replaces it";
        if (!why.empty()) {
            std::fprintf(stderr, "Glimmark Error: Cannot write '%s': %s\n", name.c_str(),
                         why.c_str());
            return false;
        }
        names.push_back(name);
    }
    // What a run of these frames that was killed before its last
    // rename left behind.
    glimmark::remove_stale_temporaries(names);
    return true;
}

// Writes a traced frame to its file, or to standard output, with what was
// begun while it was traced; names the file on standard output. False after
// the reason has been reported.
bool save_picture(const RenderOutput& output, const std::string& name,
                  const glimmark::Canvas& picture, ImageWhileTracing& ahead,
                  const glimmark::PictureBand* band) {
    std::string why;
    glimmark::PictureAhead* begun = ahead.finish();
    const bool written =
        output.to_stdout ? glimmark::write_picture_to(stdout, "standard output", output.format,
                                                      picture, why, begun, band)
                         : glimmark::write_picture(name, output.format, picture, why, begun, band);
    ahead.stop();
    if (!written) {
        std::fprintf(stderr, "Glimmark Error: %s\n", why.c_str());
        return false;
    }
    // Standard output carries the pictures themselves with -o -.
    if (!output.to_stdout) {
        std::printf("%s\n", name.c_str());
        std::fflush(stdout);
    }
    return true;
}

// The run's exit status: a frame refused, or --frames naming no frame of the
// scene, turns a finished run into a usage error.
int render_status(int status, int refused, const ParsedArguments& parsed,
                  const SceneSession& session) {
    if (status == ExitOk && refused != ExitOk) return refused;
    const glimmark::Run& run = session.cycle();
    if (status == ExitOk && parsed.has("frames") && session.frames_done.load() == 0 &&
        session.frames_skipped.load() == 0) {
        std::fprintf(stderr,
                     "glimmark render: the scene has %d frame%s (0 to %d); --frames %s names "
                     "none of them\n",
                     std::max(1, run.frames()), run.frames() > 1 ? "s" : "",
                     std::max(1, run.frames()) - 1, parsed.value("frames").c_str());
        return ExitUsageOrFile;
    }
    return status;
}

}  // namespace

int run_render(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    int status = ExitOk;
    if (!open_command_line("render", "rendered", args, trace_option_specs(true), print_render_usage,
                           parsed, status))
        return status;
    TraceOptions options;
    if (!read_trace_options("render", parsed, options)) return ExitUsageOrFile;
    const std::string scene = parsed.positional[0];
    if (wants_exr_render(parsed)) return run_exr_render(parsed, options, scene);
    RenderOutput output;
    if (!read_render_output(parsed, options, scene, output)) return ExitUsageOrFile;
    const bool to_stdout = output.to_stdout;
    const glimmark::PictureFormat format = output.format;

    SceneSource source;
    if (!load_scene_source(scene, source, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }

    SceneSession session;
    if (!apply_trace_options("render", options, session)) return ExitUsageOrFile;
    glimmark::Run& run = session.cycle();
    // The picture of a whole frame is begun while the frame is traced (a band
    // of rows counts its rows from the band's first): a PNG is deflated, a
    // PPM file written, which standard output cannot take out of order.
    const bool while_tracing =
        !options.has_rows && (format == glimmark::PictureFormat::Png || !to_stdout);
    ImageWhileTracing ahead;
    // A still, or one moment of an animation, is named as a single picture.
    auto named_frames = [&run]() { return run.options().time ? 1 : run.frames(); };
    auto name_of = [&](int index) {
        return frame_file_name(output.pattern, index, named_frames());
    };
    // A band of rows says which rows of which picture it holds, so that
    // join-rows joins only the bands of one picture. A band of every row is
    // the whole picture, written as a whole picture always was.
    glimmark::PictureBand band;
    auto band_record = [&]() -> const glimmark::PictureBand* {
        const bool whole = band.first_row == 0 && band.last_row == band.height - 1;
        return options.has_rows && !whole ? &band : nullptr;
    };
    auto begin_picture = [&](const glimmark::Run& c) {
        band.width = c.width();
        band.height = c.height();
        band.first_row = options.first_row;
        band.last_row =
            options.last_row < 0 ? c.height() - 1 : std::min(options.last_row, c.height() - 1);
        band.scene = picture_fingerprint(source.text, c);
        if (while_tracing)
            ahead.start(session.canvas(), format,
                        to_stdout ? std::string("-") : name_of(c.frame_index()),
                        c.rows_done_count(), band_record());
    };

    int refused = ExitOk;
    bool names_checked = false;
    run.options().before_frame = [&](const glimmark::Run& c) {
        if (options.has_rows && options.first_row >= c.height()) {
            std::fprintf(stderr, "glimmark render: --rows %s: the picture has %d rows (0 to %d)\n",
                         parsed.value("rows").c_str(), c.height(), c.height() - 1);
            refused = ExitUsageOrFile;
            return glimmark::FrameChoice::Stop;
        }
        if (to_stdout) {
            begin_picture(c);
            return glimmark::FrameChoice::Trace;
        }
        // Every name of the run is checked before its first frame is traced.
        if (!names_checked) {
            names_checked = true;
            if (!check_frame_names(c, options, name_of)) {
                refused = ExitUsageOrFile;
                return glimmark::FrameChoice::Stop;
            }
        }
        if (options.no_overwrite &&
            picture_is_complete(name_of(c.frame_index()), c.width(), c.height()))
            return glimmark::FrameChoice::Skip;
        begin_picture(c);
        return glimmark::FrameChoice::Trace;
    };

    auto write_frame = [&](int index, int, const glimmark::Canvas& picture) {
        return save_picture(output, to_stdout ? std::string("-") : name_of(index), picture, ahead,
                            band_record());
    };
    // A picture cut short is not a picture: an interrupt ends the program
    // without saving the frame it was tracing or writing.
    InterruptEndsProgram interrupt;
    status = session.run(source, true, false, write_frame);
    status = render_status(status, refused, parsed, session);
    session.end_progress(status);
    return status;
}
