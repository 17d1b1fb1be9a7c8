// glimmark record through real processes: the file it writes, what it says,
// and how it refuses. ffprobe checks are skipped when ffmpeg is missing (and
// fail then where CI is set).

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "cli_process_support.h"
#include "record/video_formats.h"
#include "tests/record/riff_reader.h"
#include "tests/support/ffmpeg_tools.h"

namespace {

namespace fs = std::filesystem;

std::string animation(const std::string& output_line, int frames = 8) {
    return "TRACER WIDTH 24 HEIGHT 16 END_TRACER\n"
           "ANIMATION START_TIME 0 END_TIME 1 FRAMES " +
           std::to_string(frames) + " FRAMES_PER_SECOND 4 " + output_line +
           " END_ANIMATION\n"
           "SCENE BACKGROUND_COLOR 0.2 0.3 0.4\n"
           "  CAMERA TRANSLATE 0 0 -4 END_CAMERA\n"
           "  LIGHT TRANSLATE -3 4 -3 STRENGTH 20 END_LIGHT\n"
           "  MATERIAL DIFFUSE 0.9 0.3 0.2 END_MATERIAL\n"
           "  FRAME TRANSLATE TIME 0 0 SPHERE END_SPHERE END_FRAME\n"
           "END_SCENE\n";
}

std::string probe(const std::string& path) {
    const std::string out = path + ".probe";
    const std::string cmd =
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,r_frame_rate,nb_read_frames,duration -of "
        "default=noprint_wrappers=1 " +
        shell_quote(path) + " >" + shell_quote(out) + " 2>&1";
    (void)std::system(cmd.c_str());
    return slurp(out);
}

size_t frames_in(const std::string& path) {
    const RiffFile f(path);
    if (!f.problem.empty() || f.parts.empty()) return 0;
    return f.parts[0].child("LIST", "movi")->all("00dc").size();
}

TEST(RecordCommand, RecordsTheDocumentsOutputFileInMjpeg) {
    TempFolder dir("record_mjpeg");
    write_text(dir.file("anim.gmk"), animation("OUTPUT_FILE \"anim.avi\""));
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "anim.avi\n");
    EXPECT_EQ(r.err, "");
    const RiffFile f(dir.file("anim.avi"));
    ASSERT_EQ(f.problem, "");
    const RiffChunk* strl = f.parts.at(0).child("LIST", "hdrl")->child("LIST", "strl");
    EXPECT_EQ(f.fourcc(strl->child("strf")->data + 16), "MJPG");
    EXPECT_EQ(frames_in(dir.file("anim.avi")), 8u);
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe(dir.file("anim.avi"));
    EXPECT_NE(info.find("codec_name=mjpeg"), std::string::npos) << info;
    EXPECT_NE(info.find("width=24"), std::string::npos) << info;
    EXPECT_NE(info.find("height=16"), std::string::npos) << info;
    EXPECT_NE(info.find("r_frame_rate=4/1"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=8"), std::string::npos) << info;
    EXPECT_NE(info.find("duration=2.0"), std::string::npos) << info;
}

TEST(RecordCommand, RawFramesHoldThePicturesRenderWrites) {
    TempFolder dir("record_raw");
    write_text(dir.file("anim.gmk"), animation("", 4));
    const ProcessResult rec =
        run_glimmark({"record", "anim.gmk", "-o", "raw.avi", "--codec", "raw", "-q"}, dir);
    ASSERT_EQ(rec.status, 0) << rec.err;
    const ProcessResult ren = run_glimmark({"render", "anim.gmk", "-o", "f.ppm", "-q"}, dir);
    ASSERT_EQ(ren.status, 0) << ren.err;
    const RiffFile f(dir.file("raw.avi"));
    ASSERT_EQ(f.problem, "");
    const auto frames = f.parts.at(0).child("LIST", "movi")->all("00dc");
    ASSERT_EQ(frames.size(), 4u);
    int differing = 0;
    for (int i = 0; i < 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f_%04d.ppm", i);
        const PpmImage im = read_ppm(dir.file(name));
        ASSERT_TRUE(im.ok()) << name;
        // 24 pixels of 3 bytes: rows of 72 bytes, bottom row first.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x) {
                const uint64_t at = frames[i]->data + (15 - y) * 72 + 3 * x;
                const unsigned char* p = im.at(x, y);
                if (f.bytes[at] != p[2] || f.bytes[at + 1] != p[1] || f.bytes[at + 2] != p[0])
                    ++differing;
            }
    }
    EXPECT_EQ(differing, 0);
    // The sphere moves: the frames differ from each other.
    EXPECT_NE(std::vector<uint8_t>(f.bytes.begin() + frames[0]->data,
                                   f.bytes.begin() + frames[0]->data + frames[0]->size),
              std::vector<uint8_t>(f.bytes.begin() + frames[3]->data,
                                   f.bytes.begin() + frames[3]->data + frames[3]->size));
}

TEST(RecordCommand, WithoutOutputFileItSaysSoAndTracesNothing) {
    TempFolder dir("record_none");
    write_text(dir.file("anim.gmk"), animation("", 2));
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "--progress", "-"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("nothing is traced"), std::string::npos) << r.err;
    // The progress records that a traced row would have started never came;
    // the last one says the run ended in error.
    EXPECT_TRUE(refused_with_last_record(r.err)) << r.err;
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().extension(), ".avi") << e.path();
}

