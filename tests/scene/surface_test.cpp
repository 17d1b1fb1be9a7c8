#include <gtest/gtest.h>

#include "scene/surface.h"

namespace {

// Small pictures are cleared pixel by pixel, pictures of huge pages by the
// system; both must read black afterwards, and a partial fill must keep the
// rest.
class SurfaceFill : public ::testing::TestWithParam<int> {};

TEST_P(SurfaceFill, BlackWhereFilledAndKeptElsewhere) {
    const int side = GetParam();
    Surface s(side, side);
    EXPECT_EQ(s.pixel(side - 1, side - 1), 0u);  // a new picture is black
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            s.set_pixel(x, y, 0x00123456u);
    s.fill_black(0, side / 2, side, side);
    EXPECT_EQ(s.pixel(3, side / 2 - 1), 0x00123456u);
    EXPECT_EQ(s.pixel(3, side / 2), 0u);
    s.fill_black(-5, -5, side + 5, side + 5);  // clipped to the whole picture
    const std::vector<uint32_t> all = s.snapshot();
    size_t lit = 0;
    for (uint32_t p : all)
        lit += p != 0u;
    EXPECT_EQ(lit, 0u);
    s.set_pixel(side - 1, 0, 7u);  // still writable after a system clear
    EXPECT_EQ(s.pixel(side - 1, 0), 7u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SurfaceFill, ::testing::Values(16, 1024));

// A band keeps its own rows alone: the others read black and drop what is
// written, and the snapshot is the whole picture with them black.
TEST(Surface, ABandKeepsOnlyItsRows) {
    Surface s;
    s.resize_band(8, 10, 3, 6);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 8; ++x)
            s.set_pixel(x, y, 0x10u + y);
    EXPECT_EQ(s.pixel(0, 2), 0u);
    EXPECT_EQ(s.pixel(0, 3), 0x13u);
    EXPECT_EQ(s.pixel(7, 5), 0x15u);
    EXPECT_EQ(s.pixel(0, 6), 0u);
    s.fill_black(0, 0, 8, 4);
    EXPECT_EQ(s.pixel(0, 3), 0u);
    EXPECT_EQ(s.pixel(0, 4), 0x14u);
    const std::vector<uint32_t> all = s.snapshot();
    ASSERT_EQ(all.size(), 80u);
    EXPECT_EQ(all[4 * 8], 0x14u);
    EXPECT_EQ(all[6 * 8], 0u);
}

}  // namespace
