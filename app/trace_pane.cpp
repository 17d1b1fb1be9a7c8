#include "app/trace_pane.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/trace_window.h"
#include "glimmark/canvas.h"

// The canvas inside the scroll area: as large as the viewport when the
// picture fits, as large as the zoomed picture otherwise.
class PictureView : public QWidget {
  public:
    explicit PictureView(TracePane& pane) : QWidget(nullptr), pane_(pane) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }

    // The picture's top-left corner and size in this widget.
    QRectF picture_area() const {
        const QSizeF size = QSizeF(pane_.picture_size()) * (pane_.scale() / pane_.screen_ratio());
        // Whole pixels, so that a picture at 1:1 is drawn pixel for pixel.
        const QPointF origin(std::max(0.0, std::floor((width() - size.width()) / 2)),
                             std::max(0.0, std::floor((height() - size.height()) / 2)));
        return {origin, size};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().dark());
        const QImage image = pane_.picture();
        if (image.isNull()) {
            painter.setPen(palette().brightText().color());
            painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                             "Play (F5) traces the scene here.");
            return;
        }
        // Shrunk pictures are smoothed; enlarged ones keep their pixels square.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, pane_.scale() < 1);
        painter.drawImage(picture_area(), image);
        if (pane_.dimmed_) painter.fillRect(picture_area(), QColor(0, 0, 0, 128));
        if (!pane_.outline_.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(picture_area(), pane_.outline_);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        // A zoomed picture larger than the pane is dragged by it.
        drag_from_ = event->globalPosition().toPoint();
        drag_scroll_ = {pane_.horizontalScrollBar()->value(), pane_.verticalScrollBar()->value()};
        dragging_ = false;
        const QPoint pixel = pane_.pixel_at(mapTo(pane_.viewport(), event->position().toPoint()));
        if (pixel.x() >= 0) emit pane_.pixel_clicked(pixel, event->modifiers());
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const QPoint pixel = pane_.pixel_at(mapTo(pane_.viewport(), event->position().toPoint()));
        if (pixel.x() >= 0)
            emit pane_.pixel_clicked(pixel, event->modifiers() | Qt::ControlModifier);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        if (dragging_) unsetCursor();
        dragging_ = false;
        drag_from_.reset();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (drag_from_ && event->buttons().testFlag(Qt::LeftButton)) {
            const QPoint moved = event->globalPosition().toPoint() - *drag_from_;
            if (!dragging_ && moved.manhattanLength() >= QApplication::startDragDistance()) {
                dragging_ = true;
                setCursor(Qt::ClosedHandCursor);
            }
            if (dragging_) {
                pane_.horizontalScrollBar()->setValue(drag_scroll_.x() - moved.x());
                pane_.verticalScrollBar()->setValue(drag_scroll_.y() - moved.y());
                return;
            }
        }
        emit pane_.pixel_hovered(
            pane_.pixel_at(mapTo(pane_.viewport(), event->position().toPoint())));
    }
    void leaveEvent(QEvent*) override { emit pane_.pixel_hovered(QPoint(-1, -1)); }

  private:
    TracePane& pane_;
    std::optional<QPoint> drag_from_;
    QPoint drag_scroll_;
    bool dragging_ = false;
};

TracePane::TracePane(glimmark::Canvas& surface, QWidget* parent)
    : QScrollArea(parent), surface_(surface), view_(new PictureView(*this)) {
    setObjectName("tracePane");
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    setBackgroundRole(QPalette::Dark);
    setFocusPolicy(Qt::NoFocus);
    setWidget(view_);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, view_, qOverload<>(&QWidget::update));
    update_layout();
}

QSize TracePane::picture_size() const {
    const glimmark::Canvas& surface = shown();
    if (surface.width() <= 0 || surface.height() <= 0) return {};
    return {surface.width(), surface.height()};
}

double TracePane::fit_scale() const {
    const QSize size = picture_size();
    if (size.isEmpty()) return 1;
    const QSizeF room = QSizeF(viewport()->size()) * screen_ratio();
    return std::min({1.0, room.width() / size.width(), room.height() / size.height()});
}

double TracePane::screen_ratio() const { return std::max(1.0, devicePixelRatioF()); }

double TracePane::scale() const { return fit_ ? fit_scale() : zoom_; }

