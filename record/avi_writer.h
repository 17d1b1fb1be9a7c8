#pragma once

#include <cstdint>
#include <string>

class Host;
class Surface;

enum class AviCodec { Raw, Mjpeg };

// Writes the frames of a run into a RIFF AVI file with one video stream.
// (The recording helper fills in the private part; the public calls below are
// what the trace controller relies on.)
class AviWriter {
public:
    AviWriter();
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Codec choice, made before open (the studio's dialog, the CLI's options).
    AviCodec codec = AviCodec::Mjpeg;
    int quality = 90;

    int width = 0;
    int height = 0;
    int rate = 0;
    int frames_written = 0;

    // Messages go through owner; false (after a message) when nothing can be
    // recorded, or when the compression choice was cancelled (no message).
    bool open(Host* owner, const std::string& file_name, int width, int height, int rate,
              const char* fourcc);
    // Appends the finished picture of the surface as the next frame.
    bool write_frame(const Surface& source);
    void close();
    bool is_open() const;

private:
    struct Impl;
    Impl* impl_ = nullptr;
};
