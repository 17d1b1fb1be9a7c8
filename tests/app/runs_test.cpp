// Parse Only, Play, Record and Stop as the user runs them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/commands.h"
#include "app/trace_pane.h"
#include "app/trace_window.h"
#include "record/video_formats.h"
#include "render/pixel_loop.h"
#include "scene/host.h"
#include "scene/render_job.h"
#include "scene/surface.h"
#include "studio_test_support.h"

namespace {

using StudioRuns = StudioWindowTest;

// FRAMES frames of an 8 x 6 green picture, recorded to OUTPUT.
QString green_recording(int frames, const QString& output) {
    return QString(
               "animation frames %1 output_file \"%2\" end_animation\n"
               "tracer width 8 height 6 end_tracer\n"
               "scene background_color 0, 1, 0 end_scene\n")
        .arg(frames)
        .arg(output);
}

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
        job->rows_done.store(row + 1);
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

// In the pane beside the editor first, then in the separate trace window.
TEST_F(StudioRuns, F5InTheEditorTracesIntoTheTraceWindow) {
    window->editor()->setPlainText(kRedScene);
    TraceWindow* trace = window->trace_window();
    TracePane* pane = window->trace_pane();
    for (bool separate : {false, true}) {
        SCOPED_TRACE(separate ? "separate window" : "pane");
        if (separate) window->action(cmd::SeparateTraceWindow)->trigger();
        ASSERT_TRUE(window->editor()->hasFocus());
        QTest::keyClick(window->editor(), Qt::Key_F5);
        // Disabled from the start of the run...
        EXPECT_FALSE(window->button(cmd::Play)->isEnabled());
        EXPECT_FALSE(window->button(cmd::Record)->isEnabled());
        EXPECT_EQ(trace->isVisible(), separate);
        EXPECT_EQ(pane->isVisible(), !separate);
        EXPECT_EQ(trace->live(), separate);
        EXPECT_EQ(pane->live(), !separate);
        ASSERT_TRUE(wait_for_run_end());
        // ...and enabled at its end.
        EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
        EXPECT_TRUE(window->button(cmd::Record)->isEnabled());
        EXPECT_FALSE(trace->live());
        EXPECT_FALSE(pane->live());

        if (separate) {
            EXPECT_EQ(trace->size(), QSize(16, 8));
            EXPECT_FALSE(trace->windowFlags().testFlag(Qt::FramelessWindowHint));
        } else {
            // A small picture fits as it is, never enlarged.
            EXPECT_EQ(pane->picture_rect().size(), QSize(16, 8));
        }
        const QImage shown = shown_picture(*window);
        ASSERT_EQ(shown.size(), QSize(16, 8));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(shown.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
        // The trace view never took the focus.
        EXPECT_TRUE(window->editor()->hasFocus());
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(StudioRuns, ParseErrorShowsTheBoxAndSelectsTheWord) {
    window->editor()->setPlainText("scene\n\tsphere\n\tbogus\nend_scene\n");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(wait_for_run_end());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    // The parse reads CR LF line ends: "bogus" ends at character 22.
    EXPECT_EQ(dialogs.messages[0].text,
              "Bad Unit Shape. Expected ROTATE,SCALE,TRANSLATE or MATERIAL at char 23 found: "
              "bogus\n\nLine 3, Col 2");
    EXPECT_EQ(dialogs.messages[0].caption, "Parse Error");
    // The status bar keeps the place once the box is gone.
    EXPECT_EQ(window->run_status_text(),
              "Parse Error at Line 3, Col 2: Bad Unit Shape. Expected "
              "ROTATE,SCALE,TRANSLATE or MATERIAL found: bogus");
    const QTextCursor cursor = window->editor()->textCursor();
    EXPECT_EQ(cursor.selectedText(), "bogus");
    EXPECT_EQ(cursor.selectionStart(), 15);
    EXPECT_EQ(cursor.selectionEnd(), 20);
    EXPECT_TRUE(window->editor()->hasFocus());
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
    EXPECT_FALSE(window->trace_window()->isVisible());  // F8, Shift+F8 and a click on the status
                                                        // bar go back to the word; after
    // a parse without an error F8 finds none.
    expect_error_reached(*window, 15, 20);
    window->editor()->setPlainText("; only a comment\n");
    QTest::keyClick(window->editor(), Qt::Key_F4);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.messages.back().text, "Parsed OK!");
    QTest::keyClick(window->editor(), Qt::Key_F8);
    EXPECT_FALSE(window->editor()->textCursor().hasSelection());
    EXPECT_EQ(window->statusBar()->currentMessage(), "The last parse found no errors.");
}

// How the last run of one text ended is not said of the next, after Open
// or New: the line would come back after every passing message.
TEST_F(StudioRuns, OpenAndNewForgetHowTheLastTextsRunEnded) {
    QTemporaryDir dir;
    dialogs.open_answer = dir.filePath("other.gmk");
    ASSERT_TRUE(write_bytes(dialogs.open_answer, kRedScene));
    const char* const bogus = "scene\n\tbogus\nend_scene\n";
    const struct {
        const char* scene;
        const char* ended;
        Qt::Key key;
    } cases[] = {
        {bogus, "Parse Error at Line 2", Qt::Key_O},
        {kRedScene, "Done in ", Qt::Key_O},
        {bogus, "Parse Error at Line 2", Qt::Key_N},
        {kRedScene, "Done in ", Qt::Key_N},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ended);
        window->editor()->setPlainText(c.scene);
        QTest::keyClick(window->editor(), Qt::Key_F5);
        ASSERT_TRUE(wait_for_run_end());
        ASSERT_TRUE(window->run_status_text().startsWith(c.ended));
        QTest::keyClick(window->editor(), c.key, Qt::ControlModifier);
        EXPECT_EQ(window->editor()->toPlainText().isEmpty(), c.key == Qt::Key_N);
        EXPECT_EQ(window->run_status_text(), "");
    }
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
    // The pane shows the rows done so far while the thread works on.
    QTest::qWait(3 * TracePane::kRefreshMs);
    const QImage so_far = shown_picture(*window);
    ASSERT_EQ(so_far.size(), QSize(8, 10));
    EXPECT_EQ(so_far.pixel(3, 2), qRgb(255, 255, 255));
    EXPECT_EQ(so_far.pixel(3, 6), qRgb(0, 0, 0));
    QTest::keyClick(window->editor(), Qt::Key_F7);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(g_rows_done.load(), 4);
    const QImage picture = window->trace_window()->picture();
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(picture.pixel(3, y), y < 4 ? qRgb(255, 255, 255) : qRgb(0, 0, 0)) << y;
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
}

// A parse of a million loop passes, a second or more, in Play and in Record: the
// window answers while it runs (a timer comes, a key is taken), and Stop
// ends it within 100 ms, saying only "Stopped".
TEST_F(StudioRuns, TheWindowAnswersDuringALongParseAndStopEndsIt) {
    // Each pass reads a long remark again: 900 million characters in all.
    window->editor()->setPlainText("scene loop a lt a 1000 loop b lt b 1000 [" + QString(900, 'x') +
                                   "] end_loop end_loop end_scene");
    for (const int command : {cmd::Play, cmd::Record}) {
        dialogs.messages.clear();
        bool answered = false;
        QElapsedTimer since_stop;
        QTimer::singleShot(150, window.get(), [&] {
            answered = run.running() && run.parsing();
            QTest::keyClick(window->editor(), Qt::Key_F7);
            since_stop.start();
        });
        window->run_command(command);
        ASSERT_TRUE(answered) << command;
        EXPECT_LT(since_stop.elapsed(), 100) << command;
        EXPECT_FALSE(run.running());
        EXPECT_TRUE(dialogs.messages.empty()) << command;
        EXPECT_EQ(window->run_status_text(), "Stopped");
        EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
    }
}

// Closing the window while a long parse runs ends the run there: no frame is
// traced for a window that is gone, and nothing is left running.
TEST_F(StudioRuns, ClosingDuringALongParseTracesNothing) {
    reset_slow_entry();
    window->set_render_entry(slow_entry);
    window->editor()->setPlainText("scene loop a lt a 1000 loop b lt b 1000 [" + QString(900, 'x') +
                                   "] end_loop end_loop end_scene");
    QTimer::singleShot(150, window.get(), [this] { window->close(); });
    window->run_command(cmd::Play);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(window->frame_running());
    EXPECT_EQ(g_entries.load(), 0);
    EXPECT_TRUE(dialogs.messages.empty());
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
    EXPECT_TRUE(run.stop_requested());
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(window->trace_window()->isVisible());
    // The thread's own message, still queued, is dropped.
    QTest::qWait(50);
    EXPECT_FALSE(run.running());
}

TEST_F(StudioRuns, RecordAsksForTheCodecAndCancelMeansNoRecording) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("out.avi");
    window->editor()->setPlainText(green_recording(3, avi));
    dialogs.compression_answer = false;
    window->button(cmd::Record)->click();
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.compression_calls, 1);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(QFile::exists(avi));
    // The animation was traced all the same.
    EXPECT_EQ(run.frame_index(), 3);
    EXPECT_EQ(window->trace_window()->picture().pixel(2, 2), qRgb(0, 255, 0));
}

