#include "app/studio_dialogs.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>

#include "app/about_dialog.h"
#include "app/compression_dialog.h"
#include "app/recovery_dialog.h"
#include "glimmark/exr_file.h"

namespace {

const char* const kFilter = "GMK Files (*.gmk)";

QString run_file_dialog(QWidget* owner, const QString& title, const QString& start, bool save) {
    QFileDialog dialog(owner, title);
    dialog.setNameFilter(kFilter);
    dialog.setDefaultSuffix("gmk");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is accepted by Open too; the
    // file transfer then reports that it cannot be opened.
    dialog.setFileMode(QFileDialog::AnyFile);
    // A folder (the last one used) is where the dialog starts; a file name
    // is offered again.
    if (QFileInfo(start).isDir())
        dialog.setDirectory(start);
    else if (!start.isEmpty())
        dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

}  // namespace

void StudioDialogs::message(QWidget* owner, const QString& text, const QString& caption,
                            QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

StudioDialogs::Unsaved StudioDialogs::ask_unsaved(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Warning, "Glimmark", text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, owner);
    // Enter and Escape keep the text and write nothing; Save and Discard are
    // chosen on purpose, with the mouse or their letters.
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.button(QMessageBox::Save)->setText("&Save");
    box.button(QMessageBox::Discard)->setText("&Discard");
    box.button(QMessageBox::Cancel)->setText("&Cancel");
    switch (box.exec()) {
        case QMessageBox::Save:
            return Unsaved::Save;
        case QMessageBox::Discard:
            return Unsaved::Discard;
        default:
            return Unsaved::Cancel;
    }
}

bool StudioDialogs::ask_restore(QWidget* owner, const QString& text, const QString& kept_text) {
    RecoveryDialog dialog(owner, text, kept_text);
    dialog.exec();
    return dialog.restore();
}

QString StudioDialogs::open_file_name(QWidget* owner, const QString& title, const QString& start) {
    return run_file_dialog(owner, title, start, false);
}

QString StudioDialogs::save_file_name(QWidget* owner, const QString& title, const QString& start) {
    return run_file_dialog(owner, title, start, true);
}

QString StudioDialogs::picture_file_name(QWidget* owner, const QString& start) {
    QFileDialog dialog(owner, "Save Picture");
    // OpenEXR with the depth, normal, object and linear colour passes,
    // where this build writes it.
    dialog.setNameFilter(glimmark::exr_supported()
                             ? "PNG Pictures (*.png);;OpenEXR Pictures with Passes (*.exr)"
                             : "PNG Pictures (*.png)");
    dialog.setDefaultSuffix("png");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!start.isEmpty()) dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.front();
}

bool StudioDialogs::open_url(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool StudioDialogs::choose_compression(QWidget* owner, glimmark::VideoKind& format, int& quality) {
    CompressionDialog dialog(owner, format, quality);
    if (dialog.exec() != QDialog::Accepted) return false;
    format = dialog.format();
    quality = dialog.quality();
    return true;
}

void StudioDialogs::about(QWidget* owner) {
    AboutDialog dialog(owner);
    dialog.exec();
}

int StudioDialogs::ask_line(QWidget* owner, int current, int count) {
    QInputDialog dialog(owner);
    dialog.setWindowTitle("Go to Line");
    dialog.setLabelText(QString("&Line (1 - %1):").arg(count));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, count);
    dialog.setIntValue(current);
    return dialog.exec() == QDialog::Accepted ? dialog.intValue() : 0;
}

StudioDialogs& desktop_dialogs() {
    static StudioDialogs dialogs;
    return dialogs;
}
