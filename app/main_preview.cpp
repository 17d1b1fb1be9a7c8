// The live preview: every pause in typing parses the text off the UI thread
// and traces it into the trace pane, coarse first; a parse error is marked
// in the text instead of boxed; a click on the picture (the preview's, or
// the last run's while the text is the one it traced) selects the block of
// the shape that made the pixel.
#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSlider>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "app/code_editor.h"
#include "app/commands.h"
#include "app/live_preview.h"
#include "app/main_window.h"
#include "app/studio_settings.h"
#include "app/trace_pane.h"

namespace {

const char* const kLiveKey = "view/livePreview";
const char* const kParsingAgain = "The scene is being parsed again; click once more in a moment.";
const char* const kSizeKey = "view/previewSize";
// The pause after the last edit before the text is parsed.
constexpr int kPauseMs = 150;
constexpr int kSliderSteps = 1000;

int size_command(int divisor) {
    return divisor == 4   ? cmd::PreviewSizeQuarter
           : divisor == 2 ? cmd::PreviewSizeHalf
                          : cmd::PreviewSizeFull;
}

}  // namespace

void MainWindow::setup_preview() {
    preview_ = new LivePreview(this);
    run_picks_ = new LivePreview(this);
    preview_timer_ = new QTimer(this);
    preview_timer_->setSingleShot(true);
    preview_timer_->setInterval(kPauseMs);
    connect(preview_timer_, &QTimer::timeout, this, &MainWindow::start_preview);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        // The outlined shape may no longer be where it was drawn, and the
        // scene of the last run's picture is another text's.
        ++text_edits_;
        pane_->set_outline({});
        if (run_pickable_) {
            run_pickable_ = false;
            run_picks_->stop(false);
        }
        if (live_preview_) preview_timer_->start();
    });
    connect(time_slider_, &QSlider::valueChanged, this, [this] {
        time_label_->setText(time_text());
        if (live_preview_) preview_timer_->start();
    });

    connect(preview_, &LivePreview::pass_done, this, [this](int step) {
        if (run_.running()) return;
        pane_->show_surface(preview_->picture());
        pane_->set_dimmed(false);
        if (step == 1) {
            const auto picture = preview_->picture();
            statusBar()->showMessage(
                QString("Live preview: %1 x %2").arg(picture->width()).arg(picture->height()),
                3000);
        }
    });
    connect(preview_, &LivePreview::parsed, this, [this] {
        auto* editor = static_cast<CodeEditor*>(editor_);
        if (!editor->error_message().isEmpty()) statusBar()->clearMessage();
        editor->set_error_mark(0, 0, {});
        clear_parse_errors();
        update_time_slider();
    });
    connect(preview_, &LivePreview::parse_failed, this, &MainWindow::show_preview_error);
    connect(preview_, &LivePreview::run_refused, this, [this](const QString& message) {
        statusBar()->showMessage(message);
        if (!pane_->shows_own_surface()) pane_->set_dimmed(true);
    });
    connect(pane_, &TracePane::pixel_clicked, this, &MainWindow::pick_pixel);
    connect(pane_, &TracePane::pixel_hovered, this, &MainWindow::hover_pixel);

    // Full, 1/2 and 1/4 are one choice.
    auto* sizes = new QActionGroup(this);
    for (const int id : {cmd::PreviewSizeFull, cmd::PreviewSizeHalf, cmd::PreviewSizeQuarter})
        if (QAction* action = actions_.value(id)) sizes->addAction(action);
    const auto settings = studio_settings();
    preview_divisor_ = settings->value(kSizeKey, 1).toInt();
    if (preview_divisor_ != 2 && preview_divisor_ != 4) preview_divisor_ = 1;
    if (QAction* action = actions_.value(size_command(preview_divisor_))) action->setChecked(true);
    const bool live = settings->value(kLiveKey, false).toBool();
    if (QAction* action = actions_.value(cmd::LivePreview)) action->setChecked(live);
    live_preview_ = live;
    if (live) preview_timer_->start();
}

void MainWindow::set_live_preview(bool on) {
    live_preview_ = on;
    studio_settings()->setValue(kLiveKey, on);
    if (QAction* action = actions_.value(cmd::LivePreview)) action->setChecked(on);
    if (on) {
        preview_timer_->start();
    } else {
        preview_timer_->stop();
        preview_->stop(false);
        // The preview's parse error goes with its mark.
        auto* editor = static_cast<CodeEditor*>(editor_);
        if (!editor->error_message().isEmpty()) statusBar()->clearMessage();
        editor->set_error_mark(0, 0, {});
        clear_parse_errors();
        pane_->set_dimmed(false);
    }
    update_time_slider();
}

