#include <gtest/gtest.h>

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
