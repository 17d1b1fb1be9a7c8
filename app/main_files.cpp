#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "app/editor_text.h"
#include "app/main_window.h"
#include "app/studio_dialogs.h"

namespace {

const char* const kOpenError = "There has been an error opening the .gmk file.";
const char* const kSaveError = "There has been an error saving the .gmk file.";
const char* const kUnsaved = "The text has changes that are not saved. Save them before %1?";

}  // namespace

void MainWindow::new_file() {
    if (!changes_may_go("emptying the editor")) return;
    // A new text has no file: a following Save asks for a name instead of
    // writing the new text over the file that was open.
    editor_->setPlainText(QString());
    editor_->document()->setModified(false);
    current_file_.clear();
    setWindowTitle("Glimmark");
}

bool MainWindow::changes_may_go(const QString& what) {
    if (!editor_->document()->isModified()) return true;
    switch (dialogs_->ask_unsaved(this, QString(kUnsaved).arg(what))) {
        case StudioDialogs::Unsaved::Save:
            return save_command();
        case StudioDialogs::Unsaved::Discard:
            return true;
        case StudioDialogs::Unsaved::Cancel:
            break;
    }
    return false;
}

void MainWindow::close_without_asking() {
    closing_without_asking_ = true;
    close();
    closing_without_asking_ = false;
}

bool MainWindow::save_command() {
    return current_file_.isEmpty() ? save_as_command() : save_file(current_file_);
}

void MainWindow::open_command() {
    if (!changes_may_go("opening another file")) return;
    const QString start = !open_dialog_name_.isEmpty() ? open_dialog_name_ : current_file_;
    const QString name = dialogs_->open_file_name(this, "Open Pellmoor Ray File", start);
    if (name.isEmpty()) return;
    open_dialog_name_ = name;
    open_file(name);
}

bool MainWindow::open_file(const QString& name) {
    QFile file(name);
    // Only a regular file is a document: a pipe would hold the studio until
    // something writes to it, and a device or a folder holds no scene.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(
            std::filesystem::path(QFile::encodeName(name).toStdString()), ec) ||
        !file.open(QIODevice::ReadOnly)) {
        error_box(kOpenError);
        return false;
    }
    // A text the editor cannot hold whole is not opened at all: cut, a later
    // Save would lose its end. At most one byte more than fits is read, so
    // that a device that never ends is not read for ever either.
    const QByteArray bytes = file.read(kTextBufferSize);
    if (file.error() != QFileDevice::NoError) {
        error_box(kOpenError);
        return false;
    }
    if (bytes.size() >= kTextBufferSize) {
        error_box(QString("The file %1 has %2 characters or more; the editor holds at most %3.")
                      .arg(QDir::toNativeSeparators(name))
                      .arg(kTextBufferSize)
                      .arg(kTextBufferSize - 1));
        return false;
    }
    format_ = set_document_bytes(*editor_->document(), bytes);
    editor_->document()->setModified(false);
    editor_->moveCursor(QTextCursor::Start);
    const QString full = QFileInfo(name).absoluteFilePath();
    current_file_ = full;
    set_title_to(full);
    // The text ends at a NUL byte; a Save would write only what came before
    // it, which the user must know before saving.
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        dialogs_->message(this,
                          QString("The file %1 holds a NUL byte at line %2; the editor holds "
                                  "only the text before it, and Save writes only that.")
                              .arg(QDir::toNativeSeparators(full))
                              .arg(bytes.left(nul).count('\n') + 1),
                          "Glimmark", QMessageBox::Warning);
    return true;
}

bool MainWindow::save_as_command() {
    QString start = !save_dialog_name_.isEmpty() ? save_dialog_name_ : current_file_;
    if (start.isEmpty()) start = open_dialog_name_;
    const QString name = dialogs_->save_file_name(this, "Save Pellmoor Ray File", start);
    if (name.isEmpty()) return false;
    save_dialog_name_ = name;
    current_file_ = QFileInfo(name).absoluteFilePath();
    set_title_to(current_file_);
    return save_file(current_file_);
}

bool MainWindow::save_file(const QString& name) {
    // A file opened as Latin-1 text is saved as Latin-1 again; a character
    // typed since that it cannot hold would be written as "?".
    if (const int line = first_unencodable_line(*editor_->document(), format_)) {
        error_box(QString("Line %1 holds a character that this file's one-byte (Latin-1) text "
                          "cannot hold; nothing was saved.")
                      .arg(line));
        return false;
    }
    // The whole text is written to a temporary file that then replaces the
    // old one, so a failing save leaves the file on disk as it was.
    const QByteArray bytes = editor_bytes();
    if (bytes.size() >= kTextBufferSize) {
        error_box(QString("The text has %1 characters; a file of more than %2 could not be "
                          "opened again, so nothing was saved.")
                      .arg(bytes.size())
                      .arg(kTextBufferSize - 1));
        return false;
    }
    QSaveFile file(name);
    // A short text stays in the file's buffer until the end, so the write
    // alone says nothing: the flush must succeed too, or the commit would put
    // a cut or empty file in place of the old one.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError || !file.commit()) {
        file.cancelWriting();
        error_box(kSaveError);
        return false;
    }
    editor_->document()->setModified(false);
    return true;
}

void MainWindow::set_title_to(const QString& name) {
    setWindowTitle(QDir::toNativeSeparators(name));
}

void MainWindow::help_index() {
    if (!QFileInfo::exists(help_path_)) {
        error_box(
            QString("The help page %1 cannot be found.").arg(QDir::toNativeSeparators(help_path_)));
        return;
    }
    if (!dialogs_->open_url(QUrl::fromLocalFile(help_path_)))
        error_box(
            QString("The help page %1 cannot be shown.").arg(QDir::toNativeSeparators(help_path_)));
}

void MainWindow::help_context() {
    QTextCursor cursor = editor_->textCursor();
    if (!cursor.hasSelection()) {
        // Nothing selected: the word the caret stands in or just behind, a
        // keyword's underscores included; nothing when it touches no word.
        QTextCursor line = cursor;
        line.movePosition(QTextCursor::StartOfBlock);
        line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        const QString text = line.selectedText();
        const auto in_word = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
        int from = cursor.position() - line.selectionStart();
        int to = from;
        while (from > 0 && in_word(text[from - 1]))
            --from;
        while (to < text.size() && in_word(text[to]))
            ++to;
        if (from == to) return;
        cursor.setPosition(line.selectionStart() + from);
        cursor.setPosition(line.selectionStart() + to, QTextCursor::KeepAnchor);
    }
    if (!QFileInfo::exists(help_path_)) {
        error_box(
            QString("The help page %1 cannot be found.").arg(QDir::toNativeSeparators(help_path_)));
        return;
    }
    // The page's anchors are the keywords; it finds them whatever the case.
    QString word = cursor.selectedText();
    word.replace(QChar::ParagraphSeparator, u'\n');
    QUrl url = QUrl::fromLocalFile(help_path_);
    url.setFragment(word);
    if (!dialogs_->open_url(url))
        error_box(
            QString("The help page %1 cannot be shown.").arg(QDir::toNativeSeparators(help_path_)));
}

void MainWindow::setup_files() {}
void MainWindow::open_recent(int) {}
