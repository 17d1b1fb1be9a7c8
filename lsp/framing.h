#pragma once

// The base protocol's framing: each message is a header of "Name: value"
// lines ended by an empty line, then Content-Length bytes of JSON. Lines
// end in "\r\n"; a lone "\n" is taken as well.

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>

namespace lsp {

// The largest body the server reads: 64 MiB, room for a scene of a few
// hundred thousand triangles written out. A longer one is skipped unread,
// in pieces, and refused.
inline constexpr std::size_t MaxBodyBytes = std::size_t{64} << 20;
// The longest header block; past it the bytes are no header.
inline constexpr std::size_t MaxHeaderBytes = 8192;

// What the reader found next in the stream.
struct Frame {
    enum class Kind {
        Message,      // `body` holds the message's bytes
        NoLength,     // a header without a Content-Length, or a wrong one
        TooLarge,     // a Content-Length over the limit; the body was skipped
        BadHeader,    // bytes that are no header (a line too long, no colon)
        EndOfStream,  // the stream ended between messages
        CutShort,     // the stream ended inside a header or a body
    };
    Kind kind = Kind::EndOfStream;
    std::string body;
    // TooLarge: the length the header announced.
    std::size_t length = 0;
    // What went wrong, for an error response's message.
    std::string problem;
};

class MessageReader {
  public:
    explicit MessageReader(std::istream& in, std::size_t max_body = MaxBodyBytes)
        : in_(in), max_body_(max_body) {}
    // Blocks until a whole frame, a fault in one, or the end of the stream.
    Frame next();

  private:
    // One header line without its line end; false at the end of the stream.
    // `too_long` is set for a line past MaxHeaderBytes, whose rest is skipped.
    bool read_line(std::string& line, bool& too_long);

    std::istream& in_;
    std::size_t max_body_;
};

// Writes one message: the header and the body, then flushes.
void write_message(std::ostream& out, const std::string& body);

}  // namespace lsp
