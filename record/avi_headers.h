#pragma once

#include <cstddef>
#include <cstdint>

#include "record/byte_buffer.h"
#include "record/dib_format.h"

// Room kept in the stream list for the OpenDML super index: one entry per
// RIFF part, so with parts of 1 GB a recording may reach 256 GB.
constexpr int kSuperIndexEntries = 256;
constexpr uint32_t kSuperIndexBodyBytes = 24 + 16 * kSuperIndexEntries;
constexpr uint32_t kDmlhBytes = 248;

constexpr uint32_t AVIF_HASINDEX = 0x10;
constexpr uint32_t AVIF_ISINTERLEAVED = 0x100;
constexpr uint32_t AVIIF_KEYFRAME = 0x10;

// What the file's headers say about its one video stream.
struct AviStreamSettings {
    int width = 0;
    int height = 0;
    int rate = 1;          // frames per second (dwScale 1)
    uint32_t handler = 0;  // strh fccHandler
    DibFormat format;      // strf
    uint32_t suggested_buffer = 0;
};

// Offsets, from the start of the file, of the header fields that are only
// known when the recording is closed.
struct AviHeaderLayout {
    size_t riff_size = 0;
    size_t avih_max_bytes_per_sec = 0;
    size_t avih_total_frames = 0;
    size_t avih_suggested_buffer = 0;
    size_t strh_length = 0;
    size_t strh_suggested_buffer = 0;
    // The id of the chunk reserved for the super index ("JUNK" until used).
    size_t super_index_chunk = 0;
    // The id of the chunk reserved for LIST odml ("JUNK" until used).
    size_t odml_chunk = 0;
    size_t dmlh_total_frames = 0;
    // The size field and the list type of LIST movi.
    size_t movi_size = 0;
    size_t movi_type = 0;
};

// RIFF AVI, LIST hdrl (avih, LIST strl with strh, strf and the reserved super
// index, the reserved LIST odml) and the head of LIST movi.
AviHeaderLayout put_avi_headers(ByteBuffer& out, const AviStreamSettings& s);
