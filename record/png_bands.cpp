#include "record/png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// What a deflate stream remembers of the bytes before: a band starts with
// this much of the rows above it, as one stream over every row would.
constexpr size_t Window = 32768;

// The filter byte of Sub, then each byte less the same byte of the pixel to
// its left.
void sub_filter(const unsigned char* rgb, size_t n, unsigned char* out) {
    out[0] = 1;
    for (size_t i = 0; i < std::min<size_t>(3, n); ++i)
        out[1 + i] = rgb[i];
    for (size_t i = 3; i < n; ++i)
        out[1 + i] = static_cast<unsigned char>(rgb[i] - rgb[i - 3]);
}

using Band = PngBand;

// Rows of a band looked at before its search is chosen.
constexpr int ProbeRows = 4;

// The order-0 entropy, in bits per byte, of `n` bytes.
double entropy_bits(const unsigned char* bytes, size_t n) {
    size_t count[256] = {};
    for (size_t i = 0; i < n; ++i)
        ++count[bytes[i]];
    double bits = 0.0;
    for (const size_t c : count)
        if (c != 0) bits -= static_cast<double>(c) * std::log2(static_cast<double>(c) / n);
    return n != 0 ? bits / static_cast<double>(n) : 0.0;
}

// The search for a band whose first filtered rows are `probe`. Measured on
// the eleven examples and four benchmark pictures at 2560 x 1920: bands of
// more than 1.5 bits per byte (soft shadows, dithered textures) with nice
// length and chain 16, above 3 bits (a picture of noise) zlib level 2's
// greedy search with chain 8, make the files at most 7.6 % larger than zlib
// level 6's own search (many_spheres; the setting alone: 6.2 %), and take
// 85 % of the time (many_spheres 51 %). Level 2's greedy search costs 14 %
// less than level 6's lazy one there, for 2 % more bytes.
PngDeflateSetting search_for(const PngDeflateSetting& setting, const unsigned char* probe,
                             size_t n) {
    if (!setting.by_noise) return setting;
    const double bits = entropy_bits(probe, n);
    PngDeflateSetting s = setting;
    if (bits > 3.0) {
        s.level = 2;
        s.max_lazy = 5;
        s.nice_length = 16;
        s.max_chain = 8;
    } else if (bits > 1.5) {
        s.max_lazy = 4;
        s.nice_length = 16;
        s.max_chain = 16;
    }
    return s;
}

}  // namespace

// A deflate stream of one thread, reset for each band it compresses.
class PngBandDeflater {
  public:
    PngBandDeflater(const PngRows& rows, const PngDeflateSetting& setting)
        : rows_(rows), setting_(setting) {}
    ~PngBandDeflater() {
        if (ready_) deflateEnd(&z_);
    }
    PngBandDeflater(const PngBandDeflater&) = delete;
    PngBandDeflater& operator=(const PngBandDeflater&) = delete;

