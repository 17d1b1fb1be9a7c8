// When -n counts a frame's file as done: a whole PNG or PPM of the run's
// size, and never a file cut short, whatever else the bytes hold.

#include <gtest/gtest.h>

#include <random>

#include "cli/output_checks.h"
#include "cli_process_support.h"
#include "record/image_file.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The files the writer makes of a 7 x 5 picture.
Bytes written(ImageFormat format) {
    TempFolder dir("written");
    std::vector<uint32_t> pixels(35);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t(i * 0x030507u);
    const std::string path = dir.file(format == ImageFormat::Png ? "p.png" : "p.ppm");
    std::string error;
    EXPECT_TRUE(write_image(path, format, 7, 5, pixels, error)) << error;
    return bytes(slurp(path));
}

TEST(FrameDone, WholePicturesOfTheRunsSizeOnly) {
    const Bytes png = written(ImageFormat::Png), ppm = written(ImageFormat::Ppm);
    const std::string samples(ppm.end() - 105, ppm.end());
    const struct {
        const char* what;
        Bytes file;
        bool done;
    } cases[] = {
        {"png", png, true},
        {"ppm", ppm, true},
        {"ppm with comments", bytes("P6 #band 0-4\n7 5\n# of 5\n255\n" + samples), true},
        {"16-bit ppm", bytes("P6\n7 5\n65535\n" + samples + samples), true},
        {"16-bit ppm cut short", bytes("P6\n7 5\n65535\n" + samples), false},
        {"ppm of 5 x 7", bytes("P6\n5 7\n255\n" + samples), false},
        {"ppm without maxval", bytes("P6\n7 5\n" + samples), false},
        {"ppm of maxval 0", bytes("P6\n7 5\n0\n" + samples), false},
        {"plain ppm", bytes("P3\n7 5\n255\n" + samples), false},
        {"empty", {}, false},
        {"P6 alone", bytes("P6 "), false},
        {"text", bytes("my notes"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(picture_bytes_complete(c.file, 7, 5), c.done) << c.what;
    for (const Bytes& file : {png, ppm}) {
        EXPECT_FALSE(picture_bytes_complete(file, 7, 4));
        EXPECT_FALSE(picture_bytes_complete(file, 8, 5));
        EXPECT_FALSE(picture_bytes_complete(file, 0, 0));
        // However it is cut, a file cut short is not done.
        for (size_t n = 0; n < file.size(); ++n)
            EXPECT_FALSE(picture_bytes_complete(Bytes(file.begin(), file.begin() + long(n)), 7, 5))
                << n << " of " << file.size() << " bytes";
    }
}

// Random changes and cuts of both files: nothing reads past the bytes
// (the sanitizer builds watch), and a PPM counted as done holds every sample.
TEST(FrameDone, RandomlyDamagedFilesAreReadSafely) {
    std::mt19937 random(29);
    const Bytes originals[] = {written(ImageFormat::Png), written(ImageFormat::Ppm)};
    int done = 0;
    for (int round = 0; round < 4000; ++round) {
        const Bytes& original = originals[round % 2];
        Bytes file = original;
        const int changes = std::uniform_int_distribution<int>(0, 4)(random);
        for (int i = 0; i < changes; ++i) {
            const size_t at = std::uniform_int_distribution<size_t>(0, file.size() - 1)(random);
            // Digits and white space often, to reach the PPM header's paths.
            const char* some = "0123456789 \n#P6";
            file[at] = random() % 2 ? some[random() % 15] : (unsigned char)(random());
        }
        if (random() % 3 == 0)
            file.resize(std::uniform_int_distribution<size_t>(0, file.size() + 8)(random));
        const bool complete = picture_bytes_complete(file, 7, 5);
        done += complete ? 1 : 0;
        if (complete && file[0] == 'P') {
            EXPECT_GE(file.size(), 105u + 9u) << round;
        }
    }
    // Unchanged copies and harmless changes are among them.
    EXPECT_GT(done, 0);
}

}  // namespace
