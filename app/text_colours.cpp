#include "app/text_colours.h"

#include <QPalette>
#include <algorithm>
#include <cmath>

namespace {

float channel_luminance(float c) {
    return c <= 0.03928f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

float luminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126f * channel_luminance(rgb.redF()) + 0.7152f * channel_luminance(rgb.greenF()) +
           0.0722f * channel_luminance(rgb.blueF());
}

QColor mix(const QColor& a, const QColor& b, float t) {
    const QColor x = a.toRgb();
    const QColor y = b.toRgb();
    return QColor::fromRgbF(x.redF() + (y.redF() - x.redF()) * t,
                            x.greenF() + (y.greenF() - x.greenF()) * t,
                            x.blueF() + (y.blueF() - x.blueF()) * t);
}

}  // namespace

float contrast_ratio(const QColor& a, const QColor& b) {
    const float la = luminance(a);
    const float lb = luminance(b);
    return (std::max(la, lb) + 0.05f) / (std::min(la, lb) + 0.05f);
}

QColor readable_colour(const QColor& wanted, const QColor& background,
                       const QColor& second_background, float ratio) {
    // On a dark background the colour goes towards white, on a light one
    // towards black; in small steps, so that it keeps as much of its hue as
    // the contrast allows. White or black is the last step, which stands out
    // from any background that is dark or light enough to have chosen it.
    const bool dark = luminance(background) < 0.18f;
    const QColor end = dark ? QColor(Qt::white) : QColor(Qt::black);
    const auto enough = [&](const QColor& c) {
        return contrast_ratio(c, background) >= ratio &&
               contrast_ratio(c, second_background) >= ratio;
    };
    constexpr int kSteps = 20;
    for (int step = 0; step < kSteps; ++step) {
        const QColor c = mix(wanted, end, static_cast<float>(step) / kSteps);
        if (enough(c)) return c;
    }
    return end;
}

QColor current_line_colour(const QPalette& palette) {
    return mix(palette.color(QPalette::Base), palette.color(QPalette::Highlight), 0.12f);
}
