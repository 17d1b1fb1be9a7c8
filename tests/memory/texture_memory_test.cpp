// Textures whose files promise a large picture and then end early or break
// off: refused having taken memory only for what they held, not for the
// picture their header declares.

#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "memory_limit.h"
#include "scene/texture.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/stb_image_write.h"
#include "tests/support/temp_folder.h"

namespace {

using bitmap_files::Bytes;

// Less than any of the pictures below: 8000 x 8000 is 192 MB of pixels,
// 2048 x 2048 12 MB.
constexpr std::size_t Budget = 6 << 20;

std::string text(const Bytes& b) { return {b.begin(), b.end()}; }

// `rows` rows of `width` grey pixels, as TGA packets of 128 repeated pixels.
Bytes tga_packets(int width, int rows) {
    Bytes d;
    for (int i = 0; i < rows * width / 128; ++i)
        d.insert(d.end(), {0xFF, 90, 90, 90});
    return d;
}

// `rows` rows of 8000 pixels, as BMP runs of 250, each row ended.
Bytes bmp_runs(int rows) {
    Bytes d;
    for (int y = 0; y < rows; ++y) {
        for (int i = 0; i < 32; ++i)
            d.insert(d.end(), {250, 1});
        d.insert(d.end(), {0, 0});
    }
    return d;
}

// An 8000 x 8000 PNG whose image data stops after four rows.
Bytes png_of_four_rows() {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, 8000, 8000, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Noise, so that the compressed rows leave zlib.
    Bytes row(8000 * 3);
    unsigned state = 1;
    for (int y = 0; y < 4; ++y) {
        for (unsigned char& p : row)
            p = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
        png_write_row(png, row.data());
    }
    png_write_flush(png);
    png_destroy_write_struct(&png, &info);
    return out;
}

// A baseline JPEG of 2048 x 2048 pixels of noise, which no encoder can make
// small, cut to `fraction` of its length.
Bytes jpeg_of_noise(double fraction) {
    std::vector<unsigned char> pixels(2048 * 2048 * 3);
    unsigned state = 12345;
    for (unsigned char& p : pixels) {
        state = state * 1103515245u + 12345u;
        p = static_cast<unsigned char>(state >> 16);
    }
    Bytes out;
    stbi_write_jpg_to_func(
        [](void* o, void* data, int n) {
            auto* bytes = static_cast<Bytes*>(o);
            bytes->insert(bytes->end(), static_cast<unsigned char*>(data),
                          static_cast<unsigned char*>(data) + n);
        },
        &out, 2048, 2048, 3, pixels.data(), 90);
    out.resize(static_cast<size_t>(static_cast<double>(out.size()) * fraction));
    return out;
}

const std::vector<bitmap_files::Colour> two = {{0, 0, 0}, {200, 100, 50}};

struct ShortFile {
    const char* name;
    Bytes (*bytes)();  // made when the test runs
};

class TextureOfShortFile : public ::testing::TestWithParam<ShortFile> {};

TEST_P(TextureOfShortFile, IsRefusedWithoutTakingThePicturesMemory) {
    TempFolder dir;
    const std::string path = dir.write(GetParam().name, text(GetParam().bytes()));
    const std::size_t refused_before = memory_limit::refusals();
    Material m;
    {
        memory_limit::Budget budget(Budget);
        EXPECT_FALSE(load_texture(m, path));
    }
    EXPECT_EQ(memory_limit::refusals(), refused_before);
    EXPECT_FALSE(m.texture_loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TextureOfShortFile,
    ::testing::Values(
        // 34 and 118 bytes declaring 8000 x 8000 pixels.
        ShortFile{"plain.tga",
                  [] { return bitmap_files::tga(8000, 8000, false, 0, Bytes(16, 7)); }},
        ShortFile{"plain.bmp",
                  [] { return bitmap_files::bmp(8000, 8000, 24, 0, {}, Bytes(64, 7)); }},
        // Run-length, without its last header byte (found by fuzzing).
        ShortFile{"header_cut.tga",
                  [] {
                      Bytes b = bitmap_files::tga(8000, 8000, true, 0, {});
                      b.pop_back();
                      return b;
                  }},
        ShortFile{"runs_for_20_rows.tga",
                  [] { return bitmap_files::tga(8000, 8000, true, 0, tga_packets(8000, 20)); }},
        ShortFile{"runs_for_20_rows.bmp",
                  [] { return bitmap_files::bmp(8000, 8000, 8, 1, two, bmp_runs(20)); }},
        ShortFile{"four_rows.png", png_of_four_rows},
        ShortFile{"eighth_of_noise.jpg", [] { return jpeg_of_noise(0.125); }}),
    [](const auto& info) { return bitmap_files::test_name(info.param.name); });

// The same budget stops the whole files, so the test above sees what the
// decoders take.
TEST(TextureOfWholeFile, TakesMoreThanTheBudget) {
    TempFolder dir;
    dir.write("runs.tga", text(bitmap_files::tga(2048, 2048, true, 0, tga_packets(2048, 2048))));
    dir.write("noise.jpg", text(jpeg_of_noise(1.0)));
    for (const char* name : {"runs.tga", "noise.jpg"}) {
        const std::size_t refused_before = memory_limit::refusals();
        Material m;
        {
            memory_limit::Budget budget(Budget);
            EXPECT_FALSE(load_texture(m, dir.file(name))) << name;
        }
        EXPECT_GT(memory_limit::refusals(), refused_before) << name;
        EXPECT_TRUE(load_texture(m, dir.file(name))) << name;
    }
}

}  // namespace
