// New, Open, Save, Save As, help and the Insert menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTimer>

#include <array>
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include "app/commands.h"
#include "app/help_page.h"
#include "app/templates.h"
#include "studio_test_support.h"

namespace {

using StudioFiles = StudioWindowTest;

const QByteArray kSceneBytes("; a scene\r\nscene\r\n\tsphere end_sphere\r\nend_scene\r\n");

}  // namespace

TEST_F(StudioFiles, OpenAndSaveRoundTripBytesExactly) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in.gmk");
    const QString out = dir.filePath("out.gmk");
    for (const QByteArray& bytes :
         {kSceneBytes, QByteArray("lf\nonly\n"), QByteArray("mixed\r\nends\nand\rno last")}) {
        ASSERT_TRUE(write_bytes(in, bytes));
        ASSERT_TRUE(window->open_file(in));
        EXPECT_EQ(window->editor_bytes(), bytes);
        ASSERT_TRUE(window->save_file(out));
        EXPECT_EQ(read_bytes(out), bytes);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StudioFiles, OpenSetsTitleAndFileNameThenSaveNeedsNoDialog) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    dialogs.open_answer = path;
    window->run_command(cmd::Open);
    ASSERT_EQ(dialogs.open_titles, QStringList{"Open Pellmoor Ray File"});
    EXPECT_EQ(window->windowTitle(), QDir::toNativeSeparators(path));
    EXPECT_EQ(window->current_file(), path);

    QTextCursor cursor(window->editor()->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText("; more\n");
    window->run_command(cmd::Save);
    EXPECT_TRUE(dialogs.save_titles.isEmpty());
    EXPECT_EQ(read_bytes(path), kSceneBytes + "; more\r\n");

    // The Open dialog offers the last chosen file again.
    dialogs.open_answer.clear();
    window->run_command(cmd::Open);
    EXPECT_EQ(dialogs.open_starts.last(), path);
}

TEST_F(StudioFiles, NewForgetsTheFileSoSaveAsksForAName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    ASSERT_TRUE(window->open_file(path));
    window->run_command(cmd::New);
    EXPECT_EQ(window->editor()->toPlainText(), "");
    EXPECT_EQ(window->current_file(), "");
    EXPECT_EQ(window->windowTitle(), "Glimmark");
    window->editor()->setPlainText("hello");
    window->run_command(cmd::Save);  // the dialog is cancelled
    EXPECT_EQ(dialogs.save_titles, QStringList{"Save Pellmoor Ray File"});
    EXPECT_EQ(read_bytes(path), kSceneBytes);
}

TEST_F(StudioFiles, SaveWithoutANameIsSaveAs) {
    QTemporaryDir dir;
    const QString path = dir.filePath("new.gmk");
    window->editor()->setPlainText("scene\nend_scene\n");
    dialogs.save_answer = path;
    window->run_command(cmd::Save);
    ASSERT_EQ(dialogs.save_titles, QStringList{"Save Pellmoor Ray File"});
    EXPECT_EQ(window->current_file(), path);
    EXPECT_EQ(window->windowTitle(), QDir::toNativeSeparators(path));
    EXPECT_EQ(read_bytes(path), QByteArray("scene\r\nend_scene\r\n"));
}

TEST_F(StudioFiles, CancelledDialogsChangeNothing) {
    window->editor()->setPlainText("text");
    window->run_command(cmd::Open);
    window->run_command(cmd::SaveAs);
    EXPECT_EQ(window->editor()->toPlainText(), "text");
    EXPECT_EQ(window->windowTitle(), "Glimmark");
    EXPECT_TRUE(window->current_file().isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StudioFiles, OpeningAMissingFileShowsTheErrorAndKeepsEverything) {
    QTemporaryDir dir;
    window->editor()->setPlainText("kept");
    for (const QString& name : {dir.filePath("missing.gmk"), dir.path()}) {
        dialogs.messages.clear();
        EXPECT_FALSE(window->open_file(name));
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "There has been an error opening the .gmk file.");
        EXPECT_EQ(dialogs.messages[0].caption, "Glimmark Error");
        EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
        EXPECT_EQ(window->editor()->toPlainText(), "kept");
        EXPECT_EQ(window->windowTitle(), "Glimmark");
        EXPECT_TRUE(window->current_file().isEmpty());
    }
}

