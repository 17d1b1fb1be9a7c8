#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/editor_text.h"
#include "app/file_drop.h"
#include "app/main_window.h"
#include "app/run_status.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"

namespace {

const char* const kOpenError = "There has been an error opening the .gmk file.";
const char* const kSaveError = "There has been an error saving the .gmk file.";
const char* const kUnsaved = "The text has changes that are not saved. Save them before %1?";
const char* const kRecentKey = "files/recent";
const char* const kFolderKey = "files/last_folder";

// The box of a file too long for the editor.
QString too_long_text(const QString& shown_name) {
    return QString("The file %1 has %2 characters or more; the editor holds at most %3.")
        .arg(shown_name)
        .arg(MainWindow::kTextBufferSize)
        .arg(MainWindow::kTextBufferSize - 1);
}

// Changed text goes to the recovery file this long after the last change.
constexpr int kRecoveryDelayMs = 2000;

const char* const kRecoveryKey = "files/recovery_copies";
const char* const kRecoverySuffix = ".recover";

QStringList recent_files() { return studio_settings()->value(kRecentKey).toStringList(); }

QString untitled_recovery_file() {
    return QDir(studio_state_folder()).filePath(QString("untitled.gmk") + kRecoverySuffix);
}

// Every recovery copy written and not yet removed, so that the next start
// can offer them all: those of named files lie beside their files.
QStringList recovery_copies() { return studio_settings()->value(kRecoveryKey).toStringList(); }

void note_recovery_copy(const QString& path, bool kept) {
    QStringList copies = recovery_copies();
    if (copies.contains(path) == kept) return;
    copies.removeAll(path);
    if (kept) copies.append(path);
    studio_settings()->setValue(kRecoveryKey, copies);
}

void drop_recovery_copy(const QString& path) {
    QFile::remove(path);
    note_recovery_copy(path, false);
}

// The document a copy belongs to; empty for the text without a file.
QString document_of_copy(const QString& path) {
    if (path == untitled_recovery_file()) return {};
    return path.endsWith(kRecoverySuffix) ? path.chopped(qsizetype(strlen(kRecoverySuffix))) : path;
}

// A copy older than its file was overtaken by a later save.
bool copy_worth_offering(const QString& path, const QString& document) {
    const QFileInfo copy(path);
    if (!copy.isFile()) return false;
    return document.isEmpty() || !QFileInfo::exists(document) ||
           copy.lastModified() >= QFileInfo(document).lastModified();
}

QString last_folder() { return studio_settings()->value(kFolderKey).toString(); }

}  // namespace

void MainWindow::setup_files() {
    QTextDocument* document = editor_->document();
    connect(document, &QTextDocument::modificationChanged, this, &MainWindow::update_title);

    recovery_timer_ = new QTimer(this);
    recovery_timer_->setSingleShot(true);
    recovery_timer_->setInterval(kRecoveryDelayMs);
    connect(recovery_timer_, &QTimer::timeout, this, &MainWindow::write_recovery_file);
    connect(document, &QTextDocument::contentsChanged, recovery_timer_,
            qOverload<>(&QTimer::start));

    // A file dropped anywhere on the window opens; the editor would insert
    // its address as text.
    auto* drops =
        new FileDropFilter([this](const QString& name) { open_dropped_file(name); }, this);
    setAcceptDrops(true);
    installEventFilter(drops);
    editor_->installEventFilter(drops);
    editor_->viewport()->installEventFilter(drops);

    fill_recent_menu();
}

void MainWindow::update_title() {
    QString title =
        current_file_.isEmpty() ? QString("Glimmark") : QDir::toNativeSeparators(current_file_);
    if (editor_->document()->isModified()) title += u'*';
    setWindowTitle(title);
}

void MainWindow::new_file() {
    if (!changes_may_go("emptying the editor")) return;
    // A new text has no file: a following Save asks for a name instead of
    // writing the new text over the file that was open.
    editor_->setPlainText(QString());
    editor_->document()->setModified(false);
    current_file_.clear();
    update_title();
    forget_document_status();
}

void MainWindow::forget_document_status() {
    // How a run of the text before ended, or where it failed to parse, says
    // nothing about this one. A run still under way keeps its line.
    if (!run_status_->in_run()) run_status_->show(QString());
    statusBar()->clearMessage();
    static_cast<CodeEditor*>(editor_)->set_error_mark(0, 0, {});
    clear_parse_errors();
}

