#include "record/byte_buffer.h"

void store_u32(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
    at[2] = static_cast<uint8_t>(v >> 16);
    at[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t fourcc_value(const char* id) {
    uint32_t v = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
        if (!ended && id[i] == '\0') ended = true;
        const uint8_t c = ended ? ' ' : static_cast<uint8_t>(id[i]);
        v |= static_cast<uint32_t>(c) << (8 * i);
    }
    return v;
}

void ByteBuffer::u16(uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void ByteBuffer::u32(uint32_t v) {
    const size_t at = bytes.size();
    bytes.resize(at + 4);
    store_u32(&bytes[at], v);
}

void ByteBuffer::u64(uint64_t v) {
    u32(static_cast<uint32_t>(v));
    u32(static_cast<uint32_t>(v >> 32));
}

void ByteBuffer::fourcc(const char* id) { u32(fourcc_value(id)); }

void ByteBuffer::append(const uint8_t* data, size_t n) {
    if (n > 0) bytes.insert(bytes.end(), data, data + n);
}

size_t ByteBuffer::begin_chunk(const char* id) {
    fourcc(id);
    const size_t at = bytes.size();
    u32(0);
    return at;
}

void ByteBuffer::end_chunk(size_t size_at) {
    const size_t body = bytes.size() - size_at - 4;
    patch_u32(size_at, static_cast<uint32_t>(body));
    if (body % 2 != 0) u8(0);
}

size_t ByteBuffer::begin_list(const char* list_type, const char* id) {
    const size_t at = begin_chunk(id);
    fourcc(list_type);
    return at;
}

void ByteBuffer::patch_u32(size_t at, uint32_t v) { store_u32(&bytes[at], v); }