TEST_F(StudioFiles, AFileIsCutAtItsFirstNulAndTheUserIsTold) {
    QTemporaryDir dir;
    const QString path = dir.filePath("nul.gmk");
    ASSERT_TRUE(write_bytes(path, QByteArray("scene\r\n\0garbage", 16)));
    ASSERT_TRUE(window->open_file(path));
    EXPECT_EQ(window->editor_bytes(), QByteArray("scene\r\n"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The file " + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                  " holds a NUL byte at line 2; the editor holds only the text before it, and "
                  "Save writes only that.");
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Warning);
}

TEST_F(StudioFiles, OnlyARegularFileOpens) {
    QTemporaryDir dir;
    // A pipe nobody writes to held the studio in its open call.
    const QString fifo = dir.filePath("pipe.gmk");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    window->editor()->setPlainText("kept");
    // A device that never ends is no document either.
    for (const QString& name : {fifo, QString("/dev/null"), QString("/dev/zero")}) {
        dialogs.messages.clear();
        EXPECT_FALSE(window->open_file(name)) << name.toStdString();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, "There has been an error opening the .gmk file.");
        EXPECT_EQ(window->editor()->toPlainText(), "kept");
    }
}

// A short text is held in the save's buffer until the end: a disk that
// fills (here a file size limit) must fail the save there too, not put a cut
// file in place of the old one.
TEST_F(StudioFiles, ASaveCutShortLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    window->editor()->setPlainText(QString(12000, u'x'));

    struct sigaction ignore {
    }, old_action{};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old_action), 0);
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit limit = old_limit;
    limit.rlim_cur = 8192;
    const bool limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    const bool saved = limited && window->save_file(path);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    ::sigaction(SIGXFSZ, &old_action, nullptr);
    if (!limited) GTEST_SKIP() << "no file size limit";

    EXPECT_FALSE(saved);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "There has been an error saving the .gmk file.");
    EXPECT_EQ(read_bytes(path), kSceneBytes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"scene.gmk"});
    EXPECT_EQ(window->editor()->toPlainText().size(), 12000);
}

TEST_F(StudioFiles, AFailedSaveLeavesTheOldFile) {
    QTemporaryDir dir;
    // The name is as long as a name may be, so the file exists but no
    // temporary file beside it can be made: the save fails before it writes.
    const QString path = dir.filePath(QString(250, u'a') + ".gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    window->editor()->setPlainText("replacement");
    EXPECT_FALSE(window->save_file(path));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "There has been an error saving the .gmk file.");
    EXPECT_EQ(dialogs.messages[0].caption, "Glimmark Error");
    EXPECT_EQ(read_bytes(path), kSceneBytes);
}

TEST_F(StudioFiles, SaveAsIntoAMissingFolderFailsButTakesTheName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/folder/x.gmk");
    dialogs.save_answer = path;
    window->run_command(cmd::SaveAs);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "There has been an error saving the .gmk file.");
    EXPECT_EQ(window->current_file(), path);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(StudioFiles, F1OpensTheHelpPageAtTheSelectedWord) {
    QTemporaryDir dir;
    const QString help = dir.filePath("gmkhelp.htm");
    ASSERT_TRUE(write_bytes(help, "<html></html>"));
    window->set_help_path(help);
    window->editor()->setPlainText("scene  SPHERE end_sphere\nfog_depth");

    // Nothing selected: the word the caret stands in or just behind; between
    // two blanks, nothing.
    const struct {
        int caret;
        const char* word;
    } carets[] = {{6, ""},          {0, "scene"},       {5, "scene"},       {10, "SPHERE"},
                  {13, "SPHERE"},   {17, "end_sphere"}, {24, "end_sphere"}, {25, "fog_depth"},
                  {34, "fog_depth"}};
    for (const auto& c : carets) {
        dialogs.urls.clear();
        QTextCursor caret(window->editor()->document());
        caret.setPosition(c.caret);
        window->editor()->setTextCursor(caret);
        QTest::keyClick(window->editor(), Qt::Key_F1);
        if (*c.word == '\0') {
            EXPECT_TRUE(dialogs.urls.empty()) << c.caret;
            continue;
        }
        ASSERT_EQ(dialogs.urls.size(), 1u) << c.caret;
        EXPECT_EQ(dialogs.urls[0].fragment(), c.word) << c.caret;
        // The caret stays where it was.
        EXPECT_EQ(window->editor()->textCursor().position(), c.caret);
        EXPECT_FALSE(window->editor()->textCursor().hasSelection());
    }

    dialogs.urls.clear();
    QTextCursor cursor(window->editor()->document());
    cursor.setPosition(7);
    cursor.setPosition(11, QTextCursor::KeepAnchor);
    window->editor()->setTextCursor(cursor);
    QTest::keyClick(window->editor(), Qt::Key_F1);
    ASSERT_EQ(dialogs.urls.size(), 1u);
    EXPECT_EQ(dialogs.urls[0].toLocalFile(), help);
    EXPECT_EQ(dialogs.urls[0].fragment(), "SPHE");
    EXPECT_TRUE(dialogs.messages.empty());

    window->run_command(cmd::HelpIndex);
    ASSERT_EQ(dialogs.urls.size(), 2u);
    EXPECT_EQ(dialogs.urls[1], QUrl::fromLocalFile(help));
}

