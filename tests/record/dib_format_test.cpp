#include "record/dib_format.h"

#include <gtest/gtest.h>

#include "record_test_support.h"

namespace {

struct DepthCase {
    int bits;
    int depth;
};

class DibDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DibDepth, RoundsUpToTheNextDibDepth) {
    EXPECT_EQ(dib_depth(GetParam().bits), GetParam().depth);
}

INSTANTIATE_TEST_SUITE_P(Table, DibDepth,
                         ::testing::Values(DepthCase{1, 1}, DepthCase{2, 4}, DepthCase{4, 4},
                                           DepthCase{5, 8}, DepthCase{8, 8}, DepthCase{9, 16},
                                           DepthCase{15, 16}, DepthCase{16, 16}, DepthCase{17, 24},
                                           DepthCase{24, 24}, DepthCase{25, 32},
                                           DepthCase{32, 32}));

struct HeaderCase {
    int bits;
    uint32_t header_bytes;
    uint32_t clr_used;
};

class DibHeaderBlock : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(DibHeaderBlock, LeavesRoomForThePaletteBelowSixteenBits) {
    const DibFormat f = dib_format(10, 10, 1, GetParam().bits);
    EXPECT_EQ(f.header_bytes, GetParam().header_bytes);
    EXPECT_EQ(f.clr_used, GetParam().clr_used);
}

INSTANTIATE_TEST_SUITE_P(Table, DibHeaderBlock,
                         ::testing::Values(HeaderCase{1, 48, 2}, HeaderCase{4, 104, 16},
                                           HeaderCase{8, 1064, 256}, HeaderCase{16, 40, 0},
                                           HeaderCase{24, 40, 0}, HeaderCase{32, 40, 0}));

struct SizeCase {
    int width;
    int height;
    int bits;
    uint32_t size_image;
};

class DibSizeImage : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DibSizeImage, RowsArePaddedToFourBytes) {
    const SizeCase& c = GetParam();
    EXPECT_EQ(dib_format(c.width, c.height, 1, c.bits).size_image, c.size_image);
}

// Rows of 24-bit pixels: 1 px = 3 bytes -> 4; 3 px = 9 -> 12; 4 px = 12.
INSTANTIATE_TEST_SUITE_P(Table, DibSizeImage,
                         ::testing::Values(SizeCase{1, 1, 24, 4}, SizeCase{3, 2, 24, 24},
                                           SizeCase{4, 5, 24, 60}, SizeCase{5, 1, 24, 16},
                                           SizeCase{320, 240, 24, 230400}, SizeCase{33, 1, 1, 8},
                                           SizeCase{3, 2, 12, 16}, SizeCase{3, 1, 32, 12}));

TEST(DibFormat, BitmapInfoHeaderFields) {
    DibFormat f = dib_format(7, 3, 1, 24);
    f.compression = 0x47504A4D;
    ByteBuffer b;
    put_bitmap_info_header(b, f);
    ASSERT_EQ(b.size(), 40u);
    const std::vector<uint8_t> want = {40, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0, 1, 0, 24, 0, 'M', 'J',
                                       'P', 'G',
                                       // 7 px x 3 bytes = 21 -> 24 per row, 3 rows
                                       72, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(b.bytes, want);
}

TEST(DibFrame, RowsBottomUpInBlueGreenRedOrderWithZeroPadding) {
    Surface s(3, 2);
    s.set_pixel(0, 0, 0x00030201);  // top-left: r 1, g 2, b 3
    s.set_pixel(2, 0, 0x00060504);
    s.set_pixel(1, 1, 0x00090807);  // bottom row
    std::vector<uint8_t> out;
    surface_to_dib24(s, 3, 2, out);
    const std::vector<uint8_t> want = {
        0, 0, 0, 9, 8, 7, 0, 0, 0, 0, 0, 0,  // bottom row first
        3, 2, 1, 0, 0, 0, 6, 5, 4, 0, 0, 0,  // then the top row
    };
    EXPECT_EQ(out, want);
}

TEST(DibFrame, ASmallerSurfaceIsFilledWithBlackALargerOneIsCut) {
    Surface s(2, 1);
    s.set_pixel(0, 0, 0x00FFFFFF);
    s.set_pixel(1, 0, 0x00112233);
    std::vector<uint8_t> out;
    surface_to_dib24(s, 1, 2, out);  // one column, two rows
    const std::vector<uint8_t> want = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_EQ(out, want);
}

TEST(RgbFrame, TopDownRedGreenBlue) {
    Surface s(2, 2);
    s.set_pixel(1, 0, 0x00332211);
    s.set_pixel(0, 1, 0x00665544);
    std::vector<uint8_t> out;
    surface_to_rgb(s, 2, 2, out);
    const std::vector<uint8_t> want = {0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0, 0};
    EXPECT_EQ(out, want);
}

TEST(ByteBuffer, ChunksAreSizedAndPaddedToEvenLength) {
    ByteBuffer b;
    const size_t list = b.begin_list("movi");
    const size_t c = b.begin_chunk("00dc");
    b.u8(0xAB);
    b.end_chunk(c);
    b.end_chunk(list);
    const std::vector<uint8_t> want = {'L', 'I', 'S', 'T', 14,  0, 0, 0, 'm', 'o',  'v',
                                       'i', '0', '0', 'd', 'c', 1, 0, 0, 0,   0xAB, 0};
    EXPECT_EQ(b.bytes, want);
    EXPECT_EQ(fourcc_value("DIB"), fourcc_value("DIB "));
}

}  // namespace
