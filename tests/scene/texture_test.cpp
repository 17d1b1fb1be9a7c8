#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "scene/texture.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

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
    std::vector<char> bytes = read_bytes(path);
    bytes.resize(bytes.size() - 40);
    write_bytes(path, bytes);
    Material m;
    EXPECT_FALSE(load_texture(m, path));
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
    ::testing::Values(BadFile{"empty.png", {}},
                      BadFile{"words.png", text("this is a scene file, not a picture\n")},
                      // A GIF is a bitmap, but not one of the kinds a scene may name.
                      BadFile{"tiny.gif", text(std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00"
                                                           "\xff\xff\xff\x00\x00\x00!\xf9\x04\x01"
                                                           "\x00\x00\x00\x00,\x00\x00\x00\x00\x01"
                                                           "\x00\x01\x00\x00\x02\x02D\x01\x00;",
                                                           43))},
                      BadFile{"header_only.png", text("\x89PNG\r\n\x1a\n")}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (c == '.') c = '_';
        return n;
    });

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
    for (const char* name : {"huffman_past_segment.jpg", "huffman_counts_at_file_end.jpg"})
        EXPECT_FALSE(load_texture(m, std::string(GMK_SOURCE_DIR) + "/fuzz/seeds/textures/" + name))
            << name;
}