TEST_F(StudioFiles, HelpWithoutThePageSaysSo) {
    QTemporaryDir dir;
    window->set_help_path(dir.filePath("gmkhelp.htm"));
    window->run_command(cmd::HelpIndex);
    EXPECT_TRUE(dialogs.urls.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Glimmark Error");
}

TEST_F(StudioFiles, TheHelpPageIsLookedForBesideTheProgram) {
    EXPECT_EQ(window->help_path(),
              QDir(QCoreApplication::applicationDirPath()).filePath("gmkhelp.htm"));
}

// An installed studio finds the page in share/doc/glimmark/ beside its bin/
// folder, wherever the tree was installed; a page beside the program comes
// first, and with none the message names the place beside the program.
TEST(HelpPage, BesideTheProgramThenWhereTheInstallationPutsIt) {
    struct Layout {
        bool beside;
        bool installed;
        const char* found;
    };
    for (const Layout& layout :
         {Layout{true, true, "bin/gmkhelp.htm"},
          Layout{false, true, "share/doc/glimmark/gmkhelp.htm"},
          Layout{true, false, "bin/gmkhelp.htm"}, Layout{false, false, "bin/gmkhelp.htm"}}) {
        QTemporaryDir dir;
        QDir root(dir.path());
        ASSERT_TRUE(root.mkpath("bin") && root.mkpath("share/doc/glimmark"));
        if (layout.beside) {
            ASSERT_TRUE(write_bytes(root.filePath("bin/gmkhelp.htm"), "<html>"));
        }
        if (layout.installed) {
            ASSERT_TRUE(write_bytes(root.filePath("share/doc/glimmark/gmkhelp.htm"), "<html>"));
        }
        EXPECT_EQ(help_page_path(root.filePath("bin")), root.filePath(layout.found))
            << layout.beside << layout.installed;
    }
}

TEST_F(StudioFiles, InsertReplacesTheSelectionAndOneUndoRestoresIt) {
    window->editor()->setPlainText("hello world");
    QTextCursor cursor(window->editor()->document());
    cursor.setPosition(6);
    cursor.setPosition(11, QTextCursor::KeepAnchor);
    window->editor()->setTextCursor(cursor);
    window->action(cmd::InsertSphere)->trigger();
    EXPECT_EQ(window->editor_bytes(),
              QByteArray("hello ") + insert_template_text(cmd::InsertSphere));
    // The caret stands at the start of the line after the template.
    EXPECT_EQ(window->editor()->textCursor().positionInBlock(), 0);
    EXPECT_TRUE(window->editor()->textCursor().atEnd());

    window->action(cmd::Undo)->trigger();
    EXPECT_EQ(window->editor()->toPlainText(), "hello world");
}

TEST_F(StudioFiles, EveryTemplateGoesInVerbatim) {
    int count = 0;
    const InsertTemplate* templates = insert_templates(count);
    for (int i = 0; i < count; ++i) {
        window->run_command(cmd::New);
        window->run_command(templates[i].command);
        EXPECT_EQ(window->editor_bytes(), QByteArray(templates[i].text)) << templates[i].command;
    }
}

TEST_F(StudioFiles, AFileTheEditorCannotHoldIsNotOpened) {
    QTemporaryDir dir;
    window->editor()->setPlainText("kept");
    const QString fits = dir.filePath("fits.gmk");
    const QString large = dir.filePath("large.gmk");
    const QByteArray text = "; " + QByteArray(0xFFFFFF - 3, 'x') + "\n";
    ASSERT_TRUE(write_bytes(fits, text));
    ASSERT_TRUE(write_bytes(large, text + "\n"));
    EXPECT_FALSE(window->open_file(large));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The file " + large +
                  " has 16777216 characters or more; the editor holds at most 16777215.");
    EXPECT_EQ(window->editor()->toPlainText(), "kept");
    EXPECT_TRUE(window->current_file().isEmpty());
    EXPECT_TRUE(window->open_file(fits));
    EXPECT_EQ(window->editor_bytes().size(), 0xFFFFFF);

    // One character more could be saved but never opened again.
    QTextCursor cursor(window->editor()->document());
    cursor.insertText("x");
    dialogs.messages.clear();
    EXPECT_FALSE(window->save_file(fits));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The text has 16777216 characters; a file of more than 16777215 could not be "
              "opened again, so nothing was saved.");
    EXPECT_EQ(read_bytes(fits), text);
}

