#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include "glimmark/run.h"

class QWidget;

// Everything the studio asks the user or the desktop through a dialog or
// another program. The main window goes through one of these, so that each
// exchange can be watched and answered without a person at the keyboard.
class StudioDialogs {
  public:
    virtual ~StudioDialogs() = default;

    // A modal box with an OK button.
    virtual void message(QWidget* owner, const QString& text, const QString& caption,
                         QMessageBox::Icon icon);
    // The chosen file name, or an empty string when cancelled. `start` is the
    // name the dialog offers first (the last one chosen).
    virtual QString open_file_name(QWidget* owner, const QString& title, const QString& start);
    virtual QString save_file_name(QWidget* owner, const QString& title, const QString& start);
    // The name of a PNG file to save the picture as, or an empty string.
    virtual QString picture_file_name(QWidget* owner, const QString& start);
    // Shows a page in the desktop's browser; false when that failed.
    virtual bool open_url(const QUrl& url);
    // The recording's format and quality; false when cancelled.
    virtual bool choose_compression(QWidget* owner, glimmark::VideoKind& format, int& quality);
    virtual void about(QWidget* owner);
    // Whether to save changed text before it is replaced or the studio closes.
    enum class Unsaved { Save, Discard, Cancel };
    virtual Unsaved ask_unsaved(QWidget* owner, const QString& text);
    // Go to Line: a line from 1 to `count`, `current` offered first; 0 when
    // cancelled.
    virtual int ask_line(QWidget* owner, int current, int count);
    // Whether to take back the text of a recovery file, shown to the user
    // as `kept_text`; true for Restore.
    virtual bool ask_restore(QWidget* owner, const QString& text, const QString& kept_text);
};

// The dialogs a person answers.
StudioDialogs& desktop_dialogs();
