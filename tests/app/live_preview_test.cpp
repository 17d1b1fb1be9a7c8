// Live Preview: the pause before a trace, its passes, errors without boxes,
// and the pick from the picture back to the text.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTextCursor>
#include <QThread>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/live_preview.h"
#include "app/trace_pane.h"
#include "studio_test_support.h"

namespace {

class StudioLivePreview : public StudioWindowTest {
  protected:
    void SetUp() override {
        ASSERT_FALSE(window->live_preview_on());  // off by default
        window->action(cmd::LivePreview)->trigger();
        ASSERT_TRUE(window->live_preview_on());
    }
    LivePreview& preview() { return *window->live_preview(); }
    // Types the text's last word as the user would (the keys restart the
    // pause); the rest is there already.
    void type_text(const QString& text) {
        const int last_word = text.trimmed().lastIndexOf(QRegularExpression("\\s")) + 1;
        window->editor()->setPlainText(text.left(last_word));
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), text.mid(last_word).trimmed());
    }
    // Waits for the full pass of the newest edit.
    bool wait_for_full_picture(int ms = 30000) {
        return QTest::qWaitFor(
            [this] {
                return !preview().busy() && !window->preview_timer()->isActive() &&
                       preview().picture() != nullptr;
            },
            ms);
    }
    std::vector<uint32_t> preview_bytes() { return preview().picture()->snapshot(); }
    // Waits for the run F5 started and for its scene to be ready for picks.
    bool play_and_wait_for_picks() {
        return wait_for_run_end() &&
               QTest::qWaitFor([this] { return !window->run_picks()->busy(); }, 30000);
    }
    // The preview's threads alive in the process, its pass helpers included.
    static int preview_threads() {
        int count = 0;
        for (const QString& task :
             QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile name("/proc/self/task/" + task + "/comm");
            if (name.open(QIODevice::ReadOnly) &&
                name.readAll().trimmed() == LivePreview::kThreadName)
                ++count;
        }
        return count;
    }
};

// Two balls in front of the camera: the one at world x = 2.5 covers pixel
// (8, 16) of the 64 x 32 picture, the one at -2.5 pixel (56, 16).
const char* const kTracer = "TRACER WIDTH 64 HEIGHT 32 ANTIALIASING 4 END_TRACER\n";
const char* const kLeftBall = "SPHERE TRANSLATE 2.5 0 5 END_SPHERE";
const char* const kRightBall = "SPHERE TRANSLATE -2.5 0 5 END_SPHERE";

QString two_balls(const QString& left, const QString& right, const QString& before = {}) {
    return QString(kTracer) + before + "SCENE\nLIGHT TRANSLATE 0 5 -5 STRENGTH 30 END_LIGHT\n" +
           "MATERIAL NAME red DIFFUSE 1 0 0 END_MATERIAL\n" + left + "\n" +
           "MATERIAL NAME blue DIFFUSE 0 0 1 END_MATERIAL\n" + right + "\nEND_SCENE\n";
}

}  // namespace

TEST_F(StudioLivePreview, AnEditIsTracedAfterThePauseNotBefore) {
    type_text(two_balls(kLeftBall, kRightBall));
    QElapsedTimer since_last_key;
    since_last_key.start();
    // Within the pause nothing has been asked for.
    QTest::qWait(100);
    if (since_last_key.elapsed() < 140) {
        EXPECT_FALSE(preview().busy());
        EXPECT_EQ(preview().picture(), nullptr);
        EXPECT_TRUE(window->trace_pane()->shows_own_surface());
    }
    ASSERT_TRUE(wait_for_full_picture());
    EXPECT_GE(since_last_key.elapsed(), 150);
    EXPECT_FALSE(window->trace_pane()->shows_own_surface());
    EXPECT_EQ(window->trace_pane()->picture().size(), QSize(64, 32));
    EXPECT_TRUE(dialogs.messages.empty());
    // Remembered for the next start of the studio.
    restart_window();
    EXPECT_TRUE(window->live_preview_on());
}

