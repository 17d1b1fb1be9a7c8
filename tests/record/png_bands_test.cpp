#include "record/png_bands.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace {

// The zlib stream of a picture of three bands and a bit, on `threads` threads.
std::vector<unsigned char> stream_of(int threads, const PngRows& rows) {
    std::vector<unsigned char> out;
    bool out_of_memory = true;
    EXPECT_TRUE(deflate_png_rows(
        rows, 6, threads,
        [&out](const unsigned char* data, size_t n) {
            out.insert(out.end(), data, data + n);
            return true;
        },
        out_of_memory));
    EXPECT_FALSE(out_of_memory);
    return out;
}

TEST(PngBands, OneStreamOfTheFilteredRowsWhateverTheThreads) {
    const int width = 37, height = 3 * PngBandRows + 5;
    PngRows rows{width, height, [](int y, unsigned char* rgb) {
                     for (int i = 0; i < 3 * width; ++i)
                         rgb[i] = static_cast<unsigned char>((i * 7 + y * y) % 251);
                 }};
    const std::vector<unsigned char> one = stream_of(1, rows);
    for (int threads : {2, 3, 8})
        EXPECT_EQ(stream_of(threads, rows), one) << threads;

    // uncompress checks the header and the combined Adler-32 as well.
    const size_t stride = 3 * width + 1;
    std::vector<unsigned char> filtered(stride * height + 1);
    uLongf size = static_cast<uLongf>(filtered.size());
    ASSERT_EQ(uncompress(filtered.data(), &size, one.data(), static_cast<uLong>(one.size())), Z_OK);
    ASSERT_EQ(size, stride * height);
    std::vector<unsigned char> rgb(3 * width);
    for (int y = 0; y < height; ++y) {
        rows.rgb_row(y, rgb.data());
        const unsigned char* f = filtered.data() + stride * y;
        ASSERT_EQ(f[0], 1) << y;  // Sub
        for (int i = 0; i < 3 * width; ++i)
            ASSERT_EQ(static_cast<unsigned char>(f[1 + i] + (i >= 3 ? rgb[i - 3] : 0)), rgb[i])
                << y << " " << i;
    }
}

TEST(PngBands, ASinkThatRefusesStopsTheEncoder) {
    PngRows rows{4, 2 * PngBandRows, [](int, unsigned char* rgb) {
                     for (int i = 0; i < 12; ++i)
                         rgb[i] = static_cast<unsigned char>(i);
                 }};
    int calls = 0;
    bool out_of_memory = true;
    EXPECT_FALSE(deflate_png_rows(
        rows, 6, 2,
        [&calls](const unsigned char*, size_t) {
            ++calls;
            return false;
        },
        out_of_memory));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(out_of_memory);
}

}  // namespace
