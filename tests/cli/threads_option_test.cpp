#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli_process_support.h"

namespace {

// Spheres, a plane, a mirror and antialiasing: every part of the chain that
// a thread count could change.
const std::string kScene =
    "TRACER WIDTH 40 HEIGHT 30 ANTIALIASING 4 MAX_DEPTH 3 END_TRACER\n"
    "SCENE BACKGROUND_COLOR 0.1 0.1 0.3\n"
    " CAMERA TRANSLATE 0 2 -5 LOOK_AT 0 0.5 0 END_CAMERA\n"
    " LIGHT TRANSLATE -4 6 -4 STRENGTH 30 END_LIGHT\n"
    " PLANE MATERIAL DIFFUSE 0.6 0.6 0.6 GLOSS 0 END_MATERIAL END_PLANE\n"
    " SPHERE TRANSLATE -1 1 0 MATERIAL DIFFUSE 0.9 0.2 0.2 REFLECTION 0.5 END_MATERIAL "
    "END_SPHERE\n"
    " SPHERE TRANSLATE 1.2 0.6 -0.5 SCALE 0.6 0.6 0.6 END_SPHERE\n"
    "END_SCENE\n";

TEST(ThreadsOption, EveryThreadCountWritesThePlainLoopsPicture) {
    TempFolder dir("threads_same");
    write_text(dir.file("s.gmk"), kScene);
    const ProcessResult one = run_glimmark({"render", "s.gmk", "-o", "one.ppm", "-j", "1"}, dir);
    ASSERT_EQ(one.status, 0) << one.err;
    const PpmImage reference = read_ppm(dir.file("one.ppm"));
    ASSERT_TRUE(reference.ok());
    for (const char* n : {"0", "2", "5"}) {
        const ProcessResult r =
            run_glimmark({"render", "s.gmk", "-o", "many.ppm", "--threads", n}, dir);
        ASSERT_EQ(r.status, 0) << n << ": " << r.err;
        const PpmImage im = read_ppm(dir.file("many.ppm"));
        ASSERT_TRUE(im.ok()) << n;
        EXPECT_EQ(im.rgb, reference.rgb) << n;
    }
}

TEST(ThreadsOption, ACountThatIsNoNumberIsAUsageError) {
    TempFolder dir("threads_bad");
    write_text(dir.file("s.gmk"), kScene);
    for (const char* n : {"two", "-1", "3x", "", "257"}) {
        const ProcessResult r = run_glimmark({"render", "s.gmk", "-o", "x.ppm", "-j", n}, dir);
        EXPECT_EQ(r.status, 2) << "'" << n << "'";
        EXPECT_NE(r.err.find("--threads"), std::string::npos) << r.err;
    }
}

}  // namespace

namespace {

namespace fs = std::filesystem;

ProcessResult render(const TempFolder& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "render");
    return run_glimmark(args, dir);
}

// The options put their values over the document's: a document with other
// TRACER values, rendered with options naming the first one's, gives its
// picture byte for byte; without them it does not.
TEST(TracerOptions, OverTheDocumentsValuesGiveThatDocumentsPicture) {
    TempFolder dir("tracer_options");
    write_text(dir.file("s.gmk"), kScene);
    std::string other = kScene;
    other.replace(0, other.find('\n'),
                  "TRACER WIDTH 7 HEIGHT 90 ANTIALIASING 0 MAX_DEPTH 1 END_TRACER");
    write_text(dir.file("other.gmk"), other);
    ASSERT_EQ(render(dir, {"s.gmk", "-o", "s.ppm"}).status, 0);
    ASSERT_EQ(render(dir, {"other.gmk", "-o", "plain.ppm"}).status, 0);
    ASSERT_EQ(render(dir, {"other.gmk", "-qW40", "-H30", "-A4", "--max-depth", "3", "-o", "o.ppm"})
                  .status,
              0);
    // The same pixels (the files' records name their own scene texts).
    auto pixels = [&dir](const char* name) {
        const PpmImage im = read_ppm(dir.file(name));
        return std::to_string(im.width) + "x" + std::to_string(im.height) +
               std::string(im.rgb.begin(), im.rgb.end());
    };
    ASSERT_EQ(pixels("s.ppm").substr(0, 5), "40x30");
    EXPECT_EQ(pixels("o.ppm"), pixels("s.ppm"));
    EXPECT_NE(pixels("plain.ppm"), pixels("s.ppm"));
    // Each option alone changes the picture.
    for (const std::vector<std::string>& option :
         {std::vector<std::string>{"-A", "0"}, {"--max-depth", "0"}, {"-W", "41"}}) {
        std::vector<std::string> args = {"s.gmk", "-o", "changed.ppm"};
        args.insert(args.end(), option.begin(), option.end());
        ASSERT_EQ(render(dir, args).status, 0) << option[0];
        EXPECT_NE(pixels("changed.ppm"), pixels("s.ppm")) << option[0];
    }
}