// The full pass is Play's picture, byte for byte; the smaller preview sizes
// keep the camera and trace fewer pixels.
TEST_F(StudioLivePreview, TheFullPassIsPlaysPicture) {
    // The showcase from its file, for its texture, and smaller.
    const QString showcase = QString(GMK_SOURCE_DIR) + "/examples/showcase.gmk";
    ASSERT_TRUE(window->open_file(showcase));
    const QString text = window->editor()->toPlainText();
    const QString small_showcase =
        QString(text).replace("WIDTH 560 HEIGHT 560", "WIDTH 96 HEIGHT 96");
    // A size the coarsest step does not divide: its last blocks are cut.
    const QString odd_showcase =
        QString(text).replace("WIDTH 560 HEIGHT 560", "WIDTH 76 HEIGHT 52");
    const struct {
        const char* name;
        QString text;
    } cases[] = {
        {"two balls", two_balls(kLeftBall, kRightBall)},
        {"showcase at 96 x 96", small_showcase},
        {"showcase at 76 x 52", odd_showcase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window->editor()->setPlainText(c.text);
        ASSERT_TRUE(wait_for_full_picture());
        const std::vector<uint32_t> live = preview_bytes();
        const QSize live_size = window->trace_pane()->picture().size();
        for (const int id : {cmd::PreviewSizeHalf, cmd::PreviewSizeQuarter}) {
            window->action(id)->trigger();
            ASSERT_TRUE(wait_for_full_picture());
            const int divisor = id == cmd::PreviewSizeHalf ? 2 : 4;
            EXPECT_EQ(window->trace_pane()->picture().size(), live_size / divisor);
        }
        window->action(cmd::PreviewSizeFull)->trigger();
        ASSERT_TRUE(wait_for_full_picture());
        QTest::keyClick(window->editor(), Qt::Key_F5);
        ASSERT_TRUE(wait_for_run_end());
        EXPECT_TRUE(window->trace_pane()->shows_own_surface());
        EXPECT_EQ(window->canvas().snapshot(), live);
    }
}

// The error's word is underlined exactly, the message and its line:col are
// in the status bar, no box is shown, and the last picture stays dimmed.
TEST_F(StudioLivePreview, AnErrorUnderlinesItsWordAndKeepsThePicture) {
    window->editor()->setPlainText(two_balls(kLeftBall, kRightBall));
    ASSERT_TRUE(wait_for_full_picture());
    const std::vector<uint32_t> good = preview_bytes();
    const struct {
        QString text;
        QString word;
        QString where;
    } cases[] = {
        {two_balls("SPHERE TRANSLATE 2.5 0 5 END_SPHERE",
                   "SPHERE TRANSLATE -2.5 0 5 WOBBLE END_SPHERE"),
         "WOBBLE", "(Line 7, Col 27)"},
        {two_balls(kLeftBall, kRightBall).replace("END_SCENE", "END_SCENERY"), "END_SCENERY",
         "(Line 8, Col 1)"},
    };
    auto* editor = static_cast<CodeEditor*>(window->editor());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word.toStdString());
        editor->setPlainText(c.text);
        ASSERT_TRUE(QTest::qWaitFor([&] { return editor->error_mark().hasSelection(); }, 10000));
        EXPECT_EQ(editor->error_mark().selectedText(), c.word);
        EXPECT_EQ(editor->error_mark().selectionStart(), c.text.indexOf(c.word));
        EXPECT_TRUE(window->statusBar()->currentMessage().endsWith(c.where))
            << window->statusBar()->currentMessage().toStdString();
        EXPECT_EQ(editor->error_message(), window->statusBar()->currentMessage());
        const auto marks = editor->extraSelections();
        ASSERT_FALSE(marks.isEmpty());
        EXPECT_EQ(marks.last().format.underlineStyle(), QTextCharFormat::WaveUnderline);
        EXPECT_TRUE(window->trace_pane()->dimmed());
        EXPECT_EQ(preview_bytes(), good);
        EXPECT_TRUE(dialogs.messages.empty());
        const int at = c.text.indexOf(c.word);
        expect_error_reached(*window, at, at + c.word.size());
        // Mended, the mark goes and the picture is bright again.
        editor->setPlainText(two_balls(kLeftBall, kRightBall));
        ASSERT_TRUE(wait_for_full_picture());
        EXPECT_FALSE(editor->error_mark().hasSelection());
        EXPECT_FALSE(window->trace_pane()->dimmed());
    }
}

