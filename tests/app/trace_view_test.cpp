// The trace view: fit or zoom, the separate window as a remembered choice,
// and Save Picture.
#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/commands.h"
#include "app/trace_pane.h"
#include "app/trace_window.h"
#include "studio_test_support.h"

namespace {

using StudioTraceView = StudioWindowTest;

// One notch of the mouse wheel over the pane, Ctrl held or not.
void wheel_over(TracePane* pane, int notches, Qt::KeyboardModifiers modifiers) {
    const QPoint at = pane->viewport()->rect().center();
    QWheelEvent event(at, pane->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pane->viewport(), &event);
}

}  // namespace

TEST_F(StudioTraceView, FitShrinksALargePictureAndCtrlWheelZooms) {
    TracePane* pane = window->trace_pane();
    QAction* fit = window->action(cmd::FitPicture);
    ASSERT_TRUE(fit->isChecked());
    window->editor()->setPlainText("tracer width 1200 height 780 end_tracer scene end_scene");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(wait_for_run_end());
    const double fitted = pane->scale();
    EXPECT_LT(fitted, 1.0);
    EXPECT_TRUE(pane->viewport()->rect().contains(pane->picture_rect()));
    EXPECT_NEAR(pane->picture_rect().width() / static_cast<double>(pane->picture_rect().height()),
                1200.0 / 780.0, 0.01);

    // The wheel alone does not zoom; Ctrl+wheel does, and leaves the fit.
    wheel_over(pane, 1, Qt::NoModifier);
    EXPECT_EQ(pane->scale(), fitted);
    wheel_over(pane, 1, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(pane->scale(), fitted * TracePane::kZoomStep);
    EXPECT_FALSE(fit->isChecked());
    wheel_over(pane, -2, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(pane->scale(), fitted / TracePane::kZoomStep);
    for (int i = 0; i < 40; ++i)
        wheel_over(pane, 1, Qt::ControlModifier);
    EXPECT_EQ(pane->scale(), TracePane::kMaxZoom);

    // Fit Picture brings the whole picture back; off again, it is 1:1 with
    // scroll bars.
    fit->trigger();
    EXPECT_TRUE(fit->isChecked());
    EXPECT_EQ(pane->scale(), fitted);
    fit->trigger();
    EXPECT_EQ(pane->scale(), 1.0);
    EXPECT_EQ(pane->picture_rect().size(), QSize(1200, 780));
    EXPECT_GT(pane->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(pane->verticalScrollBar()->maximum(), 0);
}

TEST_F(StudioTraceView, TheChoicesAreRememberedBetweenRuns) {
    window->action(cmd::SeparateTraceWindow)->trigger();
    window->action(cmd::FitPicture)->trigger();
    window.reset();
    for (bool separate : {true, false}) {
        TraceController again;
        MainWindow next(again, &dialogs);
        next.show();
        EXPECT_EQ(next.action(cmd::SeparateTraceWindow)->isChecked(), separate);
        EXPECT_EQ(next.trace_pane()->isVisible(), !separate);
        EXPECT_FALSE(next.action(cmd::FitPicture)->isChecked());
        EXPECT_FALSE(next.trace_pane()->fit());
        // Beside the separate window the editor alone is narrower, and kept
        // clear of a 480-pixel picture where the screen has room.
        const QRect room = next.screen()->availableGeometry();
        EXPECT_TRUE(room.contains(next.frameGeometry()));
        if (room.width() >= 1280) {
            EXPECT_EQ(next.width() <= room.width() / 2, separate);
            if (separate) {
                EXPECT_GE(next.frameGeometry().left(), 480);
            }
        }
        next.action(cmd::SeparateTraceWindow)->trigger();
    }
}

TEST_F(StudioTraceView, CtrlShiftESavesThePictureShownAsPng) {
    QTemporaryDir dir;
    dialogs.picture_answer = dir.filePath("shown.png");
    // Nothing to save before the first picture: no question, no file.
    QTest::keyClick(window->editor(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(dialogs.picture_starts.isEmpty());
    EXPECT_FALSE(QFile::exists(dialogs.picture_answer));

    for (bool separate : {false, true}) {
        SCOPED_TRACE(separate ? "separate window" : "pane");
        if (separate) window->action(cmd::SeparateTraceWindow)->trigger();
        QFile::remove(dialogs.picture_answer);
        QTest::keyClick(window->editor(), Qt::Key_F10, Qt::ControlModifier);
        QTest::keyClick(window->editor(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        const QImage saved(dialogs.picture_answer, "PNG");
        ASSERT_EQ(saved.size(), QSize(256, 256));
        EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), shown_picture(*window));
        EXPECT_TRUE(dialogs.messages.empty());
    }
    // The next save offers the same name; a name in a missing folder is an
    // error that names it, and leaves no file.
    EXPECT_EQ(dialogs.picture_starts.value(1), dialogs.picture_answer);
    dialogs.picture_answer = dir.filePath("missing/shown.png");
    window->run_command(cmd::SavePicture);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(dialogs.picture_answer))
        << dialogs.messages[0].text.toStdString();
    EXPECT_FALSE(QFile::exists(dialogs.picture_answer));
}
