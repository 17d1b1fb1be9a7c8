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

}  // namespace
