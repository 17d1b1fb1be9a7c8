// glimmark render and record killed (SIGKILL) or interrupted (SIGTERM,
// SIGINT, SIGHUP) at seeded random moments of a run: the files written before
// stay byte for byte, nothing else appears beside them, and whatever takes a
// final name is complete.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "cli_process_support.h"
#include "record/video_formats.h"
#include "tests/record/riff_reader.h"
#include "tests/support/ffmpeg_tools.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Slow enough to be killed in the middle: three frames of render, eight of
// record, each a few tens of milliseconds in a release build.
std::string scene_text(int width, int height, int frames) {
    return "TRACER WIDTH " + std::to_string(width) + " HEIGHT " + std::to_string(height) +
           " ANTIALIASING 8 MAX_DEPTH 4 END_TRACER\n"
           "ANIMATION START_TIME 0 END_TIME 1 FRAMES " +
           std::to_string(frames) +
           " FRAMES_PER_SECOND 4 END_ANIMATION\n"
           "SCENE BACKGROUND_COLOR 0.2 0.3 0.4\n"
           "  CAMERA TRANSLATE 0 1 -6 END_CAMERA\n"
           "  LIGHT TRANSLATE -3 4 -3 STRENGTH 20 END_LIGHT\n"
           "  MATERIAL DIFFUSE 0.9 0.3 0.2 REFLECTION 0.4 END_MATERIAL\n"
           "  SPHERE TRANSLATE TIME 0 0 END_SPHERE\n"
           "  SPHERE TRANSLATE -2 0 1 END_SPHERE\n"
           "  CUBE TRANSLATE 2 0 1 ROTATE 0 0.5 0 END_CUBE\n"
           "END_SCENE\n";
}

// How a child process ended.
struct Ending {
    bool exited = false;
    int code = -1;   // when exited
    int signal = 0;  // when killed by a signal
    bool hung = false;
};

// Starts `glimmark ARGS` in `folder` with its output in log files there.
pid_t spawn_glimmark(const std::vector<std::string>& args, const std::string& folder) {
    const std::string binary = std::string(GMK_BINARY_DIR) + "/glimmark";
    std::vector<std::string> words = {binary};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string out = folder + "/run.out", err = folder + "/run.err";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Only async-signal-safe calls from here to exec.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        signal(s, SIG_DFL);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || o < 0 || e < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// Waits for the child; one that takes far longer than a run is killed and
// reported as hung, so that a deadlock fails the test instead of stalling it.
Ending wait_for(pid_t pid, std::chrono::milliseconds limit) {
    Ending e;
    const auto deadline = Clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (Clock::now() > deadline) {
            e.hung = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) {
        e.exited = true;
        e.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        e.signal = WTERMSIG(status);
    }
    return e;
}

std::string describe(const Ending& e) {
    if (e.hung) return "hung";
    if (e.exited) return "exit " + std::to_string(e.code);
    return "signal " + std::to_string(e.signal);
}

// The names and bytes of every entry of a folder.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::directory_iterator(folder))
        out[entry.path().filename().string()] = slurp(entry.path().string());
    return out;
}

std::string names_of(const std::map<std::string, std::string>& c) {
    std::string s;
    for (const auto& [name, bytes] : c)
        s += " '" + name + "' (" + std::to_string(bytes.size()) + " bytes)";
    return s.empty() ? " nothing" : s;
}

// One run of a command killed after `delay`.
Ending kill_after(const std::vector<std::string>& args, const std::string& folder, int signal,
                  std::chrono::microseconds delay, std::chrono::milliseconds limit) {
    const pid_t pid = spawn_glimmark(args, folder);
    if (pid < 0) return {};
    std::this_thread::sleep_for(delay);
    // Still a zombie if it has ended: its id cannot have been given away.
    ::kill(pid, signal);
    return wait_for(pid, limit);
}

const char* signal_name(int s) {
    switch (s) {
        case SIGKILL:
            return "SIGKILL";
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
    }
    return "?";
}

struct Plan {
    int signal;
    int runs;
    bool earlier_files;  // whether the output files exist before the run
};

// A command's whole run, as the yardstick for the moments to kill it at and
// for what a complete run writes.
struct Reference {
    std::chrono::microseconds duration{};
    std::map<std::string, std::string> files;
};

