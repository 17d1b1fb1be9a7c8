// The main window as built: title, place, buttons, menus and keys.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScreen>
#include <algorithm>
#include <iterator>

#include "app/commands.h"
#include "app/main_window.h"
#include "glimmark/run.h"
#include "studio_test_support.h"

namespace {

// caption | id, as the menu is published; ">" opens a popup, "<" closes it,
// "-" is a separator.
const char* const kMenu[][2] = {
    {">", "&File"},
    {"&New\tCtrl+N", "32771"},
    {"&Open...\tCtrl+O", "32772"},
    {"&Save\tCtrl+S", "32773"},
    {"Save &As...\tCtrl+Shift+S", "32792"},
    {"Save &Picture...\tCtrl+Shift+E", "32837"},
    {"-", ""},
    {">", "Recent &Files"},
    {"<", ""},
    {"-", ""},
    {"E&xit", "105"},
    {"<", ""},
    {">", "&Edit"},
    {"C&ut", "32774"},
    {"&Copy", "32775"},
    {"&Paste", "32776"},
    {"&Undo", "32791"},
    {"&Redo\tCtrl+Y", "32830"},
    {"-", ""},
    {"&Find...\tCtrl+F", "32831"},
    {"Find &Next\tF3", "32832"},
    {"R&eplace...\tCtrl+H", "32833"},
    {"&Go to Line...\tCtrl+G", "32834"},
    {"Ne&xt Error\tF8", "32861"},
    {"Pre&vious Error\tShift+F8", "32862"},
    {"<", ""},
    {">", "&View"},
    {"&Separate Trace Window", "32838"},
    {"&Fit Picture", "32839"},
    {"&Live Preview\tCtrl+L", "32841"},
    {"Show &Block at Caret\tCtrl+B", "32860"},
    {">", "Preview Si&ze"},
    {"&Full", "32842"},
    {"&1/2", "32843"},
    {"1/&4", "32844"},
    {"<", ""},
    {"-", ""},
    {"Zoom &In\tCtrl++", "32835"},
    {"Zoom &Out\tCtrl+-", "32836"},
    {"&Proportional Font", "32840"},
    {">", "T&heme"},
    {"&System", "32845"},
    {"&Light", "32846"},
    {"&Dark", "32847"},
    {"<", ""},
    {"<", ""},
    {">", "&Insert"},
    {"&Animation", "32790"},
    {"&Tracer", "32781"},
    {"&Scene", "32782"},
    {"&Camera", "32783"},
    {"&Light", "32784"},
    {"&Frame", "32785"},
    {"Mat&erial", "32787"},
    {"&Define", "32809"},
    {"&Interpolation", "32788"},
    {"Loo&p", "32813"},
    {">", "&Objects"},
    {"C&ube", "32794"},
    {"&Plane", "32800"},
    {"&Sphere", "32795"},
    {"&Cylinder", "32796"},
    {"C&one", "32797"},
    {"P&araboloid", "32798"},
    {"&Hyperboloid", "32799"},
    {"&Quadric", "32812"},
    {"&Mesh", "32786"},
    {"<", ""},
    {">", "CS&G"},
    {"&Union", "32806"},
    {"&Intersection", "32807"},
    {"&Difference", "32808"},
    {"<", ""},
    {"<", ""},
    {">", "&Trace"},
    {"P&arse Only  F4", "32789"},
    {"&Play  F5", "32778"},
    {"&Record", "32779"},
    {"&Stop  F7", "32780"},
    {"<", ""},
    {">", "&Help"},
    {"&Index ...", "32777"},
    {"&Context ... F1", "32810"},
    {"&About ...", "104"},
    {"<", ""},
};

void flatten(const QList<QAction*>& actions, QStringList& out) {
    for (QAction* a : actions) {
        if (a->menu() != nullptr) {
            out << ">" << a->menu()->title();
            flatten(a->menu()->actions(), out);
            out << "<"
                << "";
        } else if (a->isSeparator()) {
            out << "-"
                << "";
        } else {
            out << a->text() << QString::number(a->data().toInt());
        }
    }
}

using StudioWindow = StudioWindowTest;

}  // namespace

