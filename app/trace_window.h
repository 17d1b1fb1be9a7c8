#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include "glimmark/canvas.h"

// The border-less window a trace is drawn into. It never takes the focus and
// shows the surface the render thread writes; while a trace runs it repaints
// from it 25 times a second, so every pixel appears soon after it is set.
class TraceWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 40;

    TraceWindow(glimmark::Canvas& surface, QWidget* owner);

    // Shows the window without activating it, at the top-left corner of the
    // screen, with this client size, above the other windows.
    void show_at_origin(int width, int height);
    // Repaint periodically (during a run) or not (after it; one last repaint).
    void set_live(bool live);
    bool live() const { return timer_.isActive(); }
    // The picture as it is drawn, pixel for pixel.
    QImage picture() const;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    glimmark::Canvas& surface_;
    QTimer timer_;
};

// The surface's picture, pixel for pixel (one black pixel for an empty one).
QImage surface_image(const glimmark::Canvas& surface);

// 0x00BBGGRR as a QRgb.
inline QRgb colorref_to_rgb(uint32_t c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}
