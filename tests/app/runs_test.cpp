// Parse Only, Play, Record and Stop as the user runs them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/commands.h"
#include "app/trace_window.h"
#include "record/video_formats.h"
#include "scene/render_job.h"
#include "scene/surface.h"
#include "studio_test_support.h"

namespace {

using StudioRuns = StudioWindowTest;

constexpr uint32_t kWhite = 0x00FFFFFF;

// A render thread that draws white rows and takes its time over row 3: it
// waits there until a stop is requested (or a long while), then ends the
// frame after that row as the pixel loop does.
std::atomic<int> g_entries{0};
std::atomic<int> g_rows_done{0};
std::atomic<bool> g_exited{false};

int slow_entry(RenderJob* job) {
    ++g_entries;
    job->stop_requested.store(false);
    Surface& surface = *job->drawing_context;
    surface.fill_black(0, 0, job->width, job->height);
    for (int row = 0; row < job->height; ++row) {
        if (row == 3) {
            for (int i = 0; i < 20000 && !job->stop_requested.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (int col = 0; col < job->width; ++col)
            surface.set_pixel(col, row, kWhite);
        g_rows_done = row + 1;
        if (job->stop_requested.load()) break;
    }
    g_exited = true;
    job->main_window->post_trace_done(TRACE_FRAME_DONE);
    return 0;
}

void reset_slow_entry() {
    g_entries = 0;
    g_rows_done = 0;
    g_exited = false;
}

const char* const kRedScene =
    "tracer width 16 height 8 end_tracer\r\n"
    "scene background_color 1, 0, 0 end_scene\r\n";

}  // namespace

TEST_F(StudioRuns, F5InTheEditorTracesIntoTheTraceWindow) {
    window->editor()->setPlainText(kRedScene);
    ASSERT_TRUE(window->editor()->hasFocus());
    QTest::keyClick(window->editor(), Qt::Key_F5);
    // Disabled from the start of the run...
    EXPECT_FALSE(window->button(cmd::Play)->isEnabled());
    EXPECT_FALSE(window->button(cmd::Record)->isEnabled());
    TraceWindow* trace = window->trace_window();
    EXPECT_TRUE(trace->isVisible());
    EXPECT_TRUE(trace->live());
    ASSERT_TRUE(wait_for_run_end());
    // ...and enabled at its end.
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
    EXPECT_TRUE(window->button(cmd::Record)->isEnabled());
    EXPECT_FALSE(trace->live());

    EXPECT_EQ(trace->pos(), QPoint(0, 0));
    EXPECT_EQ(trace->size(), QSize(16, 8));
    EXPECT_TRUE(trace->windowFlags().testFlag(Qt::FramelessWindowHint));
    const QImage shown = trace->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(16, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(shown.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
    // The trace window never took the focus.
    EXPECT_TRUE(window->editor()->hasFocus());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StudioRuns, ParseErrorShowsTheBoxAndSelectsTheWord) {
    window->editor()->setPlainText("scene\n\tsphere\n\tbogus\nend_scene\n");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    // The parse reads CR LF line ends: "bogus" ends at character 22.
    EXPECT_EQ(
        dialogs.messages[0].text,
        "Bad Unit Shape. Expected ROTATE,SCALE,TRANSLATE or MATERIAL at char 23 found: bogus");
    EXPECT_EQ(dialogs.messages[0].caption, "Parse Error");
    const QTextCursor cursor = window->editor()->textCursor();
    EXPECT_EQ(cursor.selectedText(), "bogus");
    EXPECT_EQ(cursor.selectionStart(), 15);
    EXPECT_EQ(cursor.selectionEnd(), 20);
    EXPECT_TRUE(window->editor()->hasFocus());
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
    EXPECT_FALSE(window->trace_window()->isVisible());
}

TEST_F(StudioRuns, ParseErrorFarDownScrollsToTheWord) {
    QString text = "scene\n";
    for (int i = 0; i < 300; ++i)
        text += "; line\n";
    text += "\tfrob\nend_scene\n";
    window->editor()->setPlainText(text);
    window->editor()->moveCursor(QTextCursor::Start);
    window->run_command(cmd::ParseOnly);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Parse Error");
    EXPECT_EQ(window->editor()->textCursor().selectedText(), "frob");
    EXPECT_GT(window->editor()->verticalScrollBar()->value(), 0);
    const QRect caret = window->editor()->cursorRect();
    EXPECT_TRUE(window->editor()->viewport()->rect().contains(caret)) << caret.y();
}

TEST_F(StudioRuns, ParseOnlySaysParsedOkOnlyWithoutAnError) {
    window->editor()->setPlainText("; only a comment\n");
    window->run_command(cmd::ParseOnly);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Parsed OK!");
    EXPECT_EQ(dialogs.messages[0].caption, "Parse");
    EXPECT_FALSE(window->trace_window()->isVisible());

    dialogs.messages.clear();
    window->editor()->setPlainText("bogus");
    window->run_command(cmd::ParseOnly);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Parse Error");
}

TEST_F(StudioRuns, StopEndsTheFrameAfterTheCurrentRow) {
    reset_slow_entry();
    window->set_render_entry(slow_entry);
    window->editor()->setPlainText("tracer width 8 height 10 end_tracer scene end_scene");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([] { return g_rows_done.load() >= 3; }, 20000));
    QTest::keyClick(window->editor(), Qt::Key_F7);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(g_rows_done.load(), 4);
    const QImage picture = window->trace_window()->picture();
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(picture.pixel(3, y), y < 4 ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << y;
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
}

TEST_F(StudioRuns, ASecondStartDuringARunIsNotTakenUp) {
    reset_slow_entry();
    window->set_render_entry(slow_entry);
    window->editor()->setPlainText("tracer width 8 height 10 end_tracer scene end_scene");
    window->run_command(cmd::Play);
    ASSERT_TRUE(QTest::qWaitFor([] { return g_rows_done.load() >= 3; }, 20000));
    window->editor()->setPlainText("bogus");
    window->run_command(cmd::Play);
    window->run_command(cmd::ParseOnly);
    EXPECT_TRUE(dialogs.messages.empty());
    window->run_command(cmd::Stop);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(g_entries.load(), 1);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StudioRuns, ClosingDuringATraceStopsItAndQuitsCleanly) {
    reset_slow_entry();
    window->set_render_entry(slow_entry);
    window->editor()->setPlainText("tracer width 8 height 10 end_tracer scene end_scene");
    window->run_command(cmd::Play);
    ASSERT_TRUE(QTest::qWaitFor([] { return g_rows_done.load() >= 3; }, 20000));
    window->close();
    // The render thread has ended before close returns, and the run is over.
    EXPECT_TRUE(g_exited.load());
    EXPECT_EQ(g_rows_done.load(), 4);
    EXPECT_TRUE(controller.job.stop_requested.load());
    EXPECT_FALSE(controller.running());
    EXPECT_FALSE(window->trace_window()->isVisible());
    // The thread's own message, still queued, is dropped.
    QTest::qWait(50);
    EXPECT_FALSE(controller.running());
}

TEST_F(StudioRuns, RecordAsksForTheCodecAndCancelMeansNoRecording) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("out.avi");
    window->editor()->setPlainText(QString("animation frames 3 output_file \"%1\" end_animation\n"
                                           "tracer width 8 height 6 end_tracer\n"
                                           "scene background_color 0, 1, 0 end_scene\n")
                                       .arg(avi));
    dialogs.compression_answer = false;
    window->button(cmd::Record)->click();
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.compression_calls, 1);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(QFile::exists(avi));
    // The animation was traced all the same.
    EXPECT_EQ(controller.frame_index, 3);
    EXPECT_EQ(window->trace_window()->picture().pixel(2, 2), qRgb(0, 255, 0));
}

TEST_F(StudioRuns, RecordWritesEveryFrame) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("out.avi");
    window->editor()->setPlainText(QString("animation frames 3 output_file \"%1\" end_animation\n"
                                           "tracer width 8 height 6 end_tracer\n"
                                           "scene background_color 0, 1, 0 end_scene\n")
                                       .arg(avi));
    dialogs.compression_answer = true;
    dialogs.answer_mjpeg = false;
    window->run_command(cmd::Record);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.compression_calls, 1);
    EXPECT_TRUE(dialogs.messages.empty());
    const QByteArray bytes = read_bytes(avi);
    ASSERT_GE(bytes.size(), 64);
    EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
    EXPECT_EQ(bytes.mid(8, 4), QByteArray("AVI "));
    // The main header's total frame count.
    const qsizetype avih = bytes.indexOf("avih");
    ASSERT_GT(avih, 0);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData() + avih + 8 + 16);
    EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24, 3);
}

