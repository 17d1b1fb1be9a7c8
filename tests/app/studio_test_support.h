#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <vector>

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <memory>

#include "app/main_window.h"
#include "app/studio_application.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"
#include "run/trace_controller.h"

// The studio's tests run without a display.
inline StudioApplication& studio_app() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static StudioApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new StudioApplication(argc, argv);
    }();
    return *app;
}

// The settings file and the state folder of the tests: a folder of their own,
// emptied for each window so that no test sees what another remembered.
inline void fresh_studio_settings() {
    static QTemporaryDir folder;
    QDir(folder.path()).removeRecursively();
    QDir().mkpath(folder.filePath("state"));
    set_studio_settings_file(folder.filePath("studio.conf"));
    set_studio_state_folder(folder.filePath("state"));
}

// Answers every dialog as a test says and keeps what was shown.
class FakeDialogs : public StudioDialogs {
  public:
    struct Message {
        QString text;
        QString caption;
        QMessageBox::Icon icon;
    };

    void message(QWidget*, const QString& text, const QString& caption,
                 QMessageBox::Icon icon) override {
        messages.push_back({text, caption, icon});
    }
    QString open_file_name(QWidget*, const QString& title, const QString& start) override {
        open_titles << title;
        open_starts << start;
        return open_answer;
    }
    QString save_file_name(QWidget*, const QString& title, const QString& start) override {
        save_titles << title;
        save_starts << start;
        return save_answer;
    }
    bool open_url(const QUrl& url) override {
        urls.push_back(url);
        return true;
    }
    bool choose_compression(QWidget*, bool& mjpeg, int& quality) override {
        ++compression_calls;
        if (!compression_answer) return false;
        mjpeg = answer_mjpeg;
        quality = answer_quality;
        return true;
    }
    void about(QWidget*) override { ++about_calls; }
    Unsaved ask_unsaved(QWidget* owner, const QString& text) override {
        unsaved_questions << text;
        // The box a person sees, for tests that press its keys.
        if (real_unsaved_box) return StudioDialogs::ask_unsaved(owner, text);
        return unsaved_answer;
    }
    bool ask_restore(QWidget*, const QString& text) override {
        restore_questions << text;
        return restore_answer;
    }

    std::vector<Message> messages;
    QStringList open_titles, open_starts, save_titles, save_starts;
    QString open_answer, save_answer;
    std::vector<QUrl> urls;
    int compression_calls = 0;
    bool compression_answer = true;
    bool answer_mjpeg = false;
    int answer_quality = 75;
    int about_calls = 0;
    QStringList unsaved_questions;
    Unsaved unsaved_answer = Unsaved::Discard;
    bool real_unsaved_box = false;
    QStringList restore_questions;
    bool restore_answer = true;
};

inline QByteArray read_bytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A shown, active main window with its own controller and fake dialogs.
class StudioWindowTest : public ::testing::Test {
  protected:
    StudioWindowTest() {
        studio_app();
        fresh_studio_settings();
        restart_window();
    }
    ~StudioWindowTest() override { window.reset(); }

    // A new window in place of the old one, as at the next start of the
    // studio: what the settings and the state folder hold stays.
    void restart_window() {
        window.reset();
        window = std::make_unique<MainWindow>(controller, &dialogs);
        window->show();
        window->activateWindow();
        window_active = QTest::qWaitForWindowActive(window.get());
        window->editor()->setFocus();
    }

    // Waits (running the event loop) until the run is over.
    bool wait_for_run_end(int ms = 60000) {
        return QTest::qWaitFor([this] { return !controller.running(); }, ms);
    }

    TraceController controller;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    bool window_active = false;
};