// A PNG is deflated while its frame is traced, a band of rows as soon as the
// rows are settled; --rows 0- traces the same picture and deflates it after
// the frame. Four bands a picture, frames of other colours, any thread
// count: the same files.
TEST(PngOutput, DeflatedWhileTracingIsTheFileAWriteAfterTheFrameMakes) {
    TempFolder dir("png_while_tracing");
    std::string scene = "ANIMATION FRAMES 3 END_ANIMATION\n" + kScene;
    scene.replace(scene.find("BACKGROUND_COLOR 0.1"), 20, "BACKGROUND_COLOR TIME");
    write_text(dir.file("a.gmk"), scene);
    const std::vector<std::string> size = {"-W", "24", "-H", "200"};
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), size.begin(), size.end());
        const ProcessResult r = render(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
    };
    run({"a.gmk", "-o", "after.png", "--rows", "0-", "-j", "1"});
    for (const char* threads : {"1", "2", "5"}) {
        run({"a.gmk", "-o", "during.png", "-j", threads});
        for (const char* frame : {"_0000.png", "_0001.png", "_0002.png"})
            EXPECT_EQ(slurp(dir.file(std::string("during") + frame)),
                      slurp(dir.file(std::string("after") + frame)))
                << threads << frame;
    }
    EXPECT_NE(slurp(dir.file("after_0001.png")), slurp(dir.file("after_0002.png")));
}

