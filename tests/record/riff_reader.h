#pragma once

// A small, independent reader of RIFF files for checking what the recorder
// wrote: the chunk tree with offsets, and little-endian field access.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct RiffChunk {
    std::string id;         // "RIFF", "LIST", "avih", ...
    std::string list_type;  // for RIFF and LIST
    uint64_t offset = 0;    // of the id
    uint32_t size = 0;      // as stored
    uint64_t data = 0;      // first byte after the size (after the list type for lists)
    std::vector<RiffChunk> children;

    const RiffChunk* child(const std::string& want, const std::string& type = "") const {
        for (const RiffChunk& c : children)
            if (c.id == want && (type.empty() || c.list_type == type)) return &c;
        return nullptr;
    }
    std::vector<const RiffChunk*> all(const std::string& want) const {
        std::vector<const RiffChunk*> out;
        for (const RiffChunk& c : children)
            if (c.id == want) out.push_back(&c);
        return out;
    }
};

struct RiffFile {
    std::vector<uint8_t> bytes;
    std::vector<RiffChunk> parts;  // the top-level RIFF chunks
    std::string problem;           // empty when the whole file parsed

    static std::vector<uint8_t> read_all(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    explicit RiffFile(const std::string& path) : bytes(read_all(path)) {
        uint64_t at = 0;
        while (problem.empty() && at + 8 <= bytes.size()) {
            parts.push_back(parse(at, bytes.size()));
            at = parts.back().offset + 8 + padded_size(parts.back());
        }
        if (problem.empty() && at != bytes.size()) problem = "trailing bytes";
    }

    uint32_t u32(uint64_t at) const {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | bytes.at(at + i);
        return v;
    }
    uint16_t u16(uint64_t at) const {
        return static_cast<uint16_t>(bytes.at(at) | (bytes.at(at + 1) << 8));
    }
    uint64_t u64(uint64_t at) const { return u32(at) | (uint64_t{u32(at + 4)} << 32); }
    std::string fourcc(uint64_t at) const {
        return std::string(reinterpret_cast<const char*>(&bytes.at(at)), 4);
    }

  private:
    static uint64_t padded_size(const RiffChunk& c) { return c.size + (c.size & 1u); }

    RiffChunk parse(uint64_t at, uint64_t end) {
        RiffChunk c;
        c.offset = at;
        c.id = fourcc(at);
        c.size = u32(at + 4);
        c.data = at + 8;
        const uint64_t stop = at + 8 + c.size;
        if (stop > end) {
            problem = c.id + " at " + std::to_string(at) + " runs past its parent";
            return c;
        }
        if (c.id == "RIFF" || c.id == "LIST") {
            c.list_type = fourcc(at + 8);
            c.data = at + 12;
            uint64_t p = at + 12;
            while (problem.empty() && p + 8 <= stop) {
                c.children.push_back(parse(p, stop));
                const RiffChunk& k = c.children.back();
                p = k.offset + 8 + padded_size(k);
            }
            if (problem.empty() && p != stop)
                problem = "LIST " + c.list_type + " does not end on a chunk boundary";
        }
        return c;
    }
};
