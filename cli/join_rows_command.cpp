#include <cstdint>
#include <cstdio>
#include <memory>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "record/image_file.h"
#include "cli/output_checks.h"

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
        "whole picture: every band is full size and black outside its rows, so each\n"
        "pixel of OUT is the one band that traced it (bands may overlap; rows no\n"
        "band traced stay black). BAND and OUT are PNG or PPM files.\n"
        "  -o, --output OUT  the joined picture (.png or .ppm); - writes it to\n"
        "                    standard output in the --format given (default png)\n"
        "  --format png|ppm  the format of -o -\n"
        "  -f, --force       replace OUT even when it is not a PNG or PPM picture\n"
        "\n"
        "Exit status: 0 done; 2 a wrong command line, or a file that could not be\n"
        "read or written, or bands of different sizes.\n",
        out);
}

struct StbFree {
    void operator()(unsigned char* p) const { stbi_image_free(p); }
};

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
    ImageFormat format = ImageFormat::Png;
    if (out == "-") {
        const std::string name = parsed.value("format");
        if (!name.empty() && name != "png" && name != "ppm") {
            report_usage_error("join-rows", "--format is png or ppm, not '" + name + "'");
            return ExitUsageOrFile;
        }
        if (name == "ppm") format = ImageFormat::Ppm;
    } else {
        if (parsed.has("format") || !image_format_for(out, format)) {
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

    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    for (const std::string& band : parsed.positional) {
        int w = 0, h = 0, channels = 0;
        const std::unique_ptr<unsigned char, StbFree> rgb(
            stbi_load(band.c_str(), &w, &h, &channels, 3));
        if (!rgb) {
            std::fprintf(stderr, "Glimmark Error: Could not read picture '%s': %s\n", band.c_str(),
                         stbi_failure_reason());
            return ExitUsageOrFile;
        }
        if (pixels.empty()) {
            width = w;
            height = h;
            pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0u);
        } else if (w != width || h != height) {
            std::fprintf(stderr,
                         "Glimmark Error: '%s' is %d x %d, the bands before it %d x %d; bands of "
                         "one picture have its size\n",
                         band.c_str(), w, h, width, height);
            return ExitUsageOrFile;
        }
        // Black outside a band's rows is zero: or-ing the bands leaves each
        // pixel the one band that traced it.
        for (size_t i = 0; i < pixels.size(); ++i) {
            const unsigned char* p = rgb.get() + 3 * i;
            pixels[i] |= uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
        }
    }
    if (!write_image(out, format, width, height, pixels, error)) {
        std::fprintf(stderr, "Glimmark Error: %s\n", error.c_str());
        return ExitUsageOrFile;
    }
    if (out != "-") std::printf("%s\n", out.c_str());
    return ExitOk;
}