    // Compresses band `index` into `band`; false when memory ran short.
    bool run(int index, bool last, Band& band) noexcept {
        try {
            return compress(index, last, band);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

  private:
    bool compress(int index, bool last, Band& band) {
        const size_t rgb = 3 * static_cast<size_t>(rows_.width);
        const size_t stride = rgb + 1;
        rgb_.resize(rgb);
        filtered_.resize(stride * ProbeRows);
        if (!ready_) {
            if (deflateInit2(&z_, setting_.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
                return false;
            ready_ = true;
            level_ = setting_.level;
        } else if (deflateReset(&z_) != Z_OK) {
            return false;
        }
        const int first = index * PngBandRows;
        const int end = std::min(rows_.height, first + PngBandRows);
        // The band's first rows choose its search. A reset goes back to the
        // level's own search; the tuning is set again.
        const int probed = std::min(ProbeRows, end - first);
        for (int k = 0; k < probed; ++k) {
            rows_.rgb_row(first + k, rgb_.data());
            sub_filter(rgb_.data(), rgb, filtered_.data() + static_cast<size_t>(k) * stride);
        }
        const PngDeflateSetting s =
            search_for(setting_, filtered_.data(), static_cast<size_t>(probed) * stride);
        // A reset keeps the level of the band before.
        if (s.level != level_) {
            if (deflateParams(&z_, s.level, Z_DEFAULT_STRATEGY) != Z_OK) return false;
            level_ = s.level;
        }
        if (deflateTune(&z_, s.good_length, s.max_lazy, s.nice_length, s.max_chain) != Z_OK)
            return false;
        if (first > 0) {
            const int above = std::min(first, static_cast<int>((Window + stride - 1) / stride));
            window_.resize(static_cast<size_t>(above) * stride);
            for (int k = 0; k < above; ++k) {
                rows_.rgb_row(first - above + k, rgb_.data());
                sub_filter(rgb_.data(), rgb, window_.data() + static_cast<size_t>(k) * stride);
            }
            const size_t keep = std::min(window_.size(), Window);
            if (deflateSetDictionary(&z_, window_.data() + window_.size() - keep,
                                     static_cast<uInt>(keep)) != Z_OK)
                return false;
        }
        band.used = 0;
        band.adler = adler32(0, nullptr, 0);
        band.length = 0;
        if (index == 0) {
            // The zlib header: deflate with a 32 KB window, and the level
            // class zlib itself would write.
            const int level = setting_.level;
            const int level_class = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
            const int cmf = 0x78;
            int flg = level_class << 6;
            flg += 31 - (cmf * 256 + flg) % 31;
            const unsigned char header[2] = {static_cast<unsigned char>(cmf),
                                             static_cast<unsigned char>(flg)};
            append(band, header, 2);
        }
        for (int y = first; y < end; ++y) {
            unsigned char* row = filtered_.data();
            if (y - first < probed) {
                row += static_cast<size_t>(y - first) * stride;
            } else {
                rows_.rgb_row(y, rgb_.data());
                sub_filter(rgb_.data(), rgb, row);
            }
            band.adler = adler32(band.adler, row, static_cast<uInt>(stride));
            band.length += stride;
            const int flush = y + 1 < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
            if (!deflate_row(band, row, stride, flush)) return false;
        }
        return true;
    }

    void append(Band& band, const unsigned char* data, size_t n) {
        if (band.bytes.size() < band.used + n) band.bytes.resize(band.used + n);
        std::copy(data, data + n, band.bytes.begin() + static_cast<std::ptrdiff_t>(band.used));
        band.used += n;
    }

    bool deflate_row(Band& band, unsigned char* row, size_t n, int flush) {
        z_.next_in = row;
        z_.avail_in = static_cast<uInt>(n);
        for (;;) {
            if (band.used == band.bytes.size())
                band.bytes.resize(std::max<size_t>(16384, 2 * band.bytes.size()));
            z_.next_out = band.bytes.data() + band.used;
            z_.avail_out = static_cast<uInt>(band.bytes.size() - band.used);
            const int result = deflate(&z_, flush);
            band.used = band.bytes.size() - z_.avail_out;
            if (result == Z_STREAM_ERROR) return false;
            if (flush == Z_FINISH ? result == Z_STREAM_END : z_.avail_in == 0 && z_.avail_out != 0)
                return true;
        }
    }

    const PngRows& rows_;
    const PngDeflateSetting setting_;
    z_stream z_{};
    bool ready_ = false;
    int level_ = 0;  // the stream's level now
    std::vector<unsigned char> rgb_;
    std::vector<unsigned char> filtered_;
    std::vector<unsigned char> window_;
};

namespace {

int band_count(const PngRows& rows) { return (rows.height + PngBandRows - 1) / PngBandRows; }

// Hands `band` to the sink, the stream's Adler-32 after it when it is the
// last; `adler` runs over the bands handed on so far.
bool hand_on(const Band& band, bool last, uLong& adler, const PngDataSink& sink) {
    adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
    if (!last) return band.used == 0 || sink(band.bytes.data(), band.used);
    std::vector<unsigned char> bytes(band.bytes.begin(),
                                     band.bytes.begin() + static_cast<std::ptrdiff_t>(band.used));
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<unsigned char>(adler >> shift));
    return sink(bytes.data(), bytes.size());
}

}  // namespace

PngBandsAhead::PngBandsAhead(PngRows rows, const PngDeflateSetting& setting)
    : rows_(std::move(rows)), setting_(setting) {}

PngBandsAhead::~PngBandsAhead() = default;

bool PngBandsAhead::complete() const {
    return rows_.width >= 1 && rows_.height >= 1 && bands_done() == band_count(rows_);
}

bool PngBandsAhead::deflate_settled(int settled_rows, const std::atomic<bool>& stop) {
    if (failed_ || rows_.width < 1 || rows_.height < 1) return !failed_;
    const int bands = band_count(rows_);
    try {
        while (!stop.load() && bands_done() < bands) {
            const int index = bands_done();
            if (std::min(rows_.height, (index + 1) * PngBandRows) > settled_rows) break;
            if (!deflater_) deflater_ = std::make_unique<PngBandDeflater>(rows_, setting_);
            Band band;
            if (!deflater_->run(index, index == bands - 1, band)) {
                failed_ = true;
                break;
            }
            // Held until the write: no room past the band's own bytes.
            band.bytes.resize(band.used);
            band.bytes.shrink_to_fit();
            bands_.push_back(std::move(band));
        }
    } catch (const std::bad_alloc&) {
        failed_ = true;
    }
    if (failed_) deflater_.reset();
    return !failed_;
}

bool deflate_png_rows(const PngRows& rows, const PngDeflateSetting& setting, int threads,
                      const PngDataSink& sink, bool& out_of_memory, const PngBandsAhead* ahead) {
    out_of_memory = false;
    if (rows.width < 1 || rows.height < 1) return false;
    const int bands = band_count(rows);
    const bool same = ahead != nullptr && ahead->rows().width == rows.width &&
                      ahead->rows().height == rows.height && ahead->setting() == setting;
    const int done = same ? std::min(ahead->bands_done(), bands) : 0;
    if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, std::max(1, bands - done));
    try {
        uLong adler = adler32(0, nullptr, 0);
        for (int k = 0; k < done; ++k)
            if (!hand_on(ahead->band(k), k == bands - 1, adler, sink)) return false;
        if (done == bands) return true;
        std::vector<std::unique_ptr<PngBandDeflater>> deflaters;
        for (int k = 0; k < threads; ++k)
            deflaters.push_back(std::make_unique<PngBandDeflater>(rows, setting));
        std::vector<Band> out(static_cast<size_t>(threads));
        std::vector<char> ok(static_cast<size_t>(threads));
        std::vector<std::thread> helpers;
        helpers.reserve(static_cast<size_t>(threads));
        // A round of one band per thread; the bands are handed on in order
        // before the next round, so that no more than a round is held.
        for (int first = done; first < bands; first += threads) {
            const int count = std::min(threads, bands - first);
            auto run = [&, first](int k) {
                ok[k] = deflaters[k]->run(first + k, first + k == bands - 1, out[k]);
            };
            for (int k = 1; k < count; ++k) {
                try {
                    helpers.emplace_back(run, k);
                } catch (const std::system_error&) {
                    run(k);  // no thread to be had: this one does it
                }
            }
            run(0);
            for (std::thread& helper : helpers)
                helper.join();
            helpers.clear();
            for (int k = 0; k < count; ++k) {
                if (!ok[k]) {
                    out_of_memory = true;
                    return false;
                }
                if (!hand_on(out[k], first + k == bands - 1, adler, sink)) return false;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
        return false;
    }
}
