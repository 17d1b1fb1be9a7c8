#pragma once

#include <QColor>

class QPalette;

// Colours of the editor's text worked out from the palette, so that they read
// on light and dark themes alike.

// The contrast of two colours as WCAG measures it: from 1 (the same
// brightness) to 21 (black on white).
float contrast_ratio(const QColor& a, const QColor& b);

// `wanted` made lighter or darker, keeping its hue, until it stands out from
// `background` (and from `second_background`) by at least `ratio`.
QColor readable_colour(const QColor& wanted, const QColor& background,
                       const QColor& second_background, float ratio);

// The background of the line that holds the caret: the base tinted with the
// palette's highlight.
QColor current_line_colour(const QPalette& palette);

// What a coloured word must reach against the editor's backgrounds.
constexpr float kReadableContrast = 4.5f;
