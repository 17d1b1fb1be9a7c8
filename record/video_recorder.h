#pragma once

#include <memory>
#include <string>

#include "record/avi_writer.h"
#include "record/video_formats.h"

// The recording of a run: picks the writer by the file name's extension
// (AVI, or FFmpeg's libraries for .mp4, .mkv, .webm and .gif), asks the
// owner for the format and quality, and passes the frames on.
class VideoRecorder : public VideoWriter {
  public:
    VideoRecorder();
    ~VideoRecorder() override;

    // The AVI writer and its codec and quality (the choice made last).
    AviWriter avi;
    // The codec and quality of the other formats.
    VideoChoice choice;

    bool open(Host* owner, const std::string& file_name, int width, int height, int rate) override;
    bool write_frame(const Surface& source) override;
    void close() override;
    bool is_open() const override;
    int frame_count() const override;
    // The file of the last recording: the name given, or that name with the
    // extension of the format the owner chose instead.
    const std::string& file() const { return file_; }
    // Whether the last open refused the file's kind or the codec asked for,
    // before anything was created: a run need not trace what it cannot keep.
    bool refused() const { return refused_; }
    // Forgets the last recording (its writer, file and frame count), closing
    // it if it is still open: a new run starts with none.
    void forget_last();

  private:
    // Says why nothing can be recorded to `file` and marks the recording
    // refused; false (and silent) when `why` is empty.
    bool refuse(Host* owner, const std::string& file, const std::string& why);

    VideoWriter* active_ = nullptr;
    std::unique_ptr<VideoWriter> other_;
    std::string file_;
    bool refused_ = false;
};
