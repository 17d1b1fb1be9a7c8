// A mesh read from a model file traces to the picture of the same triangles
// typed into the MESH block, byte for byte, under a frame, with a texture.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/captured_scene.h"
#include "tests/support/model_files.h"
#include "tests/support/temp_folder.h"

namespace {

// A scene around one MESH block whose inside is `mesh`.
std::string scene_with_mesh(const std::string& mesh) {
    return "TRACER WIDTH 48 HEIGHT 36 END_TRACER SCENE BACKGROUND_COLOR 0.1 0.2 0.3 "
           "CAMERA TRANSLATE 0.3 0.9 -0.2 LOOK_AT 0.5 0.1 0.6 END_CAMERA "
           "LIGHT TRANSLATE 2 4 -3 STRENGTH 12 END_LIGHT "
           "FRAME ROTATE 0 0.3 0.1 TRANSLATE 0 -0.1 0.2 MESH MATERIAL TEXTURE_FILE "
           "\"" GMK_SOURCE_DIR "/examples/tiles.png\" DENSITY 6 GLOSS 20 END_MATERIAL " +
           mesh + " END_MESH END_FRAME END_SCENE";
}

// The picture on one thread, with the hierarchy or without.
std::vector<uint32_t> picture(const std::string& text, const std::string& folder, bool accelerate) {
    CapturedScene scene;
    EXPECT_TRUE(scene.load(text, folder)) << scene.error();
    return scene.trace(0, 0, 1, accelerate);
}

struct Format {
    const char* file;
    std::string (*write)(const ModelNumbers&);
    ModelNumbers (*gives)(ModelNumbers);  // what the file keeps of the numbers
};

ModelNumbers as_they_are(ModelNumbers numbers) { return numbers; }

TEST(ModelFilePicture, EachFormatGivesTheTypedMeshsPicture) {
    TempFolder folder;
    const ModelNumbers grid = bumpy_grid(4);
    const Format formats[] = {{"grid.ply", binary_ply, as_they_are},
                              {"grid.obj", obj_text, as_they_are},
                              {"grid.stl", binary_stl, as_stl_gives_them}};
    for (const Format& f : formats) {
        folder.write(f.file, f.write(grid));
        const std::string typed = scene_with_mesh(typed_vertex_list(f.gives(grid)));
        // The name is found beside the scene, as INCLUDE FILE names are.
        const std::string loaded = scene_with_mesh("FILE \"" + std::string(f.file) + "\"");
        for (bool accelerate : {false, true}) {
            const std::vector<uint32_t> expected = picture(typed, "", accelerate);
            // The mesh fills much of the picture, shaded and textured.
            EXPECT_GT(std::set<uint32_t>(expected.begin(), expected.end()).size(), 40u);
            EXPECT_EQ(picture(loaded, folder.path().string(), accelerate), expected) << f.file;
        }
    }
    // Files and typed lists mixed in one block, in their order.
    const ModelNumbers part = bumpy_grid(2);
    folder.write("part.ply", binary_ply(part));
    const std::string list = typed_vertex_list(grid);
    EXPECT_EQ(picture(scene_with_mesh(typed_vertex_list(part) + " " + list + " " +
                                      typed_vertex_list(part)),
                      "", true),
              picture(scene_with_mesh("FILE \"part.ply\" " + list + " FILE \"part.ply\""),
                      folder.path().string(), true));
}

}  // namespace
