// The editor: its keys on the real window, the line numbers, Find and Replace.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextCursor>
#include <random>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/find_bar.h"
#include "app/main_window.h"
#include "studio_test_support.h"

namespace {

FindBar* find_bar(MainWindow& w) { return w.findChild<FindBar*>(); }

void select(QPlainTextEdit* editor, int from, int to) {
    QTextCursor cursor(editor->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}

// Two steps to undo, both undone: one Redo gives back "one", two "twoone".
void two_steps_undone(MainWindow& w, FakeDialogs&) {
    QTextCursor cursor(w.editor()->document());
    cursor.insertText("one");
    cursor.setPosition(0);
    cursor.insertText("two");
    w.editor()->undo();
    ASSERT_EQ(w.editor()->toPlainText(), "one");
    w.editor()->undo();
    ASSERT_EQ(w.editor()->toPlainText(), "");
}

void redone_once(MainWindow& w, FakeDialogs&) { EXPECT_EQ(w.editor()->toPlainText(), "one"); }

void zoomed_by(MainWindow& w, qreal points) {
    const QFont font = w.editor()->font();
    EXPECT_EQ(font.pointSizeF(), fixed_editor_font().pointSizeF() + points);
    EXPECT_DOUBLE_EQ(w.editor()->tabStopDistance(), 4 * QFontMetricsF(font).averageCharWidth());
}

// The preview, its menu mark and the next start all agree.
void live_preview_is(MainWindow& w, bool on) {
    EXPECT_EQ(w.live_preview_on(), on);
    EXPECT_EQ(w.action(cmd::LivePreview)->isChecked(), on);
    EXPECT_EQ(studio_settings()->value("view/livePreview").toBool(), on);
}

void find_opened(MainWindow& w, bool replacing) {
    FindBar* bar = find_bar(w);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->replacing(), replacing);
    EXPECT_TRUE(bar->find_field()->hasFocus());
}

struct KeyCase {
    const char* name;
    const char* text;
    void (*prepare)(MainWindow&, FakeDialogs&);
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    void (*check)(MainWindow&, FakeDialogs&);
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

const KeyCase kKeys[] = {
    {"CtrlFOpensFindWithTheSelection", "one two",
     [](MainWindow& w, FakeDialogs&) { select(w.editor(), 4, 7); }, Qt::Key_F, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) {
         find_opened(w, false);
         EXPECT_EQ(find_bar(w)->find_field()->text(), "two");
     }},
    {"F3FindsNextFromTheEditor", "ab\nab\nab",
     [](MainWindow& w, FakeDialogs&) {
         w.run_command(cmd::Find);
         QTest::keyClicks(find_bar(w)->find_field(), "ab");
         QTest::keyClick(find_bar(w)->find_field(), Qt::Key_Return);
         ASSERT_EQ(w.editor()->textCursor().selectionStart(), 0);
         w.editor()->setFocus();
     },
     Qt::Key_F3, Qt::NoModifier,
     [](MainWindow& w, FakeDialogs&) {
         EXPECT_EQ(w.editor()->textCursor().selectionStart(), 3);
         EXPECT_EQ(w.editor()->textCursor().selectedText(), "ab");
         EXPECT_TRUE(w.editor()->hasFocus());
     }},
    {"F3WithTheBarClosedSaysNoMatch", "ab",
     [](MainWindow& w, FakeDialogs&) {
         w.run_command(cmd::Find);
         find_bar(w)->find_field()->setText("zz");
         find_bar(w)->close_bar();
     },
     Qt::Key_F3, Qt::NoModifier,
     [](MainWindow& w, FakeDialogs&) {
         EXPECT_FALSE(find_bar(w)->isVisible());
         EXPECT_EQ(w.statusBar()->currentMessage(), "\"zz\" was not found.");
     }},
    {"F3WithNothingToFindOpensFind", "ab", nullptr, Qt::Key_F3, Qt::NoModifier,
     [](MainWindow& w, FakeDialogs&) { find_opened(w, false); }},
    {"CtrlHOpensReplace", "ab", nullptr, Qt::Key_H, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) {
         find_opened(w, true);
         // No backspace either, as some editors take Ctrl+H to be.
         EXPECT_EQ(w.editor()->toPlainText(), "ab");
     }},
    {"TabInTheReplaceBarGoesToReplaceWith", "ab",
     [](MainWindow& w, FakeDialogs&) { w.run_command(cmd::Replace); }, Qt::Key_Tab, Qt::NoModifier,
     [](MainWindow& w, FakeDialogs&) {
         EXPECT_TRUE(find_bar(w)->replace_field()->hasFocus());
         EXPECT_EQ(w.editor()->toPlainText(), "ab");
     }},
    {"EscapeClosesTheBar", "ab", [](MainWindow& w, FakeDialogs&) { w.run_command(cmd::Replace); },
     Qt::Key_Escape, Qt::NoModifier,
     [](MainWindow& w, FakeDialogs&) {
         EXPECT_FALSE(find_bar(w)->isVisible());
         EXPECT_TRUE(w.editor()->hasFocus());
     }},
    {"CtrlGGoesToTheLine", "1\n2\n3\n4\n5", [](MainWindow&, FakeDialogs& d) { d.line_answer = 4; },
     Qt::Key_G, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs& d) {
         EXPECT_EQ(d.line_questions, (std::vector<std::pair<int, int>>{{1, 5}}));
         EXPECT_EQ(w.editor()->textCursor().blockNumber(), 3);
         EXPECT_EQ(w.editor()->textCursor().positionInBlock(), 0);
         EXPECT_TRUE(w.editor()->hasFocus());
     }},
    {"CtrlGCancelledStaysPut", "1\n2\n3",
     [](MainWindow& w, FakeDialogs&) { w.editor()->moveCursor(QTextCursor::End); }, Qt::Key_G,
     Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs& d) {
         EXPECT_EQ(d.line_questions, (std::vector<std::pair<int, int>>{{3, 3}}));
         EXPECT_TRUE(w.editor()->textCursor().atEnd());
     }},
    {"CtrlYRedoesOnce", "", two_steps_undone, Qt::Key_Y, Qt::ControlModifier, redone_once},
    {"CtrlShiftZRedoesOnce", "", two_steps_undone, Qt::Key_Z,
     Qt::ControlModifier | Qt::ShiftModifier, redone_once},
    {"CtrlPlusZoomsIn", "", nullptr, Qt::Key_Plus, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) { zoomed_by(w, 1); }},
    {"CtrlShiftPlusZoomsIn", "", nullptr, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier,
     [](MainWindow& w, FakeDialogs&) { zoomed_by(w, 1); }},
    {"CtrlKeypadPlusZoomsIn", "", nullptr, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier,
     [](MainWindow& w, FakeDialogs&) { zoomed_by(w, 1); }},
    {"CtrlEqualsZoomsIn", "", nullptr, Qt::Key_Equal, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) { zoomed_by(w, 1); }},
    {"CtrlMinusZoomsOut", "", nullptr, Qt::Key_Minus, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) { zoomed_by(w, -1); }},
    {"CtrlLTurnsTheLivePreviewOn", "", nullptr, Qt::Key_L, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) { live_preview_is(w, true); }},
    {"CtrlLTwiceTurnsItOffAgain", "",
     [](MainWindow& w, FakeDialogs&) {
         QTest::keyClick(w.editor(), Qt::Key_L, Qt::ControlModifier);
         live_preview_is(w, true);
     },
     Qt::Key_L, Qt::ControlModifier,
     [](MainWindow& w, FakeDialogs&) { live_preview_is(w, false); }},
};

