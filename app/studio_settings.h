#pragma once

#include <QSettings>
#include <QString>
#include <memory>

// The studio's remembered choices (the trace view, the font, recent files,
// the last folder) live in one settings file.
std::unique_ptr<QSettings> studio_settings();

// Where that file is; tests point it at a folder of their own.
QString studio_settings_file();
void set_studio_settings_file(const QString& path);

// The folder for what the studio keeps between runs that is no setting, such
// as the recovery copy of a document that has no file yet.
QString studio_state_folder();
void set_studio_state_folder(const QString& path);
