#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "language_test_support.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

TEST(MaterialBlock, EmptyBlockAppendsDefaultsAndBecomesCurrent) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE MATERIAL END_MATERIAL END_SCENE")) << p.error();
    auto materials = p.materials();
    ASSERT_EQ(materials.size(), 2u);
    const Material* m = materials[1];
    EXPECT_EQ(p.tc.parsed().current_material(), m);
    EXPECT_EQ(m->diffuse, Vector3(1, 1, 1));
    EXPECT_EQ(m->gloss, 1.0f);
    EXPECT_EQ(m->transparency, 0.0f);
    EXPECT_EQ(m->inner_transparency_depth, 0.0f);
    EXPECT_EQ(m->reflection, 0.0f);
    EXPECT_EQ(m->refraction, 0.5f);
    EXPECT_EQ(m->density, 1.0f);
    EXPECT_FALSE(m->texture_loaded);
    EXPECT_TRUE(m->name.empty());
}

TEST(MaterialBlock, EveryValueGoesIntoItsField) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE material diffuse 0.1 0.2 MUL 0.5 0.6 gloss 7 transparency 0.25 "
                "inner_transparency_depth 3 reflection 0.75 refraction ADD 1 0.5 "
                "density 4 } END_SCENE"))
        << p.error();
    const Material* m = p.tc.parsed().current_material();
    EXPECT_EQ(m->diffuse, Vector3(0.1f, 0.2f, 0.5f * 0.6f));
    EXPECT_EQ(m->gloss, 7.0f);
    EXPECT_EQ(m->transparency, 0.25f);
    EXPECT_EQ(m->inner_transparency_depth, 3.0f);
    EXPECT_EQ(m->reflection, 0.75f);
    EXPECT_EQ(m->refraction, 1.5f);
    EXPECT_EQ(m->density, 4.0f);
}

TEST(MaterialBlock, CurrentMaterialGoesToEveryLaterShape) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SPHERE END_SPHERE MATERIAL DIFFUSE 1 0 0 END_MATERIAL "
                "SPHERE END_SPHERE FRAME SPHERE END_SPHERE END_FRAME END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    auto materials = p.materials();
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0]->material, materials[0]);
    EXPECT_EQ(shapes[1]->material, materials[1]);
    EXPECT_EQ(shapes[2]->material, materials[1]);
}

TEST(MaterialBlock, NamedMaterialIsSharedAndChangedLater) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME red DIFFUSE 1,0,0 END_MATERIAL SPHERE END_SPHERE "
                "MATERIAL NAME red DIFFUSE 0,0,1 END_MATERIAL SPHERE END_SPHERE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->material, shapes[1]->material);
    EXPECT_EQ(shapes[0]->material->diffuse, Vector3(0, 0, 1));
    EXPECT_EQ(p.materials().size(), 2u);
}

TEST(MaterialBlock, StatementsBeforeNameAreLostAndNamedMovesToEnd) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME red DIFFUSE 1,0,0 END_MATERIAL "
                "MATERIAL NAME blue DIFFUSE 0,0,1 END_MATERIAL "
                "MATERIAL DIFFUSE 0,1,0 NAME red END_MATERIAL END_SCENE"))
        << p.error();
    auto materials = p.materials();
    ASSERT_EQ(materials.size(), 3u);
    EXPECT_EQ(materials[1]->name, "blue");
    EXPECT_EQ(materials[2]->name, "red");
    EXPECT_EQ(materials[2]->diffuse, Vector3(1, 0, 0));
    EXPECT_EQ(p.tc.parsed().current_material(), materials[2]);
}

TEST(MaterialBlock, NamesAreCaseSensitive) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME red END_MATERIAL MATERIAL NAME Red END_MATERIAL "
                "END_SCENE"))
        << p.error();
    auto materials = p.materials();
    ASSERT_EQ(materials.size(), 3u);
    EXPECT_EQ(materials[1]->name, "red");
    EXPECT_EQ(materials[2]->name, "Red");
}

