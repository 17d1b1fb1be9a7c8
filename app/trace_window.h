#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "glimmark/canvas.h"

// The separate window a trace is drawn into, with a title bar the user moves,
// resizes and closes it by. It never takes the focus and shows the surface
// the render thread writes; while a trace runs it repaints from it 25 times
// a second, so every pixel appears soon after it is set.
class TraceWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 40;

    TraceWindow(glimmark::Canvas& surface, QWidget* owner);

    // Shows the window without activating it, above the other windows, with
    // this client size (at most what the screen holds). The first time it
    // goes beside the main window; afterwards it stays where the user put it.
    void show_picture(int width, int height);
    // Repaint periodically (during a run) or not (after it; one last repaint).
    void set_live(bool live);
    bool live() const { return timer_.isActive(); }
    // The picture as it is drawn, pixel for pixel.
    QImage picture() const;

  signals:
    // The user closed the window.
    void closed();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QMargins frame_margins() const;
    QPoint first_place(const QRect& room, const QSize& outer) const;

    glimmark::Canvas& surface_;
    QTimer timer_;
    // Once the user has moved the window, it stays where it was put.
    bool moved_by_user_ = false;
    bool placing_ = false;
};

// The surface's picture, pixel for pixel (one black pixel for an empty one).
QImage surface_image(const glimmark::Canvas& surface);

// 0x00BBGGRR as a QRgb.
inline QRgb colorref_to_rgb(uint32_t c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}