bool MainWindow::changes_may_go(const QString& what) {
    if (!editor_->document()->isModified()) {
        // Whatever a recovery file holds is what the file holds.
        remove_recovery_files();
        return true;
    }
    switch (dialogs_->ask_unsaved(this, QString(kUnsaved).arg(what))) {
        case StudioDialogs::Unsaved::Save:
            return save_command();
        case StudioDialogs::Unsaved::Discard:
            remove_recovery_files();
            return true;
        case StudioDialogs::Unsaved::Cancel:
            break;
    }
    return false;
}

void MainWindow::close_without_asking() {
    // The changes are not saved, but they are not lost either.
    write_recovery_file();
    closing_without_asking_ = true;
    close();
    closing_without_asking_ = false;
}

bool MainWindow::save_command() {
    return current_file_.isEmpty() ? save_as_command() : save_file(current_file_);
}

void MainWindow::open_command() {
    if (!changes_may_go("opening another file")) return;
    QString start = !open_dialog_name_.isEmpty() ? open_dialog_name_ : current_file_;
    if (start.isEmpty()) start = last_folder();
    const QString name = dialogs_->open_file_name(this, "Open Pellmoor Ray File", start);
    if (name.isEmpty()) return;
    open_dialog_name_ = name;
    open_file(name);
}

void MainWindow::open_dropped_file(const QString& name) {
    // What cannot be opened is said before the question about changed text,
    // and the text stays as it is.
    const QFileInfo file(name);
    const QString shown = QDir::toNativeSeparators(name);
    if (!file.exists()) {
        error_box(QString("The file %1 cannot be found; the text stays as it was.").arg(shown));
        return;
    }
    if (file.isDir()) {
        error_box(QString("%1 is a folder; drop a .gmk file to open it.").arg(shown));
        return;
    }
    if (file.size() >= kTextBufferSize) {
        error_box(too_long_text(shown));
        return;
    }
    if (!changes_may_go("opening another file")) return;
    open_file(name);
}

void MainWindow::open_recent(int index) {
    const QStringList files = recent_files();
    if (index < 0 || index >= files.size()) return;
    const QString name = files[index];
    if (!QFileInfo(name).isFile()) {
        QStringList rest = files;
        rest.removeAt(index);
        studio_settings()->setValue(kRecentKey, rest);
        fill_recent_menu();
        dialogs_->message(this,
                          QString("The file %1 cannot be found; it is taken off the recent files.")
                              .arg(QDir::toNativeSeparators(name)),
                          "Glimmark", QMessageBox::Warning);
        return;
    }
    if (!changes_may_go("opening another file")) return;
    open_file(name);
}

void MainWindow::remember_file(const QString& name) {
    const QString full = QFileInfo(name).absoluteFilePath();
    QStringList files = recent_files();
    files.removeAll(full);
    files.prepend(full);
    while (files.size() > cmd::kRecentFileCount)
        files.removeLast();
    const auto settings = studio_settings();
    settings->setValue(kRecentKey, files);
    settings->setValue(kFolderKey, QFileInfo(full).absolutePath());
    fill_recent_menu();
}

void MainWindow::fill_recent_menu() {
    if (recent_menu_ == nullptr) return;
    recent_menu_->clear();
    const QStringList files = recent_files();
    for (int i = 0; i < files.size() && i < cmd::kRecentFileCount; ++i) {
        QString shown = QDir::toNativeSeparators(files[i]);
        shown.replace(u'&', "&&");
        QAction* action = recent_menu_->addAction(QString("&%1 %2").arg(i + 1).arg(shown));
        const int id = cmd::RecentFile + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
    }
    recent_menu_->menuAction()->setEnabled(!files.isEmpty());
}

QString MainWindow::recovery_file() const {
    if (current_file_.isEmpty()) return untitled_recovery_file();
    return current_file_ + kRecoverySuffix;
}

