#pragma once

// The calls between the video writer and the encoder module, a shared
// object loaded the first time a recording needs FFmpeg's libraries: every
// other run of the programs starts without loading them (and the many
// libraries they pull in). The module holds the muxer, the encoder, the
// conversion to the encoder's pixel format and the palette filters; the
// writer keeps the file, its safety and every message. Plain C types only,
// so both sides agree whatever they were built with.

#include <stddef.h>
#include <stdint.h>

extern "C" {

// Raised whenever a call or a structure below changes.
#define GMK_VIDEO_ENCODER_ABI 2

struct GmkEncoderSettings {
    const char* muxer;  // "mp4", "matroska", "webm", "gif"
    const char* codec;  // "h264", "mpeg4", "vp9", "gif"
    const char* path;   // for the notice that H.264 falls back to MPEG-4
    int width;          // coded size: even for yuv420p
    int height;
    int rate;  // frames per second; the time base is one frame
    int crf;   // the codec's constant-quality value
    // The encoder's speed setting (video_formats.h, presets_of); "" for the
    // codec's default.
    const char* preset;
};

// Where the muxer's bytes go. write returns n, or a negative error code
// (minus the errno); seek follows avio's rules (AVSEEK_SIZE included).
// read_at reads back up to n bytes written before, from offset, without
// moving where the next write goes: the bytes read, 0 past the end, or a
// negative error code (MP4's index is moved to the front that way).
struct GmkEncoderOutput {
    void* opaque;
    int (*write)(void* opaque, const uint8_t* data, int n);
    int64_t (*seek)(void* opaque, int64_t offset, int whence);
    int (*read_at)(void* opaque, int64_t offset, uint8_t* data, int n);
};

struct GmkVideoEncoder;

struct GmkVideoEncoderApi {
    int abi;
    // Opens the muxer and the encoder and writes the header. Null on
    // failure, with the reason in `trouble`; `encoder` gets the encoder's
    // name ("libx264", "mpeg4", ...).
    GmkVideoEncoder* (*open)(const GmkEncoderSettings* settings, const GmkEncoderOutput* output,
                             char* trouble, size_t trouble_size, char* encoder,
                             size_t encoder_size);
    // Encodes the next frame from R, G, B bytes (coded size, top row first).
    // 0, or a negative error code.
    int (*add_frame)(GmkVideoEncoder* encoder, const uint8_t* rgb, int stride);
    // Sends the frames still held to the file and writes the trailer; 0, or
    // a negative error code (minus ENODATA when no frame reached the file).
    int (*finish)(GmkVideoEncoder* encoder);
    // Frames in the file so far.
    int (*frames_muxed)(const GmkVideoEncoder* encoder);
    // Frees what open made; after a failure too.
    void (*release)(GmkVideoEncoder* encoder);
    // The library's text of an error code.
    void (*error_text)(int code, char* text, size_t text_size);
    // "libavformat 59.27.100, libavcodec ..." of the libraries loaded.
    void (*versions)(char* text, size_t text_size);
};

// The module's one exported symbol.
typedef const GmkVideoEncoderApi* (*GmkVideoEncoderEntry)(void);
#define GMK_VIDEO_ENCODER_ENTRY "glimmark_video_encoder_api"
}