Reference reference_run(const std::vector<std::string>& args, const TempFolder& dir) {
    Reference r;
    fs::create_directories(dir.file("out"));
    const auto start = Clock::now();
    const Ending e = wait_for(spawn_glimmark(args, dir.path()), std::chrono::minutes(5));
    r.duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    EXPECT_TRUE(e.exited && e.code == 0) << describe(e) << ": " << slurp(dir.file("run.err"));
    r.files = contents(dir.file("out"));
    fs::remove_all(dir.file("out"));
    return r;
}

// Fewer runs when the build is slow (a sanitizer's), so that the whole stays
// within about a minute.
int runs_for(const Plan& p, std::chrono::microseconds duration) {
    const double seconds = std::chrono::duration<double>(duration).count();
    const double scale = std::min(1.0, 0.6 / std::max(seconds, 1e-3));
    return std::max(2, static_cast<int>(p.runs * scale));
}

void set_files(const std::string& folder, const std::map<std::string, std::string>& files) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : files)
        write_text(folder + "/" + name, bytes);
}

// ---- render ----

TEST(InterruptedRender, AtRandomMomentsLeavesEveryPictureOldOrComplete) {
    TempFolder dir("killed_render");
    write_text(dir.file("scene.gmk"), scene_text(640, 480, 3));
    const std::vector<std::string> args = {"render", "scene.gmk",  "-o",          "out/pic.ppm",
                                           "-q",     "--progress", "progress.log"};
    const Reference ref = reference_run(args, dir);
    const std::vector<std::string> names = {"pic_0000.ppm", "pic_0001.ppm", "pic_0002.ppm"};
    ASSERT_EQ(ref.files.size(), names.size()) << names_of(ref.files);
    std::map<std::string, std::string> old;
    for (const std::string& n : names) {
        ASSERT_EQ(ref.files.count(n), 1u) << n;
        // Pictures by their header: the command replaces nothing else.
        old[n] = "P6 earlier picture " + n + "\n";
    }

    std::mt19937 random(20240611);
    const std::vector<Plan> plans = {{SIGKILL, 10, true}, {SIGTERM, 4, true},  {SIGINT, 4, true},
                                     {SIGHUP, 2, true},   {SIGKILL, 3, false}, {SIGINT, 2, false}};
    std::uniform_int_distribution<long long> moment(0, ref.duration.count() * 6 / 5);
    int interrupted = 0, untouched_frames = 0;
    for (const Plan& plan : plans) {
        for (int run = 0, runs = runs_for(plan, ref.duration); run < runs; ++run) {
            const std::chrono::microseconds delay(moment(random));
            set_files(dir.file("out"),
                      plan.earlier_files ? old : std::map<std::string, std::string>{});
            fs::remove(dir.file("progress.log"));
            const Ending e =
                kill_after(args, dir.path(), plan.signal, delay, std::chrono::minutes(2));
            const std::string what = std::string(signal_name(plan.signal)) + " after " +
                                     std::to_string(delay.count()) + " us, " + describe(e) +
                                     (plan.earlier_files ? "" : ", no earlier files");
            ASSERT_FALSE(e.hung) << what;
            const bool finished = e.exited && e.code == 0;
            if (plan.signal == SIGKILL)
                EXPECT_TRUE(finished || e.signal == SIGKILL) << what;
            else
                // Before its handlers are set the program ends by the signal itself.
                EXPECT_TRUE(finished || e.signal == plan.signal ||
                            (e.exited && e.code == 128 + plan.signal))
                    << what << ": " << slurp(dir.file("run.err"));
            if (!finished) ++interrupted;
            // The progress log ends with a last record whenever the program
            // saw the end coming (not when the signal came before its handler).
            const std::string log = slurp(dir.file("progress.log"));
            const std::string end =
                finished ? "status=done\nprogress=end\n" : "status=interrupted\nprogress=end\n";
            if (finished || (e.exited && e.code == 128 + plan.signal)) {
                EXPECT_TRUE(log.size() >= end.size() &&
                            log.compare(log.size() - end.size(), end.size(), end) == 0)
                    << what << ": " << log;
            }

            const std::map<std::string, std::string> now = contents(dir.file("out"));
            bool earlier_frame_complete = true;
            for (const std::string& n : names) {
                const auto it = now.find(n);
                const bool complete = it != now.end() && it->second == ref.files.at(n);
                const bool as_before = plan.earlier_files
                                           ? it != now.end() && it->second == old.at(n)
                                           : it == now.end();
                EXPECT_TRUE(complete || as_before) << what << ": " << n << " is neither";
                // Frames are saved in order: none after one that was not.
                if (complete) {
                    EXPECT_TRUE(earlier_frame_complete) << what << ": " << n;
                }
                if (finished) {
                    EXPECT_TRUE(complete) << what << ": " << n;
                }
                if (!complete) {
                    earlier_frame_complete = false;
                    ++untouched_frames;
                }
            }
            for (const auto& [name, bytes] : now)
                EXPECT_NE(std::find(names.begin(), names.end(), name), names.end())
                    << what << ": a new entry '" << name << "' (" << bytes.size() << " bytes)";
        }
    }
    // The moments reached into the runs, not only past their ends.
    EXPECT_GT(interrupted, 0);
    EXPECT_GT(untouched_frames, 0);
}

