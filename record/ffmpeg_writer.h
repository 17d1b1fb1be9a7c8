#pragma once

#include <optional>
#include <string>

#include "record/video_formats.h"
#include "record/video_writer.h"

// Writes MP4 and Matroska (H.264, or MPEG-4 Part 2 where libx264 is
// missing), WebM (VP9) and animated GIF through the encoder module (FFmpeg's
// libraries, loaded when the first such recording starts). Frames are
// converted to yuv420p with the BT.709 matrix in limited range, and the
// stream says so; an odd width or height is padded by repeating the last
// column or row. The time base is one frame, so every frame lasts exactly
// 1/rate (a GIF's delays, whole hundredths of a second, add up to the
// animation's length; above 50 frames a second a warning says that
// browsers play it slower). MP4 has its index before the frames. Each
// recording starts with a key frame, so that parts recorded separately can
// be joined without encoding again.
//
// The libraries are loaded and the encoder opened on a thread of the
// writer's own while the first frame is traced. A frame is copied when it is
// handed over and encoded on that thread while the next one is traced;
// frames reach the file in the order they were traced, and close waits for
// every one of them.
class FfmpegWriter : public VideoWriter {
  public:
    FfmpegWriter();
    ~FfmpegWriter() override;
    FfmpegWriter(const FfmpegWriter&) = delete;
    FfmpegWriter& operator=(const FfmpegWriter&) = delete;

    // The codec (empty: the container's default) and quality; set before open.
    VideoChoice choice;

    bool open(const std::string& file_name, int width, int height, int rate) override;
    // False, after a record, when this frame or one handed over before it
    // could not be written; the writer is closed then, with the frames kept.
    bool write_frame(const Surface& source) override;
    void close() override;
    bool is_open() const override { return impl_ != nullptr; }
    // While recording: the frames handed over; after close: those in the file.
    int frame_count() const override { return frames_written_; }

  private:
    struct Impl;
    // Waits for the frames handed over, finishes and saves the file; the
    // trouble to report, none when none.
    std::optional<RecordingError> finish();
    Impl* impl_ = nullptr;
    int frames_written_ = 0;
};
