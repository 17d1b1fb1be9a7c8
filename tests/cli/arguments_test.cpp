#include <gtest/gtest.h>

#include <filesystem>

#include "cli/arguments.h"
#include "cli/image_file.h"

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
    std::string error;
    EXPECT_FALSE(write_image("/dev/full", ImageFormat::Ppm, 2, 1, {0u, 0u}, error));
    EXPECT_EQ(error.rfind("Could not write image '/dev/full': ", 0), 0u) << error;
    // A device is written in place and never removed.
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
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