TEST_F(StudioRuns, RecordWritesEveryFrame) {
    QTemporaryDir dir;
    const QString avi = dir.filePath("out.avi");
    window->editor()->setPlainText(green_recording(3, avi));
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

    // The status bar and a notice that leaves the window usable say what was
    // written where; its button opens the folder.
    const QString wrote = "Wrote 3 frames to " + QDir::toNativeSeparators(avi);
    EXPECT_EQ(window->run_status_text(), wrote);
    auto* notice = window->findChild<QMessageBox*>("recordingNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(notice->text(), wrote);
    QAbstractButton* open_folder = nullptr;
    for (QAbstractButton* b : notice->buttons())
        if (b->text() == "Open &Folder") open_folder = b;
    ASSERT_NE(open_folder, nullptr);
    open_folder->click();
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_EQ(dialogs.urls[0], QUrl::fromLocalFile(dir.path()));
}

TEST_F(StudioRuns, RecordWithNowhereToRecordSaysSoAndTracesNothing) {
    const struct {
        const char* scene;
        const char* message;
    } cases[] = {
        {"tracer width 8 height 6 end_tracer scene end_scene",
         "Record needs an ANIMATION block, and this scene has none: nothing was recorded."},
        {"animation frames 2 end_animation tracer width 8 height 6 end_tracer",
         "The ANIMATION block names no OUTPUT_FILE: nothing was recorded."},
    };
    // Whatever a run wrote by a relative name would land in this folder.
    QTemporaryDir dir;
    struct InFolder {
        QString old = QDir::currentPath();
        explicit InFolder(const QString& path) { QDir::setCurrent(path); }
        ~InFolder() { QDir::setCurrent(old); }
    } in_folder(dir.path());
    for (const auto& c : cases) {
        dialogs.messages.clear();
        window->editor()->setPlainText(c.scene);
        window->run_command(cmd::Record);
        ASSERT_TRUE(wait_for_run_end());
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.scene;
        EXPECT_EQ(dialogs.messages[0].text, c.message);
        EXPECT_EQ(window->run_status_text(), c.message);
        EXPECT_EQ(dialogs.compression_calls, 0);
        // No picture was begun, in the pane or the separate window.
        EXPECT_EQ(window->canvas().width(), 0);
        EXPECT_FALSE(window->trace_window()->isVisible());
        EXPECT_EQ(window->findChild<QMessageBox*>("recordingNotice"), nullptr);
        EXPECT_TRUE(window->button(cmd::Record)->isEnabled());
    }
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // Play of the same scene traces it.
    window->run_command(cmd::Play);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(window->canvas().width(), 8);
    EXPECT_EQ(window->trace_pane()->picture().size(), QSize(8, 6));
}

TEST_F(StudioRuns, TheStatusBarFollowsTheRowsAndKeepsHowTheRunEnded) {
    reset_slow_entry();
    window->set_render_entry(slow_entry);
    window->editor()->setPlainText("tracer width 8 height 10 end_tracer scene end_scene");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return window->run_status_text() == "Tracing row 3 of 10, 30 %"; }, 20000))
        << window->run_status_text().toStdString();
    QTest::keyClick(window->editor(), Qt::Key_F7);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(window->run_status_text(), "Stopped");

    window->set_render_entry(render_thread_main);
    window->editor()->setPlainText(kRedScene);
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_TRUE(
        QRegularExpression("^Done in \\d+\\.\\d\\d s$").match(window->run_status_text()).hasMatch())
        << window->run_status_text().toStdString();
    // A passing message covers the line only while it lasts.
    window->statusBar()->showMessage("passing", 1);
    const QLabel* line = window->findChild<QLabel*>("runStatus");
    EXPECT_TRUE(QTest::qWaitFor([line] { return line->isVisible(); }, 5000));
    EXPECT_TRUE(window->run_status_text().startsWith("Done in "));
}

