#include "glimmark/picture_bands.h"

#include "record/band_record.h"

namespace glimmark {

static_assert(static_cast<int>(BandFound::NotPicture) ==
              static_cast<int>(BandRecordFound::NotPicture));

BandFound find_picture_band(const unsigned char* data, size_t n, PictureBand& band) {
    BandRecord record;
    const BandRecordFound found = find_band_record(data, n, record);
    if (found == BandRecordFound::Found)
        band = {record.first_row, record.last_row, record.width, record.height, record.scene};
    return static_cast<BandFound>(found);
}

uint64_t fingerprint(std::string_view text, uint64_t hash) { return ::fingerprint(text, hash); }

}  // namespace glimmark
