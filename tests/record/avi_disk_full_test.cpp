// A recording whose file stops growing midway: the frames already written
// stay, with valid indexes, and the user learns where and why. Each case runs
// the writer in a child process, so that the file-size limit or the small
// file system it needs stays out of the test program.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "record/avi_writer.h"
#include "record/output_file.h"
#include "record_test_support.h"
#include "riff_reader.h"

namespace {

constexpr int kSkip = 77;

int run_in_child(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Records up to `frames` raw 16 x 16 pictures into path and keeps the
// messages, one a line, in messages_path; 4 when one is not of the kind of
// a file that cannot grow.
int record_until_refused(const std::string& path, const std::string& messages_path, int frames) {
    AviWriter avi;
    avi.codec = AviCodec::Raw;
    if (!avi.open(path, 16, 16, 4, "IV50")) return 2;
    Surface s(16, 16);
    int first_refused = -1;
    for (int i = 0; i < frames; ++i) {
        paint(s, i);
        if (!avi.write_frame(s) && first_refused < 0) first_refused = i;
    }
    avi.close();
    std::ofstream out(messages_path);
    bool full = true;
    for (const RecordingError& m : avi.take_errors()) {
        out << m.caption << "|" << m.text << "\n";
        full = full && m.kind == RecordingErrorKind::FileFull;
    }
    out << "frames_written|" << avi.frames_written << "\n";
    out << "first_refused|" << first_refused << "\n";
    return full ? 0 : 4;
}

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The file parses, and its index, its headers and its chunks agree.
void expect_consistent(const std::string& path, size_t frames) {
    const RiffFile f(path);
    ASSERT_EQ(f.problem, "");
    ASSERT_EQ(f.parts.size(), 1u);
    const RiffChunk& riff = f.parts[0];
    EXPECT_EQ(riff.size + 8u, f.bytes.size());
    const auto chunks = riff.child("LIST", "movi")->all("00dc");
    EXPECT_EQ(chunks.size(), frames);
    const RiffChunk* idx1 = riff.child("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->size, 16u * frames);
    const RiffChunk* hdrl = riff.child("LIST", "hdrl");
    EXPECT_EQ(f.u32(hdrl->child("avih")->data + 16), frames);
    EXPECT_EQ(f.u32(hdrl->child("LIST", "strl")->child("strh")->data + 32), frames);
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i]->size, 768u);
        EXPECT_EQ(f.u32(idx1->data + 16 * i + 12), 768u);
    }
}

// The message of the refused frame, and the count it gives.
void expect_reported(const std::vector<std::string>& lines, const std::string& path,
                     const std::string& reason, size_t& frames) {
    ASSERT_GE(lines.size(), 3u);
    ASSERT_EQ(lines.size(), 3u) << "one message: " << lines[0];
    const std::string& m = lines[0];
    EXPECT_EQ(m.rfind("AVI Error|Could not write frame ", 0), 0u) << m;
    EXPECT_NE(m.find(" to " + path + ": " + reason + "."), std::string::npos) << m;
    const std::string refused = lines[2].substr(lines[2].find('|') + 1);
    EXPECT_EQ(m.rfind("AVI Error|Could not write frame " + refused + " to ", 0), 0u) << m;
    frames = std::stoul(lines[1].substr(lines[1].find('|') + 1));
    EXPECT_LE(frames, std::stoul(refused));
    EXPECT_NE(m.find(std::to_string(frames) + " frame"), std::string::npos) << m;
}

TEST(AviDiskFull, AFileSizeLimitMidwayKeepsTheFramesWrittenWithTheirIndex) {
    TempFolder dir;
    const std::string path = dir.file("limited.avi");
    const std::string log = dir.file("messages.txt");
    const int rc = run_in_child([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 30000;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kSkip;
        return record_until_refused(path, log, 100);
    });
    if (rc == kSkip) GTEST_SKIP() << "no file size limit";
    ASSERT_EQ(rc, 0);
    size_t frames = 0;
    expect_reported(lines_of(log), path, "File too large", frames);
    EXPECT_GT(frames, 20u);
    EXPECT_LT(frames, 40u);
    expect_consistent(path, frames);
    EXPECT_LE(std::filesystem::file_size(path), 30000u);
    EXPECT_EQ(dir.names().size(), 2u) << "no temporary file is left";
}

// A real full disk: a 64 KB file system in a mount namespace of the child.
bool mount_small_file_system(const std::string& where) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
        const auto put = [](const char* file, const std::string& text) {
            const int fd = ::open(file, O_WRONLY);
            if (fd < 0) return;
            (void)!::write(fd, text.data(), text.size());
            ::close(fd);
        };
        put("/proc/self/setgroups", "deny");
        put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
        put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return false;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return ::mount("none", where.c_str(), "tmpfs", 0, "size=64k") == 0;
}

TEST(AviDiskFull, AFullFileSystemMidwayKeepsTheFramesWrittenWithTheirIndex) {
    TempFolder dir;
    const std::string small = dir.file("small");
    std::filesystem::create_directory(small);
    const std::string path = small + "/full.avi";
    const std::string kept = dir.file("kept.avi");
    const std::string log = dir.file("messages.txt");
    const int rc = run_in_child([&] {
        if (!mount_small_file_system(small)) return kSkip;
        const int result = record_until_refused(path, log, 200);
        std::error_code ec;
        std::filesystem::copy_file(path, kept, ec);
        std::ofstream(log, std::ios::app)
            << "left|" << std::distance(std::filesystem::directory_iterator(small), {}) << "\n";
        return ec ? 3 : result;
    });
    if (rc == kSkip) GTEST_SKIP() << "cannot mount a small file system here";
    ASSERT_EQ(rc, 0);
    std::vector<std::string> lines = lines_of(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "left|1") << "only the recording is in the full file system";
    lines.pop_back();
    size_t frames = 0;
    expect_reported(lines, path, "No space left on device", frames);
    EXPECT_GT(frames, 40u);
    EXPECT_LT(frames, 80u);
    expect_consistent(kept, frames);
}

TEST(OutputFile, ReportsWhyADeviceRefusesTheBytes) {
    OutputFile f;
    if (!f.open_existing("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const char bytes[16] = {};
    EXPECT_FALSE(f.append(bytes, sizeof bytes));
    EXPECT_EQ(f.error_text(), "No space left on device");
    EXPECT_EQ(f.end(), 0u) << "nothing counts as written";
}

TEST(OutputFile, CreateNewNeverOpensAnExistingFile) {
    TempFolder dir;
    const std::string path = dir.file("x");
    std::ofstream(path) << "keep";
    OutputFile f;
    EXPECT_FALSE(f.create_new(path));
    EXPECT_EQ(f.error_text(), "File exists");
    std::ifstream in(path);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
}

}  // namespace