TEST_F(StudioRuns, F5PlaysAnAnimationNoFasterThanItsFramesPerSecondAndStopEndsIt) {
    window->editor()->setPlainText(
        "animation frames 4 frames_per_second 2 end_animation\n"
        "tracer width 8 height 6 end_tracer scene end_scene\n");
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(window->editor(), Qt::Key_F5);
    QStringList seen;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            seen << window->run_status_text();
            return !run.running();
        },
        60000));
    // Frames 1 to 3 start half a second after the one before.
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(run.frame_index(), 4);
    EXPECT_TRUE(seen.contains("Frame 1 of 4")) << seen.join(" | ").toStdString();
    EXPECT_TRUE(seen.contains("Frame 3 of 4")) << seen.join(" | ").toStdString();
    EXPECT_TRUE(window->run_status_text().startsWith("Done in "));

    // Stop while a frame waits for its turn ends the run there and then.
    clock.restart();
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return window->run_status_text() == "Frame 1 of 4"; }, 20000));
    QTest::keyClick(window->editor(), Qt::Key_F7);
    EXPECT_FALSE(run.running());
    EXPECT_EQ(run.frame_index(), 1);
    EXPECT_EQ(window->run_status_text(), "Stopped");
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(window->button(cmd::Play)->isEnabled());
}

