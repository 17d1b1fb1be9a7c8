#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUrl>
#include <vector>

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <memory>

#include "app/main_window.h"
#include "app/studio_application.h"
#include "app/studio_dialogs.h"
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
    bool choose_compression(QWidget*, VideoFormat& format, int& quality) override {
        ++compression_calls;
        offered_format = format;
        if (!compression_answer) return false;
        format = answer_format >= 0 ? static_cast<VideoFormat>(answer_format)
                 : answer_mjpeg     ? VideoFormat::AviMjpeg
                                    : VideoFormat::AviRaw;
        quality = answer_quality;
        return true;
    }
    void about(QWidget*) override { ++about_calls; }
    Unsaved ask_unsaved(QWidget*, const QString& text) override {
        unsaved_questions << text;
        return unsaved_answer;
    }

    std::vector<Message> messages;
    QStringList open_titles, open_starts, save_titles, save_starts;
    QString open_answer, save_answer;
    std::vector<QUrl> urls;
    int compression_calls = 0;
    bool compression_answer = true;
    bool answer_mjpeg = false;
    int answer_format = -1;  // a VideoFormat; -1: the AVI one answer_mjpeg says
    VideoFormat offered_format = VideoFormat::AviRaw;
    int answer_quality = 75;
    int about_calls = 0;
    QStringList unsaved_questions;
    Unsaved unsaved_answer = Unsaved::Discard;
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
        window = std::make_unique<MainWindow>(controller, &dialogs);
        window->show();
        window->activateWindow();
        window_active = QTest::qWaitForWindowActive(window.get());
        window->editor()->setFocus();
    }
    ~StudioWindowTest() override { window.reset(); }

    // Waits (running the event loop) until the run is over.
    bool wait_for_run_end(int ms = 60000) {
        return QTest::qWaitFor([this] { return !controller.running(); }, ms);
    }

    TraceController controller;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    bool window_active = false;
};
