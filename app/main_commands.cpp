#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextCursor>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/studio_dialogs.h"
#include "app/templates.h"
#include "app/test_picture.h"
#include "app/trace_window.h"
#include "run/trace_controller.h"

void MainWindow::run_command(int id) {
    if (insert_template_text(id) != nullptr) {
        insert_template(id);
        return;
    }
    switch (id) {
        case cmd::New:
            new_file();
            break;
        case cmd::Open:
            open_command();
            break;
        case cmd::Save:
            save_command();
            break;
        case cmd::SaveAs:
            save_as_command();
            break;
        case cmd::Exit:
            close();
            break;
        case cmd::Cut:
            editor_->cut();
            break;
        case cmd::Copy:
            editor_->copy();
            break;
        case cmd::Paste:
            editor_->paste();
            break;
        case cmd::Undo:
            editor_->undo();
            break;
        case cmd::ParseOnly:
            start_run(false, false);
            break;
        case cmd::Play:
            start_run(true, false);
            break;
        case cmd::Record:
            start_run(true, true);
            break;
        case cmd::Stop:
            controller_.request_stop();
            break;
        case cmd::HelpIndex:
            help_index();
            break;
        case cmd::HelpContext:
            help_context();
            break;
        case cmd::About:
            dialogs_->about(this);
            break;
        case cmd::TestPicture:
            show_test_picture();
            break;
        case cmd::Redo:
            editor_->redo();
            break;
        case cmd::Find:
            find_text();
            break;
        case cmd::FindNext:
            find_next();
            break;
        case cmd::Replace:
            replace_text();
            break;
        case cmd::GoToLine:
            go_to_line();
            break;
        case cmd::ZoomIn:
            zoom_editor(1);
            break;
        case cmd::ZoomOut:
            zoom_editor(-1);
            break;
        case cmd::ProportionalFont:
            set_proportional_font(actions_.value(id)->isChecked());
            break;
        case cmd::SeparateTraceWindow:
            set_separate_trace_window(actions_.value(id)->isChecked());
            break;
        case cmd::FitPicture:
            set_fit_picture(actions_.value(id)->isChecked());
            break;
        case cmd::SavePicture:
            save_picture();
            break;
        default:
            if (id >= cmd::RecentFile && id < cmd::RecentFile + cmd::kRecentFileCount)
                open_recent(id - cmd::RecentFile);
            break;
    }
}

bool MainWindow::copy_text_for_run() {
    const QByteArray bytes = editor_bytes();
    if (bytes.size() >= kTextBufferSize) {
        error_box(QString("The scene text has %1 characters; a trace reads at most %2.")
                      .arg(bytes.size())
                      .arg(kTextBufferSize - 1));
        return false;
    }
    run_text_.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

void MainWindow::start_run(bool build_scene, bool record) {
    write_recovery_file();  // a scene that brings the studio down keeps the text
    // The text, the scene and the job of a run stay as they are until it is
    // over; a second start while one runs is not taken up.
    if (controller_.running()) {
        statusBar()->showMessage("A trace is running; Stop (F7) ends it.", 4000);
        return;
    }
    if (build_scene) {
        buttons_.value(cmd::Play)->setEnabled(false);
        buttons_.value(cmd::Record)->setEnabled(false);
    }
    if (!copy_text_for_run()) {
        run_finished();
        return;
    }
    controller_.source_folder =
        current_file_.isEmpty()
            ? std::string()
            : QFile::encodeName(QFileInfo(current_file_).absolutePath()).toStdString();
    controller_.start(run_text_.c_str(), build_scene, record,
                      build_scene ? render_entry_ : nullptr);
    if (!build_scene && !controller_.parse_error) message_box("Parsed OK!", "Parse");
}

void MainWindow::insert_template(int id) {
    // One edit block: the template replaces the selection, and one Undo
    // brings the selection back.
    QTextCursor cursor = editor_->textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QString::fromLatin1(insert_template_text(id)));
    cursor.endEditBlock();
    editor_->setTextCursor(cursor);
    editor_->ensureCursorVisible();
}

void MainWindow::show_test_picture() {
    // The surface belongs to a running render thread until its frame is done.
    if (render_thread_running()) {
        statusBar()->showMessage("A trace is running; Stop (F7) ends it.", 4000);
        return;
    }
    if (surface_.width() != kTestPictureSize || surface_.height() != kTestPictureSize)
        surface_.resize(kTestPictureSize, kTestPictureSize);
    draw_test_picture(surface_);
    present_picture(kTestPictureSize, kTestPictureSize);
}

void MainWindow::end_run_for_exit() {
    if (closing_) return;
    closing_ = true;
    controller_.request_stop();
    // The threads' own messages are dropped from now on; each frame is
    // finished here instead, so that a recording is closed with the frames
    // written so far. A thread that had not begun its frame when the stop
    // came clears the request, and the next frame may start: stop it too.
    while (render_thread_running()) {
        controller_.request_stop();
        join_render_thread();
        controller_.handle_trace_done(TRACE_FRAME_DONE);
    }
}

void MainWindow::error_box(const QString& text) {
    dialogs_->message(nullptr, text, "Glimmark Error", QMessageBox::Critical);
}