TEST(RecordCommand, ARelativeOutputFileIsRelativeToTheCurrentFolder) {
    TempFolder dir("record_relative");
    fs::create_directory(dir.file("scenes"));
    write_text(dir.file("scenes/anim.gmk"), animation("OUTPUT_FILE \"here.avi\"", 2));
    const ProcessResult r = run_glimmark({"record", "scenes/anim.gmk", "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(frames_in(dir.file("here.avi")), 2u);
    EXPECT_FALSE(fs::exists(dir.file("scenes/here.avi")));
}

TEST(RecordCommand, OutputOptionOverridesOutputFile) {
    TempFolder dir("record_override");
    write_text(dir.file("anim.gmk"), animation("OUTPUT_FILE \"named.avi\"", 2));
    const ProcessResult r =
        run_glimmark({"record", "anim.gmk", "--output=chosen.avi", "--quality", "30", "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "chosen.avi\n");
    EXPECT_EQ(frames_in(dir.file("chosen.avi")), 2u);
    EXPECT_FALSE(fs::exists(dir.file("named.avi")));
}

struct BadLine {
    std::vector<std::string> args;
    const char* says;
};

class RecordCommandLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(RecordCommandLine, IsRefusedBeforeTracing) {
    TempFolder dir("record_bad_line");
    write_text(dir.file("anim.gmk"), animation("OUTPUT_FILE \"anim.avi\"", 1));
    std::vector<std::string> args = {"record"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const ProcessResult r = run_glimmark(args, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("anim.avi")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecordCommandLine,
    ::testing::Values(
        BadLine{{"anim.gmk", "--codec", "h264"}, "cannot hold --codec h264"},
        BadLine{{"anim.gmk", "--codec", "x265"}, "--codec is raw, mjpeg, h264"},
        BadLine{{"anim.gmk", "-o", "a.webm", "--codec", "h264"},
                "a .webm file cannot hold --codec h264; it holds vp9"},
        BadLine{{"anim.gmk", "-o", "a.gif", "--codec", "mjpeg"}, "it holds gif"},
        BadLine{{"anim.gmk", "-o", "a.mp4", "--crf", "52"}, "from 0 to 51, not 52"},
        BadLine{{"anim.gmk", "-o", "a.avi", "--crf", "20"}, "--crf has no meaning"},
        BadLine{{"anim.gmk", "--quality", "50", "--crf", "20"}, "give one of them"},
        BadLine{{"anim.gmk", "--preset", "quick"}, "--preset is one of ultrafast"},
        BadLine{{"anim.gmk", "--preset", "fast"}, "--preset has no meaning for mjpeg"},
        BadLine{{"anim.gmk", "-o", "a.webm", "--preset", "veryfast"},
                "--preset for vp9 is one of realtime, fast, good, best, not 'veryfast'"},
        BadLine{{"anim.gmk", "--quality", "0"}, "--quality is a whole number"},
        BadLine{{"anim.gmk", "--quality", "101"}, "--quality is a whole number"},
        BadLine{{"anim.gmk", "--quality", "9x"}, "--quality is a whole number"},
        BadLine{{}, "no SCENE given"}, BadLine{{"anim.gmk", "other.gmk"}, "only one SCENE"},
        BadLine{{"missing.gmk"}, "missing.gmk"},
        BadLine{{"anim.gmk", "--frames", "3-1"}, "--frames is A-B"},
        BadLine{{"anim.gmk", "--frames", "-2"}, "--frames is A-B"},
        BadLine{{"anim.gmk", "--frames", "a-b"}, "--frames is A-B"},
        BadLine{{"anim.gmk", "--frames", "5"}, "names none of them"},
        BadLine{{"anim.gmk", "-o", ""}, "option '--output' needs a value"},
        BadLine{{"anim.gmk", "--codec="}, "option '--codec' needs a value"},
        // Names it cannot write, found before the scene is traced.
        BadLine{{"anim.gmk", "-o", "anim.mov"}, "this name asks for another kind"},
        BadLine{{"anim.gmk", "-o", "-"}, "cannot go to standard output"},
        BadLine{{"anim.gmk", "-o", "no/anim.avi"}, "the folder 'no' does not exist"},
        BadLine{{"anim.gmk", "-qH", "0"}, "--height is a whole number"},
        BadLine{{"anim.gmk", "--rows", "1-2"}, "unknown option '--rows'"}));

// GIF cannot show 60 frames a second: recorded all the same, said once.
TEST(RecordCommand, WarnsOnceOfAGifAbove50FramesASecond) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir("record_gif_rate");
    std::string scene = animation("", 6);
    scene.replace(scene.find("FRAMES_PER_SECOND 4"), 19, "FRAMES_PER_SECOND 60");
    write_text(dir.file("anim.gmk"), scene);
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-o", "a.gif", "-q"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a.gif\n");
    const std::string said = "Video Warning: a.gif: GIF cannot show 60 frames a second";
    EXPECT_EQ(r.err.find(said), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

// Above 100 frames a second a GIF is refused as its file would be opened:
// nothing is traced, nothing written, and the status is that of a file.
TEST(RecordCommand, RefusesAGifAbove100FramesASecondBeforeTracing) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir("record_gif_refused");
    std::string scene = animation("", 3);
    scene.replace(scene.find("FRAMES_PER_SECOND 4"), 19, "FRAMES_PER_SECOND 120");
    write_text(dir.file("anim.gmk"), scene);
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-o", "a.gif", "-q"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Video Error: Cannot record a.gif: a GIF frame lasts a whole number of hundredths "
              "of a second, so GIF cannot show 120 frames a second (100 at most).\n");
    EXPECT_FALSE(fs::exists(dir.file("a.gif")));
}

TEST(RecordCommand, AFileThatIsNotAnAviIsNeverOverwritten) {
    TempFolder dir("record_guard");
    write_text(dir.file("anim.gmk"), animation("OUTPUT_FILE \"anim.gmk\"", 2));
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-q"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Cannot record to 'anim.gmk': record writes .avi"), std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(dir.file("anim.gmk")), animation("OUTPUT_FILE \"anim.gmk\"", 2));
    EXPECT_EQ(r.out, "");
}

TEST(RecordCommand, AMissingFolderOfOutputFileIsFoundBeforeTracing) {
    TempFolder dir("record_missing_folder");
    write_text(dir.file("anim.gmk"), animation("OUTPUT_FILE \"no/such/anim.avi\"", 3));
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "--progress", "-"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find("frame=")),
              "Glimmark Error: Cannot record to 'no/such/anim.avi': the folder 'no/such' "
              "does not exist\n");
    EXPECT_TRUE(refused_with_last_record(r.err)) << r.err;
}