// Bands of rows traced apart, on one thread or several, join into the whole
// picture; -o - writes the very bytes of the file.
TEST(RowsOption, BandsJoinIntoTheWholePicture) {
    TempFolder dir("rows_option");
    write_text(dir.file("s.gmk"), kScene);
    ASSERT_EQ(render(dir, {"s.gmk", "-o", "whole.png"}).status, 0);
    for (const char* threads : {"1", "2"}) {
        std::vector<std::string> join = {"join-rows", "-o", "joined.png"};
        for (const char* band : {"0-6", "7-7", "8-20", "21-"}) {
            const std::string name = std::string("band") + band + ".png";
            ASSERT_EQ(render(dir, {"s.gmk", "-o", name, "--rows", band, "-j", threads}).status, 0);
            join.push_back(name);
        }
        const ProcessResult r = run_glimmark(join, dir);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(slurp(dir.file("joined.png")), slurp(dir.file("whole.png"))) << threads;
    }
    // A band alone is not the whole picture.
    EXPECT_NE(slurp(dir.file("band8-20.png")), slurp(dir.file("whole.png")));
    for (const char* format : {"png", "ppm"}) {
        ASSERT_EQ(render(dir, {"s.gmk", "-o", std::string("file.") + format}).status, 0);
        const ProcessResult r = render(dir, {"s.gmk", "-o", "-", "--format", format});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, slurp(dir.file(std::string("file.") + format))) << format;
    }
    write_text(dir.file("small.gmk"), "TRACER WIDTH 3 HEIGHT 3 END_TRACER SCENE END_SCENE\n");
    ASSERT_EQ(render(dir, {"small.gmk", "-o", "small.png", "--rows", "1-"}).status, 0);
    const ProcessResult mixed =
        run_glimmark({"join-rows", "-o", "x.png", "band0-6.png", "small.png"}, dir);
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("'small.png' is 3 x 3, the bands before it 40 x 30"),
              std::string::npos)
        << mixed.err;
    const ProcessResult piped = run_glimmark(
        {"join-rows", "-o", "-", "band21-.png", "band0-6.png", "band8-20.png", "band7-7.png"}, dir);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, slurp(dir.file("whole.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("-")));
    // Bands of another picture, or that leave rows out or hold them twice,
    // are refused in one line naming the files and the rows; nothing is
    // written.
    ASSERT_EQ(render(dir, {"s.gmk", "-o", "deep.png", "--rows", "7-7", "--max-depth", "1"}).status,
              0);
    ASSERT_EQ(render(dir, {"s.gmk", "-o", "b5-9.ppm", "--rows", "5-9"}).status, 0);
    write_text(dir.file("old.ppm"), "P6\n40 30\n255\n" + std::string(40 * 30 * 3, '\0'));
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"band0-6.png"},
         "no band holds rows 7-29 of the 40 x 30 picture; the last band, 'band0-6.png', ends at "
         "row 6"},
        {{"band8-20.png", "band21-.png", "band0-6.png"},
         "no band holds row 7 of the 40 x 30 picture, between 'band0-6.png' (rows 0-6) and "
         "'band8-20.png' (rows 8-20)"},
        {{"band8-20.png", "band21-.png"},
         "no band holds rows 0-7 of the 40 x 30 picture; the first band, 'band8-20.png', starts "
         "at row 8"},
        {{"band0-6.png", "b5-9.ppm", "band8-20.png", "band21-.png"},
         "'band0-6.png' (rows 0-6) and 'b5-9.ppm' (rows 5-9) both hold rows 5-6"},
        {{"band0-6.png", "band7-7.png", "band7-7.png", "band8-20.png", "band21-.png"},
         "'band7-7.png' (row 7) and 'band7-7.png' (row 7) both hold row 7"},
        {{"band0-6.png", "deep.png", "band8-20.png", "band21-.png"},
         "'deep.png' (row 7) is of another picture than 'band0-6.png' (rows 0-6): another scene, "
         "frame or setting"},
        {{"whole.png"},
         "Cannot join 'whole.png': it is not a band of rows (a whole picture, or one written by "
         "another program or an older Glimmark); trace its rows again with glimmark render "
         "--rows"},
        {{"old.ppm"},
         "Cannot join 'old.ppm': it is not a band of rows (a whole picture, or one written by "
         "another program or an older Glimmark); trace its rows again with glimmark render "
         "--rows"},
        {{"s.gmk"}, "Cannot join 's.gmk': it is not a PNG or PPM picture"},
        {{"band0-6.png", "nosuch.png"},
         "Could not read picture 'nosuch.png': No such file or directory"},
    };
    for (const auto& [bands, message] : refused) {
        for (const char* out : {"out.png", "-"}) {
            std::vector<std::string> join = {"join-rows", "-o", out};
            join.insert(join.end(), bands.begin(), bands.end());
            const ProcessResult r = run_glimmark(join, dir);
            EXPECT_EQ(r.status, 2) << message;
            EXPECT_EQ(r.err, "Glimmark Error: " + message + "\n");
            EXPECT_EQ(r.out, "");
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.png"))) << message;
        }
    }
}

