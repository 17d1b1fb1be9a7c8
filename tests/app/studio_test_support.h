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

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextCursor>
#include <memory>
#include <utility>

#include "app/main_window.h"
#include "app/studio_application.h"
#include "app/studio_dialogs.h"
#include "app/studio_settings.h"
#include "app/trace_pane.h"
#include "app/trace_window.h"
#include "glimmark/run.h"

// The studio's tests run without a display, on one 1280 x 800 screen (in
// physical pixels: QT_SCALE_FACTOR still divides it).
inline StudioApplication& studio_app() {
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    static QTemporaryDir config_folder;
    static StudioApplication* app = [] {
        const QString config = config_folder.filePath("screens.json");
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write(R"({"screens": [{"name": "studio", "x": 0, "y": 0, "width": 1280,
                           "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
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
    QString picture_file_name(QWidget*, const QString& start) override {
        picture_starts << start;
        return picture_answer;
    }
    bool open_url(const QUrl& url) override {
        urls.push_back(url);
        return true;
    }
    bool choose_compression(QWidget*, glimmark::VideoKind& format, int& quality) override {
        ++compression_calls;
        offered_format = format;
        if (!compression_answer) return false;
        format = answer_format >= 0 ? static_cast<glimmark::VideoKind>(answer_format)
                 : answer_mjpeg     ? glimmark::VideoKind::AviMjpeg
                                    : glimmark::VideoKind::AviRaw;
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
    int ask_line(QWidget*, int current, int count) override {
        line_questions.push_back({current, count});
        return line_answer;
    }
    bool ask_restore(QWidget*, const QString& text, const QString& kept_text) override {
        restore_questions << text;
        restore_texts << kept_text;
        return restore_answers.isEmpty() ? restore_answer : restore_answers.takeFirst();
    }

    std::vector<Message> messages;
    QStringList open_titles, open_starts, save_titles, save_starts;
    QStringList picture_starts;
    QString open_answer, save_answer, picture_answer;
    std::vector<QUrl> urls;
    int compression_calls = 0;
    bool compression_answer = true;
    bool answer_mjpeg = false;
    int answer_format = -1;  // a VideoKind; -1: the AVI one answer_mjpeg says
    glimmark::VideoKind offered_format = glimmark::VideoKind::AviRaw;
    int answer_quality = 75;
    int about_calls = 0;
    QStringList unsaved_questions;
    Unsaved unsaved_answer = Unsaved::Discard;
    // Go to Line: (offered line, line count) of each question; 0 cancels.
    std::vector<std::pair<int, int>> line_questions;
    int line_answer = 0;
    bool real_unsaved_box = false;
    QStringList restore_questions, restore_texts;
    // The answers to the next questions, then restore_answer to the rest.
    QList<bool> restore_answers;
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

// The picture as the user sees it, at its own size: the part of the trace
// pane it is drawn in, or the whole separate trace window.
inline QImage shown_picture(MainWindow& window) {
    // At a scale factor the trace window draws each pixel as a block of the
    // screen's, one of each block is kept; the pane draws them 1:1 on the
    // screen's pixels.
    const auto one_to_one = [](const QImage& grabbed, const QRect& area, bool screen_pixels) {
        const qreal ratio = grabbed.devicePixelRatio();
        const QRect pixels(area.topLeft() * ratio, area.size() * ratio);
        return grabbed.copy(pixels)
            .scaled(screen_pixels ? pixels.size() : area.size(), Qt::IgnoreAspectRatio,
                    Qt::FastTransformation)
            .convertToFormat(QImage::Format_RGB32);
    };
    TraceWindow* trace = window.trace_window();
    if (trace->isVisible()) return one_to_one(trace->grab().toImage(), trace->rect(), false);
    TracePane* pane = window.trace_pane();
    return one_to_one(pane->viewport()->grab().toImage(), pane->picture_rect(), true);
}

// Drags the file `path` onto `target` and drops it there.
inline void drop_file(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// F8 and Shift+F8 from either end of the text, and a click on the status
// bar's message, each select the word [start, end) of the last parse's one
// error.
inline void expect_error_reached(MainWindow& window, int start, int end) {
    QPlainTextEdit* editor = window.editor();
    const auto selected = [editor] {
        const QTextCursor cursor = editor->textCursor();
        return std::make_pair(cursor.selectionStart(), cursor.selectionEnd());
    };
    for (const auto from : {QTextCursor::Start, QTextCursor::End})
        for (const auto held : {Qt::NoModifier, Qt::ShiftModifier}) {
            editor->moveCursor(from);
            QTest::keyClick(editor, Qt::Key_F8, held);
            EXPECT_EQ(selected(), std::make_pair(start, end)) << from << " " << held;
        }
    editor->moveCursor(QTextCursor::Start);
    // A passing message covers the run's line while it lasts.
    QWidget* line = window.statusBar()->currentMessage().isEmpty()
                        ? window.statusBar()->findChild<QLabel*>("runStatus")
                        : static_cast<QWidget*>(window.statusBar());
    QTest::mouseClick(line, Qt::LeftButton, Qt::NoModifier, QPoint(5, line->height() / 2));
    EXPECT_EQ(selected(), std::make_pair(start, end));
}

// A shown, active main window with its own run cycle and fake dialogs.
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
        window = std::make_unique<MainWindow>(run, &dialogs);
        window->show();
        window->activateWindow();
        window_active = QTest::qWaitForWindowActive(window.get());
        window->editor()->setFocus();
    }

    // Waits (running the event loop) until the run is over.
    bool wait_for_run_end(int ms = 60000) {
        return QTest::qWaitFor([this] { return !run.running(); }, ms);
    }

    glimmark::Run run;
    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
    bool window_active = false;
};
