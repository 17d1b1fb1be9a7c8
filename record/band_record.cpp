#include "record/band_record.h"

#include <cstring>

namespace {

constexpr int MostSide = 65535;

// Reads a decimal number of at most nine digits at `text[pos]`.
bool read_number(std::string_view text, size_t& pos, int& value) {
    const size_t start = pos;
    int v = 0;
    while (pos < text.size() && pos - start < 9 && text[pos] >= '0' && text[pos] <= '9')
        v = v * 10 + (text[pos++] - '0');
    if (pos == start || (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')) return false;
    value = v;
    return true;
}

bool read_word(std::string_view text, size_t& pos, std::string_view word) {
    if (text.substr(pos, word.size()) != word) return false;
    pos += word.size();
    return true;
}

uint32_t crc32_of(const unsigned char* data, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t big_endian(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

BandRecordFound parse_found(std::string_view text, BandRecord& record) {
    return parse_band_record_text(text, record) ? BandRecordFound::Found : BandRecordFound::Damaged;
}

BandRecordFound find_in_png(const unsigned char* data, size_t n, BandRecord& record) {
    const size_t keyword = std::strlen(BandRecordKeyword);
    size_t pos = 8;
    while (n - pos >= 8) {
        const uint32_t length = big_endian(data + pos);
        const unsigned char* type = data + pos + 4;
        if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0)
            return BandRecordFound::Missing;
        if (length > 0x7FFFFFFFu) return BandRecordFound::Damaged;
        // The chunk's data and CRC; a prefix that stops inside a chunk ends
        // the search.
        if (n - pos - 8 < size_t{length} + 4) return BandRecordFound::Missing;
        const unsigned char* body = data + pos + 8;
        if (std::memcmp(type, "tEXt", 4) == 0 && length > keyword &&
            std::memcmp(body, BandRecordKeyword, keyword) == 0 && body[keyword] == 0) {
            if (crc32_of(data + pos + 4, size_t{length} + 4) != big_endian(body + length))
                return BandRecordFound::Damaged;
            const auto* text = reinterpret_cast<const char*>(body + keyword + 1);
            return parse_found(std::string_view(text, length - keyword - 1), record);
        }
        pos += 12 + size_t{length};
    }
    return BandRecordFound::Missing;
}

bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

BandRecordFound find_in_ppm(const unsigned char* data, size_t n, BandRecord& record) {
    const std::string prefix = std::string("# ") + BandRecordKeyword + " ";
    size_t pos = 2;
    // The width, the height and the largest value: the header ends with them.
    for (int numbers = 0; numbers < 3 && pos < n;) {
        if (is_space(data[pos])) {
            ++pos;
        } else if (data[pos] == '#') {
            size_t end = pos;
            while (end < n && data[end] != '\n' && data[end] != '\r')
                ++end;
            const std::string_view line(reinterpret_cast<const char*>(data + pos), end - pos);
            if (line.substr(0, prefix.size()) == std::string_view(prefix)) {
                if (end == n) return BandRecordFound::Damaged;  // cut short
                return parse_found(line.substr(prefix.size()), record);
            }
            pos = end;
        } else if (data[pos] >= '0' && data[pos] <= '9') {
            while (pos < n && data[pos] >= '0' && data[pos] <= '9')
                ++pos;
            ++numbers;
        } else {
            return BandRecordFound::NotPicture;
        }
    }
    return BandRecordFound::Missing;
}

}  // namespace

uint64_t fingerprint(std::string_view text, uint64_t hash) {
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string band_record_text(const BandRecord& r) {
    char hex[17];
    for (int i = 0; i < 16; ++i)
        hex[i] = "0123456789abcdef"[(r.scene >> (60 - 4 * i)) & 0xF];
    hex[16] = 0;
    return std::to_string(r.first_row) + "-" + std::to_string(r.last_row) + " of " +
           std::to_string(r.width) + "x" + std::to_string(r.height) + " scene " + hex;
}

bool parse_band_record_text(std::string_view text, BandRecord& record) {
    BandRecord r;
    size_t pos = 0;
    if (!read_number(text, pos, r.first_row) || !read_word(text, pos, "-") ||
        !read_number(text, pos, r.last_row) || !read_word(text, pos, " of ") ||
        !read_number(text, pos, r.width) || !read_word(text, pos, "x") ||
        !read_number(text, pos, r.height) || !read_word(text, pos, " scene ") ||
        text.size() - pos != 16)
        return false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return false;
        r.scene = (r.scene << 4) | static_cast<uint64_t>(digit);
    }
    if (r.width < 1 || r.width > MostSide || r.height < 1 || r.height > MostSide ||
        r.first_row > r.last_row || r.last_row >= r.height)
        return false;
    record = r;
    return true;
}

std::string band_record_ppm_comment(const BandRecord& record) {
    return std::string("# ") + BandRecordKeyword + " " + band_record_text(record) + "\n";
}

std::string band_record_png_text(const BandRecord& record) {
    return std::string(BandRecordKeyword) + std::string(1, '\0') + band_record_text(record);
}

BandRecordFound find_band_record(const unsigned char* data, size_t n, BandRecord& record) {
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (n >= 8 && std::memcmp(data, png, 8) == 0) return find_in_png(data, n, record);
    if (n >= 3 && data[0] == 'P' && data[1] == '6' && is_space(data[2]))
        return find_in_ppm(data, n, record);
    return BandRecordFound::NotPicture;
}