// A click selects the block of the shape that made the pixel: the INCLUDE
// or LOOP that brought it in, the outermost CSG block, or with Alt, Ctrl or a
// double click the operand itself; the background selects nothing.
TEST_F(StudioLivePreview, AClickSelectsTheBlockOfTheShapeHit) {
    const QString union_block =
        "UNION SPHERE TRANSLATE -2.5 0 5 END_SPHERE SPHERE TRANSLATE -2.5 0 9 END_SPHERE "
        "END_UNION";
    const QString group_block =
        "FRAME BOUNDING_SHAPE SPHERE TRANSLATE -2.5 0 5 SCALE 2 2 2 END_SPHERE "
        "SPHERE TRANSLATE -2.5 0 5 END_SPHERE END_FRAME";
    const QString loop_block = "LOOP i LT i 1 SPHERE TRANSLATE -2.5 0 5 END_SPHERE END_LOOP";
    const struct {
        const char* name;
        QString text;
        QPoint pixel;
        int how;  // 0 a click, 1 with Alt, 2 with Ctrl, 3 a double click
        QString selected;
    } cases[] = {
        {"left ball", two_balls(kLeftBall, kRightBall), {8, 16}, 0, kLeftBall},
        {"right ball", two_balls(kLeftBall, kRightBall), {56, 16}, 0, kRightBall},
        {"background", two_balls(kLeftBall, kRightBall), {32, 2}, 0, ""},
        {"include",
         two_balls("INCLUDE NAME ball END_INCLUDE", kRightBall,
                   "DEFINE NAME ball SPHERE TRANSLATE 2.5 0 5 END_SPHERE END_DEFINE\n"),
         {8, 16},
         0,
         "INCLUDE NAME ball END_INCLUDE"},
        {"loop", two_balls(kLeftBall, loop_block), {56, 16}, 0, loop_block},
        {"csg", two_balls(kLeftBall, union_block), {56, 16}, 0, union_block},
        {"csg with Alt",
         two_balls(kLeftBall, union_block),
         {56, 16},
         1,
         "SPHERE TRANSLATE -2.5 0 5 END_SPHERE"},
        {"csg with Ctrl",
         two_balls(kLeftBall, union_block),
         {56, 16},
         2,
         "SPHERE TRANSLATE -2.5 0 5 END_SPHERE"},
        {"csg by a double click",
         two_balls(kLeftBall, union_block),
         {56, 16},
         3,
         "SPHERE TRANSLATE -2.5 0 5 END_SPHERE"},
        {"bounding group", two_balls(kLeftBall, group_block), {56, 16}, 0, group_block},
        {"bounding group with Alt",
         two_balls(kLeftBall, group_block),
         {56, 16},
         1,
         "SPHERE TRANSLATE -2.5 0 5 END_SPHERE"},
    };
    TracePane* pane = window->trace_pane();
    // In the live preview's picture, then in Play's with the preview off.
    for (const bool by_play : {false, true}) {
        SCOPED_TRACE(by_play ? "after F5" : "live preview");
        if (by_play) window->action(cmd::LivePreview)->trigger();
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            window->editor()->setPlainText(c.text);
            if (by_play) {
                QTest::keyClick(window->editor(), Qt::Key_F5);
                ASSERT_TRUE(play_and_wait_for_picks());
            } else {
                ASSERT_TRUE(wait_for_full_picture());
            }
            QTextCursor start(window->editor()->document());
            window->editor()->setTextCursor(start);
            const QRect area = pane->picture_rect();
            ASSERT_EQ(area.size(), QSize(64, 32));
            const QPoint at = pane->widget()->mapFrom(pane->viewport(), area.topLeft() + c.pixel);
            if (c.how == 3) {
                QTest::mouseDClick(pane->widget(), Qt::LeftButton, Qt::NoModifier, at);
            } else {
                const Qt::KeyboardModifier held[] = {Qt::NoModifier, Qt::AltModifier,
                                                     Qt::ControlModifier};
                QTest::mouseClick(pane->widget(), Qt::LeftButton, held[c.how], at);
            }
            EXPECT_EQ(window->editor()->textCursor().selectedText(), c.selected);
            // The shape picked is outlined in the picture.
            EXPECT_EQ(pane->outlined(), !c.selected.isEmpty());
            if (!c.selected.isEmpty()) {
                EXPECT_EQ(window->editor()->textCursor().selectionStart(),
                          c.text.indexOf(c.selected));
            }
        }
    }
}

// After F5 the mouse over the picture names the shape; once the text is
// edited the picture is another text's and a click picks nothing in it.
// Show Block at Caret (Ctrl+B) outlines the shape whose block holds the caret.
TEST_F(StudioLivePreview, PlaysPictureAnswersUntilTheTextChanges) {
    window->action(cmd::LivePreview)->trigger();
    const QString text = two_balls(kLeftBall, kRightBall);
    window->editor()->setPlainText(text);
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(play_and_wait_for_picks());
    TracePane* pane = window->trace_pane();
    QWidget* view = pane->widget();
    const auto at = [&](QPoint pixel) {
        return view->mapFrom(pane->viewport(), pane->picture_rect().topLeft() + pixel);
    };
    QTest::mouseMove(view, at({56, 16}));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window->statusBar()->currentMessage() == "SPHERE, material blue"; }, 2000))
        << window->statusBar()->currentMessage().toStdString();

    // The caret in a block: its shape outlined, on its side of the picture only.
    const struct {
        const char* name;
        QString caret_after;
        int outlined_side;  // -1 left half, 1 right half, 0 none
    } cases[] = {
        {"left ball", "SPHERE TRANSLATE 2.5", -1},
        {"right ball", "SPHERE TRANSLATE -2.5 0", 1},
        {"the end of the right ball", kRightBall, 1},
        {"the light", "LIGHT TRANSLATE", 0},
    };
    const QRgb outline = qRgb(255, 200, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTextCursor caret(window->editor()->document());
        caret.setPosition(text.indexOf(c.caret_after) + c.caret_after.size());
        window->editor()->setTextCursor(caret);
        QTest::keyClick(window->editor(), Qt::Key_B, Qt::ControlModifier);
        EXPECT_EQ(pane->outlined(), c.outlined_side != 0);
        const QImage shown = shown_picture(*window);
        int left = 0, right = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) == outline) ++(x < shown.width() / 2 ? left : right);
        EXPECT_EQ(left > 0, c.outlined_side == -1);
        EXPECT_EQ(right > 0, c.outlined_side == 1);
    }

    // Edited: nothing is picked in the picture of the text before.
    QTest::keyClick(window->editor(), Qt::Key_Space);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, at({8, 16}));
    EXPECT_FALSE(window->editor()->textCursor().hasSelection());
    EXPECT_FALSE(pane->outlined());
    QTest::keyClick(window->editor(), Qt::Key_B, Qt::ControlModifier);
    EXPECT_FALSE(pane->outlined());
    EXPECT_TRUE(dialogs.messages.empty());
}