class StudioEditorKeys : public StudioWindowTest, public ::testing::WithParamInterface<KeyCase> {};

using StudioEditor = StudioWindowTest;

}  // namespace

TEST_P(StudioEditorKeys, PressedOnTheWindow) {
    const KeyCase& c = GetParam();
    ASSERT_TRUE(window_active);
    window->editor()->setPlainText(c.text);
    if (c.prepare != nullptr) c.prepare(*window, dialogs);
    ASSERT_FALSE(HasFatalFailure());
    // The key goes where a person's would: to the widget with the focus.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, c.key, c.modifiers);
    c.check(*window, dialogs);
}

INSTANTIATE_TEST_SUITE_P(Table, StudioEditorKeys, ::testing::ValuesIn(kKeys),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StudioEditor, LineNumbersGrowWithTheLinesAndNeverCoverText) {
    auto* editor = qobject_cast<CodeEditor*>(window->editor());
    ASSERT_NE(editor, nullptr);
    QWidget* gutter = editor->line_number_area();
    const auto width_for = [&](int lines) {
        editor->setPlainText(QString("x\n").repeated(lines - 1) + "x");
        EXPECT_EQ(editor->blockCount(), lines);
        // The text starts right of the gutter, and the widest number fits.
        EXPECT_GE(editor->viewport()->geometry().left(), gutter->geometry().right() + 1) << lines;
        EXPECT_GT(gutter->width(), editor->fontMetrics().horizontalAdvance(QString::number(lines)))
            << lines;
        return gutter->width();
    };
    const int one = width_for(1);
    EXPECT_EQ(width_for(99), one);
    const int hundred = width_for(100);
    EXPECT_GT(hundred, one);
    EXPECT_GT(width_for(10000), hundred);
    // A larger font makes the numbers wider too.
    window->action(cmd::ZoomIn)->trigger();
    window->action(cmd::ZoomIn)->trigger();
    EXPECT_GT(width_for(100), hundred);
}

