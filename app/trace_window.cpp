#include "app/trace_window.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

#include "glimmark/canvas.h"

TraceWindow::TraceWindow(glimmark::Canvas& surface, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      surface_(surface) {
    setWindowTitle("Trace");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void TraceWindow::show_at_origin(int width, int height) {
    // A window needs at least one pixel; the surface keeps the true size.
    setFixedSize(std::max(1, width), std::max(1, height));
    move(0, 0);
    show();
    raise();
    update();
}

void TraceWindow::set_live(bool live) {
    if (live)
        timer_.start();
    else
        timer_.stop();
    update();
}

QImage TraceWindow::picture() const { return surface_image(surface_); }

QImage surface_image(const glimmark::Canvas& surface) {
    const int w = surface.width();
    const int h = surface.height();
    QImage image(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    image.fill(Qt::black);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = colorref_to_rgb(surface.pixel(x, y));
    }
    return image;
}

bool TraceWindow::event(QEvent* event) {
    // Window systems that activate every window they show (or a click on
    // it) are answered by handing the activation straight back: the keys
    // stay with the main window and its editor.
    if (event->type() == QEvent::WindowActivate && parentWidget() != nullptr)
        parentWidget()->activateWindow();
    return QWidget::event(event);
}

void TraceWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(0, 0, picture());
}
