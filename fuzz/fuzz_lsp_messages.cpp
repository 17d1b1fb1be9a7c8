#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "lsp/framing.h"
#include "lsp/protocol.h"

// The language server's input: frames read from the bytes, each body read
// as JSON-RPC, and the answer an invalid one gets written out.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream out;
    // A small limit, so that the fuzzer reaches the over-long path too.
    lsp::MessageReader reader(in, 4096);
    for (;;) {
        const lsp::Frame frame = reader.next();
        if (frame.kind == lsp::Frame::Kind::EndOfStream || frame.kind == lsp::Frame::Kind::CutShort)
            break;
        if (frame.kind != lsp::Frame::Kind::Message) continue;
        const lsp::Incoming incoming = lsp::read_incoming(frame.body);
        if (incoming.kind == lsp::Incoming::Kind::Invalid)
            lsp::write_message(out, lsp::to_text(lsp::error_response(
                                        incoming.id, incoming.error_code, incoming.error_message)));
        else
            lsp::write_message(out, lsp::to_text(lsp::response(incoming.id, incoming.params)));
    }
    return 0;
}
