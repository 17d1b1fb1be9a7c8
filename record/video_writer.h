#pragma once

#include <string>
#include <utility>

#include "record/recording_error.h"

#include "scene/surface.h"

// Something that turns the traced frames of a run into one video file: the
// AVI writer, and the writer of the formats FFmpeg's libraries encode. Each
// writes under a hidden name beside the file and gives it the file's name
// when the recording is complete. What went wrong is kept as records, in
// the order it happened, for the caller to show.
class VideoWriter {
  public:
    virtual ~VideoWriter() = default;
    // False (after a record) when nothing can be recorded.
    virtual bool open(const std::string& file_name, int width, int height, int rate) = 0;
    // Appends the finished picture of the surface as the next frame; false
    // when it could not, and then the writer is closed if its file refused
    // the frame (a record, with the frames kept).
    virtual bool write_frame(const Surface& source) = 0;
    // Finishes the file and gives it its name.
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // Frames in the file (after close: in the saved file, 0 when none was).
    virtual int frame_count() const = 0;

    // The records kept since the last take, oldest first.
    RecordingErrors take_errors() { return std::exchange(errors_, {}); }

  protected:
    void report(RecordingErrorKind kind, const char* caption, std::string text) {
        errors_.push_back({kind, caption, std::move(text)});
    }
    RecordingErrors errors_;
};
