#pragma once

#include <QDialog>

class QRadioButton;
class QSpinBox;

// The recording codec: full frames as they are, or Motion-JPEG at a quality.
class CompressionDialog : public QDialog {
    Q_OBJECT
  public:
    CompressionDialog(QWidget* owner, bool mjpeg, int quality);
    bool mjpeg() const;
    int quality() const;

  private:
    QRadioButton* raw_;
    QRadioButton* mjpeg_;
    QSpinBox* quality_;
};
