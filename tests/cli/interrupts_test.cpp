// What the commands' interrupt handlers do with a temporary that has a name
// (on file systems without nameless files, and in the moment before the last
// rename): each case runs in a child process that holds such a file and is
// sent the signal.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "cli/interrupts.h"
#include "cli_process_support.h"
#include "record/output_file.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A one-byte message from the child; false when it ended first.
bool read_byte(int fd, char& c) { return ::read(fd, &c, 1) == 1; }

int wait_status(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// Makes the temporary that is to replace `target` with a name on disk, as a
// file system without nameless files gives it, or as a nameless one has just
// before its rename.
bool make_named_temporary(OutputFile& f, const std::string& target, bool nameless_first) {
    OutputFile::nameless_temporaries.store(nameless_first);
    return f.create_temporary_for(target) && f.append("new bytes", 9) && f.name_temporary();
}

struct Case {
    const char* name;
    int signal;
    bool nameless_first;
};

class InterruptEndsProgramTest : public ::testing::TestWithParam<Case> {};

TEST_P(InterruptEndsProgramTest, RemovesTheTemporaryAndEndsWith128PlusTheSignal) {
    const Case& c = GetParam();
    TempFolder dir(std::string("ends_") + c.name);
    const std::string target = dir.file("pic.ppm");
    write_text(target, "old picture");
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        InterruptEndsProgram interrupt;
        OutputFile f;
        if (!make_named_temporary(f, target, c.nameless_first)) ::_exit(3);
        (void)!::write(pipe_fds[1], "r", 1);
        for (int i = 0; i < 10000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::_exit(4);
    }
    ::close(pipe_fds[1]);
    char c0 = 0;
    ASSERT_TRUE(read_byte(pipe_fds[0], c0)) << "status " << wait_status(pid);
    // The temporary is there to be removed.
    EXPECT_EQ(names_in(dir.path()).size(), 2u);
    ::kill(pid, c.signal);
    EXPECT_EQ(wait_status(pid), 128 + c.signal);
    ::close(pipe_fds[0]);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"pic.ppm"});
    EXPECT_EQ(slurp(target), "old picture");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptEndsProgramTest,
                         ::testing::Values(Case{"sigint", SIGINT, false},
                                           Case{"sigterm", SIGTERM, false},
                                           Case{"sighup", SIGHUP, false},
                                           Case{"sigterm_after_naming", SIGTERM, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class InterruptStopsRunTest : public ::testing::TestWithParam<Case> {};

TEST_P(InterruptStopsRunTest, FirstStopsTheRunSecondRemovesTheTemporaryAndEnds) {
    const Case& c = GetParam();
    TempFolder dir(std::string("stops_") + c.name);
    const std::string target = dir.file("anim.avi");
    write_text(target, "old recording");
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        std::atomic<bool> stop{false};
        InterruptStopsRun interrupt(stop);
        OutputFile f;
        if (!make_named_temporary(f, target, c.nameless_first)) ::_exit(3);
        (void)!::write(pipe_fds[1], "r", 1);
        int i = 0;
        for (; i < 10000 && !stop.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!stop.load() || !InterruptStopsRun::interrupted()) ::_exit(5);
        (void)!::write(pipe_fds[1], "s", 1);
        for (i = 0; i < 10000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ::_exit(4);
    }
    ::close(pipe_fds[1]);
    char ch = 0;
    ASSERT_TRUE(read_byte(pipe_fds[0], ch)) << "status " << wait_status(pid);
    ::kill(pid, c.signal);
    ASSERT_TRUE(read_byte(pipe_fds[0], ch)) << "status " << wait_status(pid);
    EXPECT_EQ(ch, 's');
    // The first interrupt only stops: the run goes on to save its file.
    EXPECT_EQ(names_in(dir.path()).size(), 2u);
    ::kill(pid, c.signal);
    EXPECT_EQ(wait_status(pid), 128 + c.signal);
    ::close(pipe_fds[0]);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"anim.avi"});
    EXPECT_EQ(slurp(target), "old recording");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptStopsRunTest,
                         ::testing::Values(Case{"sigint", SIGINT, false},
                                           Case{"sigterm", SIGTERM, false},
                                           Case{"sighup", SIGHUP, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
