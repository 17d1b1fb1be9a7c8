// The record of rows join-rows reads from the start of a band's file: any
// bytes, as the first bytes of a file would be. A record it finds says a
// band within its picture and reads back as the same text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "record/band_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BandRecord record;
    if (find_band_record(data, size, record) != BandRecordFound::Found) return 0;
    BandRecord again;
    if (record.width < 1 || record.height < 1 || record.first_row < 0 ||
        record.first_row > record.last_row || record.last_row >= record.height ||
        !parse_band_record_text(band_record_text(record), again) || !(again == record))
        std::abort();
    return 0;
}
