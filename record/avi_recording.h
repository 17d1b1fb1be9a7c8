#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "record/avi_headers.h"
#include "record/byte_buffer.h"
#include "record/opendml_index.h"
#include "record/output_file.h"

// The file layout of one recording: headers, 00dc chunks grouped in RIFF
// parts, and the indexes written when the recording is finished. Knows
// nothing of codecs or messages.
class AviRecording {
  public:
    // Creates the temporary file that is to replace `target` (see
    // OutputFile::create_temporary_for); false with error_text() when it
    // cannot.
    bool create(const std::string& target);
    // Writes the headers and opens the first movi list.
    bool begin(const AviStreamSettings& settings, int64_t riff_size_limit);
    // Appends one frame's data; false when the file refused it (then the
    // recording can only be finished) or when the super index is full.
    bool add_frame(const uint8_t* data, size_t n);

    struct Result {
        bool ok = false;     // the file is complete and closed
        size_t frames = 0;   // frames it holds
        size_t dropped = 0;  // frames given up to make room for the index
        std::string error;   // reason of the first failure, if any
    };
    // Writes the indexes and the header counts, gives the file its hidden
    // name and closes it. When the disk is full it gives up the last frames
    // until the indexes fit.
    Result finish();
    // Closes and removes the file.
    void discard();
    // After a finish: the hidden name, and the two ways it can go.
    const std::string& temporary_path() const { return file_.temporary_path(); }
    bool rename_over(const std::string& target) { return file_.rename_temporary_over(target); }
    void keep() { file_.keep_temporary(); }

    // errno of the file's last failure.
    int error() const { return file_.error(); }
    bool index_full() const { return index_full_; }
    std::string error_text() const { return file_.error_text(); }
    size_t frame_count() const { return frames_.size(); }

  private:
    struct Riff {
        uint64_t start = 0;      // of its "RIFF" id
        uint64_t movi_size = 0;  // of the size field of its movi list
        uint64_t data_end = 0;   // end of its last complete frame chunk
        size_t first_frame = 0;
        size_t frame_count = 0;
        SuperIndexEntry index;
    };

    // The trailer of a part: ix00 when the file has several parts, idx1 in
    // the first; then its sizes.
    bool close_riff(Riff& riff, bool opendml);
    bool start_riff();
    bool try_finish();
    bool patch_u32(uint64_t at, uint32_t v);

    OutputFile file_;
    AviStreamSettings settings_;
    AviHeaderLayout layout_;
    int64_t riff_limit_ = 0;
    std::vector<FrameEntry> frames_;
    std::vector<Riff> riffs_;
    uint32_t largest_chunk_ = 0;
    bool index_full_ = false;
    ByteBuffer scratch_;
};
