#pragma once

// The language server: reads messages from one stream and writes its
// answers and notifications to another, until `exit` or the end of the
// input. Parses and traces run on threads of their own; the message thread
// only reads, answers and hands work on.

#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "lsp/protocol.h"

namespace lsp {

class Checker;
class Renderer;

struct ServerOptions {
    // Diagnostics from a building parse (what `glimmark check --strict`
    // does): files that cannot be opened are found too.
    bool strict = true;
    // The largest message body read.
    std::size_t max_body = 0;
};

class Server {
  public:
    Server(std::istream& in, std::ostream& out, ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until `exit` (0 after `shutdown`, 1 without) or the end of the
    // input (the same).
    int run();

    // One message body, as run() handles it; the exit status once it was
    // `exit`. For the fuzz target and the tests.
    std::optional<int> handle(const std::string& body);

    // Writes one message (from any thread).
    void send(const Json& message);

  private:
    enum class State { Starting, Running, ShutDown };
    struct Document {
        std::string text;
        int version = 0;
    };

    Json request(const std::string& method, const Json& params, const Json& id);
    void notified(const std::string& method, const Json& params);
    Json initialize_result() const;
    void opened(const Json& params);
    void changed(const Json& params);
    void saved(const Json& params);
    void closed(const Json& params);
    void check(const std::string& uri, const Document& document);
    const Document& document_of(const Json& params) const;

    std::istream& in_;
    std::ostream& out_;
    ServerOptions options_;
    std::mutex out_mutex_;
    State state_ = State::Starting;
    std::map<std::string, Document> documents_;
    std::unique_ptr<Checker> checker_;
    std::unique_ptr<Renderer> renderer_;
};

// `glimmark lsp`: the server on standard input and output.
int run_language_server();

}  // namespace lsp