// The test screen is 1280 x 800; CTest runs these tests once more with
// QT_SCALE_FACTOR=2, where it is 640 x 400 in the window's own pixels.
TEST_F(StudioWindow, TitleAndPlace) {
    EXPECT_EQ(window->windowTitle(), "Glimmark");
    const QScreen* screen = window->screen();
    ASSERT_EQ(screen->geometry().size() * screen->devicePixelRatio(), QSize(1280, 800));
    struct Place {
        QSize screen;
        QRect window;
    };
    // Room for the editor and a 640 x 480 picture where the screen has it;
    // otherwise all the screen gives, less what a frame may need.
    const Place places[] = {{{1280, 800}, {72, 16, 1120, 720}}, {{640, 400}, {0, 0, 624, 352}}};
    const auto place = std::find_if(std::begin(places), std::end(places), [&](const Place& p) {
        return p.screen == screen->availableGeometry().size();
    });
    ASSERT_NE(place, std::end(places)) << screen->availableGeometry().width();
    EXPECT_EQ(window->frameGeometry().topLeft(), place->window.topLeft());
    EXPECT_EQ(window->size(), place->window.size());
    EXPECT_TRUE(screen->availableGeometry().contains(window->frameGeometry()));
}

TEST_F(StudioWindow, TracePaneBesideTheEditorNeverOverlapsIt) {
    const auto area = [this](QWidget* w) {
        return QRect(w->mapTo(window.get(), QPoint()), w->size());
    };
    QWidget* pane = window->trace_pane();
    const QSize window_size = window->size();
    // Before a picture, with a small one, and with one larger than the screen.
    for (const char* tracer :
         {"", "tracer width 16 height 8 end_tracer", "tracer width 1200 height 780 end_tracer"}) {
        SCOPED_TRACE(tracer);
        if (*tracer != '\0') {
            window->editor()->setPlainText(QString(tracer) + " scene end_scene");
            QTest::keyClick(window->editor(), Qt::Key_F5);
            ASSERT_TRUE(wait_for_run_end());
        }
        const QRect editor = area(window->editor());
        ASSERT_TRUE(pane->isVisible());
        EXPECT_GE(editor.width(), 200);
        EXPECT_GE(pane->width(), 300);
        EXPECT_FALSE(editor.intersects(area(pane)));
        EXPECT_LE(editor.right(), area(pane).left());
        EXPECT_TRUE(area(window->centralWidget()).contains(area(pane)));
        EXPECT_EQ(window->size(), window_size);
        // A fitted picture is whole inside the pane.
        if (*tracer != '\0') {
            EXPECT_TRUE(window->trace_pane()->viewport()->rect().contains(
                window->trace_pane()->picture_rect()));
        }
        EXPECT_FALSE(window->trace_window()->isVisible());
    }
}

TEST_F(StudioWindow, MenuCaptionsMnemonicsAndIds) {
    QStringList built;
    flatten(window->menuBar()->actions(), built);
    QStringList expected;
    for (const auto& row : kMenu)
        expected << row[0] << row[1];
    // Popups are recognised by their title; compare row by row for a clear report.
    ASSERT_EQ(built.size(), expected.size()) << built.join('|').toStdString();
    for (int i = 0; i < expected.size(); i += 2) {
        const QString kind = expected[i];
        if (kind == ">")
            EXPECT_EQ(built[i + 1], expected[i + 1]) << i;
        else
            EXPECT_EQ(built[i] + " " + built[i + 1], expected[i] + " " + expected[i + 1]) << i;
    }
}

