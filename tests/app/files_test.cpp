// New, Open, Save, Save As, help and the Insert menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include "app/commands.h"
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