void MainWindow::write_recovery_file() {
    recovery_timer_->stop();
    const QString path = recovery_file();
    // A copy under another name (the document was saved under a new one, or
    // another was opened) holds nothing that is still needed.
    if (!recovery_written_.isEmpty() &&
        (recovery_written_ != path || !editor_->document()->isModified())) {
        drop_recovery_copy(recovery_written_);
        recovery_written_.clear();
    }
    if (!editor_->document()->isModified()) return;
    if (current_file_.isEmpty()) QDir().mkpath(studio_state_folder());
    const QByteArray bytes = editor_bytes();
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
        if (recovery_written_ != path) note_recovery_copy(path, true);
        recovery_written_ = path;
    } else {
        file.cancelWriting();
    }
}

void MainWindow::remove_recovery_files() {
    recovery_timer_->stop();
    if (!recovery_written_.isEmpty()) drop_recovery_copy(recovery_written_);
    recovery_written_.clear();
    if (!current_file_.isEmpty()) drop_recovery_copy(recovery_file());
}

bool MainWindow::offer_recovery() {
    return offer_recovery_copy(recovery_file(), current_file_, QString(), false);
}

void MainWindow::offer_recovery_at_start() {
    // The document opened at the start has had its own copy offered.
    QStringList copies = recovery_copies();
    copies.prepend(untitled_recovery_file());
    copies.removeDuplicates();
    if (!current_file_.isEmpty()) copies.removeAll(recovery_file());
    QStringList offered;
    for (const QString& path : copies) {
        if (copy_worth_offering(path, document_of_copy(path)))
            offered << path;
        else if (!QFileInfo::exists(path))
            note_recovery_copy(path, false);
    }
    for (qsizetype i = 0; i < offered.size(); ++i) {
        // One text is restored; the other copies wait for the next start, or
        // until their file is opened.
        if (editor_->document()->isModified()) break;
        const QString count =
            offered.size() > 1 ? QString(" (copy %1 of %2)").arg(i + 1).arg(offered.size()) : "";
        offer_recovery_copy(offered[i], document_of_copy(offered[i]), count, true);
    }
}

bool MainWindow::offer_recovery_copy(const QString& path, const QString& document,
                                     const QString& count, bool open_document) {
    if (!copy_worth_offering(path, document)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    file.close();
    const QString when = QLocale().toString(QFileInfo(path).lastModified(), QLocale::ShortFormat);
    const QString text =
        document.isEmpty()
            ? QString(
                  "Glimmark kept the text of a document that was never saved (%1). Restore "
                  "it?%2")
                  .arg(when, count)
            : QString("Glimmark kept changes to %1 that were not saved (%2). Restore them?%3")
                  .arg(QDir::toNativeSeparators(document), when, count);
    // The copy's text as the editor would show it.
    QTextDocument kept;
    set_document_bytes(kept, bytes);
    if (!dialogs_->ask_restore(this, text, kept.toPlainText())) {
        drop_recovery_copy(path);
        return false;
    }
    if (open_document) {
        // The copy of a file that is gone is restored under its name: Save
        // writes it there again.
        if (document.isEmpty() || !QFileInfo::exists(document)) {
            current_file_ = document;
        } else if (!load_file(document)) {
            return false;
        }
    }
    format_ = set_document_bytes(*editor_->document(), bytes);
    editor_->moveCursor(QTextCursor::Start);
    // The restored text differs from the file until it is saved; the copy
    // stays its recovery file until a save or a discard.
    editor_->document()->setModified(true);
    recovery_timer_->stop();
    recovery_written_ = path;
    update_title();
    return true;
}

bool MainWindow::open_file(const QString& name) {
    if (!load_file(name)) return false;
    offer_recovery();
    return true;
}

bool MainWindow::load_file(const QString& name) {
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
        error_box(too_long_text(QDir::toNativeSeparators(name)));
        return false;
    }
    format_ = set_document_bytes(*editor_->document(), bytes);
    editor_->document()->setModified(false);
    editor_->moveCursor(QTextCursor::Start);
    const QString full = QFileInfo(name).absoluteFilePath();
    current_file_ = full;
    update_title();
    remember_file(full);
    forget_document_status();
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
    // A text without a file (New forgot the old one) starts in the last
    // folder, never at the name of a file it did not come from.
    const QString start = !current_file_.isEmpty() ? current_file_ : last_folder();
    const QString name = dialogs_->save_file_name(this, "Save Pellmoor Ray File", start);
    if (name.isEmpty()) return false;
    current_file_ = QFileInfo(name).absoluteFilePath();
    update_title();
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
    emit file_saved(name, bytes);
    remove_recovery_files();
    remember_file(name);
    return true;
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
