// The trace pane's fit and zoom, the remembered view, and a picture that
// cannot be saved or is saved as OpenEXR with its passes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <cstring>

#include <QAction>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>

#include "app/commands.h"
#include "glimmark/exr_file.h"
#include "studio_test_support.h"

using StudioTraceView = StudioWindowTest;

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
    EXPECT_NEAR(pane->picture_rect().width() / double(pane->picture_rect().height()), 1200 / 780.0,
                0.01);

    // notches | Ctrl held | the scale after, as a multiple of the fitted one
    const struct {
        int notches;
        bool ctrl;
        double scale;
    } turns[] = {{1, false, 1}, {1, true, 1.25}, {-2, true, 1 / 1.25}, {99, true, 0}};
    for (const auto& turn : turns) {
        const QPoint at = pane->viewport()->rect().center();
        QWheelEvent event(at, pane->viewport()->mapToGlobal(at), QPoint(),
                          QPoint(0, 120 * turn.notches), Qt::NoButton,
                          turn.ctrl ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(pane->viewport(), &event);
        // 0: as far as the zoom goes.
        EXPECT_DOUBLE_EQ(pane->scale(),
                         turn.scale == 0 ? TracePane::kMaxZoom : fitted * turn.scale);
        // Zooming leaves the fit.
        EXPECT_EQ(fit->isChecked(), !turn.ctrl);
    }
    // Fit Picture brings the whole picture back; off, it is 1:1 with scroll bars.
    fit->trigger();
    EXPECT_EQ(pane->scale(), fitted);
    fit->trigger();
    // 1:1 is one picture pixel to one pixel of the screen, at any scale factor.
    EXPECT_EQ(pane->picture_rect().size() * pane->devicePixelRatio(), QSize(1200, 780));
    EXPECT_GT(pane->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(pane->verticalScrollBar()->maximum(), 0);
}

TEST_F(StudioTraceView, TheChoicesAreRememberedBetweenRuns) {
    window->action(cmd::SeparateTraceWindow)->trigger();
    window->action(cmd::FitPicture)->trigger();
    window.reset();
    for (bool separate : {true, false}) {
        glimmark::Run again;
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
            EXPECT_TRUE(!separate || next.frameGeometry().left() >= 480);
        }
        next.action(cmd::SeparateTraceWindow)->trigger();
    }
}

TEST_F(StudioTraceView, APictureThatCannotBeWrittenIsAnErrorNamingTheFile) {
    QTemporaryDir dir;
    dialogs.picture_answer = dir.filePath("missing/shown.png");
    QTest::keyClick(window->editor(), Qt::Key_F10, Qt::ControlModifier);
    window->run_command(cmd::SavePicture);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains(dialogs.picture_answer))
        << dialogs.messages[0].text.toStdString();
    EXPECT_FALSE(QFile::exists(dialogs.picture_answer));
}

// The separate trace window has a title bar to move, resize and close it by;
// it fits the screen, stays off the main window's menu and buttons where the
// screen has room, and closing it brings the picture back beside the editor.
TEST_F(StudioTraceView, TheSeparateTraceWindowFitsTheScreenAndCloses) {
    window->action(cmd::SeparateTraceWindow)->trigger();
    restart_window();
    QAction* separate = window->action(cmd::SeparateTraceWindow);
    TraceWindow* trace = window->trace_window();
    const QRect room = trace->screen()->availableGeometry();
    const QRect bar(
        window->menuBar()->mapToGlobal(QPoint(0, 0)),
        QSize(window->width(), window->button(cmd::Play)->mapTo(window.get(), QPoint(0, 40)).y()));
    // A small picture, one of half the screen's height and one twice the
    // screen: shown 1:1 where the screen holds it, off the main window's menu
    // and buttons where there is room beside it.
    const QSize half(room.height() / 2, room.height() / 2);
    for (const QSize picture : {QSize(16, 8), half, room.size() * 2}) {
        SCOPED_TRACE(picture.width());
        trace->show_picture(picture.width(), picture.height());
        EXPECT_TRUE(trace->isVisible());
        EXPECT_FALSE(trace->windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(trace->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        EXPECT_EQ(trace->size() == picture, picture != room.size() * 2);
        EXPECT_TRUE(room.contains(trace->geometry()));
        const int left_room = window->frameGeometry().left() - room.left();
        const int right_room = room.right() - window->frameGeometry().right();
        if (std::max(left_room, right_room) >= picture.width() + 40) {
            EXPECT_FALSE(trace->geometry().intersects(bar));
        }
        trace->hide();
    }
    trace->show_picture(16, 8);
    trace->close();
    EXPECT_FALSE(separate->isChecked());
    EXPECT_TRUE(window->trace_pane()->isVisible());
}

// The zoom is shown beside the caret's place, and a zoomed picture larger
// than the pane is dragged by the mouse.
TEST_F(StudioTraceView, TheZoomIsShownAndAZoomedPictureIsDragged) {
    TracePane* pane = window->trace_pane();
    window->editor()->setPlainText("tracer width 1200 height 780 end_tracer scene end_scene");
    QTest::keyClick(window->editor(), Qt::Key_F5);
    ASSERT_TRUE(wait_for_run_end());
    EXPECT_EQ(window->zoom_text(), QString("Fit %1%").arg(qRound(pane->scale() * 100)));
    window->action(cmd::FitPicture)->trigger();
    EXPECT_EQ(window->zoom_text(), "Zoom 100%");
    QWidget* view = pane->widget();
    const int x = pane->horizontalScrollBar()->value(), y = pane->verticalScrollBar()->value();
    // The mouse's places on the pane, which stays where it is as the picture
    // moves under it.
    const QPoint from = pane->viewport()->rect().center();
    QTest::mousePress(view, Qt::LeftButton, {}, view->mapFrom(pane->viewport(), from));
    for (const QPoint to : {from - QPoint(10, 5), from - QPoint(60, 30)}) {
        const QPoint local = view->mapFrom(pane->viewport(), to);
        QMouseEvent move(QEvent::MouseMove, local, view->mapToGlobal(local), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    }
    QTest::mouseRelease(view, Qt::LeftButton, {},
                        view->mapFrom(pane->viewport(), from - QPoint(60, 30)));
    EXPECT_EQ(pane->horizontalScrollBar()->value(), x + 60);
    EXPECT_EQ(pane->verticalScrollBar()->value(), y + 30);
}

// Save Picture to an .exr name traces the frame on show again with every
// pass, into one OpenEXR file.
TEST_F(StudioTraceView, SavedAsOpenExrWithThePasses) {
    if (!glimmark::exr_supported()) GTEST_SKIP() << "built without OpenEXR";
    QTemporaryDir dir;
    window->editor()->setPlainText(
        "TRACER WIDTH 16 HEIGHT 8 END_TRACER SCENE SPHERE TRANSLATE 0 0 5 END_SPHERE END_SCENE");
    window->run_command(cmd::Play);
    ASSERT_TRUE(wait_for_run_end());
    dialogs.picture_answer = dir.filePath("shown.exr");
    window->run_command(cmd::SavePicture);
    EXPECT_TRUE(dialogs.messages.empty());
    QFile file(dialogs.picture_answer);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith(QByteArray("v/1\x01", 4)));
    for (const char* channel : {"R", "Z", "N.X", "object"})
        EXPECT_TRUE(bytes.contains(QByteArray(channel, int(std::strlen(channel)) + 1))) << channel;
}
