// Every example and benchmark scene, traced small in every trace mode, must
// give the plain sequential loop's picture byte for byte.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/captured_scene.h"

namespace fs = std::filesystem;

namespace {

struct Mode {
    const char* name;
    int threads;
    bool accelerate;
};

// The reference first, then the modes compared with it.
const Mode kPlain{"plain loop", 1, false};
const Mode kModes[] = {
    {"hierarchy, 1 thread", 1, true},
    {"hierarchy, every core", 0, true},
    {"hierarchy, 3 threads", 3, true},
    {"plain search, 2 threads", 2, false},
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The benchmark scenes with their generated data, made once under the build
// folder. Empty when the benchmark folder is not beside the repository.
fs::path bench_scene_folder() {
    const fs::path out = fs::path(GMK_BINARY_DIR) / "bench";
    const fs::path gmk = out / "gmk";
    if (fs::exists(gmk / "mesh_data.gmk") && fs::exists(gmk / "many_spheres_bounded.gmk"))
        return gmk;
    const fs::path script = fs::path(GMK_SOURCE_DIR) / ".." / "shared" / "bench" / "gen_mesh.py";
    if (!fs::exists(script)) return {};
    // Written aside and renamed, so that test processes running at the same
    // time never read a half-written file.
    const fs::path scratch = out / ("gen-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string command =
        "python3 '" + script.string() + "' --out '" + scratch.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::error_code ignored;
    fs::rename(scratch / "gmk", gmk, ignored);
    fs::remove_all(scratch, ignored);
    return fs::exists(gmk / "mesh_data.gmk") ? gmk : fs::path{};
}

struct SceneCase {
    std::string name;
    bool bench;  // among the benchmark scenes, else an example
    int width;
    int height;
};

std::vector<SceneCase> all_cases() {
    std::vector<SceneCase> cases;
    std::vector<std::string> examples;
    for (const auto& entry : fs::directory_iterator(fs::path(GMK_SOURCE_DIR) / "examples"))
        if (entry.path().extension() == ".gmk") examples.push_back(entry.path().stem().string());
    std::sort(examples.begin(), examples.end());
    for (const std::string& e : examples)
        cases.push_back({e, false, 48, 36});
    // The meshes are traced smaller: the plain loop tests 100,352 triangles
    // for every ray.
    for (const char* b : {"showcase", "showcase_noaa", "many_spheres", "many_spheres_bounded"})
        cases.push_back({b, true, 48, 36});
    for (const char* b : {"mesh", "mesh_tiled"})
        cases.push_back({b, true, 28, 21});
    return cases;
}

void PrintTo(const SceneCase& c, std::ostream* out) {
    *out << (c.bench ? "benchmark scene " : "example ") << c.name << " at " << c.width << "x"
         << c.height;
}

class FrameEquality : public ::testing::TestWithParam<SceneCase> {};

TEST_P(FrameEquality, EveryModeGivesThePlainLoopsPicture) {
    const SceneCase& c = GetParam();
    fs::path file;
    if (c.bench) {
        const fs::path folder = bench_scene_folder();
        if (folder.empty()) GTEST_SKIP() << "the benchmark scenes are not beside the repository";
        file = folder / (c.name + ".gmk");
    } else {
        file = fs::path(GMK_SOURCE_DIR) / "examples" / (c.name + ".gmk");
    }
    ASSERT_TRUE(fs::exists(file)) << file;

    CapturedScene scene;
    ASSERT_TRUE(scene.load(read_file(file), file.parent_path().string())) << scene.error();
    // The document's own antialiasing and depth stand; only the size shrinks.
    const std::vector<uint32_t> reference =
        scene.trace(c.width, c.height, kPlain.threads, kPlain.accelerate);
    const long long reference_rays = scene.job().rays_traced.load();
    ASSERT_EQ(reference.size(), static_cast<size_t>((c.width + 2) * (c.height + 2)));
    // A picture of one colour would prove little.
    EXPECT_NE(std::count(reference.begin(), reference.end(), reference[0]),
              static_cast<long>(reference.size()));

    for (const Mode& m : kModes) {
        const std::vector<uint32_t> picture =
            scene.trace(c.width, c.height, m.threads, m.accelerate);
        ASSERT_EQ(picture.size(), reference.size()) << m.name;
        size_t differing = 0, first = reference.size();
        for (size_t i = 0; i < picture.size(); ++i) {
            if (picture[i] == reference[i]) continue;
            ++differing;
            first = std::min(first, i);
        }
        EXPECT_EQ(differing, 0u) << m.name << ": first at column "
                                 << first % static_cast<size_t>(c.width + 2) << ", row "
                                 << first / static_cast<size_t>(c.width + 2);
        // The same pixels were supersampled.
        EXPECT_EQ(scene.job().rays_traced.load(), reference_rays) << m.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, FrameEquality, ::testing::ValuesIn(all_cases()),
                         [](const auto& info) {
                             return (info.param.bench ? "bench_" : "example_") + info.param.name;
                         });

}  // namespace