void MainWindow::set_preview_size(int divisor) {
    preview_divisor_ = divisor;
    studio_settings()->setValue(kSizeKey, divisor);
    if (QAction* action = actions_.value(size_command(divisor))) action->setChecked(true);
    if (live_preview_) preview_timer_->start();
}

void MainWindow::start_preview() {
    if (!live_preview_ || closing_) return;
    // A run owns the pane until it is over; look again after another pause.
    if (run_.running()) {
        preview_timer_->start();
        return;
    }
    const QByteArray bytes = editor_bytes();
    if (bytes.size() >= kTextBufferSize) {
        statusBar()->showMessage(
            QString("The scene text has %1 characters; a trace reads at most %2.")
                .arg(bytes.size())
                .arg(kTextBufferSize - 1));
        return;
    }
    LivePreview::Request request;
    request.text.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    if (!current_file_.isEmpty())
        request.folder = QFile::encodeName(QFileInfo(current_file_).absolutePath()).toStdString();
    if (preview_->has_animation() && time_slider_->value() > 0) {
        const float start = preview_->start_time();
        const float end = preview_->end_time();
        request.time = start + (end - start) * static_cast<float>(time_slider_->value()) /
                                   static_cast<float>(kSliderSteps);
    }
    request.divisor = preview_divisor_;
    preview_edits_ = text_edits_;
    preview_->request(std::move(request));
}

void MainWindow::stop_preview_for_run() {
    preview_timer_->stop();
    pane_->set_outline({});
    run_pickable_ = false;
    run_picks_->stop(false);
    preview_->stop(true);
    pane_->show_surface(nullptr);
    pane_->set_dimmed(false);
    static_cast<CodeEditor*>(editor_)->set_error_mark(0, 0, {});
}

void MainWindow::show_preview_error(const glimmark::Diagnostic& error) {
    const QTextDocument& document = *editor_->document();
    const int from = document_position(document, format_, std::max(0, error.start));
    const int to = document_position(document, format_, std::max(error.start, error.end));
    const QTextBlock block = document.findBlock(from);
    QString text = QString::fromStdString(error.message);
    if (!error.word.empty()) text += " found: " + QString::fromStdString(error.word);
    text +=
        QString(" (Line %1, Col %2)").arg(block.blockNumber() + 1).arg(from - block.position() + 1);
    static_cast<CodeEditor*>(editor_)->set_error_mark(from, to, text);
    statusBar()->showMessage(text);
    set_parse_error(from, to, text);
    // The last good picture stays, dimmed.
    if (!pane_->shows_own_surface()) pane_->set_dimmed(true);
}

LivePreview* MainWindow::shown_scene(bool& busy) const {
    busy = false;
    if (!pane_->shows_own_surface()) {
        if (!live_preview_) return nullptr;
        // An edit not parsed yet: the scene there is the text's before it.
        if (preview_edits_ != text_edits_ || preview_timer_->isActive()) {
            busy = preview_timer_->isActive() || preview_->busy();
            return nullptr;
        }
        return preview_;
    }
    // The last run's picture, while the text is still the one it traced.
    if (!run_pickable_ || run_edits_ != text_edits_) return nullptr;
    return run_picks_;
}

void MainWindow::ready_run_picks() {
    const bool traced = run_traces_ && run_showed_picture_;
    run_traces_ = false;
    run_pickable_ = false;
    if (!traced || closing_ || run_.parse_error() || !run_.run_error().empty() ||
        run_edits_ != text_edits_ || canvas_.width() <= 0 || canvas_.height() <= 0)
        return;
    // The scene of the frame shown last, at the picture's own size.
    LivePreview::Request request;
    request.text = traced_text_;
    request.folder = run_.options().folder;
    if (run_.animated()) request.time = run_.picture_values().time;
    request.width = canvas_.width();
    request.height = canvas_.height();
    run_picks_->request(std::move(request));
    run_pickable_ = true;
}

void MainWindow::pick_pixel(QPoint pixel, Qt::KeyboardModifiers modifiers) {
    bool busy = false;
    LivePreview* scene = shown_scene(busy);
    // The innermost block: Alt+click, or Ctrl+click and a double click where
    // the window manager keeps Alt+click for itself.
    const bool innermost =
        modifiers.testFlag(Qt::AltModifier) || modifiers.testFlag(Qt::ControlModifier);
    const LivePreview::Pick found =
        scene != nullptr ? scene->pick(pixel.x(), pixel.y(), innermost) : LivePreview::Pick{};
    if (busy || found.busy) {
        statusBar()->showMessage(kParsingAgain, 2000);
        return;
    }
    if (found.start < 0) {
        pane_->set_outline({});
        return;
    }
    outline_pixels([scene, &found, innermost](int x, int y) {
        const LivePreview::Pick p = scene->pick(x, y, innermost);
        return p.start == found.start && p.end == found.end;
    });
    // The caret at the block's start, so that scrolling shows where it begins.
    const QTextDocument& document = *editor_->document();
    QTextCursor cursor(editor_->document());
    cursor.setPosition(document_position(document, format_, found.end));
    cursor.setPosition(document_position(document, format_, found.start), QTextCursor::KeepAnchor);
    editor_->setTextCursor(cursor);
    editor_->ensureCursorVisible();
    editor_->setFocus();
    statusBar()->showMessage(
        found.kind + ", material " + (found.material.isEmpty() ? "(unnamed)" : found.material),
        4000);
}

