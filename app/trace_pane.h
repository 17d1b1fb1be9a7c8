#pragma once

#include <QImage>
#include <QScrollArea>
#include <QTimer>

#include <memory>

#include "glimmark/canvas.h"
class PictureView;

// The trace view inside the main window: the surface the render thread writes,
// either scaled down to fit the pane or drawn at a zoom (1:1 to begin with)
// with scroll bars. Ctrl+wheel zooms. While a trace runs it repaints 25 times
// a second, so every pixel appears soon after it is set.
class TracePane : public QScrollArea {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 40;
    static constexpr double kZoomStep = 1.25;
    static constexpr double kMinZoom = 1.0 / 16;
    static constexpr double kMaxZoom = 16;

    TracePane(glimmark::Canvas& surface, QWidget* parent);

    // The surface has a new picture (its size may have changed).
    void show_picture();
    // Repaint periodically (during a run) or not (after it; one last repaint).
    void set_live(bool live);
    bool live() const { return timer_.isActive(); }
    // Fit: the whole picture in the pane, never enlarged. Otherwise the zoom,
    // which turning fit off sets back to 1:1.
    void set_fit(bool fit);
    bool fit() const { return fit_; }
    // The scale the picture is drawn at, in picture pixels to screen pixels
    // (1: each picture pixel is one pixel of the screen, whatever its scale
    // factor).
    double scale() const;
    // Zooms by whole steps of kZoomStep, keeping the picture's point under
    // `anchor` (viewport coordinates) where it is; leaves fit.
    void zoom_by(int steps, QPoint anchor);
    // Where the picture is drawn, in the viewport's coordinates.
    QRect picture_rect() const;
    // The picture as it is, pixel for pixel (a null image before the first).
    QImage picture() const;
    // Shows another surface than the trace surface (the live preview's
    // picture); null goes back to the trace surface.
    void show_surface(std::shared_ptr<const glimmark::Canvas> surface);
    bool shows_own_surface() const { return !other_; }
    // Outlines the picture's pixels that `inside` holds (a mask of the
    // picture, or of a coarser grid over it); a null image takes it away.
    void set_outline(const QImage& inside);
    bool outlined() const { return !outline_.isNull(); }
    // Dimmed: the picture no longer matches the text.
    void set_dimmed(bool dimmed);
    bool dimmed() const { return dimmed_; }
    // The picture pixel under a viewport point; (-1, -1) off the picture.
    QPoint pixel_at(QPoint viewport_point) const;

  signals:
    // Ctrl+wheel left the fit.
    void fit_left();
    // The scale the picture is drawn at may have changed.
    void zoom_changed();
    // A left click on picture pixel `pixel` (a double click comes with Ctrl
    // held: the innermost block), and the pixel under the mouse ((-1, -1)
    // when it left the picture).
    void pixel_clicked(QPoint pixel, Qt::KeyboardModifiers modifiers);
    void pixel_hovered(QPoint pixel);

  protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    friend class PictureView;
    void update_layout();
    QSize picture_size() const;
    double fit_scale() const;
    // Screen pixels to the widgets' own.
    double screen_ratio() const;

    const glimmark::Canvas& shown() const {
        return other_ ? *other_ : static_cast<const glimmark::Canvas&>(surface_);
    }

    glimmark::Canvas& surface_;
    std::shared_ptr<const glimmark::Canvas> other_;
    bool dimmed_ = false;
    // The outline drawn over the picture, transparent elsewhere.
    QImage outline_;
    PictureView* view_;
    QTimer timer_;
    bool fit_ = true;
    double zoom_ = 1;
};
