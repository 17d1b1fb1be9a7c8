#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "scene/texture.h"
#include "tests/support/bitmap_files.h"
#include "tests/support/stb_image_write.h"

namespace {

std::string temp_path(const std::string& name) { return ::testing::TempDir() + "gmk_tex_" + name; }

// RGB bytes, row 0 at the top.
struct Image {
    int w, h;
    std::vector<unsigned char> rgb;
    unsigned char* at(int x, int y) { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

Image numbered(int w, int h) {
    Image im{w, h, std::vector<unsigned char>(static_cast<size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = im.at(x, y);
            p[0] = static_cast<unsigned char>(10 + 30 * x);
            p[1] = static_cast<unsigned char>(20 + 100 * y);
            p[2] = static_cast<unsigned char>(255 - 7 * (x + y * w));
        }
    return im;
}

Image solid(int w, int h, unsigned char v) {
    return {w, h, std::vector<unsigned char>(static_cast<size_t>(w) * h * 3, v)};
}

bool write_image(const std::string& path, const std::string& kind, const Image& im) {
    if (kind == "png") return stbi_write_png(path.c_str(), im.w, im.h, 3, im.rgb.data(), im.w * 3);
    if (kind == "bmp") return stbi_write_bmp(path.c_str(), im.w, im.h, 3, im.rgb.data());
    if (kind == "tga") return stbi_write_tga(path.c_str(), im.w, im.h, 3, im.rgb.data());
    if (kind == "jpg") return stbi_write_jpg(path.c_str(), im.w, im.h, 3, im.rgb.data(), 100);
    return false;
}

std::vector<char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class LosslessTexture : public ::testing::TestWithParam<const char*> {};

TEST_P(LosslessTexture, FourByTwoFillsEightTexelsAndLeavesTheSpareOnesBlack) {
    const std::string kind = GetParam();
    const std::string path = temp_path("numbered." + kind);
    Image im = numbered(4, 2);
    ASSERT_TRUE(write_image(path, kind, im));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    EXPECT_TRUE(m.texture_loaded);
    EXPECT_EQ(m.texture_width, 4);
    EXPECT_EQ(m.texture_height, 2);
    EXPECT_EQ(m.texel_count_less_one, 7);
    EXPECT_EQ(m.texture_tile, 0.0f);
    // 4 x (2 + 2) + 2 texels.
    ASSERT_EQ(m.texels.size(), 18u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const Vector3& t = m.texels[x + y * 4];
            const unsigned char* p = im.at(x, y);
            EXPECT_EQ(t.x, p[0] / 256.0f) << kind << " " << x << "," << y;
            EXPECT_EQ(t.y, p[1] / 256.0f) << kind << " " << x << "," << y;
            EXPECT_EQ(t.z, p[2] / 256.0f) << kind << " " << x << "," << y;
        }
    for (size_t i = 8; i < 18; ++i)
        EXPECT_EQ(m.texels[i], Vector3{}) << i;
    std::remove(path.c_str());
}

TEST_P(LosslessTexture, TruncatedFileIsRefused) {
    const std::string kind = GetParam();
    const std::string path = temp_path("cut." + kind);
    ASSERT_TRUE(write_image(path, kind, numbered(16, 16)));
    std::vector<char> bytes = read_bytes(path);
    bytes.resize(bytes.size() * 2 / 3);
    write_bytes(path, bytes);
    Material m;
    EXPECT_FALSE(load_texture(m, path));
    EXPECT_FALSE(m.texture_loaded);
    EXPECT_TRUE(m.texels.empty());
    std::remove(path.c_str());
}

// A BMP may store its rows from the top, which its negative height says.
TEST(TopDownBitmap, ReadsLikeTheSameBitmapStoredFromTheBottom) {
    const std::string path = temp_path("top_down.bmp");
    Image im = numbered(3, 2);
    ASSERT_TRUE(write_image(path, "bmp", im));
    std::vector<char> bytes = read_bytes(path);
    ASSERT_GE(bytes.size(), 54u);
    auto get32 = [&](size_t at) {
        return static_cast<int>(
            static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8 |
            static_cast<unsigned char>(bytes[at + 2]) << 16 |
            static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 3])) << 24);
    };
    const size_t pixels = static_cast<size_t>(get32(10));
    ASSERT_EQ(get32(22), 2);
    const int height = -2;
    for (int i = 0; i < 4; ++i)
        bytes[22 + i] = static_cast<char>((static_cast<unsigned>(height) >> (8 * i)) & 0xff);
    const size_t row = (3 * 3 + 3) & ~size_t{3};
    ASSERT_GE(bytes.size(), pixels + 2 * row);
    std::swap_ranges(bytes.begin() + static_cast<long>(pixels),
                     bytes.begin() + static_cast<long>(pixels + row),
                     bytes.begin() + static_cast<long>(pixels + row));
    write_bytes(path, bytes);

