// Model files read through the library: the small files of fuzz/seeds/models
// in every format, what is refused and why, and every model file of Debian's
// assimp-testmodels package loaded or refused, each in under 10 s.

#include "scene/model_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/model_files.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

const fs::path Seeds = fs::path(GMK_SOURCE_DIR) / "fuzz" / "seeds" / "models";

struct Read {
    ModelResult result;
    ModelNumbers numbers;
};

Read read(const std::string& path, long long max_triangles = 1000000) {
    Read r;
    r.result = read_model_file(path, max_triangles, [&r](const float* n) {
        r.numbers.insert(r.numbers.end(), n, n + ModelTriangleNumbers);
    });
    return r;
}

struct SeedCase {
    const char* file;
    long long triangles;
    float first[ModelTriangleNumbers];
};

// The seeds and the first triangle each gives: a file without normals gets
// its face's own (of any length), one without coordinates 0.
const SeedCase seeds[] = {
    {"triangle.stl", 1, {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}},
    {"triangle_ascii.stl", 1, {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0,
                               0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}},
    // A header line the library skips (no "comment" before an exporter's note).
    {"exporter_note.ply", 1, {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0,
                              0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}},
    {"square.ply", 2, {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 1, 1, 0, 0, 0, 1, 1, 1}},
    {"cube.obj", 12, {0, 0, 0, 0, 0, -1, 0, 0, 0, 1, 0, 0, 0, -1, 0, 1, 1, 1, 0, 0, 0, -1, 1, 1}},
    // Placed by its node one unit along z.
    {"triangle.gltf", 1, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0}},
    {"triangle.glb", 1, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0}},
};

class ModelSeed : public ::testing::TestWithParam<SeedCase> {};

