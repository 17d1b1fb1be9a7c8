// What one document may make: shapes, lights, materials, texels, and the
// text that loops and INCLUDE read. Each limit is met exactly and then
// passed by one.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "language/scene_budget.h"
#include "language_test_support.h"
#include "scene/model_file.h"
#include "scene/scene.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// `count` copies of `item` as nested loops: 1024 passes of `per_pass`
// items each inside an outer loop, and the rest after them.
std::string repeated(const std::string& item, long long count, int per_pass) {
    std::string body;
    for (int i = 0; i < per_pass; ++i)
        body += item + " ";
    const long long per_outer = 1024LL * per_pass;
    const long long outer = count / per_outer;
    long long rest = count % per_outer;
    std::string text = "SCENE ";
    if (outer > 0)
        text += "LOOP o LT o " + std::to_string(outer) + " LOOP i LT i 1024 " + body +
                "END_LOOP END_LOOP ";
    for (; rest > 0; --rest)
        text += item + " ";
    return text + "END_SCENE";
}

bool starts_with(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

struct CountLimit {
    const char* item;
    long long limit;  // 0: the limit a parse starts with
    int per_pass;
    const char* message;
};

// Sets the limit the case is about; the others stay as a parse starts.
void lower(SceneParse& p, const std::string& message, long long limit) {
    SceneBudget& l = p.tc.parsed().limits;
    long long& which = message.find("lights") != std::string::npos   ? l.lights
                       : message.find("model") != std::string::npos  ? l.model_triangles
                       : message.find("shapes") != std::string::npos ? l.shapes
                       : message.find("DEFINE") != std::string::npos ? l.texts
                                                                     : l.records;
    if (limit > 0) which = limit;
}

long long limit_of(const CountLimit& c) {
    SceneParse p;
    lower(p, c.message, c.limit);
    const SceneBudget& l = p.tc.parsed().limits;
    const std::string m = c.message;
    return m.find("lights") != std::string::npos   ? l.lights
           : m.find("model") != std::string::npos  ? l.model_triangles
           : m.find("shapes") != std::string::npos ? l.shapes
           : m.find("DEFINE") != std::string::npos ? l.texts
                                                   : l.records;
}

class SceneCountLimit : public ::testing::TestWithParam<CountLimit> {};

TEST_P(SceneCountLimit, TheLimitIsMetAndOneMoreIsRefused) {
    const CountLimit& c = GetParam();
    const long long limit = limit_of(c);
    const std::string message =
        std::string(c.message) + " Expected at most " + std::to_string(limit) + " at char";
    {
        SceneParse at;
        lower(at, c.message, c.limit);
        EXPECT_TRUE(at.parse(repeated(c.item, limit, c.per_pass))) << at.error();
    }
    SceneParse over;
    lower(over, c.message, c.limit);
    EXPECT_FALSE(over.parse(repeated(c.item, limit + 1, c.per_pass)));
    EXPECT_TRUE(starts_with(over.error(), message)) << over.error();
    EXPECT_EQ(over.message_count(), 1u);
}

// Lights and shapes at the limits every parse has; the records at a lower
// one, as they cost memory and time alike.
INSTANTIATE_TEST_SUITE_P(
    Scene, SceneCountLimit,
    ::testing::Values(
        CountLimit{"LIGHT }", 0, 1, "Too many lights."},
        CountLimit{"CUBE }", 0, 8, "Too many shapes."},
        CountLimit{"MATERIAL }", 5000, 4, "Too many materials and interpolations."},
        CountLimit{"FRAME INTERPOLATION 0 1 END_INTERPOLATION END_FRAME", 5000, 4,
                   "Too many materials and interpolations."},
        CountLimit{"DEFINE NAME d SPHERE } END_DEFINE", 5000, 4, "Too many DEFINE texts."},
        // Model triangles have a budget of their own, from the
        // machine's memory.
        CountLimit{"MESH FILE \"" GMK_SOURCE_DIR "/fuzz/seeds/models/triangle.stl\" END_MESH", 40,
                   1, "Could not load model file: too many triangles."}));

TEST(SceneLimits, EveryParseStartsWithTheSameLimits) {
    SceneParse p;
    p.tc.parsed().limits.shapes = 3;
    ASSERT_TRUE(p.parse("SCENE SPHERE } SPHERE } SPHERE } END_SCENE")) << p.error();
    // The next frame's parse of the same text counts from nothing again.
    p.tc.parse_frame();
    EXPECT_FALSE(p.tc.parsed().parse_error);
    EXPECT_EQ(p.shapes().size(), 3u);
    EXPECT_EQ(ParseContext().limits.shapes, MaxSceneShapes);
    EXPECT_EQ(ParseContext().limits.lights, MaxSceneLights);
    EXPECT_EQ(ParseContext().limits.model_triangles, model_triangle_limit());
}

TEST(SceneShapeLimit, EveryKindOfShapeCounts) {
    // One short of the limit in spheres, then two shapes of one kind: the
    // first still fits, the second does not.
    const std::string triangle =
        "MESH VERTEX_LIST 0 0 0 0 0 1 0 0  1 0 0 0 0 1 1 0  0 1 0 0 0 1 0 1 END_VERTEX_LIST "
        "END_MESH ";
    struct Kind {
        std::string text;
        int shapes;
    };
    const Kind kinds[] = {
        {"CUBE }", 1},
        {"QUADRIC COEFFICIENTS 1 0 0 0 1 0 0 0 0 -1 END_QUADRIC", 1},
        {"CUBIC COEFFICIENTS 1 0 0 0 1 0 0 0 0 -1 END_CUBIC", 1},
        {"SOR 1 0 1 1 END_SOR", 1},
        {"UNION SPHERE } CUBE } END_UNION", 3},
        {"FRAME BOUNDING_SHAPE SPHERE } CUBE } END_FRAME", 3},
        {triangle, 1},
    };
    for (const Kind& kind : kinds) {
        const std::string text =
            "SCENE SPHERE } SPHERE } SPHERE } " + kind.text + " " + kind.text + " END_SCENE";
        SceneParse fits;
        fits.tc.parsed().limits.shapes = 3 + 2 * kind.shapes;
        EXPECT_TRUE(fits.parse(text)) << kind.text << ": " << fits.error();
        SceneParse p;
        p.tc.parsed().limits.shapes = 3 + 2 * kind.shapes - 1;
        EXPECT_FALSE(p.parse(text)) << kind.text;
        EXPECT_TRUE(starts_with(p.error(), "Too many shapes. Expected at most"))
            << kind.text << ": " << p.error();
    }
}

TEST(SceneShapeLimit, ACheckOnlyParseReadsEachLoopOnceAndCountsNothing) {
    SceneParse p;
    p.tc.parsed().limits.shapes = 100;
    EXPECT_TRUE(p.check(repeated("SPHERE }", 101, 1))) << p.error();
}

// A run-length TGA of one colour.
void write_tga(const fs::path& path, int width, int height) {
    std::ofstream out(path, std::ios::binary);
    const unsigned char header[18] = {0,
                                      0,
                                      10,  // run-length true colour
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      0,
                                      static_cast<unsigned char>(width & 255),
                                      static_cast<unsigned char>(width >> 8),
                                      static_cast<unsigned char>(height & 255),
                                      static_cast<unsigned char>(height >> 8),
                                      24,
                                      0};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    long long left = static_cast<long long>(width) * height;
    while (left > 0) {
        const int run = left < 128 ? static_cast<int>(left) : 128;
        const unsigned char packet[4] = {static_cast<unsigned char>(0x80 | (run - 1)), 40, 80, 120};
        out.write(reinterpret_cast<const char*>(packet), sizeof packet);
        left -= run;
    }
}

struct TextureFolder {
    TempFolder folder;
    TextureFolder() {
        write_tga(folder.path() / "half.tga", 64, 32);
        write_tga(folder.path() / "dot.tga", 1, 1);
    }
    std::string file(const char* name) const {
        return " TEXTURE_FILE \"" + folder.file(name) + "\" ";
    }
};

TEST(SceneTexelLimit, TexturesShareOneAllowanceAndAReplacedOneGivesItsTexelsBack) {
    TextureFolder folder;
    const std::string half = folder.file("half.tga");
    // Three halves, one of them replaced within its block: two remain, which
    // is the whole allowance.
    const std::string full = "SCENE MATERIAL" + half + half + "} MATERIAL" + half + "}";
    {
        SceneParse p;
        p.tc.parsed().limits.texels = 64 * 64;
        EXPECT_TRUE(p.parse(full + " END_SCENE")) << p.error();
    }
    SceneParse p;
    p.tc.parsed().limits.texels = 64 * 64;
    EXPECT_FALSE(p.parse(full + " MATERIAL" + folder.file("dot.tga") + "} END_SCENE"));
    EXPECT_TRUE(
        starts_with(p.error(), "Too many texture pixels. Expected at most 4096 in all at char"))
        << p.error();
}

struct UnreadableCase {
    const char* text;
    const char* message;
};

TEST(SceneFiles, DevicesAndFoldersAreNotRead) {
    // Each of these would never end or could not be a file's text.
    const UnreadableCase cases[] = {
        {"INCLUDE FILE \"/dev/zero\" END_INCLUDE", "Could not open INCLUDE file."},
        {"INCLUDE FILE \"/dev/null\" END_INCLUDE", "Could not open INCLUDE file."},
        {"INCLUDE FILE \"/tmp\" END_INCLUDE", "Could not open INCLUDE file."},
        {"SCENE MATERIAL TEXTURE_FILE \"/dev/zero\" } END_SCENE", "Could not load texture."},
        {"SCENE MATERIAL TEXTURE_FILE \"/dev/urandom\" } END_SCENE", "Could not load texture."},
    };
    for (const UnreadableCase& c : cases) {
        SceneParse p;
        EXPECT_FALSE(p.parse(c.text)) << c.text;
        EXPECT_TRUE(starts_with(p.error(), c.message)) << c.text << ": " << p.error();
    }
}

TEST(SceneFiles, AFileIncludedOnEveryPassLeavesNoCopies) {
    TempFolder folder;
    const std::string file = folder.write("pass.gmk", "SPHERE }");
    SceneParse p;
    EXPECT_TRUE(p.parse("SCENE LOOP i LT i 1000 INCLUDE FILE \"" + file +
                        "\" END_INCLUDE END_LOOP END_SCENE"))
        << p.error();
    EXPECT_EQ(p.shapes().size(), 1000u);
    EXPECT_TRUE(p.tc.parsed().text_list.empty());
}

TEST(LoopTextLimit, ALongBodyRunManyTimesStops) {
    // 16 KB of comment read again on every pass: 65,536 passes reach the
    // limit, well before the loops' own pass limits.
    const std::string comment = "[" + std::string(16383, 'x') + "]";
    SceneParse p;
    EXPECT_FALSE(p.parse("SCENE LOOP o LT o 100 LOOP i LT i 1000 " + comment +
                         " END_LOOP END_LOOP END_SCENE"));
    EXPECT_TRUE(starts_with(p.error(), "Loop text exceeded max (1073741824 characters in all)"))
        << p.error();

    SceneParse fits;
    EXPECT_TRUE(fits.parse("SCENE LOOP o LT o 60 LOOP i LT i 1000 " + comment +
                           " END_LOOP END_LOOP END_SCENE"))
        << fits.error();
}

TEST(SpliceLimit, ManySplicesIntoALongDocumentStop) {
    // Each splice copies the 16 MB behind it: about 512 of them reach the limit.
    const std::string tail = "[" + std::string(16 << 20, 'x') + "]";
    SceneParse p;
    EXPECT_FALSE(
        p.parse("DEFINE NAME s SPHERE } END_DEFINE SCENE LOOP i LT i 1000 "
                "INCLUDE NAME s END_INCLUDE END_LOOP END_SCENE " +
                tail));
    EXPECT_TRUE(starts_with(p.error(), "Included text exceeded max (8589934592 characters in all)"))
        << p.error();
}

}  // namespace
