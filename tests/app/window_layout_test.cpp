// The main window as built: title, place, buttons, menus and keys.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>

#include "app/commands.h"
#include "app/main_window.h"
#include "run/trace_controller.h"
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
    {"<", ""},
    {">", "&View"},
    {"&Separate Trace Window", "32838"},
    {"&Fit Picture", "32839"},
    {"-", ""},
    {"Zoom &In\tCtrl++", "32835"},
    {"Zoom &Out\tCtrl+-", "32836"},
    {"&Proportional Font", "32840"},
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

TEST_F(StudioWindow, TitleAndPlace) {
    EXPECT_EQ(window->windowTitle(), "Glimmark");
    EXPECT_EQ(window->pos(), QPoint(480, 0));
    EXPECT_EQ(window->size(), QSize(480, 480));
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
    // The editor starts right below the row and fills the width.
    const QPoint editor_top = window->editor()->mapTo(window.get(), QPoint(0, 0));
    EXPECT_EQ(editor_top.y(), top + 32);
    EXPECT_EQ(window->editor()->width(), window->centralWidget()->width());
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
            EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
            EXPECT_GE(font.pointSizeF(), 10);
        }
        // Tab stops of four average characters of the font shown.
        EXPECT_DOUBLE_EQ(w.editor()->tabStopDistance(), 4 * QFontMetricsF(font).averageCharWidth());
    };
    for (const bool proportional : {false, true, false, true}) {
        if (window->action(cmd::ProportionalFont)->isChecked() != proportional)
            window->action(cmd::ProportionalFont)->trigger();
        check(*window, proportional);
        TraceController other;
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