TEST(MaterialBlock, UnnamedMaterialIsNeverFound) {
    SceneParse p;
    // Each unnamed block makes a record of its own.
    ASSERT_TRUE(p.parse("SCENE MATERIAL END_MATERIAL MATERIAL END_MATERIAL END_SCENE"));
    EXPECT_EQ(p.materials().size(), 3u);
}

TEST(MaterialBlock, MaterialInsideShapeAlsoReachesLaterShapes) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE SPHERE MATERIAL DIFFUSE 0 1 0 END_MATERIAL END_SPHERE "
                "CUBE END_CUBE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->material->diffuse, Vector3(0, 1, 0));
    EXPECT_EQ(shapes[1]->material, shapes[0]->material);
}

// A second NAME switches the block to the material of that name; the material
// the first NAME took over stays alive for the shapes that use it.
TEST(MaterialBlock, SecondNameSwitchesWithoutLosingTheFirst) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME red DIFFUSE 1 0 0 END_MATERIAL SPHERE END_SPHERE "
                "MATERIAL NAME blue DIFFUSE 0 0 1 END_MATERIAL CUBE END_CUBE "
                "MATERIAL NAME red NAME blue GLOSS 9 END_MATERIAL END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->material->name, "red");
    EXPECT_EQ(shapes[0]->material->diffuse, Vector3(1, 0, 0));
    EXPECT_EQ(shapes[1]->material->gloss, 9.0f);
    EXPECT_EQ(p.tc.parsed().current_material(), shapes[1]->material);
    EXPECT_EQ(p.materials().size(), 3u);
}

TEST(MaterialBlock, SecondNameOfNewNameRenames) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE MATERIAL NAME a NAME b END_MATERIAL END_SCENE"));
    EXPECT_EQ(p.tc.parsed().current_material()->name, "b");
    EXPECT_EQ(p.materials().size(), 2u);
}

TEST(MaterialBlock, CheckOnlyParseCreatesNothing) {
    SceneParse p;
    ASSERT_TRUE(
        p.check("SCENE MATERIAL NAME red DIFFUSE 1 0 0 TEXTURE_FILE \"missing.png\" "
                "END_MATERIAL LIGHT TRANSLATE 1 2 3 END_LIGHT CAMERA LOOK_AT 1 1 1 "
                "END_CAMERA END_SCENE"))
        << p.error();
    EXPECT_TRUE(p.tc.parsed().material_list.empty());
    EXPECT_EQ(p.tc.parsed().scene, nullptr);
}

// A 2 x 1 24-bit BMP whose left pixel is pure red.
void write_bmp(const fs::path& path, int width) {
    const int row = (width * 3 + 3) / 4 * 4;
    const int size = 54 + row;
    unsigned char header[54] = {'B', 'M'};
    auto put32 = [&](int at, int v) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, 1);
    header[26] = 1;
    header[28] = 24;
    put32(34, row);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), 54);
    std::string pixels(row, '\0');
    pixels[2] = static_cast<char>(255);  // B, G, R
    out.write(pixels.data(), row);
}

class TextureFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root / "scene");
        fs::create_directories(root / "cwd");
        old_cwd = fs::current_path();
        fs::current_path(root / "cwd");
    }
    void TearDown() override { fs::current_path(old_cwd); }
    TempFolder folder;
    const fs::path root = folder.path();
    fs::path old_cwd;
};

TEST_F(TextureFileTest, RelativeNameIsLookedUpBesideTheSceneFirst) {
    write_bmp(root / "scene" / "tex.bmp", 4);
    write_bmp(root / "cwd" / "tex.bmp", 2);
    SceneParse p;
    p.tc.source_folder = (root / "scene").string();
    ASSERT_TRUE(p.parse("SCENE MATERIAL TEXTURE_FILE \"tex.bmp\" END_MATERIAL END_SCENE"))
        << p.error();
    const Material* m = p.tc.parsed().current_material();
    EXPECT_TRUE(m->texture_loaded);
    EXPECT_EQ(m->texture_width, 4);
}

