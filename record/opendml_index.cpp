#include "record/opendml_index.h"

#include "record/avi_headers.h"

size_t idx1_bytes(size_t count) { return 8 + 16 * count; }

void put_idx1(ByteBuffer& out, const FrameEntry* frames, size_t count, uint64_t movi_type) {
    const size_t size_at = out.begin_chunk("idx1");
    for (size_t i = 0; i < count; ++i) {
        out.fourcc("00dc");
        out.u32(AVIIF_KEYFRAME);
        out.u32(static_cast<uint32_t>(frames[i].chunk_offset - movi_type));
        out.u32(frames[i].data_size);
    }
    out.end_chunk(size_at);
}

size_t ix00_bytes(size_t count) { return 8 + 24 + 8 * count; }

void put_ix00(ByteBuffer& out, const FrameEntry* frames, size_t count, uint64_t movi_type) {
    const size_t size_at = out.begin_chunk("ix00");
    out.u16(2);  // wLongsPerEntry
    out.u8(0);   // bIndexSubType
    out.u8(1);   // bIndexType: AVI_INDEX_OF_CHUNKS
    out.u32(static_cast<uint32_t>(count));
    out.fourcc("00dc");
    out.u64(movi_type);  // qwBaseOffset
    out.u32(0);
    for (size_t i = 0; i < count; ++i) {
        // Points at the data, past the chunk header; bit 31 clear: key frame.
        out.u32(static_cast<uint32_t>(frames[i].chunk_offset + 8 - movi_type));
        out.u32(frames[i].data_size & 0x7FFFFFFFu);
    }
    out.end_chunk(size_at);
}

void put_super_index(ByteBuffer& out, const std::vector<SuperIndexEntry>& entries, int capacity) {
    const size_t size_at = out.begin_chunk("indx");
    out.u16(4);
    out.u8(0);
    out.u8(0);
    out.u32(static_cast<uint32_t>(entries.size()));
    out.fourcc("00dc");
    out.zeros(12);
    for (int i = 0; i < capacity; ++i) {
        if (static_cast<size_t>(i) < entries.size()) {
            out.u64(entries[i].offset);
            out.u32(entries[i].size);
            out.u32(entries[i].duration);
        } else {
            out.zeros(16);
        }
    }
    out.end_chunk(size_at);
}