// ---- record ----

struct Recording {
    size_t frames = 0;
    std::vector<std::string> frame_bytes;
    std::string problem;
};

Recording read_recording(const std::string& bytes, const std::string& scratch) {
    write_text(scratch, bytes);
    const RiffFile f(scratch);
    Recording r;
    r.problem = f.problem;
    if (!f.problem.empty() || f.parts.empty()) {
        if (r.problem.empty()) r.problem = "no RIFF part";
        return r;
    }
    const RiffChunk* movi = f.parts[0].child("LIST", "movi");
    const RiffChunk* hdrl = f.parts[0].child("LIST", "hdrl");
    if (movi == nullptr || hdrl == nullptr || hdrl->child("avih") == nullptr) {
        r.problem = "no movi list or main header";
        return r;
    }
    for (const RiffChunk* c : movi->all("00dc"))
        r.frame_bytes.emplace_back(
            f.bytes.begin() + static_cast<std::ptrdiff_t>(c->data),
            f.bytes.begin() + static_cast<std::ptrdiff_t>(c->data + c->size));
    r.frames = r.frame_bytes.size();
    // The main header's frame count agrees with the chunks: the file was
    // finished, not cut off.
    if (f.u32(hdrl->child("avih")->data + 16) != r.frames) r.problem = "frame count differs";
    if (f.parts[0].child("idx1") == nullptr) r.problem = "no index";
    return r;
}

class InterruptedRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        write_text(dir.file("scene.gmk"), scene_text(320, 240, kFrames));
        write_text(dir.file("tiny.gmk"),
                   "TRACER WIDTH 8 HEIGHT 6 END_TRACER SCENE BACKGROUND_COLOR 1 1 0 END_SCENE\n");
        // The earlier recording: an AVI file, the only kind a recording may replace.
        const Reference tiny = reference_run(
            {"record", "tiny.gmk", "-o", "out/anim.avi", "--codec", "raw", "-q"}, dir);
        ASSERT_EQ(tiny.files.count("anim.avi"), 1u) << names_of(tiny.files);
        old = tiny.files;
        ref = reference_run(args, dir);
        ASSERT_EQ(ref.files.size(), 1u) << names_of(ref.files);
        ASSERT_EQ(ref.files.count("anim.avi"), 1u);
        whole = read_recording(ref.files.at("anim.avi"), dir.file("scratch.avi"));
        ASSERT_EQ(whole.problem, "");
        ASSERT_EQ(whole.frames, static_cast<size_t>(kFrames));
        ASSERT_NE(old.at("anim.avi"), ref.files.at("anim.avi"));
    }

    static constexpr int kFrames = 8;
    TempFolder dir{"killed_record"};
    const std::vector<std::string> args = {"record",  "scene.gmk", "-o", "out/anim.avi",
                                           "--codec", "raw",       "-q"};
    std::map<std::string, std::string> old;
    Reference ref;
    Recording whole;
};

