#include <QAbstractButton>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <thread>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/live_preview.h"
#include "app/main_window.h"
#include "app/queued_call.h"
#include "app/recording_notice.h"
#include "app/run_status.h"
#include "app/studio_dialogs.h"
#include "app/templates.h"
#include "app/test_picture.h"
#include "app/trace_pane.h"
#include "app/trace_window.h"

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
            static_cast<CodeEditor*>(editor_)->paste_from_clipboard();
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
            stop_run();
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
        case cmd::LivePreview:
            set_live_preview(actions_.value(id)->isChecked());
            break;
        case cmd::ThemeSystem:
        case cmd::ThemeLight:
        case cmd::ThemeDark:
            set_theme(id);
            break;
        case cmd::ShowBlockAtCaret:
            show_block_at_caret();
            break;
        case cmd::NextError:
            go_to_error(1);
            break;
        case cmd::PreviousError:
            go_to_error(-1);
            break;
        case cmd::PreviewSizeFull:
        case cmd::PreviewSizeHalf:
        case cmd::PreviewSizeQuarter:
            set_preview_size(id == cmd::PreviewSizeFull ? 1 : id == cmd::PreviewSizeHalf ? 2 : 4);
            break;
        default:
            if (id >= cmd::RecentFile && id < cmd::RecentFile + cmd::kRecentFileCount)
                open_recent(id - cmd::RecentFile);
            break;
    }
}

