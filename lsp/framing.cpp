#include "lsp/framing.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace lsp {

namespace {

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const auto space = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && space(text[begin]))
        ++begin;
    while (end > begin && space(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace

bool MessageReader::read_line(std::string& line, bool& too_long) {
    line.clear();
    too_long = false;
    for (;;) {
        const int c = in_.get();
        if (c == std::char_traits<char>::eof()) return false;
        if (c == '\n') break;
        if (line.size() < MaxHeaderBytes)
            line.push_back(static_cast<char>(c));
        else
            too_long = true;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

Frame MessageReader::next() {
    Frame frame;
    std::string line;
    bool too_long = false;
    bool any_line = false;
    bool bad = false;
    bool has_length = false;
    bool wrong_length = false;
    std::size_t length = 0;
    std::size_t header_bytes = 0;
    for (;;) {
        if (!read_line(line, too_long)) {
            frame.kind = any_line ? Frame::Kind::CutShort : Frame::Kind::EndOfStream;
            frame.problem = "The input ended inside a message header.";
            return frame;
        }
        // Empty lines between messages are no header yet.
        if (line.empty() && !any_line) continue;
        if (line.empty()) break;
        any_line = true;
        header_bytes += line.size() + 2;
        const std::size_t colon = line.find(':');
        if (too_long || colon == std::string::npos || header_bytes > MaxHeaderBytes) {
            bad = true;
            continue;
        }
        const std::string name = lower(trimmed(line.substr(0, colon)));
        if (name != "content-length") continue;
        const std::string value = trimmed(line.substr(colon + 1));
        std::size_t parsed = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (value.empty() || ec != std::errc() || end != value.data() + value.size()) {
            wrong_length = true;
            continue;
        }
        has_length = true;
        length = parsed;
    }
    if (bad) {
        frame.kind = Frame::Kind::BadHeader;
        frame.problem = "The message header is malformed.";
        return frame;
    }
    if (!has_length) {
        frame.kind = Frame::Kind::NoLength;
        frame.problem = wrong_length ? "The Content-Length is not a number."
                                     : "The message header has no Content-Length.";
        return frame;
    }
    if (length > max_body_) {
        // Skipped in pieces: the announced size is never allocated.
        char piece[65536];
        std::size_t left = length;
        while (left > 0) {
            const std::size_t want = std::min(left, sizeof piece);
            in_.read(piece, static_cast<std::streamsize>(want));
            const auto got = static_cast<std::size_t>(in_.gcount());
            left -= got;
            if (got < want) break;
        }
        frame.kind = left > 0 ? Frame::Kind::CutShort : Frame::Kind::TooLarge;
        frame.length = length;
        frame.problem = "The message of " + std::to_string(length) +
                        " bytes is over the limit of " + std::to_string(max_body_) + " bytes.";
        return frame;
    }
    // Read as it arrives: a length the stream does not hold is not
    // allocated up front.
    while (frame.body.size() < length) {
        const std::size_t want = std::min<std::size_t>(length - frame.body.size(), 1 << 20);
        const std::size_t have = frame.body.size();
        frame.body.resize(have + want);
        in_.read(frame.body.data() + have, static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in_.gcount());
        frame.body.resize(have + got);
        if (got < want) break;
    }
    if (frame.body.size() < length) {
        frame.body.clear();
        frame.kind = Frame::Kind::CutShort;
        frame.problem = "The input ended inside a message body.";
        return frame;
    }
    frame.kind = Frame::Kind::Message;
    return frame;
}

void write_message(std::ostream& out, const std::string& body) {
    out << "Content-Length: " << body.size() << "\r\n\r\n" << body;
    out.flush();
}

}  // namespace lsp
