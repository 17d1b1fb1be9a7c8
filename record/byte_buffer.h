#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Little-endian bytes of RIFF chunks, assembled in memory so that a header or
// a frame reaches the file in one write.
class ByteBuffer {
  public:
    std::vector<uint8_t> bytes;

    size_t size() const { return bytes.size(); }
    const uint8_t* data() const { return bytes.data(); }
    void clear() { bytes.clear(); }

    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    // Four characters; shorter ids are padded with spaces.
    void fourcc(const char* id);
    void append(const uint8_t* data, size_t n);
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }

    // Writes the id and a size to be patched; returns where the size sits.
    size_t begin_chunk(const char* id);
    // Patches the size (the bytes after the size field) and pads to even.
    void end_chunk(size_t size_at);
    // A LIST (or RIFF) header with its list type; end it with end_chunk.
    size_t begin_list(const char* list_type, const char* id = "LIST");

    void patch_u32(size_t at, uint32_t v);
};

// The FourCC as the little-endian word it is stored as.
uint32_t fourcc_value(const char* id);
void store_u32(uint8_t* at, uint32_t v);