// OUTPUT_FILE's extension preselects the format; the one chosen is written,
// under the name with that format's extension.
TEST_F(StudioRuns, RecordOffersTheFormatOfTheFileAndWritesTheOneChosen) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    QTemporaryDir dir;
    window->editor()->setPlainText(QString("animation frames 3 output_file \"%1\" end_animation\n"
                                           "tracer width 8 height 6 end_tracer\n"
                                           "scene background_color 0, 1, 0 end_scene\n")
                                       .arg(dir.filePath("out.mp4")));
    dialogs.answer_format = static_cast<int>(VideoFormat::WebmVp9);
    window->run_command(cmd::Record);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.offered_format, VideoFormat::Mp4H264);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(QFile::exists(dir.filePath("out.mp4")));
    EXPECT_EQ(read_bytes(dir.filePath("out.webm")).left(4), QByteArray("\x1A\x45\xDF\xA3"));
}

TEST_F(StudioRuns, PlayNeverRecords) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("out.avi");
    window->editor()->setPlainText(QString("animation frames 2 output_file \"%1\" end_animation\n"
                                           "tracer width 8 height 6 end_tracer scene end_scene\n")
                                       .arg(avi));
    window->run_command(cmd::Play);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.compression_calls, 0);
    EXPECT_FALSE(QFile::exists(avi));
}

TEST_F(StudioRuns, TheSelectionFindsTheWordAfterWideCharactersAndMixedLineEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("wide.gmk");
    // "ü" and "ß" are two bytes, "€" three; the parse counts bytes, so "frob"
    // is bytes 30 to 33 and the blank after it is byte 34.
    ASSERT_TRUE(write_bytes(path,
                            "; gr\xC3\xBC\xC3\x9F"
                            "e \xE2\x82\xAC\r\nscene\nsphere\r\n frob end_sphere\n"));
    ASSERT_TRUE(window->open_file(path));
    window->run_command(cmd::ParseOnly);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Parse Error");
    EXPECT_TRUE(dialogs.messages[0].text.endsWith("at char 35 found: frob"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(window->editor()->textCursor().selectedText(), "frob");
}
