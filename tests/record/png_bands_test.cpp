#include "record/png_bands.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <vector>

#include "record/image_file.h"

namespace {

// The zlib stream of a picture of three bands and a bit, on `threads` threads,
// taking the bands `ahead` has done.
std::vector<unsigned char> stream_of(int threads, const PngRows& rows,
                                     const PngBandsAhead* ahead = nullptr) {
    std::vector<unsigned char> out;
    bool out_of_memory = true;
    EXPECT_TRUE(deflate_png_rows(
        rows, PngCompression, threads,
        [&out](const unsigned char* data, size_t n) {
            out.insert(out.end(), data, data + n);
            return true;
        },
        out_of_memory, ahead));
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

    // Bands deflated ahead, as the rows above a count are settled: none,
    // short of the first band's end, one, two, every row but the last, all.
    // Each write takes them and deflates the rest to the same stream.
    const std::atomic<bool> go{false};
    const std::pair<int, int> settled_and_done[] = {{0, 0},           {PngBandRows - 1, 0},
                                                    {PngBandRows, 1}, {2 * PngBandRows + 3, 2},
                                                    {height - 1, 3},  {height + 2, 4}};
    for (const auto& [settled, done] : settled_and_done) {
        PngBandsAhead ahead(rows, PngCompression);
        // Counts that only grow, as the render's does.
        for (int count = 0; count <= settled; count += 50)
            ASSERT_TRUE(ahead.deflate_settled(count, go));
        ASSERT_TRUE(ahead.deflate_settled(settled, go));
        EXPECT_EQ(ahead.bands_done(), done) << settled;
        EXPECT_EQ(ahead.complete(), done == 4) << settled;
        for (int threads : {1, 2, 8})
            EXPECT_EQ(stream_of(threads, rows, &ahead), one) << settled << " " << threads;
    }
    // A stop asked for before the first band; bands of another picture or
    // another setting are not taken.
    const std::atomic<bool> stop{true};
    PngBandsAhead stopped(rows, PngCompression);
    EXPECT_TRUE(stopped.deflate_settled(height, stop));
    EXPECT_EQ(stopped.bands_done(), 0);
    PngRows shorter = rows;
    shorter.height = height - 1;
    PngBandsAhead other_size(shorter, PngCompression);
    PngBandsAhead other_setting(rows, PngDeflateSetting{1, 4, 4, 8, 4});
    ASSERT_TRUE(other_size.deflate_settled(height, go));
    ASSERT_TRUE(other_setting.deflate_settled(height, go));
    EXPECT_EQ(stream_of(2, rows, &other_size), one);
    EXPECT_EQ(stream_of(2, rows, &other_setting), one);

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
        rows, PngCompression, 2,
        [&calls](const unsigned char*, size_t) {
            ++calls;
            return false;
        },
        out_of_memory));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(out_of_memory);
}

}  // namespace
