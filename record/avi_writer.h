#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "record/video_writer.h"

enum class AviCodec { Raw, Mjpeg };

// Writes the frames of a run into a RIFF AVI file with one video stream.
// The file is written as a temporary beside the target, nameless where the
// file system allows (so that a killed program leaves nothing behind), and
// takes the target's name when it is closed; past riff_size_limit it
// continues in OpenDML form.
class AviWriter : public VideoWriter {
  public:
    AviWriter();
    ~AviWriter() override;
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Codec choice, made before open (the studio's dialog, the CLI's options).
    AviCodec codec = AviCodec::Mjpeg;
    int quality = 90;
    // Whether open may replace a file that is not an AVI file (the command
    // line's --force); otherwise such a file is left alone.
    bool replace_any_file = false;

    int width = 0;
    int height = 0;
    int rate = 0;
    int frames_written = 0;

    // Largest size of one RIFF part of the file (1 GB); tests lower it to
    // reach the OpenDML form with small files.
    static constexpr int64_t kRiffSizeLimit = int64_t{1} << 30;
    int64_t riff_size_limit = kRiffSizeLimit;

    // False (after a record) when nothing can be recorded.
    bool open(const std::string& file_name, int width, int height, int rate, const char* fourcc);
    bool open(const std::string& file_name, int width, int height, int rate) override {
        return open(file_name, width, height, rate, "IV50");
    }
    // Appends the finished picture of the surface as the next frame.
    bool write_frame(const Surface& source) override;
    void close() override;
    bool is_open() const override;
    int frame_count() const override { return frames_written; }

  private:
    // Finishes and saves the file; the trouble to report, none when none.
    std::optional<RecordingError> finish();

    struct Impl;
    Impl* impl_ = nullptr;
};
