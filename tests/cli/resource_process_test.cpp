#include <gtest/gtest.h>

#include <algorithm>

#include "cli_process_support.h"

// The program under a memory limit or writing to a full device: it must say
// what went wrong and exit with a status that says so, never abort.

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Runs a shell command line in `folder`, with glimmark standing for the program.
ProcessResult run_line(const std::string& line, const TempFolder& folder) {
    const std::string binary = std::string(GMK_BINARY_DIR) + "/glimmark";
    const std::string err = folder.file(".stderr");
    std::string body = line;
    for (size_t at = 0; (at = body.find("glimmark ", at)) != std::string::npos;) {
        body.replace(at, 8, shell_quote(binary));
        at += shell_quote(binary).size();
    }
    const std::string command =
        "( cd " + shell_quote(folder.path()) + " && " + body + " ) 2>" + shell_quote(err);
    ProcessResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = slurp(err);
    return r;
}

// Three million spheres: more than 400 MB of address space holds.
const char* const kHugeScene =
    "TRACER WIDTH 8 HEIGHT 8 END_TRACER\n"
    "SCENE\n"
    "LOOP j LT j 1024\n"
    "LOOP i LT i 1024\n"
    "SPHERE END_SPHERE SPHERE END_SPHERE SPHERE END_SPHERE\n"
    "END_LOOP\n"
    "END_LOOP\n"
    "END_SCENE\n";

TEST(OutOfMemory, AParseThatRunsOutIsASceneErrorWithItsPlace) {
    if (kSanitized)
        GTEST_SKIP() << "a sanitizer's shadow memory does not fit under an address space limit";
    TempFolder dir("out_of_memory");
    write_text(dir.file("huge.gmk"), kHugeScene);
    const ProcessResult r =
        run_line("prlimit --as=409600000 glimmark render huge.gmk -q -o huge.ppm", dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Parse Error: Out of memory. The scene needs more than this machine "
                         "has. at char "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("huge.gmk:5:"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("huge.ppm")));
}

TEST(FullDevice, OutputThatCannotBeWrittenFailsTheCommand) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempFolder dir("full_device");
    write_text(dir.file("s.gmk"), "TRACER WIDTH 4 HEIGHT 4 END_TRACER\n");
    struct Case {
        const char* line;
        int status;
    };
    const Case cases[] = {
        {"glimmark check s.gmk", 0},
        {"glimmark check s.gmk >/dev/full", 2},
        {"glimmark render s.gmk -q -o s.png >/dev/full", 2},
        {"glimmark --help >/dev/full", 2},
        {"glimmark --version >/dev/full", 2},
    };
    for (const Case& c : cases) {
        const ProcessResult r =
            run_line(std::string(c.line) + (c.status == 0 ? " >/dev/null" : ""), dir);
        EXPECT_EQ(r.status, c.status) << c.line << "\n" << r.err;
        const bool said = r.err.find("could not write to standard output") != std::string::npos;
        EXPECT_EQ(said, c.status != 0) << c.line << "\n" << r.err;
    }
    // The picture itself was written: only the list of names was lost.
    EXPECT_TRUE(std::filesystem::exists(dir.file("s.png")));
}

// Under a file size limit the write that crosses it fails: the command says
// which file and why, and what was there before stays.
TEST(FileSizeLimit, APictureCutShortIsNotSavedAndARecordingKeepsItsFrames) {
    TempFolder dir("file_size_limit");
    const std::string tracer = "TRACER WIDTH 512 HEIGHT 512 END_TRACER\n";
    write_text(dir.file("still.gmk"), tracer + "SCENE SPHERE END_SPHERE END_SCENE\n");
    write_text(dir.file("moving.gmk"), "ANIMATION FRAMES 3 END_ANIMATION\n" + tracer +
                                           "SCENE SPHERE END_SPHERE END_SCENE\n");
    // A picture's header, so that the command may replace it.
    write_text(dir.file("old.ppm"), "P6 the earlier picture");

    // 786,447 bytes of PPM against 100 kB.
    ProcessResult r =
        run_line("prlimit --fsize=100000 glimmark render still.gmk -q -o old.ppm", dir);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, "Glimmark Error: Could not write image 'old.ppm': File too large\n");
    EXPECT_EQ(slurp(dir.file("old.ppm")), "P6 the earlier picture");

    // Two uncompressed frames of 786,432 bytes fit in 2 MB, the third does not.
    r = run_line("prlimit --fsize=2000000 glimmark record moving.gmk -o cut.avi --codec raw", dir);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Could not write frame 2 to cut.avi: File too large. The file was "
                         "closed with 2 frames."),
              std::string::npos)
        << r.err;
    const std::string avi = slurp(dir.file("cut.avi"));
    ASSERT_GT(avi.size(), 2u * 786432u);
    EXPECT_EQ(avi.compare(0, 4, "RIFF"), 0);
    EXPECT_NE(avi.find("idx1"), std::string::npos);

    // Nothing else is left in the folder: no temporary under any name.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string()[0] != '.' || entry.path().filename() == ".stderr")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".stderr", "cut.avi", "moving.gmk", "old.ppm",
                                               "still.gmk"}));
}

}  // namespace

namespace {

// Without -j the command traces on the cores it may run on: one under
// taskset, as under a batch system's allocation of one core.
TEST(DefaultThreads, FollowTheCpuAffinity) {
    if (std::system("taskset -c 0 true >/dev/null 2>&1") != 0) GTEST_SKIP() << "no taskset";
    TempFolder dir("default_threads");
    write_text(dir.file("s.gmk"), "TRACER WIDTH 4 HEIGHT 4 END_TRACER SCENE END_SCENE\n");
    const ProcessResult one =
        run_line("taskset -c 0 glimmark render s.gmk -o s.ppm --progress - >/dev/null", dir);
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.err.find("\nthreads=1\n"), std::string::npos) << one.err;
    const ProcessResult two =
        run_line("taskset -c 0 glimmark render s.gmk -o s.ppm -j2 --progress - >/dev/null", dir);
    EXPECT_NE(two.err.find("\nthreads=2\n"), std::string::npos) << two.err;
}

}  // namespace