bool MainWindow::copy_text_for_run(std::string& text) {
    const QByteArray bytes = editor_bytes();
    if (bytes.size() >= kTextBufferSize) {
        error_box(QString("The scene text has %1 characters; a trace reads at most %2.")
                      .arg(bytes.size())
                      .arg(kTextBufferSize - 1));
        return false;
    }
    text.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

void MainWindow::setup_runs() {
    run_status_ = new RunStatus(statusBar(), run_, *this);
    pace_timer_ = new QTimer(this);
    pace_timer_->setSingleShot(true);
    // A coarse timer may fire a little early, and a frame must never come
    // sooner than its rate allows.
    pace_timer_->setTimerType(Qt::PreciseTimer);
    connect(pace_timer_, &QTimer::timeout, this, [this] {
        if (!closing_) run_.handle(glimmark::NextFrameDue);
    });
    // Record of a scene with nowhere to record says so and traces nothing.
    run_.options().refuse_empty_recording = true;
    // Stop ends a long parse as it ends a trace.
    run_.options().stoppable_parse = true;
    // Record asks for the format and quality once the file it records to is
    // known, before the file is opened.
    run_.options().choose_compression = [this](glimmark::VideoKind& format, int& quality) {
        return dialogs_->choose_compression(this, format, quality);
    };
}

QString MainWindow::run_status_text() const { return run_status_->text(); }

void MainWindow::start_run(bool build_scene, bool record) {
    write_recovery_file();  // a scene that brings the studio down keeps the text
    // The text, the scene and the job of a run stay as they are until it is
    // over; a second start while one runs is not taken up.
    if (run_.running()) {
        statusBar()->showMessage("A trace is running; Stop (F7) ends it.", 4000);
        return;
    }
    if (build_scene) {
        // Play shows its own picture; the live preview waits for the next edit.
        stop_preview_for_run();
        buttons_.value(cmd::Play)->setEnabled(false);
        buttons_.value(cmd::Record)->setEnabled(false);
    }
    std::string text;
    if (!copy_text_for_run(text)) {
        run_finished();
        return;
    }
    recording_run_ = build_scene && record;
    stop_pressed_ = false;
    // What the last parse found goes with the next one.
    clear_parse_errors();
    run_edits_ = text_edits_;
    run_traces_ = build_scene;
    run_showed_picture_ = false;
    run_status_->run_started();
    run_.options().folder =
        current_file_.isEmpty()
            ? std::string()
            : QFile::encodeName(QFileInfo(current_file_).absolutePath()).toStdString();
    run_.set_frame_entry(build_scene ? render_entry_ : nullptr);
    if (build_scene) traced_text_ = text;
    run_.start(text, build_scene, record);
    if (run_.running()) run_status_->follow();
    if (!build_scene && !run_.parse_error() && !stop_pressed_) message_box("Parsed OK!", "Parse");
}

void MainWindow::run_parse(const std::function<void()>& parse) {
    // The parse runs on a thread of its own while this one goes on with the
    // window's events: it repaints, and Stop ends the parse. The run's caller
    // still gets back once the parse is over, so every box and message comes
    // in the order it always has.
    QEventLoop loop;
    std::thread parsing([this, &parse, &loop] {
        parse();
        post_queued(&loop, [&loop] { loop.quit(); });
    });
    loop.exec();
    parsing.join();
}

void MainWindow::stop_run() {
    run_.request_stop();
    if (!run_.running()) return;
    stop_pressed_ = true;
    // An animation waiting for its next frame ends at once.
    if (pace_timer_->isActive()) {
        pace_timer_->stop();
        run_.handle(glimmark::NextFrameDue);
    }
}

bool MainWindow::delay_next_frame(int milliseconds) {
    // While the window closes every frame is finished on the spot.
    if (closing_) return false;
    pace_timer_->start(milliseconds);
    return true;
}

void MainWindow::report_run_end() {
    pace_timer_->stop();
    if (closing_ || !run_status_->in_run()) return;
    // A parse error has put its place on the line already, and keeps it.
    QString text;
    if (!run_.run_error().empty())
        text = QString::fromStdString(run_.run_error());
    else if (stop_pressed_)
        text = "Stopped";
    else
        text = done_text(run_status_->elapsed_ms());
    const int written = run_.recorded_frames();
    if (recording_run_ && written > 0) {
        // The name recorded under: OUTPUT_FILE, or with the extension of the
        // format chosen in the dialog.
        const QString file = QDir::toNativeSeparators(
            QFileInfo(QFile::decodeName(QByteArray::fromStdString(run_.recorded_file())))
                .absoluteFilePath());
        const QString wrote = wrote_text(written, file);
        text = stop_pressed_ ? "Stopped. " + wrote : wrote;
        show_recording_notice(this, *dialogs_, wrote, file);
    }
    if (!run_.parse_error()) run_status_->show(text);
    run_status_->run_reported();
}

void MainWindow::show_parse_error(const glimmark::Diagnostic& error) {
    // The line and column of the word's first character, as the caret's own
    // place is given below the editor.
    const QTextDocument& document = *editor_->document();
    const int at = document_position(document, format_, std::max(0, error.start));
    const QTextBlock block = document.findBlock(at);
    const int line = block.isValid() ? block.blockNumber() + 1 : document.blockCount();
    const int column = block.isValid() ? at - block.position() + 1 : 1;
    const QString place = QString("Line %1, Col %2").arg(line).arg(column);
    // The line keeps the error after the box is closed.
    const QString status =
        QString("Parse Error at %1: %2 found: %3")
            .arg(place, QString::fromStdString(error.message), QString::fromStdString(error.word));
    run_status_->show(status);
    set_parse_error(at, document_position(document, format_, std::max(error.start, error.end)),
                    status);
    dialogs_->message(this, QString::fromStdString(error.text) + "\n\n" + place, "Parse Error",
                      QMessageBox::NoIcon);
    select_text(error.start, error.end);
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
    // The canvas belongs to a running render thread until its frame is done.
    if (frame_running()) {
        statusBar()->showMessage("A trace is running; Stop (F7) ends it.", 4000);
        return;
    }
    if (canvas_.width() != kTestPictureSize || canvas_.height() != kTestPictureSize)
        canvas_.resize(kTestPictureSize, kTestPictureSize);
    draw_test_picture(canvas_);
    // No scene made this picture.
    run_pickable_ = false;
    run_picks_->stop(false);
    pane_->set_outline({});
    present_picture(kTestPictureSize, kTestPictureSize);
}

void MainWindow::end_run_for_exit() {
    if (closing_) return;
    closing_ = true;
    run_.request_stop();
    // The threads' own messages are dropped from now on; each frame is
    // finished here instead, so that a recording is closed with the frames
    // written so far. A thread that had not begun its frame when the stop
    // came clears the request, and the next frame may start: stop it too.
    // An animation waiting for its next frame ends at once.
    if (pace_timer_->isActive()) {
        pace_timer_->stop();
        run_.handle(glimmark::NextFrameDue);
    }
    while (frame_running()) {
        run_.request_stop();
        join_frame();
        run_.handle(glimmark::FrameDone);
    }
}

void MainWindow::error_box(const QString& text) {
    dialogs_->message(nullptr, text, "Glimmark Error", QMessageBox::Critical);
}

void MainWindow::set_parse_error(int from, int to, const QString& status) {
    QTextCursor word(editor_->document());
    word.setPosition(from);
    word.setPosition(to, QTextCursor::KeepAnchor);
    parse_errors_.assign(1, ParseErrorPlace{word, status});
}

void MainWindow::go_to_error(int direction) {
    if (parse_errors_.empty()) {
        statusBar()->showMessage("The last parse found no errors.", 3000);
        return;
    }
    const QTextCursor caret = editor_->textCursor();
    // The first error past the caret (the last one before it), or round.
    size_t index = direction > 0 ? 0 : parse_errors_.size() - 1;
    for (size_t i = 0; i < parse_errors_.size(); ++i) {
        const size_t at = direction > 0 ? i : parse_errors_.size() - 1 - i;
        const int start = parse_errors_[at].word.selectionStart();
        if (direction > 0 ? start > caret.selectionStart() : start < caret.selectionStart()) {
            index = at;
            break;
        }
    }
    go_to_error_at(index);
}

void MainWindow::go_to_error_at(size_t index) {
    const QTextCursor& word = parse_errors_[index].word;
    QTextCursor cursor(editor_->document());
    cursor.setPosition(word.selectionStart());
    cursor.setPosition(word.selectionEnd(), QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    editor_->ensureCursorVisible();
    editor_->setFocus();
}
