#include "app/compression_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "record/video_formats.h"

namespace {

struct Choice {
    VideoFormat format;
    const char* label;
};

constexpr Choice kChoices[] = {
    {VideoFormat::AviRaw, "&Full frames (uncompressed AVI)"},
    {VideoFormat::AviMjpeg, "&Motion-JPEG (AVI)"},
    {VideoFormat::Mp4H264, "MP&4 with H.264"},
    {VideoFormat::MkvH264, "Matroska (.m&kv) with H.264"},
    {VideoFormat::WebmVp9, "&WebM with VP9"},
    {VideoFormat::Gif, "Animated &GIF"},
};

bool has_quality(VideoFormat f) { return f != VideoFormat::AviRaw && f != VideoFormat::Gif; }

}  // namespace

CompressionDialog::CompressionDialog(QWidget* owner, VideoFormat format, int quality)
    : QDialog(owner) {
    setWindowTitle("Video Compression");
    formats_ = new QButtonGroup(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Format of the recording:", this));
    for (const Choice& c : kChoices) {
        auto* button = new QRadioButton(c.label, this);
        const bool available =
            container_of(c.format) == VideoContainer::Avi || have_video_libraries();
        button->setEnabled(available);
        if (!available) button->setToolTip("Needs FFmpeg's libraries, which this build is without");
        button->setChecked(c.format == format && available);
        formats_->addButton(button, static_cast<int>(c.format));
        layout->addWidget(button);
    }
    if (formats_->checkedButton() == nullptr)
        formats_->button(static_cast<int>(VideoFormat::AviMjpeg))->setChecked(true);

    slider_ = new QSlider(Qt::Horizontal, this);
    quality_ = new QSpinBox(this);
    slider_->setRange(1, 100);
    quality_->setRange(1, 100);
    slider_->setValue(std::clamp(quality, 1, 100));
    quality_->setValue(slider_->value());
    connect(slider_, &QSlider::valueChanged, quality_, &QSpinBox::setValue);
    connect(quality_, &QSpinBox::valueChanged, slider_, &QSlider::setValue);
    connect(formats_, &QButtonGroup::idToggled, this, [this] { enable_quality(); });
    enable_quality();

    auto* quality_row = new QHBoxLayout;
    auto* label = new QLabel("&Quality:", this);
    label->setBuddy(slider_);
    quality_row->addWidget(label);
    quality_row->addWidget(slider_, 1);
    quality_row->addWidget(quality_);
    layout->addLayout(quality_row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CompressionDialog::enable_quality() {
    const bool on = has_quality(format());
    slider_->setEnabled(on);
    quality_->setEnabled(on);
}

VideoFormat CompressionDialog::format() const {
    return static_cast<VideoFormat>(formats_->checkedId());
}

int CompressionDialog::quality() const { return quality_->value(); }
