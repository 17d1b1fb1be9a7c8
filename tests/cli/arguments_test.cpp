#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "cli/arguments.h"
#include "cli/image_while_tracing.h"
#include "record/image_file.h"
#include "record/ppm_ahead.h"
#include "scene/surface.h"
#include "scene/texture_decoders.h"
#include "tests/support/temp_folder.h"

namespace {

const std::vector<OptionSpec> kSpecs = {
    {"output", 'o', true}, {"quiet", 'q', false}, {"codec", 0, true}};

TEST(Arguments, ValuesFlagsAndPositionals) {
    ParsedArguments p;
    std::string error;
    ASSERT_TRUE(
        parse_arguments({"scene.gmk", "-o", "x.png", "-q", "--codec=raw"}, kSpecs, p, error));
    EXPECT_EQ(p.positional, std::vector<std::string>{"scene.gmk"});
    EXPECT_EQ(p.value("output"), "x.png");
    EXPECT_TRUE(p.has("quiet"));
    EXPECT_EQ(p.value("codec"), "raw");
}

TEST(Arguments, DashIsStandardInputAndDoubleDashEndsOptions) {
    ParsedArguments p;
    std::string error;
    ASSERT_TRUE(parse_arguments({"-", "--", "-q"}, kSpecs, p, error));
    EXPECT_EQ(p.positional, (std::vector<std::string>{"-", "-q"}));
    EXPECT_FALSE(p.has("quiet"));
}

TEST(Arguments, LastValueWins) {
    ParsedArguments p;
    std::string error;
    ASSERT_TRUE(parse_arguments({"--output", "a.png", "-o", "b.png"}, kSpecs, p, error));
    EXPECT_EQ(p.value("output"), "b.png");
}

class BadArguments : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadArguments, AreRefusedWithAReason) {
    ParsedArguments p;
    std::string error;
    EXPECT_FALSE(parse_arguments(GetParam(), kSpecs, p, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadArguments,
    ::testing::Values(std::vector<std::string>{"-x"}, std::vector<std::string>{"--outputs", "a"},
                      std::vector<std::string>{"-o"}, std::vector<std::string>{"--quiet=yes"},
                      std::vector<std::string>{"-qx"}, std::vector<std::string>{"-o", ""},
                      std::vector<std::string>{"--output="}));

struct FormatCase {
    const char* path;
    bool ok;
    ImageFormat format;
};

class ImageFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ImageFormatTest, ByExtension) {
    ImageFormat f = ImageFormat::Png;
    EXPECT_EQ(image_format_for(GetParam().path, f), GetParam().ok);
    if (GetParam().ok) {
        EXPECT_EQ(f, GetParam().format);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ImageFormatTest,
                         ::testing::Values(FormatCase{"a.png", true, ImageFormat::Png},
                                           FormatCase{"a.PnG", true, ImageFormat::Png},
                                           FormatCase{"a.ppm", true, ImageFormat::Ppm},
                                           FormatCase{"a.jpg", false, ImageFormat::Png},
                                           FormatCase{"png", false, ImageFormat::Png},
                                           FormatCase{"a.png.txt", false, ImageFormat::Png}));

TEST(RgbBytes, UnpacksBgrWords) {
    const std::vector<unsigned char> rgb = rgb_bytes({0x00332211u, 0x00FFFFFFu});
    EXPECT_EQ(rgb, (std::vector<unsigned char>{0x11, 0x22, 0x33, 0xFF, 0xFF, 0xFF}));
}

TEST(WriteImage, FullDiskIsAFailure) {
    for (const ImageFormat format : {ImageFormat::Ppm, ImageFormat::Png}) {
        std::string error;
        EXPECT_FALSE(write_image("/dev/full", format, 2, 1, {0u, 0u}, error));
        EXPECT_EQ(error.rfind("Could not write image '/dev/full': ", 0), 0u) << error;
        // A picture far bigger than the writer's buffers fails the same way.
        Surface big(1000, 1000);
        EXPECT_FALSE(write_image("/dev/full", format, big, error));
        EXPECT_EQ(error, "Could not write image '/dev/full': No space left on device");
    }
    // A device is written in place and never removed.
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The chunk names of a PNG file in order, or nothing when it is not one.
std::vector<std::string> png_chunks(const std::vector<unsigned char>& file) {
    std::vector<std::string> names;
    for (size_t at = 8; at + 12 <= file.size();) {
        const size_t length = (size_t{file[at]} << 24) | (size_t{file[at + 1]} << 16) |
                              (size_t{file[at + 2]} << 8) | file[at + 3];
        names.emplace_back(reinterpret_cast<const char*>(&file[at + 4]), 4);
        at += 12 + length;
    }
    return names;
}

struct PictureCase {
    int width;
    int height;
    std::vector<uint32_t> pixels;
};

// Noise defeats the filters and the compression: a worst case for the
// buffers.
std::vector<uint32_t> noise(size_t n) {
    std::vector<uint32_t> v(n);
    uint32_t state = 12345;
    for (auto& p : v) {
        state = state * 1664525u + 1013904223u;
        p = state >> 8;
    }
    return v;
}

// Every row the same: each row's bytes repeat the row above.
std::vector<uint32_t> stripes(int width, int height) {
    std::vector<uint32_t> v(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint32_t>((i % width) * 0x010203u);
    return v;
}

class PictureRoundTrip : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureRoundTrip, PngDecodesToThePixelsAndSaysSrgb) {
    const PictureCase& c = GetParam();
    TempFolder dir;
    std::string error;
    ASSERT_TRUE(
        write_image(dir.file("p.png"), ImageFormat::Png, c.width, c.height, c.pixels, error))
        << error;
    const std::vector<unsigned char> file = file_bytes(dir.file("p.png"));
    DecodedBitmap decoded;
    ASSERT_EQ(decode_png(file, 1 << 26, decoded), DecodeResult::Decoded);
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    EXPECT_EQ(
        std::vector<unsigned char>(decoded.rgb.get(), decoded.rgb.get() + 3 * c.pixels.size()),
        rgb_bytes(c.pixels));
    const std::vector<std::string> chunks = png_chunks(file);
    const auto srgb = std::find(chunks.begin(), chunks.end(), "sRGB");
    EXPECT_NE(srgb, chunks.end());
    EXPECT_LT(srgb, std::find(chunks.begin(), chunks.end(), "IDAT"));
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks.front(), "IHDR");
    EXPECT_EQ(chunks.back(), "IEND");
}

TEST_P(PictureRoundTrip, ASurfaceAStreamAndAVectorGiveTheSameFile) {
    const PictureCase& c = GetParam();
    Surface surface(c.width, c.height);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            surface.set_pixel(x, y, c.pixels[static_cast<size_t>(y) * c.width + x]);
    TempFolder dir;
    for (const ImageFormat format : {ImageFormat::Png, ImageFormat::Ppm}) {
        std::string error;
        ASSERT_TRUE(write_image(dir.file("v"), format, c.width, c.height, c.pixels, error));
        ASSERT_TRUE(write_image(dir.file("s"), format, surface, error));
        std::FILE* stream = std::fopen(dir.file("t").c_str(), "wb");
        ASSERT_NE(stream, nullptr);
        EXPECT_TRUE(write_image_to(stream, "-", format, surface, error)) << error;
        std::fclose(stream);
        const std::vector<unsigned char> bytes = file_bytes(dir.file("v"));
        EXPECT_EQ(file_bytes(dir.file("s")), bytes);
        EXPECT_EQ(file_bytes(dir.file("t")), bytes);
        // The first rows begun while the rest is still being traced: a PNG's
        // bands deflated, a PPM's rows in its file; or, stopped at once,
        // nothing, or a PPM's header alone.
        for (const bool halt : {false, true}) {
            std::unique_ptr<RowsAhead> ahead;
            if (format == ImageFormat::Png)
                ahead = std::make_unique<PngAhead>(surface);
            else
                ahead = std::make_unique<PpmAhead>(surface, dir.file("a"));
            const std::atomic<bool> stop{halt};
            ahead->take_settled(c.height / 2 + 1, stop);
            ASSERT_TRUE(write_image(dir.file("a"), format, surface, error, ahead.get()));
            EXPECT_EQ(file_bytes(dir.file("a")), bytes);
        }
        if (format == ImageFormat::Ppm) {
            // PPM: the header and the RGB bytes, nothing else.
            const std::string header =
                "P6\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
            std::vector<unsigned char> expected(header.begin(), header.end());
            const std::vector<unsigned char> rgb = rgb_bytes(c.pixels);
            expected.insert(expected.end(), rgb.begin(), rgb.end());
            EXPECT_EQ(bytes, expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureRoundTrip,
    ::testing::Values(
        PictureCase{1, 1, {0x00332211u}},
        PictureCase{3, 2, {0u, 0x00FFFFFFu, 0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0x00808080u}},
        // Rows that straddle the writer's blocks of bytes.
        PictureCase{16384, 2, noise(2 * 16384)}, PictureCase{1, 700, noise(700)},
        PictureCase{257, 259, noise(257 * 259)},
        // Rows deflated in bands: the bands' ends, and back-references from
        // a band into the rows above it.
        PictureCase{5, 128, noise(5 * 128)}, PictureCase{300, 130, stripes(300, 130)}));

// The render command's thread that begins the file, over a picture that held
// other pixels before: rows settled a few at a time, as a render settles
// them, and what was done meanwhile makes the file a write after the frame
// makes. A PPM begun for another name is not taken, and leaves nothing.
TEST(ImageWhileTracing, FilesBegunAsTheRowsSettleAreTheWritesFiles) {
    const int width = 40, height = 3 * PngBandRows + 9;
    const std::vector<uint32_t> old = noise(size_t{width} * height);
    const std::vector<uint32_t> traced = stripes(width, height);
    for (const char* name : {"p.png", "p.ppm", "other.ppm"}) {
        SCOPED_TRACE(name);
        glimmark::PictureFormat format{};
        ASSERT_TRUE(glimmark::picture_format_for(name, format));
        Surface surface(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                surface.set_pixel(x, y, old[static_cast<size_t>(y) * width + x]);
        TempFolder dir;
        std::atomic<int> rows_done{0};
        ImageWhileTracing begun;
        begun.start(surface, format, dir.file(name), rows_done);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                surface.set_pixel(x, y, traced[static_cast<size_t>(y) * width + x]);
            rows_done.store(y + 1, std::memory_order_release);
            if (y % 16 == 15) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        const std::string during =
            format == glimmark::PictureFormat::Png ? "during.png" : "during.ppm";
        const std::string target = std::string(name) == "other.ppm" ? during : name;
        std::string error;
        ASSERT_TRUE(
            glimmark::write_picture(dir.file(target), format, surface, error, begun.finish()));
        begun.stop();
        ASSERT_TRUE(glimmark::write_picture(dir.file("after"), format, surface, error));
        EXPECT_EQ(file_bytes(dir.file(target)), file_bytes(dir.file("after")));
        EXPECT_EQ(dir.names().size(), 2u);
    }
}

TEST(WriteImage, ReplacesAnOldPictureAndLeavesNoTemporaryFile) {
    const std::string dir = ::testing::TempDir() + "gmk_write_image";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/p.ppm";
    std::string error;
    ASSERT_TRUE(write_image(path, ImageFormat::Ppm, 1, 1, {0u}, error)) << error;
    ASSERT_TRUE(write_image(path, ImageFormat::Ppm, 2, 1, {0u, 0x00FFFFFFu}, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), 11u + 6u);  // "P6\n2 1\n255\n" and 2 pixels
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
    std::filesystem::remove_all(dir);
}

TEST(WriteImage, SizeMustMatchThePixels) {
    std::string error;
    EXPECT_FALSE(write_image(::testing::TempDir() + "x.ppm", ImageFormat::Ppm, 2, 2, {0u}, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
