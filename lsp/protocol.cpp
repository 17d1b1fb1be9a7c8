#include "lsp/protocol.h"

namespace lsp {

namespace {

Incoming invalid(int code, std::string message, Json id = nullptr) {
    Incoming in;
    in.kind = Incoming::Kind::Invalid;
    in.error_code = code;
    in.error_message = std::move(message);
    in.id = std::move(id);
    return in;
}

// Deeper than this, arrays and objects are refused before they are parsed:
// no message of the protocol nests a tenth as deep, and a value nested
// without end must not run the stack out.
constexpr int MaxDepth = 128;

bool nests_too_deep(const std::string& body) {
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > MaxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

}  // namespace

std::string to_text(const Json& message) {
    return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Incoming read_incoming(const std::string& body) {
    if (nests_too_deep(body))
        return invalid(InvalidRequest, "Invalid request: the message nests too deep.");
    Json message = Json::parse(body, nullptr, false);
    if (message.is_discarded()) return invalid(ParseError, "Parse error: the body is no JSON.");
    if (!message.is_object())
        return invalid(InvalidRequest, "Invalid request: a message is a JSON object.");
    Json id = nullptr;
    const auto id_at = message.find("id");
    const bool has_id = id_at != message.end();
    if (has_id) {
        if (id_at->is_number_integer() || id_at->is_string())
            id = *id_at;
        else if (!id_at->is_null())
            return invalid(InvalidRequest, "Invalid request: an id is a number or a string.");
    }
    const auto version = message.find("jsonrpc");
    if (version == message.end() || *version != "2.0")
        return invalid(InvalidRequest, "Invalid request: \"jsonrpc\" must be \"2.0\".", id);
    const auto method = message.find("method");
    if (method == message.end()) {
        if (has_id && (message.contains("result") || message.contains("error"))) {
            Incoming in;
            in.kind = Incoming::Kind::Response;
            in.id = id;
            return in;
        }
        return invalid(InvalidRequest, "Invalid request: no method.", id);
    }
    if (!method->is_string())
        return invalid(InvalidRequest, "Invalid request: the method is not a string.", id);
    Incoming in;
    in.method = method->get<std::string>();
    const auto params = message.find("params");
    if (params != message.end()) {
        if (!params->is_object() && !params->is_array() && !params->is_null())
            return invalid(InvalidRequest, "Invalid request: params are an object or an array.",
                           id);
        in.params = *params;
    }
    if (has_id && id.is_null())
        return invalid(InvalidRequest, "Invalid request: a request's id is not null.");
    in.kind = has_id ? Incoming::Kind::Request : Incoming::Kind::Notification;
    in.id = id;
    return in;
}

Json response(const Json& id, Json result) {
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

Json error_response(const Json& id, int code, const std::string& message) {
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

Json notification(const std::string& method, Json params) {
    return Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

}  // namespace lsp
