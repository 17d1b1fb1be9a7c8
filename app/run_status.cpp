#include "app/run_status.h"

#include <QLabel>
#include <QStatusBar>

#include <algorithm>

#include "glimmark/run.h"

QString tracing_text(int frame, int frames, int rows, int height) {
    const int total = std::max(1, height);
    const int done = std::clamp(rows, 0, total);
    const QString rows_text = QString("Tracing row %1 of %2, %3 %")
                                  .arg(done)
                                  .arg(total)
                                  .arg(static_cast<int>(static_cast<qint64>(done) * 100 / total));
    if (frames <= 1) return rows_text;
    return QString("Frame %1 of %2 \u00B7 ").arg(frame).arg(frames) + rows_text;
}

QString done_text(qint64 milliseconds) {
    return QString("Done in %1 s").arg(static_cast<double>(milliseconds) / 1000.0, 0, 'f', 2);
}

QString wrote_text(int frames, const QString& path) {
    return QString("Wrote %1 frame%2 to %3").arg(frames).arg(frames == 1 ? "" : "s").arg(path);
}

RunStatus::RunStatus(QStatusBar* bar, const glimmark::Run& run, const glimmark::Window& window)
    : QObject(bar), run_(run), window_(window), label_(new QLabel(bar)) {
    label_->setObjectName("runStatus");
    label_->setTextFormat(Qt::PlainText);
    // A long parse error must not widen the window.
    label_->setMinimumWidth(1);
    bar->addWidget(label_, 1);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &RunStatus::refresh);
}

void RunStatus::run_started() {
    timer_.stop();
    in_run_ = true;
    clock_.start();
    label_->setText(QString::fromUtf8("Parsing\u2026"));
    // Shown at once, before the parse begins.
    label_->repaint();
}

void RunStatus::follow() {
    refresh();
    timer_.start();
}

void RunStatus::show(const QString& text) {
    timer_.stop();
    label_->setText(text);
}

QString RunStatus::text() const { return label_->text(); }

void RunStatus::refresh() {
    // What the next frame's parse reads is not to be looked at before it is
    // over.
    if (!run_.running() || run_.parsing()) return;
    const int frames = run_.animated() ? run_.frames() : 1;
    // Between two frames of an animation no render thread runs: the frame
    // traced last is shown until the next one is due.
    if (!window_.frame_running() && frames > 1) {
        label_->setText(QString("Frame %1 of %2").arg(run_.frame_index()).arg(frames));
        return;
    }
    label_->setText(tracing_text(run_.frame_index() + 1, frames, run_.rows_done(), run_.height()));
}
