#include "lsp/text_positions.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace lsp {

namespace {

// The UTF-16 code units of the UTF-8 sequence that starts with `lead`: 2 for
// a four-byte sequence, none for a continuation byte, 1 otherwise (a stray
// byte counts as one replacement character).
int utf16_units(unsigned char lead) {
    if ((lead & 0xC0) == 0x80) return 0;
    if (lead >= 0xF0) return 2;
    return 1;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

LineIndex::LineIndex(const std::string& text) : text_(text) {
    line_starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') line_starts_.push_back(i + 1);
}

Position LineIndex::position_of(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    const auto after = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
    const auto line = static_cast<std::size_t>(after - line_starts_.begin()) - 1;
    Position position;
    position.line = static_cast<int>(line);
    for (std::size_t i = line_starts_[line]; i < offset; ++i)
        position.character += utf16_units(static_cast<unsigned char>(text_[i]));
    return position;
}

std::size_t LineIndex::offset_of(Position position) const {
    if (position.line < 0) return 0;
    const auto line = static_cast<std::size_t>(position.line);
    if (line >= line_starts_.size()) return text_.size();
    std::size_t end = line + 1 < line_starts_.size() ? line_starts_[line + 1] - 1 : text_.size();
    if (end > line_starts_[line] && text_[end - 1] == '\r') --end;
    std::size_t i = line_starts_[line];
    int counted = 0;
    while (i < end && counted < position.character) {
        counted += utf16_units(static_cast<unsigned char>(text_[i]));
        ++i;
        while (i < end && (static_cast<unsigned char>(text_[i]) & 0xC0) == 0x80)
            ++i;
    }
    return i;
}

std::string path_of_uri(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.size() < scheme.size()) return {};
    for (std::size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(uri[i])) != scheme[i]) return {};
    std::string rest = uri.substr(scheme.size());
    // file://localhost/path is file:///path; another host is no local file.
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos) return {};
    const std::string host = rest.substr(0, slash);
    if (!host.empty() && host != "localhost") return {};
    rest = rest.substr(slash);
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hex_digit(rest[i + 1]) >= 0 &&
            hex_digit(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hex_digit(rest[i + 1]) * 16 + hex_digit(rest[i + 2])));
            i += 2;
        } else if (rest[i] == '?' || rest[i] == '#') {
            break;
        } else {
            path.push_back(rest[i]);
        }
    }
    if (path.find('\0') != std::string::npos) return {};
    return path;
}

std::string uri_of_path(const std::string& path) {
    static const char digits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::string_view("/-._~").find(c) != std::string_view::npos) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(digits[byte >> 4]);
            uri.push_back(digits[byte & 15]);
        }
    }
    return uri;
}

}  // namespace lsp