TEST_F(StudioFiles, ALatin1FileIsNotSavedWithCharactersItCannotHold) {
    QTemporaryDir dir;
    const QString path = dir.filePath("latin.gmk");
    const QByteArray bytes("; caf\xe9\nscene end_scene\n");
    ASSERT_TRUE(write_bytes(path, bytes));
    ASSERT_TRUE(window->open_file(path));
    QTextCursor cursor(window->editor()->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromUtf8("; \u20ac\n"));
    EXPECT_FALSE(window->save_file(path));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Line 3 holds a character that this file's one-byte (Latin-1) text cannot hold; "
              "nothing was saved.");
    EXPECT_EQ(read_bytes(path), bytes);
    // Characters Latin-1 holds are saved as one byte each.
    cursor.deletePreviousChar();
    cursor.deletePreviousChar();
    cursor.insertText(QString::fromUtf8("\u00fc\n"));
    EXPECT_TRUE(window->save_file(path));
    EXPECT_EQ(read_bytes(path), bytes + "; \xfc\n");
}

// Typed text is not thrown away without a question: New, Open and closing
// the studio ask first, and only when something changed since the last
// Open, Save or New.
TEST_F(StudioFiles, ChangedTextIsNotThrownAwayWithoutAQuestion) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk");
    const QString other = dir.filePath("other.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    ASSERT_TRUE(write_bytes(other, "other\n"));
    ASSERT_TRUE(window->open_file(path));
    auto type = [this](const char* text) {
        QTextCursor cursor(window->editor()->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(text);
    };
    using Unsaved = StudioDialogs::Unsaved;

    // Nothing changed: no question.
    dialogs.open_answer = other;
    window->run_command(cmd::Open);
    EXPECT_TRUE(dialogs.unsaved_questions.isEmpty());
    EXPECT_EQ(window->editor_bytes(), QByteArray("other\n"));

    // Cancel keeps the text and the file name; nothing is opened.
    type("; typed\n");
    dialogs.open_answer = path;
    dialogs.unsaved_answer = Unsaved::Cancel;
    window->run_command(cmd::Open);
    ASSERT_EQ(dialogs.unsaved_questions.size(), 1);
    EXPECT_EQ(dialogs.unsaved_questions[0],
              "The text has changes that are not saved. Save them before opening another "
              "file?");
    EXPECT_EQ(window->editor_bytes(), QByteArray("other\n; typed\n"));
    EXPECT_EQ(window->current_file(), QFileInfo(other).absoluteFilePath());

    // Save writes them first, then New empties the editor.
    dialogs.unsaved_answer = Unsaved::Save;
    window->run_command(cmd::New);
    EXPECT_EQ(read_bytes(other), QByteArray("other\n; typed\n"));
    EXPECT_EQ(window->editor()->toPlainText(), "");

    // A save that fails (its folder is gone) keeps the studio open.
    ASSERT_TRUE(window->open_file(path));
    type("; again\n");
    QDir(dir.path()).removeRecursively();
    dialogs.messages.clear();
    EXPECT_FALSE(window->close());
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(dialogs.unsaved_questions.last(),
              "The text has changes that are not saved. Save them before closing Glimmark?");

    // Discard lets the studio close.
    dialogs.unsaved_answer = Unsaved::Discard;
    EXPECT_TRUE(window->close());
}

TEST_F(StudioFiles, ASignalClosesWithoutAQuestion) {
    window->editor()->insertPlainText("typed");
    ASSERT_TRUE(window->editor()->document()->isModified());
    dialogs.unsaved_answer = StudioDialogs::Unsaved::Cancel;
    window->close_without_asking();
    EXPECT_TRUE(dialogs.unsaved_questions.isEmpty());
    EXPECT_FALSE(window->isVisible());
}

// Ctrl+S, Ctrl+Shift+S, Ctrl+O and Ctrl+N from the editor, and the star in
// the title while the text differs from its file (or, without one, from none).
TEST_F(StudioFiles, FileKeysAndTheStarInTheTitle) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk"), copy = dir.filePath("copy.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    ASSERT_TRUE(window->open_file(path));
    dialogs.save_answer = copy;
    dialogs.open_answer = path;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const struct {
        const char* typed;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString typed_title, title;  // after the typing, after the key
    } steps[] = {{"a", Qt::Key_S, ctrl, path + "*", path},
                 {"b", Qt::Key_S, ctrl | Qt::ShiftModifier, path + "*", copy},
                 {"", Qt::Key_O, ctrl, copy, path},
                 {"c", Qt::Key_N, ctrl, path + "*", "Glimmark"},  // asks; Discard
                 {"d", Qt::Key_Z, ctrl, "Glimmark*", "Glimmark"}};
    for (const auto& step : steps) {
        QTest::keyClicks(window->editor(), step.typed);
        EXPECT_EQ(window->windowTitle(), QDir::toNativeSeparators(step.typed_title)) << step.key;
        QTest::keyClick(window->editor(), step.key, step.modifiers);
        EXPECT_EQ(window->windowTitle(), QDir::toNativeSeparators(step.title)) << step.key;
    }
    EXPECT_EQ(read_bytes(path), "a" + kSceneBytes);
    EXPECT_EQ(read_bytes(copy), "ab" + kSceneBytes);
    EXPECT_EQ(dialogs.unsaved_questions.size(), 1);
}

