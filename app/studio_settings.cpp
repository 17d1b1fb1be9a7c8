#include "app/studio_settings.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString& settings_file_override() {
    static QString path;
    return path;
}

QString& state_folder_override() {
    static QString path;
    return path;
}

}  // namespace

QString studio_settings_file() {
    if (!settings_file_override().isEmpty()) return settings_file_override();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath("glimmark/studio.conf");
}

void set_studio_settings_file(const QString& path) { settings_file_override() = path; }

std::unique_ptr<QSettings> studio_settings() {
    return std::make_unique<QSettings>(studio_settings_file(), QSettings::IniFormat);
}

QString studio_state_folder() {
    if (!state_folder_override().isEmpty()) return state_folder_override();
    // XDG's state folder: ~/.local/state unless XDG_STATE_HOME says otherwise.
    const QString state_home = qEnvironmentVariable("XDG_STATE_HOME");
    const QString base = state_home.isEmpty() ? QDir::home().filePath(".local/state") : state_home;
    return QDir(base).filePath("glimmark");
}

void set_studio_state_folder(const QString& path) { state_folder_override() = path; }
