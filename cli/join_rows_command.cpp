#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/arguments.h"
#include "cli/band_joins.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/output_checks.h"
#include "glimmark/picture_file.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_PNM
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#if __has_include(<stb_image.h>)
#include <stb_image.h>
#else
#include <stb/stb_image.h>
#endif
#pragma GCC diagnostic pop

namespace {

void print_join_usage(std::FILE* out) {
    std::fputs(
        "Usage: glimmark join-rows -o OUT BAND...\n"
        "\n"
        "Joins the bands of one picture, each rendered with render --rows, into the\n"
        "whole picture, byte for byte the one a whole render writes. Each band says\n"
        "which rows of which picture it holds (a PNG text chunk, a PPM comment);\n"
        "every row must be in exactly one band, and every band of the same size and\n"
        "picture: the same scene, frame and settings. A picture that does not say\n"
        "(a whole picture, or one written by another program or an older Glimmark)\n"
        "is refused. BAND and OUT\n"
        "are PNG or PPM files.\n"
        "  -o, --output OUT  the joined picture (.png or .ppm); - writes it to\n"
        "                    standard output in the --format given (default png)\n"
        "  --format png|ppm  the format of -o -\n"
        "  -f, --force       replace OUT even when it is not a PNG or PPM picture\n"
        "\n"
        "Exit status: 0 done; 2 a wrong command line, a file that could not be read\n"
        "or written, or bands that are not one picture (another size or picture,\n"
        "rows missing or in two bands); nothing is written then.\n",
        out);
}

struct StbFree {
    void operator()(unsigned char* p) const { stbi_image_free(p); }
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a band, or says why it cannot.
File open_band(const std::string& name) {
    errno = 0;
    File f(std::fopen(name.c_str(), "rb"));
    if (!f)
        std::fprintf(stderr, "Glimmark Error: Could not read picture '%s': %s\n", name.c_str(),
                     errno != 0 ? std::strerror(errno) : "it cannot be opened");
    return f;
}

// Reads what the band says of its rows; false after saying why not.
bool read_record(NamedBand& band) {
    const File f = open_band(band.name);
    if (!f) return false;
    // The record stands before the image data, within the first bytes.
    std::vector<unsigned char> head(1 << 16);
    errno = 0;
    head.resize(std::fread(head.data(), 1, head.size(), f.get()));
    const char* why = nullptr;
    if (std::ferror(f.get())) {
        std::fprintf(stderr, "Glimmark Error: Could not read picture '%s': %s\n", band.name.c_str(),
                     errno != 0 ? std::strerror(errno) : "read failed");
        return false;
    }
    switch (glimmark::find_picture_band(head.data(), head.size(), band.record)) {
        case glimmark::BandFound::Found:
            return true;
        case glimmark::BandFound::Missing:
            why =
                "it is not a band of rows (a whole picture, or one written by another "
                "program or an older Glimmark); trace its rows again with glimmark render "
                "--rows";
            break;
        case glimmark::BandFound::Damaged:
            why = "its record of the rows it holds is damaged";
            break;
        case glimmark::BandFound::NotPicture:
            why = "it is not a PNG or PPM picture";
            break;
    }
    std::fprintf(stderr, "Glimmark Error: Cannot join '%s': %s\n", band.name.c_str(), why);
    return false;
}

// Decodes the band and copies its rows into the picture; false after saying
// why not.
bool copy_rows(const NamedBand& band, std::vector<uint32_t>& pixels) {
    const File f = open_band(band.name);
    if (!f) return false;
    const glimmark::PictureBand& r = band.record;
    int w = 0, h = 0, channels = 0;
    const std::unique_ptr<unsigned char, StbFree> rgb(
        stbi_load_from_file(f.get(), &w, &h, &channels, 3));
    if (!rgb) {
        std::fprintf(stderr, "Glimmark Error: Could not read picture '%s': %s\n", band.name.c_str(),
                     stbi_failure_reason());
        return false;
    }
    if (w != r.width || h != r.height) {
        std::fprintf(stderr,
                     "Glimmark Error: Cannot join '%s': it is %d x %d, not the %d x %d its "
                     "record says\n",
                     band.name.c_str(), w, h, r.width, r.height);
        return false;
    }
    const size_t from = static_cast<size_t>(r.first_row) * static_cast<size_t>(w);
    const size_t to = (static_cast<size_t>(r.last_row) + 1) * static_cast<size_t>(w);
    for (size_t i = from; i < to; ++i) {
        const unsigned char* p = rgb.get() + 3 * i;
        pixels[i] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
    }
    return true;
}

}  // namespace

int run_join_rows(const std::vector<std::string>& args) {
    ParsedArguments parsed;
    std::string error;
    const std::vector<OptionSpec> specs = {
        {"output", 'o', true}, {"format", 0, true}, {"force", 'f', false}, {"help", 'h', false}};
    if (!parse_arguments(args, specs, parsed, error)) {
        report_usage_error("join-rows", error);
        return ExitUsageOrFile;
    }
    if (parsed.has("help")) {
        print_join_usage(stdout);
        return ExitOk;
    }
    const std::string out = parsed.value("output");
    if (out.empty() || parsed.positional.empty()) {
        report_usage_error("join-rows", out.empty() ? "no -o OUT given" : "no BAND given");
        return ExitUsageOrFile;
    }
    glimmark::PictureFormat format = glimmark::PictureFormat::Png;
    if (out == "-") {
        const std::string name = parsed.value("format");
        if (!name.empty() && name != "png" && name != "ppm") {
            report_usage_error("join-rows", "--format is png or ppm, not '" + name + "'");
            return ExitUsageOrFile;
        }
        if (name == "ppm") format = glimmark::PictureFormat::Ppm;
    } else {
        if (parsed.has("format") || !glimmark::picture_format_for(out, format)) {
            report_usage_error("join-rows", parsed.has("format")
                                                ? "--format is for -o -"
                                                : "'" + out + "' should end in .png or .ppm");
            return ExitUsageOrFile;
        }
        std::string why = output_path_problem(out);
        if (why.empty() && !parsed.has("force") && existing_picture(out) == ExistingPicture::Other)
            why = "it exists and is not a PNG or PPM picture; --force replaces it";
        if (!why.empty()) {
            std::fprintf(stderr, "Glimmark Error: Cannot write '%s': %s\n", out.c_str(),
                         why.c_str());
            return ExitUsageOrFile;
        }
    }

    // Every band's record is read and the bands checked against each other
    // before any picture is decoded: a refusal writes nothing.
    std::vector<NamedBand> bands;
    for (const std::string& name : parsed.positional) {
        bands.push_back({name, {}});
        if (!read_record(bands.back())) return ExitUsageOrFile;
    }
    const std::string problem = bands_problem(bands);
    if (!problem.empty()) {
        std::fprintf(stderr, "Glimmark Error: %s\n", problem.c_str());
        return ExitUsageOrFile;
    }

    const glimmark::PictureBand whole = whole_picture(bands.front().record);
    std::vector<uint32_t> pixels(static_cast<size_t>(whole.width) *
                                 static_cast<size_t>(whole.height));
    for (const NamedBand& band : bands)
        if (!copy_rows(band, pixels)) return ExitUsageOrFile;
    const bool written =
        out == "-" ? glimmark::write_picture_to(stdout, "standard output", format, whole.width,
                                                whole.height, pixels, error)
                   : glimmark::write_picture(out, format, whole.width, whole.height, pixels, error);
    if (!written) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    if (out != "-") std::printf("%s\n", out.c_str());
    return ExitOk;
}
