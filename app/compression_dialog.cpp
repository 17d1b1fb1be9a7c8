#include "app/compression_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

CompressionDialog::CompressionDialog(QWidget* owner, bool mjpeg, int quality) : QDialog(owner) {
    setWindowTitle("Video Compression");
    raw_ = new QRadioButton("&Full frames (uncompressed)", this);
    mjpeg_ = new QRadioButton("&Motion-JPEG", this);
    quality_ = new QSpinBox(this);
    quality_->setRange(1, 100);
    quality_->setValue(std::clamp(quality, 1, 100));
    (mjpeg ? mjpeg_ : raw_)->setChecked(true);
    quality_->setEnabled(mjpeg);
    connect(mjpeg_, &QRadioButton::toggled, quality_, &QSpinBox::setEnabled);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* quality_row = new QFormLayout;
    quality_row->setContentsMargins(24, 0, 0, 0);
    quality_row->addRow("&Quality:", quality_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Compressor for the recorded frames:", this));
    layout->addWidget(raw_);
    layout->addWidget(mjpeg_);
    layout->addLayout(quality_row);
    layout->addWidget(buttons);
}

bool CompressionDialog::mjpeg() const { return mjpeg_->isChecked(); }

int CompressionDialog::quality() const { return quality_->value(); }
