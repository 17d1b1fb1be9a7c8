#pragma once

#include <QDialog>

#include "glimmark/run.h"

class QButtonGroup;
class QSlider;
class QSpinBox;

// The recording's format (AVI with full frames or Motion-JPEG, MP4 or
// Matroska with H.264, WebM with VP9, animated GIF) and its quality: JPEG
// quality for Motion-JPEG, the encoder's constant quality for H.264 and VP9.
// Formats this build cannot write are shown disabled.
class CompressionDialog : public QDialog {
    Q_OBJECT
  public:
    CompressionDialog(QWidget* owner, glimmark::VideoKind format, int quality);
    glimmark::VideoKind format() const;
    int quality() const;

  private:
    void enable_quality();

    QButtonGroup* formats_;
    QSlider* slider_;
    QSpinBox* quality_;
};
