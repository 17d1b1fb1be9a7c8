#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

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

// How zlib deflates: its level, and the match search it is tuned to
// (deflateTune's good_length, max_lazy, nice_length and max_chain).
// With `by_noise`, a band whose first rows are noisy gets a shorter search
// still (see PngBandDeflater): its filtered bytes hold few long matches, and
// looking for them costs most where they are fewest.
struct PngDeflateSetting {
    int level = 6;
    int good_length = 8;
    int max_lazy = 16;
    int nice_length = 128;
    int max_chain = 128;
    bool by_noise = false;
    bool operator==(const PngDeflateSetting&) const = default;
};

// Where the zlib stream goes, piece by piece and in order. False stops the
// encoder.
using PngDataSink = std::function<bool(const unsigned char* data, size_t size)>;

class PngBandDeflater;

// One band's deflated bytes, with the Adler-32 and the length of its
// filtered rows.
struct PngBand {
    std::vector<unsigned char> bytes;
    size_t used = 0;  // bytes[0, used) hold the band
    unsigned long adler = 1;
    size_t length = 0;
};

// The first bands of a picture deflated ahead of the write, while the rows
// below them are still being traced. A band's bytes depend only on its own
// rows and the rows just above it, so a band deflated as soon as those are
// final is the band a write after the frame makes: the stream is the same.
// Used by one thread at a time.
class PngBandsAhead {
  public:
    PngBandsAhead(PngRows rows, const PngDeflateSetting& setting);
    ~PngBandsAhead();
    PngBandsAhead(const PngBandsAhead&) = delete;
    PngBandsAhead& operator=(const PngBandsAhead&) = delete;

    // Deflates, in order, the bands not yet done whose rows all lie among the
    // first `settled_rows` rows (the rows that will not change any more);
    // returns between bands once `stop` is set. False when memory ran short:
    // the bands left are then deflated by the write.
    bool deflate_settled(int settled_rows, const std::atomic<bool>& stop);

    int bands_done() const { return static_cast<int>(bands_.size()); }
    bool complete() const;
    const PngRows& rows() const { return rows_; }
    const PngDeflateSetting& setting() const { return setting_; }
    const PngBand& band(int index) const { return bands_[static_cast<size_t>(index)]; }

  private:
    PngRows rows_;
    PngDeflateSetting setting_;
    std::unique_ptr<PngBandDeflater> deflater_;
    std::vector<PngBand> bands_;
    bool failed_ = false;
};

// Deflates `rows` with `setting` on up to `threads` threads (0: as many as
// the machine has cores), handing the stream to `sink` a band at a time; at
// most one band per thread is held. The bands `ahead` has done (when it is
// of this picture and setting) are taken from it, the rest deflated here.
// False when the sink refused or memory ran short; `out_of_memory` tells
// which.
bool deflate_png_rows(const PngRows& rows, const PngDeflateSetting& setting, int threads,
                      const PngDataSink& sink, bool& out_of_memory,
                      const PngBandsAhead* ahead = nullptr);
