#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cli_process_support.h"

namespace {

namespace fs = std::filesystem;

// The scenes shipped for users to learn from must keep parsing as the
// language grows, textures included.
TEST(Examples, EveryShippedSceneParses) {
    TempFolder dir("examples");
    const fs::path examples = fs::path(GMK_SOURCE_DIR) / "examples";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(examples)) {
        if (entry.path().extension() != ".gmk") continue;
        ++count;
        const ProcessResult r = run_glimmark({"check", entry.path().string()}, dir);
        EXPECT_EQ(r.status, 0) << entry.path() << "\n" << r.err;
        EXPECT_EQ(r.out, "Parsed OK!\n") << entry.path();
    }
    EXPECT_GE(count, 5);
    EXPECT_TRUE(fs::exists(examples / "showcase.gmk"));
}

TEST(Examples, FirstSphereRendersWithItsTextureFreeMaterial) {
    TempFolder dir("examples_render");
    const std::string scene = (fs::path(GMK_SOURCE_DIR) / "examples" / "first_sphere.gmk").string();
    const ProcessResult r = run_glimmark({"render", scene, "-o", "first.ppm"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const PpmImage im = read_ppm(dir.file("first.ppm"));
    ASSERT_TRUE(im.ok());
    EXPECT_EQ(im.width, 320);
    EXPECT_EQ(im.height, 320);
    // A corner shows the background 0.1 0.1 0.25: 25, 25, 63.
    EXPECT_EQ(im.at(0, 0)[0], 25);
    EXPECT_EQ(im.at(0, 0)[2], 63);
}

TEST(Examples, TexturedSceneFindsItsBitmapBesideIt) {
    TempFolder dir("examples_texture");
    const std::string scene = (fs::path(GMK_SOURCE_DIR) / "examples" / "textures.gmk").string();
    const ProcessResult r = run_glimmark({"render", scene, "-o", "t.ppm"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

namespace {

// One example per construct of the language, traced small: the shape the
// example is about must show, so the picture may not be background only.
struct ConstructExample {
    const char* file;
    int frames;
};

class ConstructExamples : public ::testing::TestWithParam<ConstructExample> {};

TEST_P(ConstructExamples, TracesEveryFrameAtASmallSize) {
    const ConstructExample c = GetParam();
    TempFolder dir(std::string("construct_") + c.file);
    // A later TRACER block overrides the example's own size.
    const std::string text = slurp((fs::path(GMK_SOURCE_DIR) / "examples" / c.file).string()) +
                             "\nTRACER WIDTH 40 HEIGHT 30 ANTIALIASING 0 END_TRACER\n";
    const ProcessResult r = run_glimmark({"render", "-", "-o", "f%02d.ppm", "-q"}, dir, text);
    ASSERT_EQ(r.status, 0) << r.err;
    for (int f = 0; f < c.frames; ++f) {
        char name[16];
        std::snprintf(name, sizeof(name), "f%02d.ppm", f);
        const PpmImage im = read_ppm(dir.file(name));
        ASSERT_TRUE(im.ok()) << name;
        EXPECT_EQ(im.width, 40);
        EXPECT_EQ(im.height, 30);
        const unsigned char* corner = im.at(0, 0);
        int differing = 0;
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x)
                if (std::memcmp(im.at(x, y), corner, 3) != 0) ++differing;
        EXPECT_GT(differing, 40) << c.file << " frame " << f;
    }
    char after[16];
    std::snprintf(after, sizeof(after), "f%02d.ppm", c.frames);
    EXPECT_FALSE(fs::exists(dir.file(after))) << "one frame too many";
}

INSTANTIATE_TEST_SUITE_P(Language, ConstructExamples,
                         ::testing::Values(ConstructExample{"csg.gmk", 1},
                                           ConstructExample{"loops.gmk", 1},
                                           ConstructExample{"bounce.gmk", 16},
                                           ConstructExample{"lathe.gmk", 1},
                                           ConstructExample{"mesh.gmk", 1}),
                         [](const auto& info) {
                             std::string n = info.param.file;
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