// OUTPUT_FILE's extension preselects the format; the one chosen is written,
// under the name with that format's extension.
TEST_F(StudioRuns, RecordOffersTheFormatOfTheFileAndWritesTheOneChosen) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    QTemporaryDir dir;
    window->editor()->setPlainText(green_recording(3, dir.filePath("out.mp4")));
    dialogs.answer_format = static_cast<int>(glimmark::VideoKind::WebmVp9);
    window->run_command(cmd::Record);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(dialogs.offered_format, glimmark::VideoKind::Mp4H264);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(QFile::exists(dir.filePath("out.mp4")));
    EXPECT_EQ(read_bytes(dir.filePath("out.webm")).left(4), QByteArray("\x1A\x45\xDF\xA3"));
}

// Each Record asks again, from OUTPUT_FILE: the format chosen last time
// is not carried into the next run.
TEST_F(StudioRuns, RecordAsksEveryTimeAndEachChoiceHoldsForItsRunOnly) {
    if (!have_video_libraries()) GTEST_SKIP() << "built without FFmpeg's libraries";
    QTemporaryDir dir;
    window->editor()->setPlainText(green_recording(2, dir.filePath("bounce.avi")));
    const struct {
        glimmark::VideoKind chosen;
        const char* file;
        QByteArray magic;
        int at;
    } rounds[] = {
        {glimmark::VideoKind::Mp4H264, "bounce.mp4", "ftyp", 4},
        {glimmark::VideoKind::Gif, "bounce.gif", "GIF89a", 0},
        {glimmark::VideoKind::AviRaw, "bounce.avi", "RIFF", 0},
        {glimmark::VideoKind::WebmVp9, "bounce.webm", "\x1A\x45\xDF\xA3", 0},
    };
    int asked = 0;
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.file);
        dialogs.answer_format = static_cast<int>(round.chosen);
        window->button(cmd::Record)->click();
        ASSERT_TRUE(wait_for_run_end());
        EXPECT_EQ(dialogs.compression_calls, ++asked);
        EXPECT_EQ(container_of(static_cast<VideoFormat>(dialogs.offered_format)),
                  VideoContainer::Avi);
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text.toStdString();
        dialogs.messages.clear();
        EXPECT_EQ(read_bytes(dir.filePath(round.file)).mid(round.at, round.magic.size()),
                  round.magic);
        EXPECT_EQ(window->run_status_text(),
                  "Wrote 2 frames to " + QDir::toNativeSeparators(dir.filePath(round.file)));
    }
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
    EXPECT_TRUE(dialogs.messages[0].text.endsWith("at char 35 found: frob\n\nLine 4, Col 2"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(window->editor()->textCursor().selectedText(), "frob");
}