    Material m;
    ASSERT_TRUE(load_texture(m, path));
    EXPECT_EQ(m.texture_width, 3);
    EXPECT_EQ(m.texture_height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const Vector3& t = m.texels[x + y * 3];
            const unsigned char* p = im.at(x, y);
            EXPECT_EQ(t.x, p[0] / 256.0f) << x << "," << y;
            EXPECT_EQ(t.y, p[1] / 256.0f) << x << "," << y;
            EXPECT_EQ(t.z, p[2] / 256.0f) << x << "," << y;
        }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Formats, LosslessTexture, ::testing::Values("png", "bmp", "tga"));

// PNG encodings stb_image_write does not produce, written by libpng.
struct PngEncoding {
    const char* name;
    int colour;  // PNG_COLOR_TYPE_...
    int depth;
    bool interlaced;
    bool gamma = true;  // a gAMA chunk, which must not change the samples
};

// Writes `im` in the encoding: grey takes the green channel, a palette holds
// every pixel, alpha and a palette's transparency vary, 16-bit samples get a
// low byte of 0xFF. Returns the RGB the texture should hold: the high byte of
// 16-bit samples, never rounded; alpha ignored; grey in all three channels.
Image write_png_as(const std::string& path, const PngEncoding& e, const Image& im) {
    const bool palette = e.colour == PNG_COLOR_TYPE_PALETTE;
    const bool grey = (e.colour & PNG_COLOR_MASK_COLOR) == 0;
    const bool alpha = (e.colour & PNG_COLOR_MASK_ALPHA) != 0;
    const int channels = palette ? 1 : (grey ? 1 : 3) + (alpha ? 1 : 0);
    const unsigned top = (1u << std::min(e.depth, 8)) - 1;
    auto sample = [&](unsigned v) { return e.depth == 16 ? (v << 8) | 0xFF : v * top / 255; };
    Image expected = im;
    std::vector<unsigned> samples;
    std::vector<png_color> colours;
    std::vector<png_byte> opacity;
    for (int y = 0; y < im.h; ++y)
        for (int x = 0; x < im.w; ++x) {
            const unsigned char* p = &im.rgb[(static_cast<size_t>(y) * im.w + x) * 3];
            unsigned char* q = expected.at(x, y);
            const unsigned a = (x * 85u) & 255u;
            if (palette) {
                samples.push_back(static_cast<unsigned>(colours.size()));
                colours.push_back({p[0], p[1], p[2]});
                opacity.push_back(static_cast<png_byte>(a));
                continue;
            }
            for (int c = grey ? 1 : 0; c < (grey ? 2 : 3); ++c)
                samples.push_back(sample(p[c]));
            if (alpha) samples.push_back(sample(a));
            for (int c = 0; c < 3; ++c)
                q[c] = static_cast<unsigned char>(
                    e.depth >= 8 ? p[grey ? 1 : c] : sample(p[grey ? 1 : c]) * 255 / top);
        }
    const size_t row_bytes = (static_cast<size_t>(im.w) * channels * e.depth + 7) / 8;
    std::vector<png_byte> rows(row_bytes * im.h, 0);
    std::vector<png_bytep> row_pointers;
    for (int y = 0, i = 0; y < im.h; ++y) {
        png_bytep row = rows.data() + y * row_bytes;
        row_pointers.push_back(row);
        for (int k = 0, bit = 0; k < im.w * channels; ++k, ++i, bit += e.depth) {
            if (e.depth == 16) {
                row[2 * k] = static_cast<png_byte>(samples[i] >> 8);
                row[2 * k + 1] = static_cast<png_byte>(samples[i]);
            } else {
                row[bit / 8] |= static_cast<png_byte>(samples[i] << (8 - e.depth - bit % 8));
            }
        }
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, im.w, im.h, e.depth, e.colour,
                 e.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_set_PLTE(png, info, colours.data(), static_cast<int>(colours.size()));
        png_set_tRNS(png, info, opacity.data(), static_cast<int>(opacity.size()), nullptr);
    }
    if (e.gamma) png_set_gAMA(png, info, 0.3);
    png_write_info(png, info);
    png_write_image(png, row_pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return expected;
}

class PngTexture : public ::testing::TestWithParam<PngEncoding> {};

TEST_P(PngTexture, HoldsTheStoredColours) {
    const std::string path = temp_path(std::string(GetParam().name) + ".png");
    // 13 x 11 leaves every interlacing pass a ragged edge; 143 pixels fit a palette.
    const Image expected = write_png_as(path, GetParam(), numbered(13, 11));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    ASSERT_EQ(m.texture_width, 13);
    ASSERT_EQ(m.texture_height, 11);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x) {
            const Vector3& t = m.texels[x + y * 13];
            const unsigned char* p = &expected.rgb[(static_cast<size_t>(y) * 13 + x) * 3];
            ASSERT_EQ(t, (Vector3{p[0] / 256.0f, p[1] / 256.0f, p[2] / 256.0f})) << x << "," << y;
        }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, PngTexture,
    ::testing::Values(PngEncoding{"grey2", PNG_COLOR_TYPE_GRAY, 2, false},
                      PngEncoding{"grey8", PNG_COLOR_TYPE_GRAY, 8, false},
                      PngEncoding{"grey_alpha16_interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
                      PngEncoding{"palette8", PNG_COLOR_TYPE_PALETTE, 8, false},
                      PngEncoding{"palette8_interlaced", PNG_COLOR_TYPE_PALETTE, 8, true},
                      PngEncoding{"rgb16", PNG_COLOR_TYPE_RGB, 16, false},
                      PngEncoding{"rgb8_interlaced", PNG_COLOR_TYPE_RGB, 8, true},
                      PngEncoding{"rgba8", PNG_COLOR_TYPE_RGBA, 8, false},
                      PngEncoding{"rgba16_interlaced", PNG_COLOR_TYPE_RGBA, 16, true}),
    [](const auto& info) { return std::string(info.param.name); });

class AnyTexture : public ::testing::TestWithParam<const char*> {};

TEST_P(AnyTexture, WhiteBecomes255Over256) {
    const std::string kind = GetParam();
    const std::string path = temp_path("white." + kind);
    ASSERT_TRUE(write_image(path, kind, solid(16, 16, 255)));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    EXPECT_EQ(m.texels[0], (Vector3{0.99609375f, 0.99609375f, 0.99609375f}));
    EXPECT_EQ(m.texels[255], (Vector3{0.99609375f, 0.99609375f, 0.99609375f}));
    EXPECT_EQ(m.texture_tile, 2.0f);
    std::remove(path.c_str());
}

TEST_P(AnyTexture, FileCutJustShortIsRefused) {
    const std::string kind = GetParam();
    const std::string path = temp_path("short." + kind);
    ASSERT_TRUE(write_image(path, kind, numbered(16, 16)));
    const std::vector<char> whole = read_bytes(path);
    // 2: a JPEG's end marker; 12: a PNG's IEND chunk; the pixels are all there.
    for (size_t cut : {40, 12, 2, 1}) {
        std::vector<char> bytes = whole;
        bytes.resize(bytes.size() - cut);
        write_bytes(path, bytes);
        Material m;
        EXPECT_FALSE(load_texture(m, path)) << "cut " << cut;
    }
    std::remove(path.c_str());
}

// The scene reports a texture over its allowance apart from an unreadable one.
TEST_P(AnyTexture, MoreTexelsThanAllowedIsToldApart) {
    const std::string kind = GetParam();
    const std::string path = temp_path("allowance." + kind);
    ASSERT_TRUE(write_image(path, kind, numbered(16, 16)));
    Material m;
    bool too_large = false;
    EXPECT_FALSE(load_texture(m, path, 255, &too_large));
    EXPECT_TRUE(too_large);
    EXPECT_TRUE(load_texture(m, path, 256, &too_large));
    EXPECT_FALSE(too_large);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Formats, AnyTexture, ::testing::Values("png", "bmp", "tga", "jpg"));

TEST(Texture, TileIsTheSmallerSideDividedByEight) {
    const std::string path = temp_path("tile.png");
    ASSERT_TRUE(write_image(path, "png", solid(20, 9, 0)));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    EXPECT_EQ(m.texture_tile, 1.0f);
    EXPECT_EQ(m.texels.size(), 20u * 11u + 2u);
    std::remove(path.c_str());
}

// PNG files built chunk by chunk, each chunk with its correct CRC, for the
// damaged files no encoder writes.
using Chunk = std::pair<const char*, std::vector<unsigned char>>;

std::vector<char> png_of_chunks(const std::vector<Chunk>& chunks) {
    std::vector<char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, size_t n) {
            auto* o = static_cast<std::vector<char>*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_write_sig(png);
    for (const auto& [name, data] : chunks)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>(name), data.data(), data.size());
    png_destroy_write_struct(&png, nullptr);
    return out;
}

// 2 x 2 RGB, 8 bits a sample; its rows, each after its filter byte (none).
const std::vector<unsigned char> ihdr_2x2 = {0, 0, 0, 2, 0, 0, 0, 2, 8, 2, 0, 0, 0};
const std::vector<unsigned char> rows_2x2 = {0, 40, 50, 60, 70, 80, 90, 0, 1, 2, 3, 4, 5, 6};

// A zlib stream of one uncompressed block.
std::vector<unsigned char> stored_zlib(const std::vector<unsigned char>& raw) {
    const auto n = static_cast<unsigned>(raw.size());
    std::vector<unsigned char> z;
    for (unsigned v : {0x78u, 0x01u, 0x01u, n, n >> 8, ~n, ~n >> 8})
        z.push_back(static_cast<unsigned char>(v));
    z.insert(z.end(), raw.begin(), raw.end());
    unsigned a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (unsigned v : {b >> 8, b, a >> 8, a})
        z.push_back(static_cast<unsigned char>(v));
    return z;
}

std::vector<char> png_2x2_with_bad_idat_crc() {
    const std::vector<unsigned char> idat = stored_zlib(rows_2x2);
    std::vector<char> bytes = png_of_chunks({{"IHDR", ihdr_2x2}, {"IDAT", idat}, {"IEND", {}}});
    // Signature, IHDR chunk, IDAT length and name, IDAT data: then its CRC.
    bytes[8 + 25 + 8 + idat.size()] ^= 1;
    return bytes;
}

struct BadFile {
    const char* name;
    std::vector<char> bytes;
};

class UnreadableTexture : public ::testing::TestWithParam<BadFile> {};

TEST_P(UnreadableTexture, LeavesTheMaterialUntouched) {
    const std::string path = temp_path(GetParam().name);
    write_bytes(path, GetParam().bytes);
    Material m;
    m.diffuse = {0.1f, 0.2f, 0.3f};
    EXPECT_FALSE(load_texture(m, path));
    EXPECT_FALSE(m.texture_loaded);
    EXPECT_TRUE(m.texels.empty());
    EXPECT_EQ(m.texture_width, 0);
    EXPECT_EQ(m.diffuse, (Vector3{0.1f, 0.2f, 0.3f}));
    std::remove(path.c_str());
}

std::vector<char> text(const std::string& s) { return {s.begin(), s.end()}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableTexture,
    ::testing::Values(
        BadFile{"empty.png", {}},
        BadFile{"words.png", text("this is a scene file, not a picture\n")},
        // A GIF is a bitmap, but not one of the kinds a scene may name.
        BadFile{"tiny.gif", text(std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00"
                                             "\xff\xff\xff\x00\x00\x00!\xf9\x04\x01"
                                             "\x00\x00\x00\x00,\x00\x00\x00\x00\x01"
                                             "\x00\x01\x00\x00\x02\x02D\x01\x00;",
                                             43))},
        BadFile{"header_only.png", text("\x89PNG\r\n\x1a\n")},
        BadFile{"idat_crc.png", png_2x2_with_bad_idat_crc()},
        // Image data for the first row only.
        BadFile{"short_idat.png",
                png_of_chunks({{"IHDR", ihdr_2x2},
                               {"IDAT", stored_zlib({rows_2x2.begin(), rows_2x2.begin() + 7})},
                               {"IEND", {}}})},
        // 16385 x 1, one pixel wider than a texture may be.
        BadFile{"too_wide.png",
                png_of_chunks({{"IHDR", {0, 0, 0x40, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0}},
                               {"IDAT", stored_zlib(std::vector<unsigned char>(1 + 16385 * 3, 0))},
                               {"IEND", {}}})},
        BadFile{"no_iend.png",
                png_of_chunks({{"IHDR", ihdr_2x2}, {"IDAT", stored_zlib(rows_2x2)}})}),
    [](const auto& info) { return bitmap_files::test_name(info.param.name); });