TEST_P(ModelSeed, LoadsEveryTriangle) {
    const SeedCase& c = GetParam();
    const Read r = read((Seeds / c.file).string());
    ASSERT_EQ(r.result.status, ModelStatus::Loaded) << r.result.reason;
    EXPECT_EQ(r.result.triangles, c.triangles);
    ASSERT_EQ(r.numbers.size(), static_cast<size_t>(c.triangles) * ModelTriangleNumbers);
    EXPECT_EQ(ModelNumbers(r.numbers.begin(), r.numbers.begin() + ModelTriangleNumbers),
              ModelNumbers(std::begin(c.first), std::end(c.first)));
    // The same bytes from memory give the same numbers.
    std::ifstream in(Seeds / c.file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    ModelNumbers from_memory;
    const std::string ext = fs::path(c.file).extension().string().substr(1);
    const ModelResult m =
        read_model_bytes(bytes.data(), bytes.size(), ext, 1000, [&](const float* n) {
            from_memory.insert(from_memory.end(), n, n + ModelTriangleNumbers);
        });
    EXPECT_EQ(m.status, ModelStatus::Loaded) << m.reason;
    EXPECT_EQ(from_memory, r.numbers);
    // One triangle fewer than the file holds is refused whole.
    const Read over = read((Seeds / c.file).string(), c.triangles - 1);
    EXPECT_EQ(over.result.status, ModelStatus::TooManyTriangles);
    EXPECT_TRUE(over.numbers.empty());
}

INSTANTIATE_TEST_SUITE_P(Seeds, ModelSeed, ::testing::ValuesIn(seeds), [](const auto& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

// A text PLY of one triangle whose face line is `face`.
std::string ply_triangle_with_face(const std::string& face) {
    return "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
           "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
           "end_header\n0 0 0\n1 0 0\n0 1 0\n" +
           face;
}

TEST(ModelFile, RefusesWithAReason) {
    TempFolder folder;
    ModelNumbers nan_grid = bumpy_grid(1);
    nan_grid[9] = std::numeric_limits<float>::quiet_NaN();
    ModelNumbers infinite_grid = bumpy_grid(1);
    infinite_grid[1] = std::numeric_limits<float>::infinity();
    const struct {
        std::string name, content, reason;
    } cases[] = {
        {"missing.ply", "", "no such file"},
        {"model.3ds", "x", "the name does not end in .obj, .ply, .stl, .gltf or .glb"},
        {"nan.stl", binary_stl(nan_grid), "the model has a coordinate that is not a finite number"},
        {"infinite.ply", binary_ply(infinite_grid),
         "the model has a coordinate that is not a finite number"},
        {"points.obj", "v 0 0 0\nv 1 0 0\np 1\np 2\n", "the model has no triangles"},
        // A header the library once read for ever (found by fuzz_model_file_ply).
        {"damaged.ply",
         "ply\nformat ascii 1.0\nelement vertex 4\nproply\nformat ascii 1.0\nelperty float x\n"
         "property vlOat y\npropemertyent vertex 8\nprope",
         "not a PLY file: its header is damaged or too long"},
        // A count the file cannot hold: the library took memory for it first.
        {"huge-count.ply",
         "ply\nformat ascii 1.0\nelement vertex 99999999994\nproperty float x\nend_header\n0\n",
         "not a PLY file: its header is damaged or too long"},
        {"huge-count-and-junk.ply",
         "ply\nformat ascii 1.0\nelement vertex  83333333333333scii\nproperty float x\n"
         "end_header\n0\n",
         "not a PLY file: its header is damaged or too long"},
        // An unknown element's count is read where its name begins.
        {"digits-in-a-name.ply",
         "ply\nformat ascii 1.0\nelement 88888888888888888888camera 1\nproperty float x\n"
         "end_header\n0\n",
         "not a PLY file: its header is damaged or too long"},
        // A line that stops short: the library reads on into what a longer
        // line before it left in its buffer (a count of 33333333333333 here).
        {"element-without-count.ply",
         "ply\nformat ascii 1.0\ncomment 33333333333333333333\nelement edge\n"
         "property int vertex1\nend_header\n",
         "not a PLY file: its header is damaged or too long"},
        {"property-without-name.ply",
         "ply\nformat ascii 1.0\ncomment 33333333333333333333\nelement face 1\n"
         "property list uchar int\nend_header\n3 0 1 2\n",
         "not a PLY file: its header is damaged or too long"},
        {"header-to-the-end.ply",
         "ply\nformat ascii 1.0\nelement face 8\nproperty list uchar int vertex_indices\n"
         "end_header",
         "not a PLY file: its header is damaged or too long"},
        // A second vertex element: the library wrote its vertices past the
        // first one's array (memory the address sanitizer does not watch).
        {"two-vertex-elements.ply",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nelement vertex 3\n"
         "property float x\nend_header\n0\n0\n0\n0\n",
         "the PLY file declares its vertices or its faces more than once"},
        {"face-and-strips.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nelement tristrips 1\n"
         "property list uchar int vertex_indices\nelement face 1\n"
         "property list uchar int vertex_indices\nend_header\n0\n0\n0\n3 0 1 2\n3 0 1 2\n",
         "the PLY file declares its vertices or its faces more than once"},
        // Lists longer than the file: the library takes memory for the count
        // first (found by fuzz_model_file_ply: 3.8 GB for 267 bytes). A text
        // file past its end reads its last line again.
        {"long-list.ply", ply_triangle_with_face("400000000 0 1 2\n"),
         "a list in the PLY file is longer than the file holds"},
        {"negative-list.ply", ply_triangle_with_face("-1 0 1 2\n"),
         "a list in the PLY file is longer than the file holds"},
        {"vertex-read-as-face.ply",
         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
         "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
         "end_header\n0 0 0\n1 0 0\n0 1 0\n400000000 0 0\n",
         "a list in the PLY file is longer than the file holds"},
        {"binary-long-list.ply",
         std::string("ply\nformat binary_big_endian 1.0\nelement vertex 0\nproperty float x\n"
                     "element face 1\nproperty list int int vertex_indices\nend_header\n"
                     "\x10\0\0\0\0\0\0\0",
                     138),
         "a list in the PLY file is longer than the file holds"},
        {"binary-short-list.ply",
         std::string("ply\nformat binary_little_endian 1.0\nelement face 2\n"
                     "property list ushort int vertex_indices\nend_header\n"
                     "\3\0\0\0\0\0\1\0\0\0\2\0\0\0\377\377",
                     118),
         "a list in the PLY file is longer than the file holds"},
        // GLB headers whose lengths pass the end (found by fuzz_model_file_glb):
        // the library read past the end of the first and took 4 GB for the second.
        {"past-the-end.glb",
         std::string("glTF\2\0\0\0d\2step", 14) + std::string(64, '\0') +
             std::string("JSON{\"\x1aindexarray\0000 ", 20),
         "not a GLB file: its header is damaged"},
        {"huge-chunk.glb", std::string("glTF\2\0\0\0\x1a\0\0\0\xe4\xfd\xff\xfdJSON{\"as0 ", 26),
         "not a GLB file: its header is damaged"},
        {"huge-body.glb",
         std::string("glTF\2\0\0\0\x20\0\0\0\x04\0\0\0JSON{}  \xf0\xff\xff\xff"
                     "BIN\0",
                     32),
         "not a GLB file: its header is damaged"},
    };
    for (const auto& c : cases) {
        const std::string path =
            c.content.empty() ? folder.file(c.name) : folder.write(c.name, c.content);
        const Read r = read(path);
        EXPECT_EQ(r.result.status, ModelStatus::Refused) << c.name;
        EXPECT_EQ(r.result.reason, c.reason) << c.name;
        EXPECT_TRUE(r.numbers.empty()) << c.name;
    }
    // Bytes that are no model: the library's own reason, on one line.
    const struct {
        std::string name, content;
    } junk_cases[] = {
        {"junk.ply", "hello\nworld\n"},
        {"junk.glb", std::string("glTF\2\0\0\0\x1c\0\0\0\x08\0\0\0JSON{\"a\":0} ", 28)},
    };
    for (const auto& c : junk_cases) {
        const Read junk = read(folder.write(c.name, c.content));
        EXPECT_EQ(junk.result.status, ModelStatus::Refused) << c.name;
        EXPECT_FALSE(junk.result.reason.empty()) << c.name;
        EXPECT_EQ(junk.result.reason.find('\n'), std::string::npos) << c.name;
    }
    // A binary STL of a million triangles (all zero bytes, a sparse file),
    // refused from its head before the library reads it.
    const uint32_t million = 1000000;
    const std::string huge_stl = folder.write(
        "huge.stl", std::string(80, ' ') + std::string(reinterpret_cast<const char*>(&million), 4));
    fs::resize_file(huge_stl, 84 + 50 * million);
    const auto start = std::chrono::steady_clock::now();
    const Read huge = read(huge_stl, 1000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(huge.result.status, ModelStatus::TooManyTriangles);
    EXPECT_EQ(huge.result.triangles, million);
    // A folder is no file.
    EXPECT_EQ(read(folder.path().string()).result.reason, "no such file");
}

// Every file of Debian's assimp-testmodels package (models of every format
// the library knows, their textures and notes): each loads, or is refused
// with one line of reason, within 10 s.
TEST(ModelFile, TestModelsLoadOrAreRefused) {
    const fs::path root = "/usr/share/assimp/models";
    if (!fs::is_directory(root)) GTEST_SKIP() << root << " is missing (assimp-testmodels)";
    int files = 0, loaded = 0;
    double slowest = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const auto start = std::chrono::steady_clock::now();
        long long handed = 0;
        const ModelResult r = read_model_file(entry.path().string(), model_triangle_limit(),
                                              [&handed](const float*) { ++handed; });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        slowest = std::max(slowest, seconds);
        EXPECT_LT(seconds, 10.0) << entry.path();
        if (r.status == ModelStatus::Loaded) {
            ++loaded;
            EXPECT_GT(r.triangles, 0) << entry.path();
            EXPECT_EQ(handed, r.triangles) << entry.path();
        } else {
            EXPECT_EQ(handed, 0) << entry.path();
            EXPECT_EQ(r.status, ModelStatus::Refused) << entry.path();
            EXPECT_FALSE(r.reason.empty()) << entry.path();
            EXPECT_EQ(r.reason.find('\n'), std::string::npos) << entry.path();
        }
    }
    EXPECT_GT(files, 0);
    std::printf("%d files, %d loaded, the slowest in %.3f s\n", files, loaded, slowest);
}

}  // namespace