// Items whose captions name no key show the key they answer to; Ctrl+Q and
// Ctrl+W close the studio as Exit does, and Ctrl+X stays the editor's.
TEST_F(StudioWindow, ItemsShowTheirKeysAndCtrlQAndCtrlWClose) {
    const struct {
        int id;
        const char* key;
    } shown[] = {{cmd::Cut, "Ctrl+X"},
                 {cmd::Copy, "Ctrl+C"},
                 {cmd::Paste, "Ctrl+V"},
                 {cmd::Undo, "Ctrl+Z"},
                 {cmd::Exit, "Ctrl+Q"}};
    for (const auto& item : shown)
        EXPECT_EQ(window->action(item.id)->shortcut().toString(), item.key) << item.key;
    window->editor()->setPlainText("cut");
    window->editor()->selectAll();
    QTest::keyClick(window->editor(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(window->editor()->toPlainText(), "");
    for (const Qt::Key key : {Qt::Key_Q, Qt::Key_W}) {
        restart_window();
        ASSERT_TRUE(window->isVisible());
        QTest::keyClick(window->editor(), key, Qt::ControlModifier);
        EXPECT_FALSE(window->isVisible()) << key;
    }
}

TEST_F(StudioWindow, NineIconButtonsInOneRow) {
    struct Spec {
        int id;
        int x;
        const char* caption;
    };
    const Spec buttons[] = {{cmd::New, 0, "&N"},   {cmd::Open, 32, "&O"},  {cmd::Save, 64, "&S"},
                            {cmd::Cut, 100, "&U"}, {cmd::Copy, 132, "&C"}, {cmd::Paste, 164, "&P"},
                            {cmd::Play, 200, ""},  {cmd::Record, 232, ""}, {cmd::Stop, 264, ""}};
    const int top = window->button(cmd::New)->mapTo(window.get(), QPoint(0, 0)).y();
    for (const Spec& s : buttons) {
        QAbstractButton* b = window->button(s.id);
        ASSERT_NE(b, nullptr) << s.id;
        EXPECT_EQ(b->geometry(), QRect(s.x, 0, 32, 32)) << s.id;
        EXPECT_EQ(b->mapTo(window.get(), QPoint(0, 0)).y(), top) << s.id;
        EXPECT_EQ(b->text(), s.caption) << s.id;
        // Our SVG icons are compiled in and the SVG reader is there.
        EXPECT_FALSE(b->icon().pixmap(24, 24).isNull()) << s.id;
    }
    // The editor starts right below the row at the left edge; the trace
    // pane beside it reaches the right edge, or, with the separate trace
    // window, the editor fills the width.
    const int width = window->centralWidget()->width();
    int pane_width = 0;
    for (bool separate : {false, true, false}) {
        QAction* choice = window->action(cmd::SeparateTraceWindow);
        if (choice->isChecked() != separate) choice->trigger();
        // The splitter lays its widgets out again from the event loop.
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return (window->editor()->width() == width) == separate; }));
        const QPoint editor_top = window->editor()->mapTo(window.get(), QPoint(0, 0));
        EXPECT_EQ(editor_top, QPoint(0, top + 32)) << separate;
        QWidget* pane = window->trace_pane();
        EXPECT_EQ(pane->isVisible(), !separate);
        const int right = separate
                              ? window->editor()->width()
                              : pane->mapTo(window->centralWidget(), QPoint()).x() + pane->width();
        EXPECT_EQ(right, width) << separate;
        // Back beside the editor, the pane has the width it had.
        if (!separate) {
            EXPECT_TRUE(pane_width == 0 || pane->width() == pane_width) << pane->width();
            pane_width = pane->width();
        }
    }
}

TEST_F(StudioWindow, ButtonsRunTheirCommands) {
    window->editor()->setPlainText("abc");
    window->editor()->selectAll();
    window->button(cmd::Cut)->click();
    EXPECT_EQ(window->editor()->toPlainText(), "");
    window->button(cmd::Paste)->click();
    EXPECT_EQ(window->editor()->toPlainText(), "abc");
    window->button(cmd::New)->click();
    EXPECT_EQ(window->editor()->toPlainText(), "");
}

