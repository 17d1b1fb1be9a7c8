#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/band_record.h"
#include "record/output_file.h"
#include "record/rows_ahead.h"

#include "scene/surface.h"

// The header of a binary PPM picture, with the band's record when given.
std::string ppm_header(int width, int height, const BandRecord* band = nullptr);

// The PPM file of a picture written while the picture is being traced: the
// settled rows go straight into the file's temporary, and the system is asked
// to start putting them on disk. A write given it writes only the rows after
// them; the file is the same byte for byte. Whatever fails here is left to
// the write, which starts again and says why it failed.
class PpmAhead : public RowsAhead {
  public:
    // For the picture traced into `picture`, to be written to `path` with
    // the record `band` (none when null).
    PpmAhead(const Surface& picture, std::string path, const BandRecord* band = nullptr);

    void take_settled(int settled_rows, const std::atomic<bool>& stop) override;
    bool complete() const override;

    // The temporary holding the header and the first `rows_written` rows (at
    // least one), when it was begun for `path` at width x height; null
    // otherwise. The write appends the rest to it and renames it over `path`.
    OutputFile* begun_file(const std::string& path, int width, int height, const BandRecord* band,
                           int& rows_written);

  private:
    void give_up();

    const Surface& picture_;
    const std::string path_;
    const bool has_band_;
    const BandRecord band_record_;
    OutputFile file_;
    std::vector<unsigned char> band_;
    int width_ = 0;
    int height_ = 0;
    int written_ = 0;
    uint64_t unsent_ = 0;  // bytes before this are on their way to the disk
    bool begun_ = false;
    bool usable_ = true;
};
