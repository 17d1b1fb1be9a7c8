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

#include "glimmark/video_kinds.h"

using glimmark::VideoKind;

namespace {

struct Choice {
    VideoKind format;
    const char* label;
};

constexpr Choice kChoices[] = {
    {VideoKind::AviRaw, "&Full frames (uncompressed AVI)"},
    {VideoKind::AviMjpeg, "&Motion-JPEG (AVI)"},
    {VideoKind::Mp4H264, "MP&4 with H.264"},
    {VideoKind::MkvH264, "Matroska (.m&kv) with H.264"},
    {VideoKind::WebmVp9, "&WebM with VP9"},
    {VideoKind::Gif, "Animated &GIF"},
};

bool has_quality(VideoKind f) { return f != VideoKind::AviRaw && f != VideoKind::Gif; }

}  // namespace

CompressionDialog::CompressionDialog(QWidget* owner, VideoKind format, int quality)
    : QDialog(owner) {
    setWindowTitle("Video Compression");
    formats_ = new QButtonGroup(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Format of the recording:", this));
    for (const Choice& c : kChoices) {
        auto* button = new QRadioButton(c.label, this);
        const bool available = glimmark::can_record(c.format);
        button->setEnabled(available);
        if (!available) button->setToolTip("Needs FFmpeg's libraries, which this build is without");
        button->setChecked(c.format == format && available);
        formats_->addButton(button, static_cast<int>(c.format));
        layout->addWidget(button);
    }
    if (formats_->checkedButton() == nullptr)
        formats_->button(static_cast<int>(VideoKind::AviMjpeg))->setChecked(true);

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

VideoKind CompressionDialog::format() const {
    return static_cast<VideoKind>(formats_->checkedId());
}

int CompressionDialog::quality() const { return quality_->value(); }