TEST_F(InterruptedRecord, KilledAtRandomMomentsLeavesTheEarlierRecordingAndNothingElse) {
    std::mt19937 random(77031);
    std::uniform_int_distribution<long long> moment(0, ref.duration.count() * 6 / 5);
    int untouched = 0;
    for (const Plan& plan : {Plan{SIGKILL, 10, true}, Plan{SIGKILL, 3, false}}) {
        for (int run = 0, runs = runs_for(plan, ref.duration); run < runs; ++run) {
            const std::chrono::microseconds delay(moment(random));
            set_files(dir.file("out"),
                      plan.earlier_files ? old : std::map<std::string, std::string>{});
            const Ending e = kill_after(args, dir.path(), SIGKILL, delay, std::chrono::minutes(2));
            const std::string what = "SIGKILL after " + std::to_string(delay.count()) + " us, " +
                                     describe(e) + (plan.earlier_files ? "" : ", no earlier file");
            ASSERT_FALSE(e.hung) << what;
            const bool finished = e.exited && e.code == 0;
            EXPECT_TRUE(finished || e.signal == SIGKILL) << what;
            const std::map<std::string, std::string> now = contents(dir.file("out"));
            // A kill that comes after the recording took its name, while the
            // program ends, finds the new file complete.
            const bool as_before = plan.earlier_files ? now == old : now.empty();
            if (finished)
                EXPECT_TRUE(now == ref.files) << what << ":" << names_of(now);
            else
                EXPECT_TRUE(as_before || now == ref.files) << what << ":" << names_of(now);
            if (as_before) ++untouched;
        }
    }
    // The moments reached into the runs, not only past their ends.
    EXPECT_GT(untouched, 0);
}

TEST_F(InterruptedRecord, InterruptedAtRandomMomentsSavesTheFramesSoFarOrNothing) {
    std::mt19937 random(5150);
    std::uniform_int_distribution<long long> moment(0, ref.duration.count() * 6 / 5);
    int stopped = 0;
    for (const Plan& plan :
         {Plan{SIGTERM, 5, true}, Plan{SIGINT, 5, true}, Plan{SIGHUP, 3, true}}) {
        for (int run = 0, runs = runs_for(plan, ref.duration); run < runs; ++run) {
            const std::chrono::microseconds delay(moment(random));
            set_files(dir.file("out"), old);
            const Ending e =
                kill_after(args, dir.path(), plan.signal, delay, std::chrono::minutes(2));
            const std::string what = std::string(signal_name(plan.signal)) + " after " +
                                     std::to_string(delay.count()) + " us, " + describe(e);
            ASSERT_FALSE(e.hung) << what;
            const std::map<std::string, std::string> now = contents(dir.file("out"));
            ASSERT_EQ(now.size(), 1u) << what << ":" << names_of(now);
            ASSERT_EQ(now.count("anim.avi"), 1u) << what << ":" << names_of(now);
            const std::string& bytes = now.at("anim.avi");
            if (e.exited && e.code == 0) {
                EXPECT_TRUE(bytes == ref.files.at("anim.avi")) << what;
            } else if (e.exited && e.code == 130) {
                // Stopped like the Stop command: the frame being traced ends
                // and is written, and the file is finished and saved.
                ++stopped;
                const Recording r = read_recording(bytes, dir.file("scratch.avi"));
                EXPECT_EQ(r.problem, "") << what;
                EXPECT_GE(r.frames, 1u) << what;
                EXPECT_LE(r.frames, static_cast<size_t>(kFrames)) << what;
                for (size_t i = 0; i + 1 < r.frames; ++i)
                    EXPECT_TRUE(r.frame_bytes[i] == whole.frame_bytes[i])
                        << what << ": frame " << i;
                if (r.frames > 0) {
                    EXPECT_EQ(r.frame_bytes.back().size(), whole.frame_bytes[0].size()) << what;
                }
            } else {
                // Ended by the signal itself, before the handlers were set
                // or after they were taken down at the end of the run.
                EXPECT_EQ(e.signal, plan.signal) << what << ": " << slurp(dir.file("run.err"));
                EXPECT_TRUE(bytes == old.at("anim.avi") || bytes == ref.files.at("anim.avi"))
                    << what;
            }
        }
    }
    EXPECT_GT(stopped, 0);
}

// ---- the formats of FFmpeg's libraries ----

// The processor time a process has used so far, in clock ticks; -1 once it
// has ended.
long cpu_ticks(pid_t pid) {
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    if (paren == std::string::npos) return -1;
    std::istringstream fields(stat.substr(paren + 2));
    std::string word;
    long utime = 0, stime = 0;
    // state is field 3; utime and stime are fields 14 and 15.
    for (int field = 3; field <= 15 && fields >> word; ++field) {
        if (field == 3 && word == "Z") return -1;
        if (field == 14) utime = std::atol(word.c_str());
        if (field == 15) stime = std::atol(word.c_str());
    }
    return utime + stime;
}

