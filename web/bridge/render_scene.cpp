// Renders a scene through the page's bridge, row by row as the web worker
// does, and writes each frame as a binary PPM named as the command line names
// them (OUT, or OUT with _0000, _0001, ... before the extension for an
// animation). Built for node in the WebAssembly build, so that its pictures
// can be compared with the command line's; --compare does that.
//
//   gmk_bridge_render SCENE OUT.ppm [-W N] [-H N] [--bands N] [--chunks N]
// --bands N: each frame traced as N bands of rows, one after another, each
// by a playground of its own as the page's workers trace them, and joined.
// --chunks N: each frame traced in chunks of N rows, as the page hands them
// to a worker, from the bottom chunk up (any order makes the same picture).
//   gmk_bridge_render --compare A.ppm B.ppm

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "web/bridge/playground.h"

namespace {

bool read_file(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string frame_name(const std::string& out, int index, int count) {
    if (count <= 1) return out;
    const std::filesystem::path path(out);
    char number[16];
    std::snprintf(number, sizeof(number), "_%04d", index);
    return (path.parent_path() / (path.stem().string() + number + path.extension().string()))
        .string();
}

bool write_ppm(const std::string& path, const glimmark::Canvas& picture) {
    std::string bytes = "P6\n" + std::to_string(picture.width()) + " " +
                        std::to_string(picture.height()) + "\n255\n";
    bytes.reserve(bytes.size() + static_cast<size_t>(picture.width()) * picture.height() * 3);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const uint32_t p = picture.pixel(x, y);
            bytes += static_cast<char>(p & 0xFF);
            bytes += static_cast<char>((p >> 8) & 0xFF);
            bytes += static_cast<char>((p >> 16) & 0xFF);
        }
    }
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

class DriverEvents : public PlaygroundEvents {
  public:
    Playground* playground = nullptr;
    std::string out;
    // The frames' bands joined; written when the last band's frame is done.
    glimmark::Canvas joined;
    bool last_band = true;
    int count = 1;
    bool delay_due = false;
    bool failed = false;
    bool write_failed = false;
    double seconds = 0.0;

    void message(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void parse_error(const std::string& caption, const std::string& text, const std::string&,
                     const EditorPlace&) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void parsed(const std::string&, const std::string&) override {}
    void frame(int, int, int, int frames, int) override { count = frames; }
    // Rows [y0, y1) of the playground's picture into the joined one.
    void keep(int y0, int y1) {
        const glimmark::Canvas& picture = playground->picture();
        if (joined.width() != picture.width() || joined.height() != picture.height())
            joined.resize(picture.width(), picture.height());
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < picture.width(); ++x)
                joined.set_pixel(x, y, picture.pixel(x, y));
    }
    void frame_done(int index, int) override {
        // A chunk's rows are kept as it ends.
        if (!playground->chunked()) keep(playground->band_begin(), playground->band_end());
        if (last_band && !write_ppm(frame_name(out, index, count), joined)) write_failed = true;
    }
    void delay(int) override { delay_due = true; }
    void run_over(bool, bool run_failed, double run_seconds, const std::string&) override {
        failed = run_failed;
        seconds = run_seconds;
    }
    void status(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// The pixels of a binary PPM with maxval 255, as written above.
bool read_ppm(const std::string& path, int& width, int& height, std::string& pixels) {
    std::string bytes;
    if (!read_file(path, bytes)) return false;
    std::istringstream header(bytes);
    std::string magic;
    int maxval = 0;
    header >> magic >> width >> height >> maxval;
    if (!header || magic != "P6" || maxval != 255) return false;
    const auto start = static_cast<size_t>(header.tellg()) + 1;
    pixels = bytes.substr(std::min(start, bytes.size()));
    return pixels.size() == static_cast<size_t>(width) * height * 3;
}

int compare(const std::string& a, const std::string& b) {
    int wa = 0, ha = 0, wb = 0, hb = 0;
    std::string pa, pb;
    if (!read_ppm(a, wa, ha, pa) || !read_ppm(b, wb, hb, pb)) {
        std::fprintf(stderr, "cannot read %s or %s as a binary PPM\n", a.c_str(), b.c_str());
        return 2;
    }
    if (wa != wb || ha != hb) {
        std::printf("%s: %dx%d, but %dx%d\n", b.c_str(), wb, hb, wa, ha);
        return 1;
    }
    long long pixels = 0;
    int max_level = 0;
    for (size_t i = 0; i < pa.size(); i += 3) {
        int worst = 0;
        for (size_t c = i; c < i + 3; ++c)
            worst = std::max(worst, std::abs(static_cast<unsigned char>(pa[c]) -
                                             static_cast<unsigned char>(pb[c])));
        if (worst > 0) ++pixels;
        max_level = std::max(max_level, worst);
    }
    std::printf("%s: %lld of %d pixels differ, by at most %d level%s\n", b.c_str(), pixels, wa * ha,
                max_level, max_level == 1 ? "" : "s");
    return pixels == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--compare") return compare(argv[2], argv[3]);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s SCENE OUT.ppm [-W N] [-H N] [--bands N] [--chunks N]\n"
                     "       %s --compare A.ppm B.ppm\n",
                     argv[0], argv[0]);
        return 2;
    }
    const std::string scene = argv[1];
    std::string text;
    if (!read_file(scene, text)) {
        std::fprintf(stderr, "cannot read %s\n", scene.c_str());
        return 2;
    }
    DriverEvents events;
    events.out = argv[2];
    int width = 0;
    int height = 0;
    int bands = 1;
    int chunk_rows = 0;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "-W") width = value;
        if (option == "-H") height = value;
        if (option == "--bands") bands = std::max(1, value);
        if (option == "--chunks") chunk_rows = std::max(1, value);
    }
    // An animation's bands run one after another: every frame of band 0,
    // then of band 1, ...; the frames are written by the last.
    for (int band = 0; band < bands; ++band) {
        Playground playground(events);
        events.playground = &playground;
        events.last_band = band == bands - 1;
        playground.set_folder(std::filesystem::path(scene).parent_path().string());
        if (width > 0) playground.overrides().width = width;
        if (height > 0) playground.overrides().height = height;
        playground.set_band(band, bands);
        playground.set_chunked(chunk_rows > 0);
        playground.play(text);
        // One row per call, as the worker traces between its messages.
        while (playground.running()) {
            if (playground.frame_pending() && chunk_rows > 0) {
                const int height = playground.band_end();
                for (int y1 = height; y1 > 0; y1 -= chunk_rows) {
                    const int y0 = std::max(0, y1 - chunk_rows);
                    playground.trace_chunk(y0, y1);
                    while (playground.chunk_pending())
                        playground.trace_rows(1);
                    events.keep(y0, y1);
                }
                playground.end_frame();
            } else if (playground.frame_pending()) {
                playground.trace_rows(1);
            } else if (events.delay_due) {
                events.delay_due = false;
                playground.next_frame_due();
            } else {
                break;
            }
        }
        events.playground = nullptr;
    }
    std::fprintf(stderr, "%s: %.3f s\n", scene.c_str(), events.seconds);
    if (events.write_failed) {
        std::fprintf(stderr, "cannot write %s\n", events.out.c_str());
        return 2;
    }
    return events.failed ? 1 : 0;
}
