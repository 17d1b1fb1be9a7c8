#pragma once

#include <cstddef>
#include <functional>

// The image data of an 8-bit RGB PNG, every row through the Sub filter,
// deflated in bands of BandRows rows on several threads at once: each band is
// its own deflate stream, primed with the 32 KB of filtered rows before it and
// ended with a sync flush, so that the bands in order make one zlib stream
// (the last one ends it, with the Adler-32 of all rows combined). The bytes
// are the same for every thread count.
struct PngRows {
    int width = 0;
    int height = 0;
    // Writes row y (0 is the top) as 3 * width RGB bytes. Called from several
    // threads at once; must neither throw nor allocate.
    std::function<void(int y, unsigned char* rgb)> rgb_row;
};

// Rows per band: 64 rows of a 2560-pixel picture are 480 KB of filtered
// bytes, and a picture of a few bands still uses every core.
constexpr int PngBandRows = 64;

// Where the zlib stream goes, piece by piece and in order. False stops the
// encoder.
using PngDataSink = std::function<bool(const unsigned char* data, size_t size)>;

// Deflates `rows` at zlib `level` on up to `threads` threads (0: as many as
// the machine has cores), handing the stream to `sink` a band at a time; at
// most one band per thread is held. False when the sink refused or memory ran
// short; `out_of_memory` tells which.
bool deflate_png_rows(const PngRows& rows, int level, int threads, const PngDataSink& sink,
                      bool& out_of_memory);