TEST_F(StudioEditor, FindWrapsAndRespectsCase) {
    struct Row {
        bool match_case;
        int caret;
        int found;  // where the selection starts after Enter; -1: not found
        const char* report;
    };
    const char* const text = "Sphere sphere SPHERE";
    const Row rows[] = {
        {true, 0, 7, ""},
        {true, 8, 7, "Went on from the top."},
        {false, 8, 14, ""},
        {false, 15, 0, "Went on from the top."},
    };
    window->editor()->setPlainText(text);
    window->run_command(cmd::Find);
    FindBar* bar = find_bar(*window);
    bar->find_field()->setText("sphere");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caret);
        bar->match_case()->setChecked(row.match_case);
        select(window->editor(), row.caret, row.caret);
        QTest::keyClick(bar->find_field(), Qt::Key_Return);
        EXPECT_EQ(window->editor()->textCursor().selectionStart(), row.found);
        EXPECT_EQ(window->editor()->textCursor().selectedText().toLower(), "sphere");
        EXPECT_EQ(bar->report(), row.report);
    }
    // No match anywhere: the caret stays and the bar says so.
    bar->find_field()->setText("cube");
    select(window->editor(), 3, 3);
    QTest::keyClick(bar->find_field(), Qt::Key_Return);
    EXPECT_EQ(window->editor()->textCursor().position(), 3);
    EXPECT_EQ(bar->report(), "\"cube\" was not found.");
}

TEST_F(StudioEditor, ReplaceAllIsOneUndoStep) {
    struct Row {
        const char* text;
        const char* find;
        const char* replacement;
        bool match_case;
        const char* result;
        const char* report;
    };
    const Row rows[] = {
        {"a b A\na", "a", "xa", false, "xa b xa\nxa", "3 matches replaced."},
        {"a b A", "a", "xa", true, "xa b A", "1 match replaced."},
        // The replacement holds the text it replaces: no endless loop.
        {"aaa", "a", "aa", true, "aaaaaa", "3 matches replaced."},
        {"abc", "z", "y", false, "abc", "\"z\" was not found."},
        // Nothing in place of the matches: said so, Undo brings them back.
        {"a b a", "a", "", false, " b ",
         "2 matches removed (replaced with nothing); Undo brings them back."},
    };
    window->run_command(cmd::Replace);
    FindBar* bar = find_bar(*window);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        window->editor()->setPlainText(row.text);
        bar->find_field()->setText(row.find);
        bar->replace_field()->setText(row.replacement);
        bar->match_case()->setChecked(row.match_case);
        bar->replace_all();
        EXPECT_EQ(window->editor()->toPlainText(), row.result);
        EXPECT_EQ(bar->report(), row.report);
        window->editor()->undo();
        EXPECT_EQ(window->editor()->toPlainText(), row.text);
        EXPECT_FALSE(window->editor()->document()->isUndoAvailable());
    }
}

TEST_F(StudioEditor, ReplaceTakesTheMatchAndFindsTheNext) {
    window->editor()->setPlainText("one two one");
    window->run_command(cmd::Replace);
    FindBar* bar = find_bar(*window);
    bar->find_field()->setText("one");
    bar->replace_field()->setText("1");
    select(window->editor(), 0, 0);
    // The caret is no match yet: Enter finds one, the next Enter replaces it.
    QTest::keyClick(bar->replace_field(), Qt::Key_Return);
    EXPECT_EQ(window->editor()->toPlainText(), "one two one");
    QTest::keyClick(bar->replace_field(), Qt::Key_Return);
    EXPECT_EQ(window->editor()->toPlainText(), "1 two one");
    EXPECT_EQ(window->editor()->textCursor().selectionStart(), 6);
}

