#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "record/byte_buffer.h"

// One 00dc chunk of the movi list. Every frame is a key frame: both codecs
// code each picture on its own.
struct FrameEntry {
    uint64_t chunk_offset = 0;  // of the chunk id, from the start of the file
    uint32_t data_size = 0;     // without the chunk header and pad byte
};

// One entry of the super index: a standard index chunk and its frames.
struct SuperIndexEntry {
    uint64_t offset = 0;  // of the ix00 chunk id
    uint32_t size = 0;    // of the whole ix00 chunk
    uint32_t duration = 0;
};

// idx1 with offsets counted from the movi list type of the first part.
void put_idx1(ByteBuffer& out, const FrameEntry* frames, size_t count, uint64_t movi_type);
size_t idx1_bytes(size_t count);

// ix00: a standard index of one RIFF part, based at its movi list type.
void put_ix00(ByteBuffer& out, const FrameEntry* frames, size_t count, uint64_t movi_type);
size_t ix00_bytes(size_t count);

// The indx chunk that replaces the reserved JUNK of the same size.
void put_super_index(ByteBuffer& out, const std::vector<SuperIndexEntry>& entries, int capacity);
