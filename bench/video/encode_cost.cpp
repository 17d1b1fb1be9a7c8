// glimmark_video_bench: what the video writers cost, apart from tracing.
//
//   glimmark render SCENE -o - --format ppm > frames.ppm
//   glimmark_video_bench frames.ppm [RATE] [REPEAT]
//
// Reads the traced frames from a PPM stream and records them as MP4, WebM
// and GIF (and Motion-JPEG AVI for comparison) REPEAT times (default 5),
// printing the fastest run's wall-clock and processor milliseconds: for one
// frame (the fixed cost of opening the encoder) and for all of them, and
// the processor time of loading FFmpeg's libraries, paid once per process.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "record/avi_writer.h"
#include "record/ffmpeg_writer.h"
#include "record/video_module.h"
#include "scene/surface.h"

namespace {

double cpu_ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double wall_ms() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool read_ppm(std::istream& in, Surface& s) {
    std::string magic;
    int w = 0, h = 0, top = 0;
    if (!(in >> magic >> w >> h >> top) || magic != "P6" || w <= 0 || h <= 0) return false;
    in.get();
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    if (!in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size())))
        return false;
    s.resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            s.set_pixel(x, y, p[0] | (p[1] << 8) | (p[2] << 16));
        }
    return true;
}

struct Cost {
    double wall = 1e30, cpu = 1e30;
};

template <class Writer>
Cost record(Writer& writer, const std::string& file, const std::vector<Surface>& frames,
            size_t count, int rate) {
    const double w0 = wall_ms(), c0 = cpu_ms();
    if (!writer.open(file, frames[0].width(), frames[0].height(), rate)) {
        std::fprintf(stderr, "could not open %s\n", file.c_str());
        for (const RecordingError& e : writer.take_errors())
            std::fprintf(stderr, "%s: %s\n", e.caption.c_str(), e.text.c_str());
        std::exit(1);
    }
    for (size_t i = 0; i < count; ++i)
        writer.write_frame(frames[i]);
    writer.close();
    return {wall_ms() - w0, cpu_ms() - c0};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FRAMES.ppm [RATE] [REPEAT]\n", argv[0]);
        return 2;
    }
    const int rate = argc > 2 ? std::atoi(argv[2]) : 8;
    const int repeat = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<Surface> frames;
    for (Surface s; read_ppm(in, s);)
        frames.push_back(std::move(s));
    if (frames.empty()) {
        std::fprintf(stderr, "no frames in %s\n", argv[1]);
        return 2;
    }
    const std::string folder =
        (std::filesystem::temp_directory_path() / "glimmark_video_bench").string();
    std::filesystem::create_directories(folder);

    const double c0 = cpu_ms(), w0 = wall_ms();
    if (video_encoder_api() == nullptr) {
        std::fprintf(stderr, "FFmpeg's libraries could not be loaded\n");
        return 1;
    }
    std::printf("%zu frames of %dx%d; loading FFmpeg's libraries: %.1f ms wall, %.1f ms cpu\n",
                frames.size(), frames[0].width(), frames[0].height(), wall_ms() - w0,
                cpu_ms() - c0);
    std::printf("%-5s %10s %10s %10s %10s %12s\n", "file", "1 wall", "1 cpu", "all wall", "all cpu",
                "cpu/frame");
    for (const char* ext : {"avi", "mp4", "webm", "gif"}) {
        const std::string file = folder + "/bench." + ext;
        Cost one, all;
        for (int r = 0; r < repeat; ++r) {
            for (size_t count : {size_t{1}, frames.size()}) {
                Cost c;
                if (std::string(ext) == "avi") {
                    AviWriter w;
                    c = record(w, file, frames, count, rate);
                } else {
                    FfmpegWriter w;
                    c = record(w, file, frames, count, rate);
                }
                Cost& best = count == 1 ? one : all;
                best.wall = std::min(best.wall, c.wall);
                best.cpu = std::min(best.cpu, c.cpu);
            }
        }
        const double per_frame =
            frames.size() > 1 ? (all.cpu - one.cpu) / static_cast<double>(frames.size() - 1) : 0;
        std::printf("%-5s %10.1f %10.1f %10.1f %10.1f %12.2f\n", ext, one.wall, one.cpu, all.wall,
                    all.cpu, per_frame);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
