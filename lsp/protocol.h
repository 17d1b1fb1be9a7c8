#pragma once

// JSON-RPC 2.0 as the Language Server Protocol uses it: what a message is,
// and the error codes the server answers with.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace lsp {

using Json = nlohmann::json;

enum ErrorCode : int {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerNotInitialized = -32002,
    RequestCancelled = -32800,
};

// A message body read as JSON-RPC.
struct Incoming {
    enum class Kind { Request, Notification, Response, Invalid };
    Kind kind = Kind::Invalid;
    // A request's id (a number or a string); null when it could not be read.
    Json id;
    std::string method;
    Json params;
    // Invalid: the error to answer with.
    int error_code = 0;
    std::string error_message;
};

// Reads a message body: a request, a notification, a response to the
// server's own request, or why it is none (a parse error, or an invalid
// request).
Incoming read_incoming(const std::string& body);

Json response(const Json& id, Json result);
Json error_response(const Json& id, int code, const std::string& message);
Json notification(const std::string& method, Json params);
// The message as JSON text; bytes that are no UTF-8 (a scene's own words
// may be any bytes) become U+FFFD.
std::string to_text(const Json& message);

}  // namespace lsp