TEST_F(StudioWindow, EditorFontIsFixedOrEightPointSansSerif) {
    // Fixed-width by default; View > Proportional Font gives back the 8-point
    // Verdana, and the next window starts with the font last chosen.
    const auto check = [](MainWindow& w, bool proportional) {
        SCOPED_TRACE(proportional ? "proportional" : "fixed");
        EXPECT_EQ(w.action(cmd::ProportionalFont)->isChecked(), proportional);
        const QFont font = w.editor()->font();
        const QFontInfo info(font);
        if (proportional) {
            EXPECT_EQ(font.pointSize(), 8);
            EXPECT_EQ(font.family(), "Verdana");
            EXPECT_EQ(font.styleHint(), QFont::SansSerif);
            // Whatever face stands in for Verdana, it is there and of that size.
            EXPECT_FALSE(info.family().isEmpty());
            EXPECT_EQ(info.pointSize(), 8);
        } else {
            EXPECT_EQ(font.family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
            // Every character takes the same width on the screen, whatever the
            // face says of itself (Noto Sans Mono does not claim a fixed pitch).
            const QFontMetrics shown = w.editor()->fontMetrics();
            for (const QChar c : {u'i', u'.'})
                EXPECT_EQ(shown.horizontalAdvance(c), shown.horizontalAdvance(u'W'))
                    << info.family().toStdString() << " '" << c.toLatin1() << "'";
            EXPECT_GE(font.pointSizeF(), 10);
        }
        // Tab stops of four average characters of the font shown.
        EXPECT_DOUBLE_EQ(w.editor()->tabStopDistance(), 4 * QFontMetricsF(font).averageCharWidth());
    };
    for (const bool proportional : {false, true, false, true}) {
        if (window->action(cmd::ProportionalFont)->isChecked() != proportional)
            window->action(cmd::ProportionalFont)->trigger();
        check(*window, proportional);
        glimmark::Run other;
        MainWindow next(other, &dialogs);
        check(next, proportional);
    }
}

TEST_F(StudioWindow, AltSlashAndAltQuestionMarkShowAbout) {
    QTest::keyClick(window->editor(), Qt::Key_Slash, Qt::AltModifier);
    EXPECT_EQ(dialogs.about_calls, 1);
    QTest::keyClick(window->editor(), Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(dialogs.about_calls, 2);
    window->action(cmd::About)->trigger();
    EXPECT_EQ(dialogs.about_calls, 3);
}

TEST_F(StudioWindow, FunctionKeysWorkWhileTheEditorHasTheFocus) {
    ASSERT_TRUE(window->editor()->hasFocus());
    QTest::keyClick(window->editor(), Qt::Key_F4);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Parsed OK!");
    EXPECT_EQ(dialogs.messages[0].caption, "Parse");
    // F4 is no text: the editor is unchanged.
    EXPECT_EQ(window->editor()->toPlainText(), "");
}

TEST_F(StudioWindow, ExitClosesTheWindow) {
    window->action(cmd::Exit)->trigger();
    EXPECT_FALSE(window->isVisible());
}

// View > Theme: dark or light over the editor, its margin, the buttons and
// the picture's background, remembered at the next start; System brings the
// look the studio started with back.
TEST_F(StudioWindow, TheThemeCoversTheWindowAndIsRemembered) {
    const QPalette system = QApplication::palette();
    const auto lightness = [](const QWidget* w, QPalette::ColorRole role) {
        return w->palette().color(role).lightnessF();
    };
    const struct {
        int id;
        bool dark;
    } themes[] = {{cmd::ThemeDark, true}, {cmd::ThemeLight, false}, {cmd::ThemeDark, true}};
    for (const auto& theme : themes) {
        window->action(theme.id)->trigger();
        restart_window();
        SCOPED_TRACE(theme.id);
        EXPECT_TRUE(window->action(theme.id)->isChecked());
        EXPECT_EQ(lightness(window->editor(), QPalette::Base) < 0.3, theme.dark);
        EXPECT_EQ(lightness(window->editor(), QPalette::Window) < 0.3, theme.dark);
        EXPECT_EQ(lightness(window->button(cmd::Play), QPalette::Button) < 0.3, theme.dark);
        EXPECT_EQ(lightness(window->trace_pane(), QPalette::Dark) < 0.15, theme.dark);
    }
    window->action(cmd::ThemeSystem)->trigger();
    restart_window();
    EXPECT_TRUE(window->action(cmd::ThemeSystem)->isChecked());
    EXPECT_EQ(QApplication::palette(), system);
}