bool MainWindow::outline_pixels(const std::function<bool(int x, int y)>& inside) {
    // The picture the pane shows: the live preview's, or the run's surface.
    const auto preview_picture = preview_->picture();
    const int w = pane_->shows_own_surface() ? canvas_.width()
                  : preview_picture          ? preview_picture->width()
                                             : 0;
    const int h = pane_->shows_own_surface() ? canvas_.height()
                  : preview_picture          ? preview_picture->height()
                                             : 0;
    if (w <= 0 || h <= 0) return false;
    const int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(w * double(h) / 40000.0))));
    QImage mask((w + step - 1) / step, (h + step - 1) / step, QImage::Format_Indexed8);
    mask.setColorCount(2);
    mask.fill(0);
    bool any = false;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            if (inside(x * step, y * step)) {
                mask.setPixel(x, y, 1);
                any = true;
            }
    pane_->set_outline(any ? mask : QImage());
    return any;
}

void MainWindow::show_block_at_caret() {
    bool busy = false;
    LivePreview* scene = shown_scene(busy);
    const int offset = byte_offset(*editor_->document(), format_, editor_->textCursor().position());
    const LivePreview::Pick block =
        scene != nullptr ? scene->block_at(offset) : LivePreview::Pick{};
    if (busy || block.busy) {
        statusBar()->showMessage(kParsingAgain, 2000);
        return;
    }
    if (scene == nullptr) {
        pane_->set_outline({});
        statusBar()->showMessage(
            "No picture of this text to show the block in: Play (F5) or Live Preview (Ctrl+L) "
            "traces one.",
            4000);
        return;
    }
    if (block.start < 0) {
        pane_->set_outline({});
        statusBar()->showMessage("The caret is in no shape's block.", 4000);
        return;
    }
    const bool shown = outline_pixels(
        [scene, &block](int x, int y) { return scene->shows_block(x, y, block.start, block.end); });
    const QTextDocument& document = *editor_->document();
    const QTextBlock line = document.findBlock(document_position(document, format_, block.start));
    const QString place =
        QString("%1 block at Line %2, Col %3")
            .arg(block.kind)
            .arg(line.blockNumber() + 1)
            .arg(document_position(document, format_, block.start) - line.position() + 1);
    statusBar()->showMessage(
        shown ? place + " outlined" : place + ": the picture shows no pixel of it", 4000);
}

void MainWindow::hover_pixel(QPoint pixel) {
    if (pixel.x() < 0) return;
    bool busy = false;
    LivePreview* scene = shown_scene(busy);
    if (scene == nullptr) return;
    const LivePreview::Pick found = scene->pick(pixel.x(), pixel.y(), false);
    if (found.kind.isEmpty()) return;
    statusBar()->showMessage(
        found.kind + ", material " + (found.material.isEmpty() ? "(unnamed)" : found.material),
        2000);
}

void MainWindow::update_time_slider() {
    const bool shown = live_preview_ && preview_->has_animation();
    if (shown && time_slider_->maximum() != kSliderSteps) {
        const QSignalBlocker quiet(time_slider_);
        time_slider_->setRange(0, kSliderSteps);
        time_slider_->setValue(0);
    }
    if (shown)
        time_slider_->setToolTip(QString("TIME %1 to %2: the moment the live preview shows")
                                     .arg(preview_->start_time())
                                     .arg(preview_->end_time()));
    time_slider_->setVisible(shown);
    time_label_->setText(time_text());
    time_label_->setVisible(shown);
}

QString MainWindow::time_text() const {
    // The frame whose moment is the last at or before the slider's.
    const double share = static_cast<double>(time_slider_->value()) / kSliderSteps;
    const int frames = preview_->frames();
    const int frame =
        std::clamp(static_cast<int>(std::floor(share * frames + 1e-9)), 0, frames - 1);
    const double time =
        preview_->start_time() + (preview_->end_time() - preview_->start_time()) * share;
    return QString("TIME %1, frame %2 of %3").arg(time, 0, 'g', 4).arg(frame + 1).arg(frames);
}

QString MainWindow::zoom_text() const { return zoom_label_->text(); }
