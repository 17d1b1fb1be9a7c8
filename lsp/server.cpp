#include "lsp/server.h"

#include <csignal>
#include <iostream>

#include "glimmark/about.h"
#include "lsp/diagnostics.h"
#include "lsp/features.h"
#include "lsp/framing.h"
#include "lsp/renderer.h"
#include "lsp/text_positions.h"

namespace lsp {

namespace {

// A request whose params are not what the method takes.
struct BadParams {
    std::string message;
};

const Json& member(const Json& object, const char* name) {
    if (!object.is_object()) throw BadParams{"Invalid params: an object was expected."};
    const auto found = object.find(name);
    if (found == object.end()) throw BadParams{std::string("Invalid params: no \"") + name + "\"."};
    return *found;
}

std::string string_member(const Json& object, const char* name) {
    const Json& value = member(object, name);
    if (!value.is_string())
        throw BadParams{std::string("Invalid params: \"") + name + "\" is not a string."};
    return value.get<std::string>();
}

int int_member(const Json& object, const char* name, int otherwise) {
    if (!object.is_object()) return otherwise;
    const auto found = object.find(name);
    if (found == object.end() || !found->is_number_integer()) return otherwise;
    return found->get<int>();
}

Position position_member(const Json& object, const char* name) {
    const Json& value = member(object, name);
    return Position{int_member(value, "line", 0), int_member(value, "character", 0)};
}

std::string folder_of(const std::string& uri) {
    const std::string path = path_of_uri(uri);
    if (path.empty()) return {};
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

Server::Server(std::istream& in, std::ostream& out, ServerOptions options)
    : in_(in), out_(out), options_(options) {
    if (options_.max_body == 0) options_.max_body = MaxBodyBytes;
    // std::cin flushes std::cout before each read; the workers write to it
    // meanwhile, under the output's lock, which that flush would not take.
    // Each message is flushed as it is written anyway.
    in_.tie(nullptr);
}

Server::~Server() {
    // The workers stop before the streams they write to go.
    renderer_.reset();
    checker_.reset();
}

void Server::send(const Json& message) {
    const std::string body = to_text(message);
    const std::lock_guard<std::mutex> hold(out_mutex_);
    write_message(out_, body);
}

int Server::run() {
    MessageReader reader(in_, options_.max_body);
    for (;;) {
        const Frame frame = reader.next();
        switch (frame.kind) {
            case Frame::Kind::Message:
                if (const std::optional<int> status = handle(frame.body)) return *status;
                break;
            case Frame::Kind::NoLength:
            case Frame::Kind::BadHeader:
                send(error_response(nullptr, ParseError, frame.problem));
                break;
            case Frame::Kind::TooLarge:
                send(error_response(nullptr, InvalidRequest, frame.problem));
                break;
            case Frame::Kind::CutShort:
            case Frame::Kind::EndOfStream:
                // The client is gone: as an exit.
                return state_ == State::ShutDown ? 0 : 1;
        }
    }
}

std::optional<int> Server::handle(const std::string& body) {
    const Incoming in = read_incoming(body);
    switch (in.kind) {
        case Incoming::Kind::Invalid:
            send(error_response(in.id, in.error_code, in.error_message));
            return std::nullopt;
        case Incoming::Kind::Response:
            // The server asks the client nothing it waits for.
            return std::nullopt;
        case Incoming::Kind::Notification:
            if (in.method == "exit") return state_ == State::ShutDown ? 0 : 1;
            // Before initialize and after shutdown, notifications are dropped.
            if (state_ == State::Running) {
                try {
                    notified(in.method, in.params);
                } catch (const BadParams&) {
                    // A notification has no answer, not even an error.
                } catch (const Json::exception&) {
                }
            }
            return std::nullopt;
        case Incoming::Kind::Request:
            break;
    }
    if (state_ == State::Starting && in.method != "initialize") {
        send(error_response(in.id, ServerNotInitialized, "The server is not initialized."));
        return std::nullopt;
    }
    if (state_ == State::Running && in.method == "initialize") {
        send(error_response(in.id, InvalidRequest, "The server is initialized already."));
        return std::nullopt;
    }
    if (state_ == State::ShutDown) {
        send(error_response(in.id, InvalidRequest, "The server is shut down."));
        return std::nullopt;
    }
    try {
        const Json result = request(in.method, in.params, in.id);
        if (!result.is_discarded()) send(response(in.id, result));
    } catch (const BadParams& bad) {
        send(error_response(in.id, InvalidParams, bad.message));
    } catch (const Json::exception& e) {
        send(error_response(in.id, InvalidParams, std::string("Invalid params: ") + e.what()));
    }
    return std::nullopt;
}

Json Server::initialize_result() const {
    return Json{
        {"capabilities",
         {{"positionEncoding", "utf-16"},
          {"textDocumentSync",
           {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
          {"hoverProvider", true},
          {"completionProvider", {{"triggerCharacters", {"\"", "/"}}}},
          {"definitionProvider", true},
          {"documentSymbolProvider", true},
          {"foldingRangeProvider", true},
          {"semanticTokensProvider", {{"legend", semantic_token_legend()}, {"full", true}}}}},
        {"serverInfo", {{"name", "glimmark"}, {"version", glimmark::version()}}}};
}

Json Server::request(const std::string& method, const Json& params, const Json& id) {
    if (method == "initialize") {
        state_ = State::Running;
        // initializationOptions {"strict": false}: diagnostics from the
        // quicker check, which opens INCLUDE files but builds no scene.
        if (params.is_object() && params.contains("initializationOptions")) {
            const Json& options = params["initializationOptions"];
            if (options.is_object() && options.contains("strict") && options["strict"].is_boolean())
                options_.strict = options["strict"].get<bool>();
        }
        checker_ = std::make_unique<Checker>(
            [this](const std::string& uri, int version, const Json& diagnostics) {
                send(notification(
                    "textDocument/publishDiagnostics",
                    {{"uri", uri}, {"version", version}, {"diagnostics", diagnostics}}));
            },
            options_.strict);
        renderer_ = std::make_unique<Renderer>([this](const Json& message) { send(message); });
        return initialize_result();
    }
    if (method == "shutdown") {
        state_ = State::ShutDown;
        return nullptr;
    }
    if (method == "glimmark/render") {
        const Document& document = document_of(params);
        const std::string uri = string_member(member(params, "textDocument"), "uri");
        std::string path;
        if (params.contains("path")) path = string_member(params, "path");
        renderer_->start(id, document.text, folder_of(uri), path);
        return Json(Json::value_t::discarded);
    }
    // The questions about one document, answered on this thread: each reads
    // the words of the text, no parse.
    using Answer = Json (*)(const DocumentView&, Position);
    static const std::pair<const char*, Answer> at_position[] = {
        {"textDocument/hover", hover},
        {"textDocument/completion", completion},
        {"textDocument/definition", definition},
    };
    for (const auto& [name, answer] : at_position)
        if (method == name) {
            const Document& document = document_of(params);
            const std::string uri = string_member(member(params, "textDocument"), "uri");
            const std::string folder = folder_of(uri);
            return answer(DocumentView{uri, document.text, folder},
                          position_member(params, "position"));
        }
    using WholeAnswer = Json (*)(const DocumentView&);
    static const std::pair<const char*, WholeAnswer> whole[] = {
        {"textDocument/documentSymbol", document_symbols},
        {"textDocument/foldingRange", folding_ranges},
        {"textDocument/semanticTokens/full", semantic_tokens},
    };
    for (const auto& [name, answer] : whole)
        if (method == name) {
            const Document& document = document_of(params);
            const std::string uri = string_member(member(params, "textDocument"), "uri");
            const std::string folder = folder_of(uri);
            return answer(DocumentView{uri, document.text, folder});
        }
    send(error_response(id, MethodNotFound, "Unknown method: " + method));
    return Json(Json::value_t::discarded);
}

void Server::notified(const std::string& method, const Json& params) {
    if (method == "textDocument/didOpen")
        opened(params);
    else if (method == "textDocument/didChange")
        changed(params);
    else if (method == "textDocument/didSave")
        saved(params);
    else if (method == "textDocument/didClose")
        closed(params);
    // "initialized", "$/cancelRequest", "$/setTrace" and whatever else a
    // client tells need nothing.
}

const Server::Document& Server::document_of(const Json& params) const {
    const std::string uri = string_member(member(params, "textDocument"), "uri");
    const auto found = documents_.find(uri);
    if (found == documents_.end()) throw BadParams{"Invalid params: the document is not open."};
    return found->second;
}

void Server::check(const std::string& uri, const Document& document) {
    checker_->schedule(uri, document.version, document.text, folder_of(uri));
}

void Server::opened(const Json& params) {
    const Json& item = member(params, "textDocument");
    const std::string uri = string_member(item, "uri");
    Document& document = documents_[uri];
    document.text = string_member(item, "text");
    document.version = int_member(item, "version", 0);
    check(uri, document);
}

void Server::changed(const Json& params) {
    const Json& item = member(params, "textDocument");
    const std::string uri = string_member(item, "uri");
    const auto found = documents_.find(uri);
    if (found == documents_.end()) return;
    const Json& changes = member(params, "contentChanges");
    if (!changes.is_array()) throw BadParams{"Invalid params: contentChanges is no array."};
    Document& document = found->second;
    for (const Json& change : changes) {
        const std::string text = string_member(change, "text");
        if (!change.contains("range")) {
            document.text = text;
            continue;
        }
        const Json& range = member(change, "range");
        const LineIndex lines(document.text);
        std::size_t start = lines.offset_of(position_member(range, "start"));
        std::size_t end = lines.offset_of(position_member(range, "end"));
        if (end < start) std::swap(start, end);
        document.text.replace(start, end - start, text);
    }
    document.version = int_member(item, "version", document.version);
    check(uri, document);
}

void Server::saved(const Json& params) {
    // The text is the one the changes made; what a save may have changed is
    // a file the scene reads (an INCLUDE written from another window, a
    // texture drawn anew), so the check runs again.
    const std::string uri = string_member(member(params, "textDocument"), "uri");
    const auto found = documents_.find(uri);
    if (found == documents_.end()) return;
    if (params.contains("text")) found->second.text = string_member(params, "text");
    check(uri, found->second);
}

void Server::closed(const Json& params) {
    const std::string uri = string_member(member(params, "textDocument"), "uri");
    if (documents_.erase(uri) == 0) return;
    checker_->forget(uri);
    send(notification("textDocument/publishDiagnostics",
                      {{"uri", uri}, {"diagnostics", Json::array()}}));
}

int run_language_server() {
    // A client that goes away is an end of input, not a signal that ends
    // the program mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios::sync_with_stdio(false);
    Server server(std::cin, std::cout);
    return server.run();
}

}  // namespace lsp
