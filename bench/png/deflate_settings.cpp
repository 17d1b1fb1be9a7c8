// What the PNG writer's deflate setting costs and saves, on pictures given as
// binary PPM files (glimmark render SCENE -W 2560 -H 1920 -o x.ppm): the
// image data of each through the writer's own band encoder on one thread,
// with zlib level 6's own match search, with the writer's setting, and with
// any setting named on the command line as LEVEL,GOOD,LAZY,NICE,CHAIN[,1]
// (1: noisy bands take a shorter search).
// Processor time of the encoder alone, fastest of three; bytes of the zlib
// stream.
//
//   glimmark_png_bench a.ppm b.ppm ... [-s 6,4,8,258,64 ...]

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "record/image_file.h"
#include "record/png_bands.h"

namespace {

double processor_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Picture {
    std::string name;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
};

bool read_ppm(const char* path, Picture& p) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    int depth = 0;
    const bool header = std::fscanf(f, "P6 %d %d %d", &p.width, &p.height, &depth) == 3 &&
                        depth == 255 && std::fgetc(f) != EOF && p.width > 0 && p.height > 0;
    if (header) p.rgb.resize(3 * static_cast<size_t>(p.width) * static_cast<size_t>(p.height));
    const bool ok = header && std::fread(p.rgb.data(), 1, p.rgb.size(), f) == p.rgb.size();
    std::fclose(f);
    p.name = path;
    return ok;
}

// Bytes and best processor time of the image data of `p` with `setting`.
std::pair<size_t, double> measure(const Picture& p, const PngDeflateSetting& setting) {
    const size_t row = 3 * static_cast<size_t>(p.width);
    PngRows rows{p.width, p.height, [&p, row](int y, unsigned char* out) {
                     std::memcpy(out, p.rgb.data() + row * static_cast<size_t>(y), row);
                 }};
    size_t bytes = 0;
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        bytes = 0;
        bool out_of_memory = false;
        const double start = processor_seconds();
        deflate_png_rows(
            rows, setting, 1,
            [&bytes](const unsigned char*, size_t n) {
                bytes += n;
                return true;
            },
            out_of_memory);
        best = std::min(best, processor_seconds() - start);
    }
    return {bytes, best};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Picture> pictures;
    std::vector<PngDeflateSetting> settings = {PngDeflateSetting{}, PngCompression};
    for (int i = 1; i < argc; ++i) {
        PngDeflateSetting s;
        if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc) {
            int by_noise = 0;
            const int n = std::sscanf(argv[++i], "%d,%d,%d,%d,%d,%d", &s.level, &s.good_length,
                                      &s.max_lazy, &s.nice_length, &s.max_chain, &by_noise);
            if (n != 5 && n != 6) {
                std::fprintf(stderr, "glimmark_png_bench: -s LEVEL,GOOD,LAZY,NICE,CHAIN[,NOISE]\n");
                return 2;
            }
            s.by_noise = by_noise != 0;
            settings.push_back(s);
            continue;
        }
        Picture p;
        if (!read_ppm(argv[i], p)) {
            std::fprintf(stderr, "glimmark_png_bench: '%s' is no binary PPM\n", argv[i]);
            return 2;
        }
        pictures.push_back(std::move(p));
    }
    std::printf("%-40s %-18s %10s %8s %8s %8s\n", "picture", "setting", "bytes", "size %", "cpu s",
                "cpu %");
    std::vector<double> total(settings.size(), 0.0);
    for (const Picture& p : pictures) {
        std::pair<size_t, double> first{};
        for (size_t k = 0; k < settings.size(); ++k) {
            const PngDeflateSetting& s = settings[k];
            const auto [bytes, seconds] = measure(p, s);
            if (k == 0) first = {bytes, seconds};
            total[k] += seconds;
            char name[64];
            std::snprintf(name, sizeof name, "%d,%d,%d,%d,%d%s", s.level, s.good_length, s.max_lazy,
                          s.nice_length, s.max_chain, s.by_noise ? ",1" : "");
            std::printf("%-40s %-18s %10zu %+7.1f%% %8.3f %7.0f%%\n", p.name.c_str(), name, bytes,
                        100.0 * (static_cast<double>(bytes) / static_cast<double>(first.first) - 1),
                        seconds, 100.0 * seconds / first.second);
        }
    }
    for (size_t k = 0; k < settings.size(); ++k)
        std::printf("all pictures, setting %zu: %.3f s (%.0f%%)\n", k, total[k],
                    100.0 * total[k] / total[0]);
    return 0;
}
