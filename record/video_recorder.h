#pragma once

#include <memory>
#include <optional>
#include <string>

#include "record/avi_writer.h"
#include "record/video_formats.h"

// The format and quality a recording is made with: what the file name and
// the settings preselect, and what the front end may make of it (the
// studio's dialog) before the file is opened.
struct CompressionChoice {
    VideoFormat format = VideoFormat::AviMjpeg;
    int quality = 0;
};

// The recording of a run: picks the writer by the file name's extension
// (AVI, or FFmpeg's libraries for .mp4, .mkv, .webm and .gif), offers the
// format and quality, and passes the frames on. The records of its writers
// are kept with its own, in order.
class VideoRecorder : public VideoWriter {
  public:
    VideoRecorder();
    ~VideoRecorder() override;

    // The AVI writer and its codec and quality (the choice made last).
    AviWriter avi;
    // The codec and quality of the other formats.
    VideoChoice choice;

    // What a recording to `file_name` at `rate` a second is made with,
    // starting from the format the extension selects; none (after a record,
    // the recording refused) when the kind of file, the codec or the rate
    // cannot be recorded. Creates nothing.
    std::optional<CompressionChoice> offer(const std::string& file_name, int rate);
    // Records to `file_name` as `chosen`: the offer, or another format and
    // quality for this recording only (the file takes that format's
    // extension). False (after a record) when nothing can be recorded.
    bool open_as(const std::string& file_name, int width, int height, int rate,
                 CompressionChoice chosen);
    // Records as offered.
    bool open(const std::string& file_name, int width, int height, int rate) override;
    bool write_frame(const Surface& source) override;
    void close() override;
    bool is_open() const override;
    int frame_count() const override;
    // The file of the last recording: the name given, or that name with the
    // extension of the format chosen instead.
    const std::string& file() const { return file_; }
    // Whether the last open refused the file's kind or the codec asked for,
    // before anything was created: a run need not trace what it cannot keep.
    bool refused() const { return refused_; }
    // Forgets the last recording (its writer, file and frame count), closing
    // it if it is still open: a new run starts with none.
    void forget_last();

  private:
    // Closes and forgets the writer of the last recording.
    void start_over(const std::string& file_name);
    // What the settings ask for a recording to `file_name`: the AVI
    // writer's codec stands for an AVI file's.
    VideoChoice asked_for(const std::string& file_name) const;
    // The quality offered with `format` before any is chosen.
    int preset_quality(VideoFormat format) const;
    // Keeps a record of why nothing can be recorded to `file` and marks the
    // recording refused; false (and silent) when `why` is empty.
    bool refuse(const std::string& file, const std::string& why);
    // Takes the records of a writer into this recorder's own.
    void keep_errors_of(VideoWriter& writer);

    VideoWriter* active_ = nullptr;
    std::unique_ptr<VideoWriter> other_;
    std::string file_;
    bool refused_ = false;
};