TEST_F(TextureFileTest, RelativeNameFallsBackToTheCurrentFolder) {
    write_bmp(root / "cwd" / "tex.bmp", 2);
    SceneParse p;
    p.tc.source_folder = (root / "scene").string();
    ASSERT_TRUE(p.parse("SCENE MATERIAL TEXTURE_FILE \"tex.bmp\" END_MATERIAL END_SCENE"))
        << p.error();
    EXPECT_EQ(p.tc.parsed().current_material()->texture_width, 2);
}

TEST_F(TextureFileTest, TextureOfANamedMaterialIsReusedByName) {
    write_bmp(root / "cwd" / "tex.bmp", 2);
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE MATERIAL NAME wood TEXTURE_FILE \"tex.bmp\" END_MATERIAL "
                "SPHERE END_SPHERE MATERIAL END_MATERIAL MATERIAL NAME wood END_MATERIAL "
                "CUBE END_CUBE END_SCENE"))
        << p.error();
    auto shapes = p.shapes();
    ASSERT_EQ(shapes.size(), 2u);
    EXPECT_EQ(shapes[0]->material, shapes[1]->material);
    EXPECT_TRUE(shapes[1]->material->texture_loaded);
}

TEST_F(TextureFileTest, MissingFileIsReportedOnlyWhenBuilding) {
    const std::string text =
        "SCENE MATERIAL TEXTURE_FILE \"no such.bmp\" DIFFUSE 1 0 0 END_MATERIAL END_SCENE";
    SceneParse build;
    EXPECT_FALSE(build.parse(text));
    // The error is reported behind the closing quote, with the file name.
    const size_t after = text.find("\" DIFFUSE") + 1;
    EXPECT_EQ(build.error(),
              "Could not load texture. at char " + std::to_string(after) + " found: no such.bmp");
    EXPECT_EQ(build.message_count(), 1u);
    SceneParse check;
    EXPECT_TRUE(check.check(text)) << check.error();
}

TEST(LightBlock, DefaultsAndValues) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE LIGHT END_LIGHT LIGHT TRANSLATE 1 2 3 COLOR 0.5 0.25 1 "
                "STRENGTH 40 } END_SCENE"))
        << p.error();
    const Light* first = p.tc.parsed().scene->lights.head;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->position, Vector3(0, 0, 0));
    EXPECT_EQ(first->color, Vector3(1, 1, 1));
    EXPECT_EQ(first->strength, 8388608.0f);
    const Light* second = first->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->position, Vector3(1, 2, 3));
    EXPECT_EQ(second->color, Vector3(0.5f, 0.25f, 1));
    EXPECT_EQ(second->strength, 40.0f);
    EXPECT_EQ(second->next, nullptr);
}

TEST(LightBlock, FrameCarriesTranslatedPositionOnly) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE FRAME TRANSLATE 0 5 0 LIGHT TRANSLATE 1 1 1 TRANSLATE 2 0 0 "
                "END_LIGHT LIGHT END_LIGHT END_FRAME END_SCENE"))
        << p.error();
    const Light* first = p.tc.parsed().scene->lights.head;
    ASSERT_NE(first, nullptr);
    // A later TRANSLATE replaces the position, through the frame.
    EXPECT_EQ(first->position, Vector3(2, 5, 0));
    ASSERT_NE(first->next, nullptr);
    // Without TRANSLATE the light stays at the origin whatever the frame.
    EXPECT_EQ(first->next->position, Vector3(0, 0, 0));
}

TEST(CameraBlock, TranslateThenLookAt) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE CAMERA TRANSLATE 0.0, 1, 4.0 LOOK_AT 0.0, 0.0, 0.0 END_CAMERA "
                "END_SCENE"))
        << p.error();
    const Camera& c = p.tc.parsed().scene->camera;
    EXPECT_EQ(c.eye, Vector3(0, 1, 4));
    const float r = std::sqrt(17.0f);
    expect_near(c.view_point, Vector3(0, 1 - 1 / r, 4 - 4 / r));
    expect_near(c.right_axis, Vector3(1, 0, 0));
    // The up axis stays perpendicular to the view and the right axis.
    const Vector3 forward = c.frame_matrix.row(2);
    EXPECT_NEAR(c.up_axis.dot(forward), 0.0f, 1e-6f);
    EXPECT_NEAR(c.up_axis.length(), 1.0f, 1e-6f);
    EXPECT_GT(c.up_axis.y, 0.0f);
}