// New, typing, Open and then Enter (or any answer) never writes the new
// text over the file that was open before New.
TEST_F(StudioFiles, NewOpenEnterLeavesTheOldFileAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    using Unsaved = StudioDialogs::Unsaved;
    for (const Unsaved answer : {Unsaved::Cancel, Unsaved::Save, Unsaved::Discard}) {
        for (const bool real_box : {false, true}) {
            window->activateWindow();  // the last box took it
            ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
            ASSERT_TRUE(window->open_file(path));
            QTest::keyClick(window->editor(), Qt::Key_N, Qt::ControlModifier);
            QTest::keyClicks(window->editor(), "hello");
            // The box a person sees, answered with Enter.
            dialogs.unsaved_answer = answer;
            dialogs.real_unsaved_box = real_box;
            bool box_shown = false;
            QTimer enter;  // presses Enter in the box, and closes it if still open
            QObject::connect(&enter, &QTimer::timeout, [&box_shown] {
                if (QWidget* box = QApplication::activeModalWidget()) {
                    box_shown = true;
                    QTest::keyClick(box, Qt::Key_Return);
                    if (box->isVisible()) box->close();
                }
            });
            enter.start(20);
            QTest::keyClick(window->editor(), Qt::Key_O, Qt::ControlModifier);
            enter.stop();
            EXPECT_EQ(box_shown, real_box);
            EXPECT_EQ(read_bytes(path), kSceneBytes);
            EXPECT_EQ(window->editor()->toPlainText(), "hello");
            EXPECT_TRUE(window->current_file().isEmpty());
        }
    }
    // Save asked for a name and Discard went on to Open, both cancelled.
    EXPECT_EQ(dialogs.save_titles.size(), 1);
    EXPECT_EQ(dialogs.open_titles.size(), 1);
}

