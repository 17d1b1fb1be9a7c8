#include "record/ppm_ahead.h"

#include <algorithm>
#include <filesystem>
#include <new>

#include "record/rgb_rows.h"
#include "scene/surface.h"

namespace {

// Rows converted and written at once: large writes, a small buffer.
constexpr int BandRows = 32;
// Bytes the disk is asked to take at once.
constexpr uint64_t WritebackBytes = 4u << 20;

// A regular file, or none yet: what the write puts a temporary beside.
bool replaced_by_rename(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !fs::exists(status) || fs::is_regular_file(status);
}

}  // namespace

std::string ppm_header(int width, int height, const BandRecord* band) {
    return "P6\n" + (band != nullptr ? band_record_ppm_comment(*band) : std::string()) +
           std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

PpmAhead::PpmAhead(const Surface& picture, std::string path, const BandRecord* band)
    : picture_(picture),
      path_(std::move(path)),
      has_band_(band != nullptr),
      band_record_(band != nullptr ? *band : BandRecord{}) {}

void PpmAhead::give_up() {
    usable_ = false;
    file_.discard_temporary();
}

void PpmAhead::take_settled(int settled_rows, const std::atomic<bool>& stop) {
    if (!usable_ || settled_rows < 1) return;
    if (!begun_) {
        begun_ = true;
        width_ = picture_.width();
        height_ = picture_.height();
        if (width_ < 1 || height_ < 1 || !replaced_by_rename(path_)) {
            usable_ = false;
            return;
        }
        try {
            band_.resize(3 * static_cast<size_t>(width_) * BandRows);
        } catch (const std::bad_alloc&) {
            usable_ = false;
            return;
        }
        const std::string header = ppm_header(width_, height_, has_band_ ? &band_record_ : nullptr);
        if (!file_.create_temporary_for(path_) || !file_.append(header.data(), header.size()))
            return give_up();
    }
    const int settled = std::min(settled_rows, height_);
    const size_t row_bytes = 3 * static_cast<size_t>(width_);
    while (written_ < settled && !stop.load()) {
        const int n = std::min(BandRows, settled - written_);
        for (int k = 0; k < n; ++k)
            surface_rgb_row(picture_, written_ + k, band_.data() + row_bytes * k);
        if (!file_.append(band_.data(), row_bytes * n)) return give_up();
        written_ += n;
        // Sent to the disk a few megabytes at a time: each request has a
        // cost of its own (on a virtual machine, a trip to the host).
        if (file_.end() - unsent_ >= WritebackBytes) {
            file_.start_writeback(unsent_, file_.end() - unsent_);
            unsent_ = file_.end();
        }
    }
}

bool PpmAhead::complete() const { return begun_ && (!usable_ || written_ == height_); }

OutputFile* PpmAhead::begun_file(const std::string& path, int width, int height,
                                 const BandRecord* band, int& rows_written) {
    // A file holding the header alone is dropped: the write starts afresh.
    const bool same_band =
        (band != nullptr) == has_band_ && (band == nullptr || *band == band_record_);
    if (!begun_ || !usable_ || written_ == 0 || path != path_ || width != width_ ||
        height != height_ || !same_band) {
        file_.discard_temporary();
        return nullptr;
    }
    rows_written = written_;
    return &file_;
}