namespace {

// What the clipboard holds when Paste is asked for, by type.
struct PasteCase {
    const char* name;
    bool owned;  // false: no program owns the clipboard
    std::vector<std::pair<QString, QByteArray>> formats;
    QString pasted;  // what the editor's "ab|cd" gets between b and c
};

void PrintTo(const PasteCase& c, std::ostream* os) { *os << c.name; }

const PasteCase kPastes[] = {
    {"NothingOwnsTheClipboard", false, {}, ""},
    {"EmptyData", true, {}, ""},
    {"EmptyText", true, {{"text/plain", ""}}, ""},
    {"HtmlOnly", true, {{"text/html", "<b>sphere</b>"}}, ""},
    {"HtmlAndText", true, {{"text/html", "<b>sphere</b>"}, {"text/plain", "sphere"}}, "sphere"},
    {"ImageOnly", true, {{"image/png", "\x89PNG\r\n\x1A\n"}}, ""},
    {"BinaryData", true, {{"application/octet-stream", QByteArray(64, '\xFF')}}, ""},
    {"TextUpToItsNul", true, {{"text/plain", QByteArray("x=1\0garbage", 11)}}, "x=1"},
    {"TextTooLongForARun",
     true,
     {{"text/plain", QByteArray(MainWindow::kTextBufferSize, 'x')}},
     ""},
    {"ManyLines",
     true,
     {{"text/plain", QByteArray("sphere end_sphere\n").repeated(20000)}},
     QString("sphere end_sphere\n").repeated(20000)},
};

class StudioPaste : public StudioWindowTest, public ::testing::WithParamInterface<PasteCase> {};

}  // namespace

// Ctrl+V in the editor and the Paste button take plain text only, and only
// as much as a run reads; anything else leaves the text as it was.
TEST_P(StudioPaste, TakesPlainTextOrNothing) {
    const PasteCase& c = GetParam();
    ASSERT_TRUE(window_active);
    for (const bool by_key : {true, false}) {
        SCOPED_TRACE(by_key ? "Ctrl+V" : "Paste button");
        window->editor()->setPlainText("abcd");
        QTextCursor cursor = window->editor()->textCursor();
        cursor.setPosition(2);
        window->editor()->setTextCursor(cursor);
        if (c.owned) {
            auto* data = new QMimeData;
            for (const auto& [type, bytes] : c.formats)
                data->setData(type, bytes);
            QGuiApplication::clipboard()->setMimeData(data);
        } else {
            QGuiApplication::clipboard()->clear();
        }
        if (by_key)
            QTest::keyClick(window->editor(), Qt::Key_V, Qt::ControlModifier);
        else
            window->button(cmd::Paste)->click();
        const QString text = window->editor()->toPlainText();
        EXPECT_EQ(text.size(), 4 + c.pasted.size());
        EXPECT_TRUE(text == "ab" + c.pasted + "cd") << text.left(40).toStdString();
        // Nothing put in says why.
        EXPECT_EQ(window->statusBar()->currentMessage().endsWith("nothing was pasted."),
                  c.pasted.isEmpty());
        window->statusBar()->clearMessage();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StudioPaste, ::testing::ValuesIn(kPastes),
                         [](const auto& info) { return std::string(info.param.name); });

// Random clipboards of random kinds, pasted by key and by button between
// random edits and undos: the studio stays up, and the text only ever
// takes what a clipboard held as plain text, up to its first NUL.
TEST_F(StudioEditor, RandomClipboardsPasteAsPlainTextOrNothing) {
    ASSERT_TRUE(window_active);
    std::mt19937 random(29);
    const char* const kinds[] = {"text/plain",    "text/html",
                                 "image/png",     "application/octet-stream",
                                 "text/uri-list", "text/plain;charset=utf-8"};
    QPlainTextEdit* editor = window->editor();
    editor->setPlainText("scene end_scene");
    for (int event = 0; event < 1000; ++event) {
        auto* data = new QMimeData;
        QString expected;
        for (int kind = 0; kind < 6; ++kind) {
            if (random() % 3 != 0) continue;
            QByteArray bytes(static_cast<int>(random() % 40), '\0');
            for (char& b : bytes)
                b = "ab\r\n\0\xFF"[random() % 6];
            data->setData(kinds[kind], bytes);
        }
        if (data->hasText()) expected = data->text().section(QChar(u'\0'), 0, 0);
        const QString before = editor->toPlainText();
        const int at = editor->textCursor().position();
        if (random() % 8 == 0) {
            delete data;
            QGuiApplication::clipboard()->clear();
            expected.clear();
        } else {
            QGuiApplication::clipboard()->setMimeData(data);
        }
        const unsigned action = random() % 4;
        if (action == 0)
            QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        else if (action == 1)
            window->button(cmd::Paste)->click();
        else if (action == 2)
            QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
        else
            QTest::keyClick(editor, static_cast<Qt::Key>(Qt::Key_A + random() % 26));
        if (action < 2) {
            QString wanted = before;
            // Each line end, CR LF, LF or CR, is one in the editor.
            wanted.insert(at, expected.replace("\r\n", "\n").replace(u'\r', u'\n'));
            ASSERT_EQ(editor->toPlainText(), wanted) << "event " << event;
        }
        ASSERT_FALSE(editor->toPlainText().contains(QChar(u'\0'))) << "event " << event;
    }
}
