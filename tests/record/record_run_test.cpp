// The recording cycle of a run: the trace controller opens the writer before
// frame 0, appends every finished frame and closes the file when the run ends.

#include <gtest/gtest.h>

#include <cstring>

#include "language/random15.h"
#include "record_test_support.h"
#include "render/pixel_loop.h"
#include "riff_reader.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"

namespace {

// A render thread of the test: paints the whole picture with the frame's
// number in red, or only its top half for the frame that the Stop command
// interrupts, and can change the document between frames.
struct PaintLog {
    int frames = 0;
    int stop_in = -1;
    std::string* text = nullptr;  // the document's buffer
    int break_after = -1;         // frame after which the document goes bad
};
PaintLog* g_paint = nullptr;

int painting_entry(RenderJob* job) {
    const int frame = g_paint->frames++;
    Surface& s = *job->drawing_context;
    s.fill_black(0, 0, job->width, job->height);
    const int rows = frame == g_paint->stop_in ? job->height / 2 : job->height;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < job->width; ++x)
            s.set_pixel(x, y, 10u + 20u * frame);
    if (frame == g_paint->stop_in) job->stop_requested.store(true);
    if (frame == g_paint->break_after) {
        // Same length, so the controller's pointer stays valid.
        const size_t at = g_paint->text->find("[QQQ]");
        std::memcpy(&(*g_paint->text)[at], "BOGUS", 5);
    }
    job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

class RecordRun : public ::testing::Test {
  protected:
    void SetUp() override {
        host.quiet = true;
        tc.host = &host;
        tc.recorder.avi.codec = AviCodec::Raw;
        host.set_handler([this](int w) { tc.handle_trace_done(w); });
        tc.choose_compression = [this](VideoFormat&, int&) {
            ++choices;
            return !cancel;
        };
        g_paint = &paint_log;
        paint_log.text = &text;
    }
    void TearDown() override { g_paint = nullptr; }

    void run(const std::string& document, ThreadEntry entry = painting_entry) {
        text = document;
        tc.start(text.c_str(), true, true, entry);
        host.run_loop();
        EXPECT_FALSE(tc.running());
        EXPECT_FALSE(tc.recorder.is_open());
        EXPECT_FALSE(tc.record);
    }
    std::string animation(int frames, const std::string& out, int fps = 4) {
        return "TRACER WIDTH 6 HEIGHT 4 END_TRACER ANIMATION FRAMES " + std::to_string(frames) +
               " FRAMES_PER_SECOND " + std::to_string(fps) + " OUTPUT_FILE \"" + out +
               "\" END_ANIMATION SCENE END_SCENE";
    }
    // Red of the top-left and bottom-left pixels of every frame in the file.
    std::vector<std::pair<int, int>> frame_reds(const std::string& path) {
        std::vector<std::pair<int, int>> out;
        const RiffFile f(path);
        EXPECT_EQ(f.problem, "");
        if (f.parts.empty()) return out;
        const int height =
            static_cast<int>(f.u32(f.parts[0].child("LIST", "hdrl")->child("avih")->data + 36));
        const uint32_t stride = f.parts[0].child("LIST", "movi")->all("00dc").empty()
                                    ? 0
                                    : f.parts[0].child("LIST", "movi")->all("00dc")[0]->size /
                                          static_cast<uint32_t>(height);
        for (const RiffChunk* c : f.parts[0].child("LIST", "movi")->all("00dc")) {
            const uint64_t top = c->data + stride * (height - 1);
            out.push_back({f.bytes[top + 2], f.bytes[c->data + 2]});
        }
        return out;
    }

    HeadlessHost host;
    // The studio's compression dialog: how often it was asked, and whether
    // it is cancelled.
    int choices = 0;
    bool cancel = false;
    TraceController tc;
    PaintLog paint_log;
    std::string text;
    TempFolder dir;
};

TEST_F(RecordRun, EightTracedFramesAtFourPerSecondLastTwoSeconds) {
    const std::string path = dir.file("eight.avi");
    run("TRACER WIDTH 8 HEIGHT 6 END_TRACER "
        "ANIMATION START_TIME 0 END_TIME 1 FRAMES 8 FRAMES_PER_SECOND 4 OUTPUT_FILE \"" +
            path + "\" END_ANIMATION SCENE BACKGROUND_COLOR TIME 0.5 0 END_SCENE",
        render_thread_main);
    EXPECT_TRUE(host.messages.empty());
    const RiffFile f(path);
    ASSERT_EQ(f.problem, "");
    const RiffChunk* hdrl = f.parts.at(0).child("LIST", "hdrl");
    const uint64_t strh = hdrl->child("LIST", "strl")->child("strh")->data;
    EXPECT_EQ(f.u32(strh + 20), 1u);
    EXPECT_EQ(f.u32(strh + 24), 4u);
    EXPECT_EQ(f.u32(strh + 32), 8u);  // 8 frames at 4 a second: 2 seconds
    EXPECT_EQ(f.u32(hdrl->child("avih")->data + 32), 8u);
    EXPECT_EQ(f.u32(hdrl->child("avih")->data + 36), 6u);
    const auto frames = f.parts[0].child("LIST", "movi")->all("00dc");
    ASSERT_EQ(frames.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        // The background of frame i at time i / 8, every pixel of it.
        const int red = static_cast<int>(static_cast<float>(i) / 8.0f * 255.0f);
        const int green = static_cast<int>(0.5f * 255.0f);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                const uint64_t at = frames[i]->data + y * 24 + 3 * x;
                ASSERT_EQ(f.bytes[at + 0], 0) << i;
                ASSERT_EQ(f.bytes[at + 1], green) << i;
                ASSERT_EQ(f.bytes[at + 2], red) << i;
            }
    }
    EXPECT_EQ(dir.names().size(), 1u);
}