TEST(CameraBlock, LookAtBackwardsFromOrigin) {
    SceneParse p;
    ASSERT_TRUE(p.parse("SCENE CAMERA LOOK_AT 0,0,-1 END_CAMERA END_SCENE")) << p.error();
    const Camera& c = p.tc.parsed().scene->camera;
    expect_near(c.frame_matrix.row(2), Vector3(0, 0, -1));
    expect_near(c.view_point, Vector3(0, 0, -1));
}

TEST(CameraBlock, LocalTransformsActInCameraSpace) {
    SceneParse p;
    // The rotation comes after the translation, so it turns the camera about
    // its own eye and leaves the eye where it is.
    ASSERT_TRUE(
        p.parse("SCENE CAMERA TRANSLATE 0 0 -5 ROTATE 0 1.5707964 0 SCALE 2 2 2 "
                "END_CAMERA END_SCENE"))
        << p.error();
    const Camera& c = p.tc.parsed().scene->camera;
    expect_near(c.eye, Vector3(0, 0, -5));
    // Ry turns +z into +x; the scale written last lengthens every axis.
    expect_near(c.view_point, Vector3(2, 0, -5));
    expect_near(c.right_axis, Vector3(0, 0, -2));
    expect_near(c.up_axis, Vector3(0, 2, 0));
}

TEST(CameraBlock, SecondCameraStartsOverFromTheFrame) {
    SceneParse p;
    ASSERT_TRUE(
        p.parse("SCENE CAMERA TRANSLATE 1 2 3 END_CAMERA FRAME TRANSLATE 0 0 7 "
                "CAMERA END_CAMERA END_FRAME END_SCENE"))
        << p.error();
    const Camera& c = p.tc.parsed().scene->camera;
    EXPECT_EQ(c.eye, Vector3(0, 0, 7));
    EXPECT_EQ(c.view_point, Vector3(0, 0, 8));
    EXPECT_EQ(c.right_axis, Vector3(1, 0, 0));
}

class MaterialErrorTest : public ErrorCaseTest {};

TEST_P(MaterialErrorTest, ReportsMessageAtWord) { expect_reported(); }

const ErrorCase material_errors[] = {
    {"SCENE MATERIAL COLOR 1 0 0 END_MATERIAL END_SCENE",
     "Bad Material. Expected DIFFUSE, GLOSS, TRANSPARENCY, REFLECTION or REFRACTION", "COLOR",
     nullptr},
    {"SCENE MATERIAL DIFFUSE 1 0 0", "Expected END_MATERIAL.", nullptr, "0"},
    {"SCENE MATERIAL GLOSS red END_MATERIAL END_SCENE", "Expected Float.", "red", nullptr},
    {"SCENE LIGHT POSITION 1 0 0 END_LIGHT END_SCENE",
     "Bad Light. Expected TRANSLATE, COLOR or STRENGTH", "POSITION", nullptr},
    {"SCENE LIGHT END_CAMERA END_SCENE", "Bad Light. Expected TRANSLATE, COLOR or STRENGTH",
     "END_CAMERA", nullptr},
    {"SCENE LIGHT STRENGTH 3 ", "Expected END_LIGHT.", nullptr, "3"},
    {"SCENE CAMERA LOOK 0 0 0 END_CAMERA END_SCENE",
     "Bad Camera. Expected ROTATE, SCALE, TRANSLATE or LOOK_AT", "LOOK", nullptr},
    {"SCENE CAMERA TRANSLATE 0 0 1", "Expected END_CAMERA.", nullptr, "1"},
};

INSTANTIATE_TEST_SUITE_P(BothParses, MaterialErrorTest,
                         ::testing::Combine(::testing::ValuesIn(material_errors),
                                            ::testing::Bool()));

}  // namespace