// The last 8 files, newest first, with their numbers as letters; they and
// the last folder are still there at the next start.
TEST_F(StudioFiles, RecentFilesAndTheLastFolderOutliveTheWindow) {
    QTemporaryDir dir;
    QStringList names, shown, expected;
    for (int i = 0; i < 10; ++i) {
        names << dir.filePath(i == 9 ? "r&d.gmk" : QString("f%1.gmk").arg(i));
        ASSERT_TRUE(write_bytes(names.last(), "x"));
        ASSERT_TRUE(window->open_file(names.last()));
    }
    ASSERT_TRUE(window->open_file(names[5]));  // moves up, once
    restart_window();
    for (QAction* item : window->recent_menu()->actions())
        shown << item->text();
    for (const int i : {5, 9, 8, 7, 6, 4, 3, 2})
        expected << QString("&%1 %2")
                        .arg(expected.size() + 1)
                        .arg(QDir::toNativeSeparators(names[i]).replace("&", "&&"));
    EXPECT_EQ(shown, expected);
    window->run_command(cmd::Open);
    window->run_command(cmd::SaveAs);
    EXPECT_EQ(dialogs.open_starts.last(), dir.path());
    EXPECT_EQ(dialogs.save_starts.last(), dir.path());

    // A file that has gone is taken off with a message; the text stays.
    ASSERT_TRUE(QFile::remove(names[9]));
    QTest::keyClicks(window->editor(), "kept");
    window->recent_menu()->actions()[1]->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "The file " + QDir::toNativeSeparators(names[9]) +
                                            " cannot be found; it is taken off the recent files.");
    EXPECT_EQ(window->editor()->toPlainText(), "kept");
    window->recent_menu()->actions()[2]->trigger();
    EXPECT_EQ(window->current_file(), names[7]);
    EXPECT_EQ(window->recent_menu()->actions().size(), 7);
    EXPECT_EQ(window->recent_menu()->actions()[0]->text(), "&1 " + names[7]);
}

// A file dropped on the editor or elsewhere on the window is opened, after
// the question about changed text, and no address goes into the text.
TEST_F(StudioFiles, ADroppedFileOpensAfterTheQuestion) {
    QTemporaryDir dir;
    const QString path = dir.filePath("dropped.gmk");
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    QTest::keyClicks(window->editor(), "typed");
    using Unsaved = StudioDialogs::Unsaved;
    for (const Unsaved answer : {Unsaved::Cancel, Unsaved::Discard}) {
        dialogs.unsaved_answer = answer;
        QWidget* target = answer == Unsaved::Cancel ? window->editor()->viewport()
                                                    : static_cast<QWidget*>(window.get());
        drop_file(target, path);
        QTest::qWait(50);
        EXPECT_EQ(window->editor_bytes(), answer == Unsaved::Cancel ? "typed" : kSceneBytes);
    }
    EXPECT_EQ(dialogs.unsaved_questions.size(), 2);
    EXPECT_EQ(window->current_file(), path);
}

// A dropped folder, a file too long for the editor and a file gone before it
// could be opened each get a box before any question, and the text stays.
TEST_F(StudioFiles, ADropThatCannotBeOpenedSaysSoAndKeepsTheText) {
    QTemporaryDir dir;
    const QString big = dir.filePath("big.gmk"), gone = dir.filePath("gone.gmk");
    QFile file(big);
    // 2 GB that take no room on the disk.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(2LL << 30));
    file.close();
    const struct {
        QString path;
        QString text;
    } cases[] = {
        {dir.path(),
         QDir::toNativeSeparators(dir.path()) + " is a folder; drop a .gmk file to open it."},
        {big, "The file " + QDir::toNativeSeparators(big) +
                  " has 16777216 characters or more; the editor holds at most 16777215."},
        {gone, "The file " + QDir::toNativeSeparators(gone) +
                   " cannot be found; the text stays as it was."},
    };
    QTest::keyClicks(window->editor(), "typed");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        dialogs.messages.clear();
        ASSERT_TRUE(c.path != gone || write_bytes(gone, kSceneBytes));
        drop_file(window->editor()->viewport(), c.path);
        // It goes between the drop and the open.
        if (c.path == gone) {
            ASSERT_TRUE(QFile::remove(gone));
        }
        QTest::qWait(50);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, c.text);
        EXPECT_EQ(dialogs.messages[0].caption, "Glimmark Error");
        EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(dialogs.unsaved_questions.isEmpty());
        EXPECT_EQ(window->editor_bytes(), "typed");
        EXPECT_TRUE(window->editor()->document()->isModified());
        EXPECT_TRUE(window->current_file().isEmpty());
    }
}

