#pragma once

#include <QString>

class QMessageBox;
class QWidget;
class StudioDialogs;

// The notice after a recording, "Wrote N frames to PATH", with a button that
// opens the file's folder on the desktop. It leaves the studio usable while
// it is up; a newer notice replaces the one before.
QMessageBox* show_recording_notice(QWidget* owner, StudioDialogs& dialogs, const QString& text,
                                   const QString& file);