// -n keeps a frame only when its file is a whole picture of the run's size
// and traces the rest again: missing, empty, cut short (PPM samples, PNG data
// or its IEND), another size. A part file a killed run left for a frame of
// the range goes; -f replaces a file that is not a picture, -n refuses it.
TEST(OverwriteOptions, NoOverwriteKeepsWholePicturesAndForceReplaces) {
    TempFolder dir("overwrite_options");
    write_text(dir.file("a.gmk"), "ANIMATION FRAMES 6 END_ANIMATION\n" + kScene);
    for (const char* out : {"whole.ppm", "whole.png"})
        ASSERT_EQ(render(dir, {"a.gmk", "-q", "-o", out}).status, 0);
    ASSERT_EQ(render(dir, {"a.gmk", "-q", "-W", "20", "--frames", "2", "-o", "small.png"}).status,
              0);
    auto whole = [&dir](int frame, const char* ext) {
        return slurp(dir.file("whole_000" + std::to_string(frame) + ext));
    };
    const std::string ppm5 = whole(5, ".ppm");
    const std::string ppm_header = "P6\n40 30\n255\n";
    ASSERT_EQ(ppm5.substr(0, ppm_header.size()), ppm_header);
    struct Frame {
        std::string text;  // what stands at the frame's name; "-" nothing
        bool kept;
    };
    const std::map<std::string, std::vector<Frame>> runs = {
        {".ppm",
         {{"-", false},
          {"P6 kept", false},
          {whole(2, ".ppm").substr(0, ppm5.size() - 1), false},
          // Another frame's whole picture counts as done: -n looks at files.
          {ppm5, true},
          {"", false},
          {"P6 # a comment\n40 30\n255\n" + ppm5.substr(ppm_header.size()), true}}},
        {".png",
         {{whole(0, ".png").substr(0, whole(0, ".png").size() / 2), false},
          {whole(1, ".png").substr(0, whole(1, ".png").size() - 12), false},
          {slurp(dir.file("small_0002.png")), false},
          {whole(3, ".png"), true},
          {"-", false},
          {whole(0, ".png"), true}}},
    };
    for (const auto& [ext, frames] : runs) {
        std::string traced;
        for (size_t i = 0; i < frames.size(); ++i) {
            const std::string name = "a_000" + std::to_string(i) + ext;
            if (frames[i].text != "-") write_text(dir.file(name), frames[i].text);
            if (!frames[i].kept) traced += name + "\n";
        }
        write_text(dir.file(".a_0004" + ext + ".4242-7.part"), "left by a killed run");
        write_text(dir.file(".a_0004" + ext + ".notours.part"), "someone else's");
        const ProcessResult r = render(dir, {"a.gmk", "-n", "-q", "-o", "a" + ext});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, traced) << ext;
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(slurp(dir.file("a_000" + std::to_string(i) + ext)),
                      frames[i].kept ? frames[i].text : whole(int(i), ext.c_str()))
                << ext << " frame " << i;
        EXPECT_FALSE(fs::exists(dir.file(".a_0004" + ext + ".4242-7.part"))) << ext;
        EXPECT_TRUE(fs::exists(dir.file(".a_0004" + ext + ".notours.part"))) << ext;
    }
    // A file -n would have to trace over that is no picture: nothing traced.
    fs::remove(dir.file("a_0000.ppm"));
    write_text(dir.file("a_0003.ppm"), "my notes");
    ProcessResult r = render(dir, {"a.gmk", "-n", "-q", "-o", "a.ppm"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "Glimmark Error: Cannot write 'a_0003.ppm': it exists and is not a PNG or PPM "
              "picture; move it away\n");
    EXPECT_FALSE(fs::exists(dir.file("a_0000.ppm")));
    write_text(dir.file("notes.ppm"), "my notes");
    write_text(dir.file("notes.avi"), "my notes");
    write_text(dir.file("s.gmk"), kScene);
    EXPECT_EQ(render(dir, {"s.gmk", "-o", "notes.ppm"}).status, 2);
    EXPECT_EQ(run_glimmark({"record", "a.gmk", "-o", "notes.avi"}, dir).status, 2);
    EXPECT_EQ(slurp(dir.file("notes.ppm")), "my notes");
    EXPECT_EQ(slurp(dir.file("notes.avi")), "my notes");
    r = render(dir, {"s.gmk", "-fq", "-o", "notes.ppm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_ppm(dir.file("notes.ppm")).ok());
    r = run_glimmark({"record", "a.gmk", "-f", "-o", "notes.avi", "-j1"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir.file("notes.avi")).substr(0, 4), "RIFF");
}

// The records of a progress log, each a map of its key=value lines; false
// when a line is not key=value or the log does not end with a record.
bool read_records(const std::string& text, std::vector<std::map<std::string, std::string>>& out) {
    std::istringstream log(text);
    std::string line;
    std::map<std::string, std::string> record;
    while (std::getline(log, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) return false;
        record[line.substr(0, eq)] = line.substr(eq + 1);
        if (line.rfind("progress=", 0) == 0) {
            out.push_back(record);
            record.clear();
        }
    }
    return record.empty();
}

struct ProgressCase {
    std::vector<std::string> args;
    int status;
    // The last record's frame, frames_total, row, rows_total and status.
    const char* last;
    int least_records = 1;
};

// Every record keeps the frame and the row within their totals, and the log
// ends with one progress=end whose status says how the run ended: a whole
// animation, a band of rows, frames all skipped by -n, a parse error, a
// refusal once the scene is read, and short intervals.
TEST(ProgressOption, WritesKeyValueRecords) {
    TempFolder dir("progress_option");
    write_text(dir.file("a.gmk"), "ANIMATION FRAMES 2 END_ANIMATION\n" + kScene);
    write_text(dir.file("s.gmk"), kScene);
    write_text(dir.file("bad.gmk"), "SCENE BOGUS END_SCENE\n");
    const std::vector<ProgressCase> cases = {
        {{"a.gmk", "-o", "a.ppm"}, 0, "2 2 30 30 done"},
        {{"s.gmk", "-o", "band.ppm", "--rows", "10-20"}, 0, "1 1 11 11 done"},
        {{"a.gmk", "-o", "a.ppm", "-n"}, 0, "2 2 0 30 done"},
        {{"bad.gmk", "-o", "bad.ppm"}, 1, "0 1 0 0 error"},
        {{"s.gmk", "-o", "x.ppm", "--rows", "30-40"}, 2, "0 1 0 0 error"},
        {{"a.gmk", "-o", "big.ppm", "-W", "400", "-H", "300", "-j", "1", "--progress-interval",
          "0.01"},
         0,
         "2 2 300 300 done",
         4},
    };
    for (const ProgressCase& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--progress", "log.txt"});
        const ProcessResult r = render(dir, args);
        ASSERT_EQ(r.status, c.status) << c.args[0] << r.err;
        std::vector<std::map<std::string, std::string>> records;
        ASSERT_TRUE(read_records(slurp(dir.file("log.txt")), records)) << c.args[0];
        ASSERT_GE(records.size(), size_t(c.least_records)) << c.args[0];
        for (size_t i = 0; i < records.size(); ++i) {
            auto& rec = records[i];
            EXPECT_EQ(rec["progress"], i + 1 < records.size() ? "continue" : "end");
            EXPECT_LE(std::stoi(rec["frame"]), std::stoi(rec["frames_total"]));
            EXPECT_LE(std::stoi(rec["row"]), std::stoi(rec["rows_total"]));
            for (const char* key : {"percent", "elapsed_s", "eta_s", "rays_per_s", "threads"})
                EXPECT_EQ(rec.count(key), 1u) << key;
        }
        auto& last = records.back();
        EXPECT_EQ(last["frame"] + " " + last["frames_total"] + " " + last["row"] + " " +
                      last["rows_total"] + " " + last["status"],
                  c.last)
            << c.args[0];
        if (c.status == 0) {
            EXPECT_EQ(last["percent"], "100.0");
            EXPECT_EQ(last["eta_s"], "0.0");
        }
    }
    // The interval is for the records of --progress; alone it is a slip.
    const ProcessResult alone = render(dir, {"s.gmk", "-o", "s.ppm", "--progress-interval", "2"});
    EXPECT_EQ(alone.status, 2);
    EXPECT_EQ(alone.err.rfind("glimmark render: --progress-interval sets how often", 0), 0u)
        << alone.err;
}

}  // namespace