// Changed text goes to NAME.gmk.recover a moment after the last change and
// before a run; a signal keeps it, the next start offers it back, and a
// save or a discard removes it.
TEST_F(StudioFiles, ChangedTextIsKeptInARecoveryFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scene.gmk"), recover = path + ".recover";
    ASSERT_TRUE(write_bytes(path, kSceneBytes));
    ASSERT_TRUE(window->open_file(path));
    QTest::keyClicks(window->editor(), "a");
    EXPECT_FALSE(QFile::exists(recover));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(recover); }, 5000));
    QTest::keyClick(window->editor(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(QFile::exists(recover));
    QTest::keyClicks(window->editor(), "b");
    QTest::keyClick(window->editor(), Qt::Key_F4);  // a run writes it at once
    EXPECT_EQ(read_bytes(recover), "ab" + kSceneBytes);

    window->close_without_asking();
    restart_window();
    ASSERT_TRUE(window->open_file(path));
    ASSERT_EQ(dialogs.restore_questions.size(), 1);
    EXPECT_TRUE(dialogs.restore_questions[0].startsWith(
        "Glimmark kept changes to " + QDir::toNativeSeparators(path) + " that were not saved ("));
    EXPECT_EQ(window->editor_bytes(), "ab" + kSceneBytes);
    EXPECT_EQ(window->windowTitle(), QDir::toNativeSeparators(path) + "*");
    window->run_command(cmd::New);  // Discard
    EXPECT_FALSE(QFile::exists(recover));

    // A copy older than its file is not offered.
    QFile old(recover);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                QFileDevice::FileModificationTime));
    old.close();
    ASSERT_TRUE(window->open_file(path));
    EXPECT_EQ(dialogs.restore_questions.size(), 1);

    // Text without a file is kept in the state folder; declined, it goes.
    window->run_command(cmd::New);
    QTest::keyClicks(window->editor(), "untitled");
    window->close_without_asking();
    const QString untitled = QDir(studio_state_folder()).filePath("untitled.gmk.recover");
    EXPECT_EQ(read_bytes(untitled), "untitled");
    restart_window();
    dialogs.restore_answer = false;
    EXPECT_FALSE(window->offer_recovery());
    EXPECT_EQ(dialogs.restore_questions.size(), 2);
    EXPECT_FALSE(QFile::exists(untitled));
}

// Every copy left behind is offered at the next start with its text, not
// only when its file is opened again. The one restored opens its file, and
// those after it wait for the next start.
TEST_F(StudioFiles, EveryRecoveryCopyIsOfferedAtTheStart) {
    QTemporaryDir dir;
    const QString a = dir.filePath("a.gmk"), b = dir.filePath("b.gmk");
    const QString untitled = QDir(studio_state_folder()).filePath("untitled.gmk.recover");
    for (const QString& path : {a, b, QString()}) {
        if (!path.isEmpty()) {
            ASSERT_TRUE(write_bytes(path, kSceneBytes));
            ASSERT_TRUE(window->open_file(path));
        }
        QTest::keyClicks(window->editor(), path.isEmpty() ? "new" : QFileInfo(path).baseName());
        window->close_without_asking();
        restart_window();
    }
    EXPECT_TRUE(dialogs.restore_questions.isEmpty());
    const QString scene = QString::fromLatin1(kSceneBytes).replace("\r\n", "\n");
    const struct {
        QList<bool> answers;
        QStringList texts;  // shown with each question
        QString file;       // open after the answers
        QByteArray bytes;
        QStringList copies_left;
    } starts[] = {
        {{true}, {"new"}, "", "new", {untitled, a + ".recover", b + ".recover"}},
        {{false, true}, {"a" + scene, "b" + scene}, b, "b" + kSceneBytes, {b + ".recover"}},
        {{}, {}, "", "", {}},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(start.texts.join("|").toStdString());
        dialogs.restore_questions.clear();
        dialogs.restore_texts.clear();
        dialogs.restore_answers = start.answers;
        window->offer_recovery_at_start();
        EXPECT_EQ(dialogs.restore_texts, start.texts);
        if (start.answers.size() == 2) {
            ASSERT_EQ(dialogs.restore_questions.size(), 2);
            EXPECT_TRUE(dialogs.restore_questions[0].startsWith(
                "Glimmark kept changes to " + QDir::toNativeSeparators(a) + " that were not"));
            EXPECT_TRUE(dialogs.restore_questions[1].endsWith("Restore them? (copy 2 of 2)"));
        }
        EXPECT_EQ(window->current_file(), start.file);
        EXPECT_EQ(window->editor_bytes(), start.bytes);
        EXPECT_EQ(window->editor()->document()->isModified(), !start.bytes.isEmpty());
        for (const QString& copy : {untitled, a + ".recover", b + ".recover"})
            EXPECT_EQ(QFile::exists(copy), start.copies_left.contains(copy)) << copy.toStdString();
        window->run_command(cmd::New);  // Discard
        restart_window();
    }
}
