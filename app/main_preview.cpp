// The live preview: every pause in typing parses the text off the UI thread
// and traces it into the trace pane, coarse first; a parse error is marked
// in the text instead of boxed; a click on the picture selects the block of
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
    preview_timer_ = new QTimer(this);
    preview_timer_->setSingleShot(true);
    preview_timer_->setInterval(kPauseMs);
    connect(preview_timer_, &QTimer::timeout, this, &MainWindow::start_preview);
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        // The outlined shape may no longer be where it was drawn.
        pane_->set_outline({});
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
    preview_->request(std::move(request));
}

void MainWindow::stop_preview_for_run() {
    preview_timer_->stop();
    pane_->set_outline({});
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
    // The last good picture stays, dimmed.
    if (!pane_->shows_own_surface()) pane_->set_dimmed(true);
}

void MainWindow::pick_pixel(QPoint pixel, Qt::KeyboardModifiers modifiers) {
    if (!live_preview_ || pane_->shows_own_surface()) return;
    // The innermost block: Alt+click, or Ctrl+click and a double click where
    // the window manager keeps Alt+click for itself.
    const bool innermost =
        modifiers.testFlag(Qt::AltModifier) || modifiers.testFlag(Qt::ControlModifier);
    const LivePreview::Pick found = preview_->pick(pixel.x(), pixel.y(), innermost);
    if (found.busy) {
        statusBar()->showMessage("The scene is being parsed again; click once more in a moment.",
                                 2000);
        return;
    }
    if (found.start < 0) {
        pane_->set_outline({});
        return;
    }
    outline_block(found.start, found.end, innermost);
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

void MainWindow::outline_block(int start, int end, bool innermost) {
    // Every pixel whose pick is the same block, on a grid of at most about
    // 40,000 points over the picture.
    const auto picture = preview_->picture();
    if (!picture || picture->width() <= 0 || picture->height() <= 0) return;
    const int w = picture->width(), h = picture->height();
    const int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(w * double(h) / 40000.0))));
    QImage inside((w + step - 1) / step, (h + step - 1) / step, QImage::Format_Indexed8);
    inside.setColorCount(2);
    inside.fill(0);
    for (int y = 0; y < inside.height(); ++y)
        for (int x = 0; x < inside.width(); ++x) {
            const LivePreview::Pick p = preview_->pick(x * step, y * step, innermost);
            if (p.start == start && p.end == end) inside.setPixel(x, y, 1);
        }
    pane_->set_outline(inside);
}

void MainWindow::hover_pixel(QPoint pixel) {
    if (!live_preview_ || pane_->shows_own_surface() || pixel.x() < 0) return;
    const LivePreview::Pick found = preview_->pick(pixel.x(), pixel.y(), false);
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