TEST(RecordCommand, AParseErrorRecordsNothing) {
    TempFolder dir("record_parse_error");
    write_text(dir.file("bad.gmk"), "ANIMATION OUTPUT_FILE \"bad.avi\" END_ANIMATION SCENE BOGUS");
    const ProcessResult r = run_glimmark({"record", "bad.gmk", "-q"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Parse Error"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.file("bad.avi")));
}

// A full disk: a 64 KB file system mounted for the one command.
TEST(RecordCommand, AFullDiskKeepsTheFramesWrittenAndSaysWhy) {
    TempFolder dir("record_full");
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cannot make a mount namespace here";
    write_text(dir.file("anim.gmk"), animation("", 200));
    fs::create_directory(dir.file("small"));
    const std::string script = "mount -t tmpfs -o size=64k none small || exit 77; " +
                               std::string(GMK_BINARY_DIR) +
                               "/glimmark record anim.gmk -o small/full.avi --codec raw -q; rc=$?; "
                               "cp small/full.avi kept.avi; ls -a small > left.txt; exit $rc";
    const std::string cmd = "cd " + shell_quote(dir.path()) + " && unshare -rm sh -c " +
                            shell_quote(script) + " >out.txt 2>err.txt";
    const int raw = std::system(cmd.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (status == 77) GTEST_SKIP() << "cannot mount a small file system here";
    const std::string err = slurp(dir.file("err.txt"));
    EXPECT_EQ(status, 2) << err;
    EXPECT_NE(err.find("AVI Error: Could not write frame "), std::string::npos) << err;
    EXPECT_NE(err.find(" to small/full.avi: No space left on device."), std::string::npos) << err;
    EXPECT_EQ(slurp(dir.file("out.txt")), "small/full.avi\n");
    EXPECT_EQ(slurp(dir.file("left.txt")), ".\n..\nfull.avi\n") << "no temporary file is left";
    const size_t frames = frames_in(dir.file("kept.avi"));
    EXPECT_GT(frames, 20u);
    EXPECT_LT(frames, 200u);
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe(dir.file("kept.avi"));
    EXPECT_NE(info.find("nb_read_frames=" + std::to_string(frames)), std::string::npos) << info;
}

std::vector<std::vector<uint8_t>> frame_bytes(const std::string& path) {
    std::vector<std::vector<uint8_t>> out;
    const RiffFile f(path);
    if (f.parts.empty()) return out;
    for (const RiffChunk* c : f.parts[0].child("LIST", "movi")->all("00dc"))
        out.emplace_back(f.bytes.begin() + c->data, f.bytes.begin() + c->data + c->size);
    return out;
}

TEST(RecordCommand, AFrameRangeHoldsTheFramesOfAWholeRun) {
    TempFolder dir("record_range");
    // RND draws go on from frame to frame: a range must parse what comes before.
    write_text(dir.file("rnd.gmk"),
               "TRACER WIDTH 5 HEIGHT 4 END_TRACER\n"
               "ANIMATION START_TIME 0.5 END_TIME 2 FRAMES 6 END_ANIMATION\n"
               "SCENE BACKGROUND_COLOR RND TIME RND END_SCENE\n");
    ASSERT_EQ(
        run_glimmark({"record", "rnd.gmk", "-o", "whole.avi", "--codec", "raw", "-q"}, dir).status,
        0);
    const ProcessResult r = run_glimmark(
        {"record", "rnd.gmk", "-o", "part.avi", "--codec", "raw", "--frames", "3-4", "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "part.avi\n");
    const auto whole = frame_bytes(dir.file("whole.avi"));
    const auto part = frame_bytes(dir.file("part.avi"));
    ASSERT_EQ(whole.size(), 6u);
    ASSERT_EQ(part.size(), 2u);
    EXPECT_EQ(part[0], whole[3]);
    EXPECT_EQ(part[1], whole[4]);
    EXPECT_NE(whole[3], whole[4]);
    const ProcessResult tail = run_glimmark(
        {"record", "rnd.gmk", "-o", "tail.avi", "--codec", "raw", "--frames=5-", "-q"}, dir);
    ASSERT_EQ(tail.status, 0) << tail.err;
    const auto last = frame_bytes(dir.file("tail.avi"));
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0], whole[5]);
}

// ---- the formats of FFmpeg's libraries ----

struct VideoCase {
    const char* ext;
    const char* codec;  // as ffprobe names it
    bool yuv;           // yuv420p, compared in it; GIF in RGB
    double least_psnr;  // dB, over the 24 x 16 test animation
};

class RecordVideo : public ::testing::TestWithParam<VideoCase> {
  protected:
    void SetUp() override {
        if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
        write_text(dir.file("anim.gmk"), animation("", 8));
    }
    std::string name(const std::string& stem) const { return stem + GetParam().ext; }
    TempFolder dir{"record_video"};
};

TEST_P(RecordVideo, PlaysWithEveryFrameAtTheRateAndLooksLikeTheTrace) {
    const VideoCase& c = GetParam();
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-o", name("anim"), "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, name("anim") + "\n");
    EXPECT_EQ(r.err, "");
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe_video(dir.file(name("anim")));
    EXPECT_NE(info.find("codec_name=" + std::string(c.codec) + "\nwidth=24\nheight=16\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("r_frame_rate=4/1"), std::string::npos) << info;
    EXPECT_NE(info.find("nb_read_frames=8"), std::string::npos) << info;
    ASSERT_EQ(run_glimmark({"render", "anim.gmk", "-o", "f.png", "-q"}, dir).status, 0);
    const double psnr =
        c.yuv ? psnr_against(dir.file(name("anim")), dir.file("f_%04d.png"), 4, "null", kToVideoYuv)
              : psnr_against(dir.file(name("anim")), dir.file("f_%04d.png"), 4, "format=rgb24",
                             "format=rgb24");
    EXPECT_GE(psnr, c.least_psnr);
}

// Every part starts with a key frame, so ffmpeg joins them without encoding
// again (GIF parts are not: their frames refer to no other).
using RecordVideoParts = RecordVideo;

TEST_P(RecordVideoParts, JoinIntoTheWhole) {
    const VideoCase& c = GetParam();
    for (const char* part : {"0-2", "3-6", "7"}) {
        const ProcessResult r = run_glimmark(
            {"record", "anim.gmk", "-o", name(std::string("part") + part), "--frames", part, "-q"},
            dir);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    REQUIRE_FFMPEG_TOOLS();
    write_text(dir.file("parts.txt"), "file '" + name("part0-2") + "'\nfile '" + name("part3-6") +
                                          "'\nfile '" + name("part7") + "'\n");
    const std::string join = "cd " + shell_quote(dir.path()) +
                             " && ffmpeg -v error -nostdin -f concat -i parts.txt -c copy " +
                             name("whole") + " 2>&1";
    EXPECT_EQ(tool_output(join), "");
    const std::string info = probe_video(dir.file(name("whole")));
    EXPECT_NE(info.find("nb_read_frames=8"), std::string::npos) << info;
    EXPECT_NE(info.find("width=24\nheight=16"), std::string::npos) << info;
    // Decoded whole, the joined file shows the frames a whole run traces.
    ASSERT_EQ(run_glimmark({"render", "anim.gmk", "-o", "f.png", "-q"}, dir).status, 0);
    EXPECT_GE(psnr_against(dir.file(name("whole")), dir.file("f_%04d.png"), 4, "null", kToVideoYuv),
              c.least_psnr);
}

TEST_P(RecordVideo, AnOddSizeIsPaddedAndSaidSo) {
    const VideoCase& c = GetParam();
    write_text(dir.file("odd.gmk"),
               "TRACER WIDTH 25 HEIGHT 15 END_TRACER\n"
               "ANIMATION FRAMES 2 END_ANIMATION SCENE END_SCENE\n");
    const ProcessResult r = run_glimmark({"record", "odd.gmk", "-o", name("odd"), "-q"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("last column and row are repeated to make it 26x16") != std::string::npos,
              c.yuv)
        << r.err;
    REQUIRE_FFMPEG_TOOLS();
    const std::string info = probe_video(dir.file(name("odd")));
    EXPECT_NE(info.find(c.yuv ? "width=26\nheight=16" : "width=25\nheight=15"), std::string::npos)
        << info;
}

// A read-only file system, a full one and a file-size limit, for the one command: the
// message names the file and the reason, and nothing is left half written.
TEST_P(RecordVideo, AReadOnlyFullOrLimitedFolderGivesThePathAndTheReason) {
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cannot make a mount namespace here";
    // Lossless frames that differ: far more than the 8 KB of the full disk.
    write_text(dir.file("big.gmk"),
               "TRACER WIDTH 320 HEIGHT 240 END_TRACER\n"
               "ANIMATION END_TIME 1 FRAMES 40 END_ANIMATION\n"
               "SCENE BACKGROUND_COLOR RND RND RND\n"
               "  CAMERA TRANSLATE 0 0 -4 END_CAMERA\n"
               "  LIGHT TRANSLATE -3 4 -3 STRENGTH 20 END_LIGHT\n"
               "  SPHERE TRANSLATE TIME 0 0 END_SPHERE\n"
               "END_SCENE\n");
    const std::string lossless = GetParam().yuv ? " --crf 0" : "";
    // The third is a file-size limit of 8 blocks on a roomy file system.
    const std::array<std::array<const char*, 3>, 3> cases = {
        {{"-o size=4k,ro", "", "Read-only file system"},
         {"-o size=8k", "", "No space left on device"},
         {"-o size=4m", "trap '' XFSZ; ulimit -f 8; ", "File too large"}}};
    for (const auto& [mount, limit, reason] : cases) {
        const std::string script =
            "mount -t tmpfs " + std::string(mount) + " none small || exit 77; " + limit +
            std::string(GMK_BINARY_DIR) + "/glimmark record big.gmk -o small/" + name("v") +
            lossless + " -q; rc=$?; ls -a small > left.txt; exit $rc";
        fs::create_directories(dir.file("small"));
        const std::string cmd = "cd " + shell_quote(dir.path()) + " && unshare -rm sh -c " +
                                shell_quote(script) + " >out.txt 2>err.txt";
        const int raw = std::system(cmd.c_str());
        const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        if (status == 77) GTEST_SKIP() << "cannot mount a small file system here";
        const std::string err = slurp(dir.file("err.txt"));
        EXPECT_EQ(status, 2) << mount << ": " << err;
        EXPECT_NE(err.find("small/" + name("v")), std::string::npos) << err;
        EXPECT_NE(err.find(reason), std::string::npos) << err;
        EXPECT_EQ(slurp(dir.file("left.txt")), ".\n..\n") << mount;
        EXPECT_EQ(slurp(dir.file("out.txt")), "") << mount;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RecordVideo,
                         ::testing::Values(VideoCase{".mp4", "h264", true, 40},
                                           VideoCase{".mkv", "h264", true, 40},
                                           VideoCase{".webm", "vp9", true, 40},
                                           VideoCase{".gif", "gif", false, 30}),
                         [](const auto& info) { return std::string(info.param.ext + 1); });

INSTANTIATE_TEST_SUITE_P(Formats, RecordVideoParts,
                         ::testing::Values(VideoCase{".mp4", "h264", true, 40},
                                           VideoCase{".mkv", "h264", true, 40},
                                           VideoCase{".webm", "vp9", true, 40}),
                         [](const auto& info) { return std::string(info.param.ext + 1); });

// FFmpeg's libraries are loaded only when a recording needs them: every
// other run starts without them, an installation that lacks them still
// records AVI, and one whose module is broken says so and leaves no file.
TEST(RecordCommand, FfmpegsLibrariesAreLoadedOnlyForTheFormatsThatNeedThem) {
    TempFolder dir("record_module");
    write_text(dir.file("anim.gmk"), animation("", 2));
    const ProcessResult linked =
        run_glimmark({"check", "anim.gmk"}, dir, "", {"LD_TRACE_LOADED_OBJECTS=1"});
    EXPECT_NE(linked.out.find("libpng"), std::string::npos) << linked.out;
    EXPECT_EQ(linked.out.find("libavcodec"), std::string::npos) << linked.out;

    write_text(dir.file("broken.so"), "not a shared object\n");
    const struct {
        std::string module;
        const char* says;
        int status;
    } cases[] = {
        {dir.file("missing.so"), "missing.so is missing (install glimmark-video for MP4", 2},
        {dir.file("broken.so"), "Nothing is recorded", 2},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> env = {"GLIMMARK_VIDEO_MODULE=" + c.module};
        const ProcessResult r =
            run_glimmark({"record", "anim.gmk", "-o", "a.mp4", "-q"}, dir, "", env);
        EXPECT_EQ(r.status, c.status) << c.module;
        EXPECT_NE(r.err.find("FFmpeg's libraries (libavformat), which could not be loaded"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().string().find("a.mp4"), std::string::npos) << entry.path();
        const ProcessResult avi =
            run_glimmark({"record", "anim.gmk", "-o", "a.avi", "-q"}, dir, "", env);
        EXPECT_EQ(avi.status, 0) << avi.err;
        EXPECT_EQ(frames_in(dir.file("a.avi")), 2u);
        fs::remove(dir.file("a.avi"));
    }
}

TEST(RecordCommand, AFileThatIsNotAVideoIsNeverReplacedByAnMp4) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    TempFolder dir("record_guard_mp4");
    write_text(dir.file("anim.gmk"), animation("", 2));
    write_text(dir.file("notes.mp4"), "notes\n");
    const ProcessResult r = run_glimmark({"record", "anim.gmk", "-o", "notes.mp4", "-q"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'notes.mp4': it exists and is not a video file"), std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(dir.file("notes.mp4")), "notes\n");
}

}  // namespace