// Many quick edits leave one run at most, and none once the last is traced;
// the next edit stops even an endless-looking trace at once.
TEST_F(StudioLivePreview, RapidEditsLeaveOneRunAndStopPromptly) {
    window->preview_timer()->setInterval(1);
    window->editor()->setPlainText(two_balls(kLeftBall, kRightBall));
    int most_alive = 0;
    for (int i = 0; i < 100; ++i) {
        QTest::keyClick(window->editor(), Qt::Key_Space);
        QTest::qWait(2);
        most_alive = std::max(most_alive, preview().threads_alive());
        // The run's thread and at most one helper per core.
        EXPECT_LE(preview_threads(), 1 + QThread::idealThreadCount());
    }
    EXPECT_EQ(most_alive, 1);
    ASSERT_TRUE(wait_for_full_picture());
    EXPECT_EQ(preview().threads_alive(), 0);
    EXPECT_EQ(preview_threads(), 0);

    window->preview_timer()->setInterval(150);
    window->editor()->setPlainText(
        "TRACER WIDTH 16384 HEIGHT 16384 ANTIALIASING 1024 END_TRACER\n" +
        two_balls(kLeftBall, kRightBall).section('\n', 1));
    ASSERT_TRUE(QTest::qWaitFor([this] { return preview().busy(); }, 5000));
    QTest::qWait(300);
    ASSERT_TRUE(preview().busy());
    QElapsedTimer stopping;
    stopping.start();
    preview().stop(true);
    // On a machine busier than its cores the threads wait for their turn to
    // see the stop; the bound is for a machine that has room.
    double load = 0;
    getloadavg(&load, 1);
    EXPECT_LT(stopping.elapsed(), load <= QThread::idealThreadCount() ? 100 : 500)
        << "load " << load;
    EXPECT_EQ(preview_threads(), 0);
    EXPECT_EQ(preview().threads_alive(), 0);
}

// An animation shows the moment the slider under the picture picks: the ball
// moves from the left (TIME 0) to the right (TIME 1), and a click finds it
// where that moment has it.
TEST_F(StudioLivePreview, TheTimeSliderPicksTheMoment) {
    const QString ball = "SPHERE TRANSLATE SUB 2.5 MUL TIME 5, 0 5 END_SPHERE";
    const QString text = "ANIMATION START_TIME 0 END_TIME 1 FRAMES 4 END_ANIMATION\n" +
                         two_balls(ball, "").replace("blue", "green");
    window->editor()->setPlainText(text);
    ASSERT_TRUE(wait_for_full_picture());
    QSlider* slider = window->time_slider();
    ASSERT_TRUE(slider->isVisible());
    TracePane* pane = window->trace_pane();
    const struct {
        int value;
        QPoint ball, background;
        QString shown;
    } cases[] = {{slider->minimum(), {8, 16}, {56, 16}, "TIME 0, frame 1 of 4"},
                 {slider->maximum() / 2, {32, 16}, {8, 16}, "TIME 0.5, frame 3 of 4"},
                 {slider->maximum(), {56, 16}, {8, 16}, "TIME 1, frame 4 of 4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        slider->setValue(c.value);
        EXPECT_EQ(window->time_text(), c.shown);
        ASSERT_TRUE(wait_for_full_picture());
        for (const QPoint pixel : {c.background, c.ball}) {
            window->editor()->setTextCursor(QTextCursor(window->editor()->document()));
            QTest::mouseClick(
                pane->widget(), Qt::LeftButton, Qt::NoModifier,
                pane->widget()->mapFrom(pane->viewport(), pane->picture_rect().topLeft() + pixel));
            EXPECT_EQ(window->editor()->textCursor().selectedText(),
                      pixel == c.ball ? ball : QString());
        }
    }
}