TEST(Texture, MissingFileFails) {
    Material m;
    EXPECT_FALSE(load_texture(m, temp_path("does_not_exist.png")));
    EXPECT_FALSE(m.texture_loaded);
}

TEST(Texture, FailedSecondLoadKeepsTheFirstTexture) {
    const std::string path = temp_path("first.png");
    ASSERT_TRUE(write_image(path, "png", numbered(4, 2)));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    const std::vector<Vector3> first = m.texels;
    EXPECT_TRUE(load_texture(m, temp_path("does_not_exist.png")));
    EXPECT_TRUE(m.texture_loaded);
    EXPECT_EQ(m.texture_width, 4);
    EXPECT_EQ(m.texels, first);
    std::remove(path.c_str());
}

TEST(Texture, SecondSuccessfulLoadReplacesTheFirst) {
    const std::string a = temp_path("a.png"), b = temp_path("b.png");
    ASSERT_TRUE(write_image(a, "png", numbered(4, 2)));
    ASSERT_TRUE(write_image(b, "png", solid(3, 5, 255)));
    Material m;
    ASSERT_TRUE(load_texture(m, a));
    ASSERT_TRUE(load_texture(m, b));
    EXPECT_EQ(m.texture_width, 3);
    EXPECT_EQ(m.texture_height, 5);
    EXPECT_EQ(m.texel_count_less_one, 14);
    EXPECT_EQ(m.texels.size(), 3u * 7u + 2u);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(Texture, LookupReachesTheLoadedTexels) {
    const std::string path = temp_path("lookup.png");
    Image im = numbered(4, 2);
    ASSERT_TRUE(write_image(path, "png", im));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    // (u, v) = (0.75, 0.5) lands exactly on texel (3, 1): no blending.
    const Vector3 c = m.colourAt(0.75f, 0.5f);
    EXPECT_EQ(c.x, im.at(3, 1)[0] / 256.0f);
    EXPECT_EQ(c.y, im.at(3, 1)[1] / 256.0f);
    EXPECT_EQ(c.z, im.at(3, 1)[2] / 256.0f);
    std::remove(path.c_str());
}

}  // namespace