TEST_F(RecordRun, StopDuringFrameThreeKeepsFramesZeroToThreeTheLastPartial) {
    const std::string path = dir.file("stopped.avi");
    paint_log.stop_in = 3;
    run(animation(8, path));
    EXPECT_EQ(paint_log.frames, 4);
    EXPECT_EQ(host.runs_finished, 1);
    const auto reds = frame_reds(path);
    ASSERT_EQ(reds.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reds[i].first, 10 + 20 * i);
    EXPECT_EQ(reds[2].second, 50) << "a whole frame reaches the bottom row";
    EXPECT_EQ(reds[3].second, 0) << "the stopped frame's lower half stays black";
    EXPECT_EQ(dir.names().size(), 1u) << "closed and saved under its name";
}

TEST_F(RecordRun, AFolderThatDoesNotExistGivesTheOpenErrorAndTheRunGoesOn) {
    run(animation(8, dir.file("missing/out.avi")));
    EXPECT_EQ(paint_log.frames, 8);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Error opening AVI file for write. Check path and permissions.");
    EXPECT_EQ(host.messages[0].caption, "AVI Error");
    ASSERT_EQ(tc.recording_errors.size(), 1u);
    EXPECT_EQ(tc.recording_errors[0].kind, RecordingErrorKind::CannotCreate);
    EXPECT_EQ(choices, 1) << "asked before the file is opened";
    EXPECT_TRUE(dir.names().empty());
}

TEST_F(RecordRun, FramesZeroRecordsOneFrame) {
    const std::string path = dir.file("zero.avi");
    run(animation(0, path));
    EXPECT_EQ(paint_log.frames, 1);
    EXPECT_EQ(frame_reds(path).size(), 1u);
}

TEST_F(RecordRun, CancellingTheCodecChoiceTracesWithoutRecording) {
    cancel = true;
    run(animation(3, dir.file("c.avi")));
    EXPECT_EQ(choices, 1);
    EXPECT_EQ(paint_log.frames, 3);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(dir.names().empty());
}

TEST_F(RecordRun, ADocumentWithoutOutputFileRecordsNothingAfterOneThatHadIt) {
    const std::string path = dir.file("first.avi");
    run(animation(2, path));
    ASSERT_EQ(frame_reds(path).size(), 2u);
    paint_log.frames = 0;
    run("TRACER WIDTH 6 HEIGHT 4 END_TRACER SCENE END_SCENE");
    EXPECT_EQ(paint_log.frames, 1);
    EXPECT_TRUE(host.messages.empty());
    const auto reds = frame_reds(path);
    ASSERT_EQ(reds.size(), 2u) << "the earlier recording is not replaced";
    EXPECT_EQ(reds[0].first, 10);
}

TEST_F(RecordRun, ARecordFileOverridesOutputFile) {
    tc.record_file = dir.file("chosen.avi");
    run(animation(2, dir.file("named.avi")));
    EXPECT_EQ(frame_reds(dir.file("chosen.avi")).size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("named.avi")));
}

TEST_F(RecordRun, AFailedParseOfALaterFrameKeepsTheFramesWritten) {
    const std::string path = dir.file("broken.avi");
    paint_log.break_after = 2;
    run(animation(8, path) + " [QQQ]", painting_entry);
    EXPECT_EQ(paint_log.frames, 3);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Parse Error");
    EXPECT_EQ(frame_reds(path).size(), 3u);
}

std::vector<std::vector<uint8_t>> frame_bytes(const std::string& path) {
    std::vector<std::vector<uint8_t>> out;
    const RiffFile f(path);
    if (f.parts.empty()) return out;
    for (const RiffChunk* c : f.parts[0].child("LIST", "movi")->all("00dc"))
        out.emplace_back(f.bytes.begin() + c->data, f.bytes.begin() + c->data + c->size);
    return out;
}

const char* kRandomAnimation =
    "TRACER WIDTH 4 HEIGHT 3 END_TRACER "
    "ANIMATION START_TIME 0 END_TIME 1 FRAMES 8 END_ANIMATION "
    "SCENE BACKGROUND_COLOR RND TIME RND END_SCENE";

TEST_F(RecordRun, AFrameRangeRecordsThePicturesOfAWholeRun) {
    random15_seed(7);
    tc.record_file = dir.file("whole.avi");
    run(kRandomAnimation, render_thread_main);
    const auto whole = frame_bytes(dir.file("whole.avi"));
    ASSERT_EQ(whole.size(), 8u);

    // As in a fresh process: the generator and the time at start-up.
    random15_seed(7);
    tc.parsed().time = 0.0f;
    tc.record_file = dir.file("part.avi");
    tc.first_frame = 2;
    tc.last_frame = 4;
    run(kRandomAnimation, render_thread_main);
    const auto part = frame_bytes(dir.file("part.avi"));
    ASSERT_EQ(part.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(part[i], whole[2 + i]) << "frame " << 2 + i;
    EXPECT_NE(part[0], part[1]);
}

TEST_F(RecordRun, AFrameRangeToTheEndAndOnePastIt) {
    tc.record_file = dir.file("tail.avi");
    tc.first_frame = 6;
    run(animation(8, ""));
    EXPECT_EQ(paint_log.frames, 2);
    EXPECT_EQ(frame_bytes(dir.file("tail.avi")).size(), 2u);

    paint_log.frames = 0;
    tc.record_file = dir.file("none.avi");
    tc.first_frame = 8;
    run(animation(8, ""));
    EXPECT_EQ(paint_log.frames, 0);
    EXPECT_EQ(host.runs_finished, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.avi")));
}

}  // namespace