void TracePane::update_layout() {
    // Fitting, the canvas follows the viewport and no scroll bar is needed;
    // zoomed, it is the picture's size and the scroll bars move it.
    setWidgetResizable(fit_);
    if (fit_) {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view_->setMinimumSize(0, 0);
        view_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        const QSize size = picture_size();
        const double drawn = zoom_ / screen_ratio();
        view_->setFixedSize(size.isEmpty() ? viewport()->size()
                                           : QSize(std::max(1, qRound(size.width() * drawn)),
                                                   std::max(1, qRound(size.height() * drawn))));
    }
    view_->update();
    emit zoom_changed();
}

void TracePane::show_picture() { update_layout(); }

void TracePane::set_live(bool live) {
    if (live)
        timer_.start();
    else
        timer_.stop();
    view_->update();
}

void TracePane::set_fit(bool fit) {
    if (!fit) zoom_ = 1;
    fit_ = fit;
    update_layout();
}

void TracePane::zoom_by(int steps, QPoint anchor) {
    const double old_scale = scale();
    const QRectF old_area = view_->picture_area();
    // The picture's point under the anchor, in picture pixels.
    const QPointF spot = (QPointF(view_->mapFrom(viewport(), anchor)) - old_area.topLeft()) /
                         (old_scale / screen_ratio());
    zoom_ = std::clamp(old_scale * std::pow(kZoomStep, steps), kMinZoom, kMaxZoom);
    const bool left_fit = fit_;
    fit_ = false;
    update_layout();
    const QPointF now = view_->picture_area().topLeft() + spot * (zoom_ / screen_ratio());
    horizontalScrollBar()->setValue(qRound(now.x() - anchor.x()));
    verticalScrollBar()->setValue(qRound(now.y() - anchor.y()));
    if (left_fit) emit fit_left();
}

QRect TracePane::picture_rect() const {
    if (picture_size().isEmpty()) return {};
    return view_->picture_area().translated(view_->pos()).toAlignedRect();
}

QImage TracePane::picture() const {
    if (picture_size().isEmpty()) return {};
    return surface_image(shown());
}

void TracePane::show_surface(std::shared_ptr<const glimmark::Canvas> surface) {
    const QSize before = picture_size();
    other_ = std::move(surface);
    if (picture_size() != before)
        update_layout();
    else
        view_->update();
}

void TracePane::set_outline(const QImage& inside) {
    if (inside.isNull()) {
        if (outline_.isNull()) return;
        outline_ = QImage();
        view_->update();
        return;
    }
    // The mask's own pixels with a neighbour outside it, in a colour that
    // stands out on light and dark pictures alike.
    QImage outline(inside.size(), QImage::Format_ARGB32);
    outline.fill(Qt::transparent);
    const auto in = [&inside](int x, int y) {
        return x >= 0 && y >= 0 && x < inside.width() && y < inside.height() &&
               inside.pixelIndex(x, y) != 0;
    };
    for (int y = 0; y < inside.height(); ++y)
        for (int x = 0; x < inside.width(); ++x)
            if (in(x, y) && (!in(x - 1, y) || !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1)))
                outline.setPixelColor(x, y, QColor(255, 200, 0));
    outline_ = outline;
    view_->update();
}

void TracePane::set_dimmed(bool dimmed) {
    if (dimmed_ == dimmed) return;
    dimmed_ = dimmed;
    view_->update();
}

QPoint TracePane::pixel_at(QPoint viewport_point) const {
    const QSize size = picture_size();
    if (size.isEmpty()) return {-1, -1};
    const QPointF spot =
        (QPointF(view_->mapFrom(viewport(), viewport_point)) - view_->picture_area().topLeft()) /
        (scale() / screen_ratio());
    const int x = static_cast<int>(std::floor(spot.x()));
    const int y = static_cast<int>(std::floor(spot.y()));
    if (x < 0 || y < 0 || x >= size.width() || y >= size.height()) return {-1, -1};
    return {x, y};
}

void TracePane::wheelEvent(QWheelEvent* event) {
    if (!event->modifiers().testFlag(Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    // One step for each notch; a touchpad's smaller turns still count as one.
    const int delta = event->angleDelta().y();
    if (delta != 0) {
        const int steps = delta / 120 != 0 ? delta / 120 : (delta > 0 ? 1 : -1);
        zoom_by(steps, event->position().toPoint());
    }
    event->accept();
}

void TracePane::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    view_->update();
    if (fit_) emit zoom_changed();
}