// Processor time of the children waited for so far, in seconds.
double children_seconds() {
    struct rusage use {};
    ::getrusage(RUSAGE_CHILDREN, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// SIGINT in the second frame of a recording: the frame being traced ends and
// is written, and the container is finished, so the file plays with two
// frames. The first frame shows only the background (a fraction of a second
// of processor time); the second a cluster of mirror balls at high
// antialiasing (a few seconds). The signal goes by the processor time the
// program has used, which a busy machine does not stretch as it does the
// clock's.
class InterruptedVideo : public ::testing::TestWithParam<const char*> {};

TEST_P(InterruptedVideo, SigintInTheSecondFrameLeavesAVideoOfTwoFrames) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir("interrupted_video");
    write_text(dir.file("scene.gmk"),
               "TRACER WIDTH 1600 HEIGHT 1200 ANTIALIASING 16 MAX_DEPTH 8 END_TRACER\n"
               "ANIMATION START_TIME 0 END_TIME 4 FRAMES 4 FRAMES_PER_SECOND 4 END_ANIMATION\n"
               "SCENE BACKGROUND_COLOR 0.2 0.3 0.4\n"
               "  CAMERA TRANSLATE 0 0 -4 END_CAMERA\n"
               "  LIGHT TRANSLATE -3 4 -3 STRENGTH 20 END_LIGHT\n"
               "  MATERIAL DIFFUSE 0.5 0.3 0.2 REFLECTION 0.7 END_MATERIAL\n"
               "  FRAME TRANSLATE MUL 40 ADD 1 MUL -1 TIME, 0, 0\n"
               "    SPHERE TRANSLATE -1 0 0 END_SPHERE SPHERE TRANSLATE 1 0 0 END_SPHERE\n"
               "    SPHERE TRANSLATE 0 1 0 END_SPHERE SPHERE TRANSLATE 0 -1 0 END_SPHERE\n"
               "    SPHERE TRANSLATE 0 0 1 END_SPHERE\n"
               "  END_FRAME\n"
               "END_SCENE\n");
    const std::string file = std::string("anim") + GetParam();
    // What the first frame costs with this format's encoder, then the
    // signal when the program has used that and half a second more.
    const long tick = ::sysconf(_SC_CLK_TCK);
    const double before = children_seconds();
    const Ending first = wait_for(
        spawn_glimmark({"record", "scene.gmk", "-o", "first" + file, "--frames", "0", "-q"},
                       dir.path()),
        std::chrono::minutes(2));
    ASSERT_TRUE(first.exited && first.code == 0) << describe(first);
    const long second_frame = static_cast<long>((children_seconds() - before + 0.5) * tick);
    fs::remove(dir.file("first" + file));

    const pid_t pid =
        spawn_glimmark({"record", "scene.gmk", "-o", file, "-q", "--progress", "-"}, dir.path());
    ASSERT_GT(pid, 0);
    const auto give_up = Clock::now() + std::chrono::minutes(1);
    for (long used = 0; used >= 0 && used < second_frame && Clock::now() < give_up;
         used = cpu_ticks(pid))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(pid, SIGINT);
    const Ending e = wait_for(pid, std::chrono::minutes(2));
    const std::string err = slurp(dir.file("run.err"));
    ASSERT_TRUE(e.exited) << describe(e) << ": " << err;
    EXPECT_EQ(e.code, 130) << err;
    EXPECT_NE(err.find("interrupted after 2 frames"), std::string::npos) << err;
    // The progress log's last record counts the two frames.
    const size_t last = err.rfind("frame=");
    ASSERT_NE(last, std::string::npos) << err;
    const std::string counts = "frame=2\nframes_total=4\n";
    const std::string end = "status=interrupted\nprogress=end\n";
    EXPECT_EQ(err.substr(last, counts.size()), counts) << err;
    ASSERT_GT(err.size(), end.size());
    EXPECT_EQ(err.substr(err.size() - end.size()), end) << err;
    EXPECT_EQ(slurp(dir.file("run.out")), file + "\n");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"scene.gmk", "run.out", "run.err", file}));
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe_video(dir.file(file));
    EXPECT_NE(info.find("nb_read_frames=2\n"), std::string::npos) << info;
    EXPECT_NE(info.find("width=1600\nheight=1200"), std::string::npos) << info;
}

INSTANTIATE_TEST_SUITE_P(Formats, InterruptedVideo,
                         ::testing::Values(".mp4", ".mkv", ".webm", ".gif"),
                         [](const auto& info) { return std::string(info.param + 1); });

}  // namespace