namespace {

std::vector<unsigned char> slurp_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A Huffman table whose code counts add up to more than 256 would make the
// decoder write past its table; the file is refused instead.
TEST(Texture, JpegWithOverfullHuffmanTableIsRefused) {
    const std::string seed = std::string(GMK_SOURCE_DIR) + "/fuzz/seeds/textures/test8x8.jpg";
    std::vector<unsigned char> bytes = slurp_bytes(seed);
    ASSERT_GT(bytes.size(), 100u);
    Material good;
    const std::string good_path = temp_path("good.jpg");
    std::ofstream(good_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(load_texture(good, good_path));

    size_t dht = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC4) {
            dht = i;
            break;
        }
    ASSERT_GT(dht, 0u);
    for (int k = 0; k < 16; ++k)
        bytes[dht + 5 + k] = 0x11;  // 16 x 17 = 272 codes
    const std::string bad_path = temp_path("overfull.jpg");
    std::ofstream(bad_path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    Material bad;
    EXPECT_FALSE(load_texture(bad, bad_path));
    EXPECT_FALSE(bad.texture_loaded);
    EXPECT_TRUE(bad.texels.empty());
    std::remove(good_path.c_str());
    std::remove(bad_path.c_str());
}

}  // namespace

TEST(Texture, JpegWhoseHuffmanCountsRunPastTheirSegmentIsRefused) {
    // Found by fuzzing: the decoder goes on reading a table the segment has
    // no room for, and its counts overflow the code table.
    Material m;
    for (const char* name : {"huffman_past_segment.jpg", "huffman_counts_at_file_end.jpg",
                             // 12552 x 4102 pixels in 381 bytes: was 5 s of decoding grey.
                             "jpeg_slow.jpg",
                             // One scan repeated: 101 passes over the picture's block.
                             "repeated_scans_101.jpg",
                             // Arithmetic coding could declare a huge picture in a few bytes.
                             "arithmetic.jpg"})
        EXPECT_FALSE(load_texture(m, std::string(GMK_SOURCE_DIR) + "/fuzz/seeds/textures/" + name))
            << name;
    EXPECT_FALSE(m.texture_loaded);
}

namespace {

// Committed pictures of one colour in the JPEG variants, and PNG oddities.
struct SeedPicture {
    const char* file;
    int width, height;
    int r, g, b;  // of every pixel; -1: not one colour
};

class SeedTexture : public ::testing::TestWithParam<SeedPicture> {};

TEST_P(SeedTexture, LoadsWithItsColours) {
    const SeedPicture& seed = GetParam();
    Material m;
    ASSERT_TRUE(load_texture(m, std::string(GMK_SOURCE_DIR) + "/fuzz/seeds/textures/" + seed.file));
    ASSERT_EQ(m.texture_width, seed.width);
    ASSERT_EQ(m.texture_height, seed.height);
    if (seed.r < 0) return;
    // JPEG decoders may round a level apart.
    for (int i = 0; i < seed.width * seed.height; ++i) {
        EXPECT_NEAR(m.texels[i].x * 256, seed.r, 1.0) << i;
        EXPECT_NEAR(m.texels[i].y * 256, seed.g, 1.0) << i;
        EXPECT_NEAR(m.texels[i].z * 256, seed.b, 1.0) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, SeedTexture,
    ::testing::Values(SeedPicture{"progressive_grey.jpg", 16, 16, 200, 200, 200},
                      // Stored as Adobe writes CMYK, inverted: (255, 128, 0) scaled by 128/255.
                      SeedPicture{"cmyk.jpg", 16, 16, 128, 64, 0},
                      SeedPicture{"ycck_progressive.jpg", 16, 16, 128, 64, 0},
                      // RGB components, not YCbCr, as an Adobe marker without JFIF says.
                      SeedPicture{"rgb_adobe.jpg", 16, 16, 10, 200, 90},
                      // Components named R, G and B are taken as RGB despite a JFIF marker.
                      SeedPicture{"rgb_named_jfif.jpg", 16, 16, 10, 200, 90},
                      SeedPicture{"repeated_scans_100.jpg", 8, 8, 128, 128, 128},
                      SeedPicture{"ycc420_progressive.jpg", 37, 29, -1, -1, -1}),
    [](const auto& info) {
        std::string n = info.param.file;
        return n.substr(0, n.find('.'));
    });

// An IDAT chunk may be empty; stb_image then passed a null pointer to memcpy.
TEST(Texture, PngWhoseFirstImageChunkIsEmptyLoads) {
    const std::string path = temp_path("empty_idat.png");
    write_bytes(
        path,
        png_of_chunks(
            {{"IHDR", ihdr_2x2}, {"IDAT", {}}, {"IDAT", stored_zlib(rows_2x2)}, {"IEND", {}}}));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    EXPECT_EQ(m.texels[1], (Vector3{70 / 256.0f, 80 / 256.0f, 90 / 256.0f}));
    EXPECT_EQ(m.texels[2], (Vector3{1 / 256.0f, 2 / 256.0f, 3 / 256.0f}));
    std::remove(path.c_str());
}

}  // namespace

namespace {

using bitmap_files::Bytes;
using bitmap_files::Colour;

const std::vector<Colour> sixteen = [] {
    std::vector<Colour> p;
    for (int i = 0; i < 16; ++i)
        p.push_back({static_cast<unsigned char>(17 * i), static_cast<unsigned char>(255 - 13 * i),
                     static_cast<unsigned char>(97 * i)});
    return p;
}();

// One 8 x 8 picture of 16 colours, in pairs along each row, unlike its
// mirror images either way.
int index_at(int x, int y) { return (3 * (x / 2) + 5 * y) % 16; }

Image picture() {
    Image im = solid(8, 8, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            std::copy_n(sixteen[index_at(x, y)].begin(), 3, im.at(x, y));
    return im;
}

bool save(const std::string& path, const Bytes& b) {
    write_bytes(path, {b.begin(), b.end()});
    return true;
}

// The picture's rows in a file's order (`bottom_up`, `right_to_left`) as
// bytes made by `pixel`.
Bytes rows(bool bottom_up, bool right_to_left, const std::function<void(Bytes&, int)>& pixel) {
    Bytes d;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            pixel(d, index_at(right_to_left ? 7 - c : c, bottom_up ? 7 - r : r));
    return d;
}

void bgr(Bytes& d, int i) { d.insert(d.end(), {sixteen[i][2], sixteen[i][1], sixteen[i][0]}); }

// Run-length BMP data, rows from the bottom: even ones as one absolute run,
// odd ones as runs of two; each ends its row, and the last the bitmap.
Bytes bmp_runs(int bits) {
    Bytes d;
    for (int r = 0; r < 8; ++r) {
        const int y = 7 - r;
        if (r % 2 == 0) {
            d.insert(d.end(), {0, 8});
            for (int x = 0; x < 8; x += bits == 8 ? 1 : 2)
                d.push_back(static_cast<unsigned char>(
                    bits == 8 ? index_at(x, y) : index_at(x, y) << 4 | index_at(x + 1, y)));
        } else {
            for (int x = 0; x < 8; x += 2)
                d.insert(d.end(),
                         {2, static_cast<unsigned char>(index_at(x, y) * (bits == 8 ? 1 : 17))});
        }
        d.insert(d.end(), {0, 0});
    }
    d.insert(d.end(), {0, 1});
    return d;
}

// TGA packets: even rows one raw packet of eight, odd rows repeats of two.
Bytes tga_packets(bool bottom_up, bool right_to_left) {
    Bytes plain = rows(bottom_up, right_to_left, bgr), d;
    for (int r = 0; r < 8; ++r) {
        const auto row = plain.begin() + 24 * r;
        if (r % 2 == 0) {
            d.push_back(7);
            d.insert(d.end(), row, row + 24);
        } else {
            for (int c = 0; c < 8; c += 2) {
                d.push_back(0x81);
                d.insert(d.end(), row + 3 * c, row + 3 * c + 3);
            }
        }
    }
    return d;
}

using Writer = std::function<bool(const std::string&)>;

Writer tga_from(unsigned descriptor, bool run_length) {
    return [=](const std::string& path) {
        const bool bottom_up = (descriptor & 0x20) == 0, right_to_left = (descriptor & 0x10) != 0;
        return save(path, bitmap_files::tga(8, 8, run_length, descriptor,
                                            run_length ? tga_packets(bottom_up, right_to_left)
                                                       : rows(bottom_up, right_to_left, bgr)));
    };
}

Writer png_as(PngEncoding e) {
    return [=](const std::string& path) { return !write_png_as(path, e, picture()).rgb.empty(); };
}

struct Variant {
    const char* name;
    Writer write;
    int tolerance = 0;  // levels a lossy format may be off
};

class OnePicture : public ::testing::TestWithParam<Variant> {};

TEST_P(OnePicture, GivesTheSameTexelsWhateverTheFileAndCorner) {
    const std::string path = temp_path(std::string("one_picture_") + GetParam().name);
    ASSERT_TRUE(GetParam().write(path));
    Material m;
    ASSERT_TRUE(load_texture(m, path));
    ASSERT_EQ(m.texture_width, 8);
    ASSERT_EQ(m.texture_height, 8);
    Image im = picture();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const Vector3& t = m.texels[x + 8 * y];
            const unsigned char* p = im.at(x, y);
            const float tolerance = static_cast<float>(GetParam().tolerance);
            ASSERT_NEAR(t.x * 256, p[0], tolerance) << x << "," << y;
            ASSERT_NEAR(t.y * 256, p[1], tolerance) << x << "," << y;
            ASSERT_NEAR(t.z * 256, p[2], tolerance) << x << "," << y;
        }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, OnePicture,
    ::testing::Values(
        Variant{"bmp_bottom_up",
                [](const std::string& p) {
                    return save(p, bitmap_files::bmp(8, 8, 24, 0, {}, rows(true, false, bgr)));
                }},
        Variant{"bmp_top_down",
                [](const std::string& p) {
                    return save(p, bitmap_files::bmp(8, -8, 24, 0, {}, rows(false, false, bgr)));
                }},
        Variant{"bmp_palette8",
                [](const std::string& p) {
                    return save(p, bitmap_files::bmp(8, 8, 8, 0, sixteen,
                                                     rows(true, false, [](Bytes& d, int i) {
                                                         d.push_back(static_cast<unsigned char>(i));
                                                     })));
                }},
        Variant{"bmp_rle8",
                [](const std::string& p) {
                    return save(p, bitmap_files::bmp(8, 8, 8, 1, sixteen, bmp_runs(8)));
                }},
        Variant{"bmp_rle4",
                [](const std::string& p) {
                    return save(p, bitmap_files::bmp(8, 8, 4, 2, sixteen, bmp_runs(4)));
                }},
        Variant{"tga_bottom_left", tga_from(0x00, false)},
        Variant{"tga_top_left", tga_from(0x20, false)},
        Variant{"tga_bottom_right", tga_from(0x10, false)},
        Variant{"tga_top_right", tga_from(0x30, false)},
        Variant{"tga_rle_bottom_left", tga_from(0x00, true)},
        Variant{"tga_rle_top_left", tga_from(0x20, true)},
        Variant{"tga_rle_bottom_right", tga_from(0x10, true)},
        Variant{"tga_rle_top_right", tga_from(0x30, true)},
        Variant{"png_rgb8", png_as({"", PNG_COLOR_TYPE_RGB, 8, false, false})},
        Variant{"png_rgb8_gamma", png_as({"", PNG_COLOR_TYPE_RGB, 8, false})},
        Variant{"png_rgb16", png_as({"", PNG_COLOR_TYPE_RGB, 16, false})},
        Variant{"png_palette", png_as({"", PNG_COLOR_TYPE_PALETTE, 8, false})},
        Variant{"png_rgba8", png_as({"", PNG_COLOR_TYPE_RGBA, 8, false})},
        Variant{"png_rgb8_interlaced", png_as({"", PNG_COLOR_TYPE_RGB, 8, true})},
        Variant{"png_rgba16_interlaced", png_as({"", PNG_COLOR_TYPE_RGBA, 16, true, false})},
        Variant{"jpeg", [](const std::string& p) { return write_image(p, "jpg", picture()); }, 8}),
    [](const auto& info) { return std::string(info.param.name); });

// Run-length BMPs of 4 x 2 pixels, well formed or not: each is refused or
// gives the stated picture, never reads or writes out of bounds (the fuzz
// target looks at that under AddressSanitizer).
struct RleCase {
    const char* name;
    Bytes runs;
    const char* indices;  // top row then bottom row; "": refused
    int bits = 8;
    int height = 2;
    int compression = 0;  // 0: RLE8 or RLE4, as `bits` asks
};

class RleBitmapFile : public ::testing::TestWithParam<RleCase> {};

TEST_P(RleBitmapFile, IsRefusedOrGivesItsPicture) {
    const RleCase& c = GetParam();
    const std::string path = temp_path(std::string("rle_") + c.name + ".bmp");
    const int compression = c.compression != 0 ? c.compression : c.bits == 8 ? 1 : 2;
    save(path, bitmap_files::bmp(4, c.height, c.bits, compression, sixteen, c.runs));
    Material m;
    const std::string expected = c.indices;
    ASSERT_EQ(load_texture(m, path), !expected.empty());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Colour& colour = sixteen[std::stoi(expected.substr(i, 1), nullptr, 16)];
        EXPECT_EQ(m.texels[i],
                  (Vector3{colour[0] / 256.0f, colour[1] / 256.0f, colour[2] / 256.0f}))
            << i;
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RleBitmapFile,
    ::testing::Values(
        RleCase{"two_rows", {4, 1, 0, 0, 2, 2, 2, 3, 0, 0, 0, 1}, "22331111"},
        RleCase{"run_past_row_end", {6, 1, 0, 0, 4, 2, 0, 1}, "22221111"},
        RleCase{"absolute_past_row_end", {0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 0, 1}, "00001234"},
        RleCase{"absolute_odd_padded", {0, 3, 1, 2, 3, 0, 1, 9, 0, 1}, "00001239"},
        RleCase{"delta_skips", {0, 2, 1, 1, 1, 3, 0, 1}, "03000000"},
        RleCase{"end_of_bitmap_first", {0, 1}, "00000000"},
        RleCase{"delta_past_top", {1, 5, 0, 2, 0, 9}, "00005000"},
        RleCase{"rows_past_top_ignored", {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0, 4, 4}, "22221111"},
        RleCase{"rle4_runs", {6, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1}, "45601212", 4},
        RleCase{"empty", {}, ""}, RleCase{"no_end", {4, 1, 0, 0, 4, 2}, ""},
        RleCase{"odd_byte", {4, 1, 0}, ""}, RleCase{"cut_in_absolute", {0, 6, 1, 2}, ""},
        RleCase{"cut_in_padding", {0, 3, 1, 2, 3}, ""}, RleCase{"cut_in_delta", {0, 2, 1}, ""},
        RleCase{"top_down", {4, 1, 0, 0, 4, 2, 0, 1}, "", 8, -2},
        RleCase{"rle8_of_4_bit_pixels", {4, 1, 0, 1}, "", 4, 2, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
