// The hidden Ctrl+F10 picture.
#include "app/test_picture.h"

#include <gtest/gtest.h>

#include <QScreen>

#include <QColorSpace>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cmath>
#include <map>

#include "app/commands.h"
#include "app/trace_window.h"
#include "scene/surface.h"
#include "studio_test_support.h"

namespace {

constexpr uint32_t kRed = 0x000080;
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kTeal = 0x808000;

int count_colour(const Surface& s, uint32_t c, int* x = nullptr, int* y = nullptr) {
    int n = 0;
    for (int j = 0; j < s.height(); ++j)
        for (int i = 0; i < s.width(); ++i)
            if (s.pixel(i, j) == c) {
                ++n;
                if (x != nullptr) *x = i;
                if (y != nullptr) *y = j;
            }
    return n;
}

}  // namespace

class StudioTestPictureFor : public ::testing::TestWithParam<int> {};

TEST_P(StudioTestPictureFor, SineCurveSearchPointsAndMarkers) {
    const float b = static_cast<float>(GetParam());
    Surface s(256, 256);
    s.fill_black(0, 0, 256, 256);
    for (int i = 0; i < 256; ++i)
        s.set_pixel(i, 0, 0x00FFFFFF);  // must be painted over
    draw_test_picture(s, b);

    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(s.pixel(i, 0), 0u) << "black square, column " << i;
    // The sine curve: red, between rows 118 and 138, one per column, except
    // where a search point covers it.
    int columns = 0;
    for (int i = 0; i < 256; ++i) {
        int reds = 0;
        for (int y = 0; y < 256; ++y)
            if (s.pixel(i, y) == kRed) {
                ++reds;
                EXPECT_GE(y, 118);
                EXPECT_LE(y, 138);
            }
        EXPECT_LE(reds, 1);
        columns += reds;
    }
    EXPECT_GE(columns, 250);
    EXPECT_EQ(s.pixel(0, 128), kRed);
    EXPECT_EQ(s.pixel(10, 118), kRed);  // the crest, sin(pi / 2)
    EXPECT_EQ(s.pixel(20, 127), kRed);  // 3.14159 is just below pi: a hair above 128

    // The markers at the two ends of the search range b and b + 12.
    int gx = -1, gy = -1, tx = -1, ty = -1;
    EXPECT_EQ(count_colour(s, kGreen, &gx, &gy), 1);
    EXPECT_EQ(count_colour(s, kTeal, &tx, &ty), 1);
    EXPECT_EQ(gy, 78);
    EXPECT_EQ(ty, 118);
    EXPECT_EQ(gx, static_cast<int>(b * 20.0f / 3.14159f));
    EXPECT_NEAR(tx - gx, 12 * 20 / 3.14159, 1.0);

    // The search points: grey levels from 200 x c (low byte) with blue 128.
    // The first (c = 2, level 144) lies under the second marker, and the
    // points close in on the crossing, so later ones may cover earlier ones;
    // the second is always far enough from the rest to keep its pixel.
    int x = -1, y = -1;
    EXPECT_EQ(count_colour(s, 200u | 200u << 8 | 128u << 16, &x, &y), 1);
    EXPECT_GT(x, gx);
    EXPECT_GT(y, 78);
    int levels = 0;
    for (uint32_t level : {144u, 200u, 100u, 50u, 25u, 12u, 6u, 3u, 1u})
        levels += count_colour(s, level | level << 8 | 128u << 16) > 0;
    EXPECT_GE(levels, 4);
    EXPECT_LE(count_colour(s, 144u | 144u << 8 | 128u << 16), 1);
}

INSTANTIATE_TEST_SUITE_P(EveryB, StudioTestPictureFor, ::testing::Range(5, 18));

using StudioTestPictureWindow = StudioWindowTest;

// Shown in the pane and in the separate window, and saved as it is shown
// with Ctrl+Shift+E (which, before any picture, asks nothing).
TEST_F(StudioTestPictureWindow, CtrlF10ShowsItWithoutATrace) {
    QTemporaryDir dir;
    dialogs.picture_answer = dir.filePath("shown.png");
    const auto save_picture = [this] {
        QTest::keyClick(window->editor(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    };
    save_picture();
    EXPECT_TRUE(dialogs.picture_starts.isEmpty());
    for (bool separate : {false, true}) {
        SCOPED_TRACE(separate ? "separate window" : "pane");
        if (separate) window->action(cmd::SeparateTraceWindow)->trigger();
        QTest::keyClick(window->editor(), Qt::Key_F10, Qt::ControlModifier);
        TraceWindow* trace = window->trace_window();
        ASSERT_EQ(trace->isVisible(), separate);
        if (separate) {
            EXPECT_TRUE(trace->screen()->availableGeometry().contains(trace->geometry()));
            EXPECT_EQ(trace->size(), QSize(256, 256));
        }
        const QImage shown = shown_picture(*window);
        ASSERT_EQ(shown.size(), QSize(256, 256));
        int reds = 0, greens = 0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                reds += shown.pixel(x, y) == qRgb(128, 0, 0);
                greens += shown.pixel(x, y) == qRgb(0, 128, 0);
            }
        EXPECT_GE(reds, 250);
        EXPECT_EQ(greens, 1);
        EXPECT_TRUE(window->editor()->hasFocus());
        EXPECT_TRUE(window->isActiveWindow());
        QFile::remove(dialogs.picture_answer);
        save_picture();
        // The file is marked sRGB; the pixels are what was shown.
        QImage saved = QImage(dialogs.picture_answer, "PNG").convertToFormat(QImage::Format_RGB32);
        saved.setColorSpace(shown.colorSpace());
        EXPECT_EQ(saved, shown);
    }
    // The next save offers the last name.
    EXPECT_EQ(dialogs.picture_starts, QStringList({"", dialogs.picture_answer}));
    EXPECT_TRUE(dialogs.messages.empty());
}
