#include "record/png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
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

// One band's deflated bytes (bytes[0, used)), with the Adler-32 and the
// length of its filtered rows.
struct Band {
    std::vector<unsigned char> bytes;
    size_t used = 0;
    uLong adler = 1;
    size_t length = 0;
};

// A deflate stream of one thread, reset for each band it compresses.
class BandDeflater {
  public:
    BandDeflater(const PngRows& rows, int level) : rows_(rows), level_(level) {}
    ~BandDeflater() {
        if (ready_) deflateEnd(&z_);
    }
    BandDeflater(const BandDeflater&) = delete;
    BandDeflater& operator=(const BandDeflater&) = delete;

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
        filtered_.resize(stride);
        if (!ready_) {
            if (deflateInit2(&z_, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
                return false;
            ready_ = true;
        } else if (deflateReset(&z_) != Z_OK) {
            return false;
        }
        const int first = index * PngBandRows;
        const int end = std::min(rows_.height, first + PngBandRows);
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
            const int level_class = level_ < 2 ? 0 : level_ < 6 ? 1 : level_ == 6 ? 2 : 3;
            const int cmf = 0x78;
            int flg = level_class << 6;
            flg += 31 - (cmf * 256 + flg) % 31;
            const unsigned char header[2] = {static_cast<unsigned char>(cmf),
                                             static_cast<unsigned char>(flg)};
            append(band, header, 2);
        }
        for (int y = first; y < end; ++y) {
            rows_.rgb_row(y, rgb_.data());
            sub_filter(rgb_.data(), rgb, filtered_.data());
            band.adler = adler32(band.adler, filtered_.data(), static_cast<uInt>(stride));
            band.length += stride;
            const int flush = y + 1 < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
            if (!deflate_row(band, flush)) return false;
        }
        return true;
    }

    void append(Band& band, const unsigned char* data, size_t n) {
        if (band.bytes.size() < band.used + n) band.bytes.resize(band.used + n);
        std::copy(data, data + n, band.bytes.begin() + static_cast<std::ptrdiff_t>(band.used));
        band.used += n;
    }

    bool deflate_row(Band& band, int flush) {
        z_.next_in = filtered_.data();
        z_.avail_in = static_cast<uInt>(filtered_.size());
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
    const int level_;
    z_stream z_{};
    bool ready_ = false;
    std::vector<unsigned char> rgb_;
    std::vector<unsigned char> filtered_;
    std::vector<unsigned char> window_;
};

}  // namespace

bool deflate_png_rows(const PngRows& rows, int level, int threads, const PngDataSink& sink,
                      bool& out_of_memory) {
    out_of_memory = false;
    if (rows.width < 1 || rows.height < 1) return false;
    const int bands = (rows.height + PngBandRows - 1) / PngBandRows;
    if (threads <= 0) threads = static_cast<int>(std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, bands);
    try {
        std::vector<std::unique_ptr<BandDeflater>> deflaters;
        for (int k = 0; k < threads; ++k)
            deflaters.push_back(std::make_unique<BandDeflater>(rows, level));
        std::vector<Band> out(static_cast<size_t>(threads));
        std::vector<char> ok(static_cast<size_t>(threads));
        std::vector<std::thread> helpers;
        helpers.reserve(static_cast<size_t>(threads));
        uLong adler = adler32(0, nullptr, 0);
        // A round of one band per thread; the bands are handed on in order
        // before the next round, so that no more than a round is held.
        for (int first = 0; first < bands; first += threads) {
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
                Band& band = out[k];
                adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
                if (first + k == bands - 1) {
                    const unsigned char trailer[4] = {static_cast<unsigned char>(adler >> 24),
                                                      static_cast<unsigned char>(adler >> 16),
                                                      static_cast<unsigned char>(adler >> 8),
                                                      static_cast<unsigned char>(adler)};
                    if (band.bytes.size() < band.used + 4) band.bytes.resize(band.used + 4);
                    std::copy(trailer, trailer + 4,
                              band.bytes.begin() + static_cast<std::ptrdiff_t>(band.used));
                    band.used += 4;
                }
                if (band.used > 0 && !sink(band.bytes.data(), band.used)) return false;
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
        return false;
    }
}
