#include "app/trace_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "glimmark/canvas.h"

TraceWindow::TraceWindow(glimmark::Canvas& surface, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::WindowMinMaxButtonsHint | Qt::WindowDoesNotAcceptFocus),
      surface_(surface) {
    setWindowTitle("Trace");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void TraceWindow::show_picture(int width, int height) {
    // A window needs at least one pixel; the surface keeps the true size.
    // A picture larger than the screen is shown scaled down in a window the
    // screen holds, with its title bar on the screen.
    const QRect room = screen()->availableGeometry();
    const QMargins frame = frame_margins();
    const QSize most = room.marginsRemoved(frame).size();
    QSize client(std::max(1, width), std::max(1, height));
    if (client.width() > most.width() || client.height() > most.height())
        client.scale(most, Qt::KeepAspectRatio);
    client = client.expandedTo(QSize(1, 1));
    // move() places the frame's corner.
    const QSize outer = client.grownBy(frame);
    placing_ = true;
    resize(client);
    if (!moved_by_user_) {
        move(first_place(room, outer));
    } else {
        // Where the user put it, kept on the screen.
        move(std::clamp(pos().x(), room.left(),
                        std::max(room.left(), room.right() + 1 - outer.width())),
             std::clamp(pos().y(), room.top(),
                        std::max(room.top(), room.bottom() + 1 - outer.height())));
    }
    placing_ = false;
    show();
    raise();
    update();
}

QMargins TraceWindow::frame_margins() const {
    // Known once the window manager has framed the window; a usual title bar
    // and border before that.
    const QMargins known(geometry().left() - frameGeometry().left(),
                         geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
    return known.isNull() ? QMargins(4, 28, 4, 4) : known;
}

QPoint TraceWindow::first_place(const QRect& room, const QSize& outer) const {
    // Beside the main window where the screen has room, so that its menu,
    // buttons and text stay in view; otherwise at the screen's corner.
    const QRect owner = parentWidget() != nullptr ? parentWidget()->frameGeometry() : QRect();
    if (owner.isValid()) {
        const int top = std::max(room.top(), owner.top());
        for (const int left : {owner.right() + 1, owner.left() - outer.width()}) {
            const QRect there(QPoint(left, top), outer);
            if (room.contains(there)) return there.topLeft();
        }
    }
    return room.topLeft();
}

void TraceWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!placing_ && isVisible()) moved_by_user_ = true;
}

void TraceWindow::closeEvent(QCloseEvent* event) {
    // Closed by the user: the picture goes back beside the editor.
    QWidget::closeEvent(event);
    emit closed();
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
    const QImage image = picture();
    if (image.size() == size()) {
        painter.drawImage(0, 0, image);
        return;
    }
    // Scaled to the window the user made, never enlarged past 1:1.
    QSize shown = image.size();
    if (shown.width() > width() || shown.height() > height())
        shown.scale(size(), Qt::KeepAspectRatio);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), shown), image);
}
