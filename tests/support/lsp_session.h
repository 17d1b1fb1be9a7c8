#pragma once

// A language server driven in-process through its message layer: the test
// writes framed messages into one pipe and reads the server's from another,
// while the server runs on a thread of its own.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <istream>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

#include "lsp/framing.h"
#include "lsp/protocol.h"
#include "lsp/server.h"

// Bytes from one thread to another. Reading blocks until there are some,
// the writer closes, or `patience` passes (then it reads as the end).
class BytePipe : public std::streambuf {
  public:
    void close() {
        const std::lock_guard<std::mutex> hold(mutex_);
        closed_ = true;
        ready_.notify_all();
    }

  protected:
    int_type underflow() override {
        std::unique_lock<std::mutex> hold(mutex_);
        ready_.wait_for(hold, std::chrono::seconds(30),
                        [this] { return closed_ || !bytes_.empty(); });
        if (bytes_.empty()) return traits_type::eof();
        const std::size_t n = std::min(bytes_.size(), sizeof read_);
        std::copy_n(bytes_.begin(), n, read_);
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
        setg(read_, read_, read_ + n);
        return traits_type::to_int_type(read_[0]);
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::lock_guard<std::mutex> hold(mutex_);
        bytes_.insert(bytes_.end(), s, s + n);
        ready_.notify_all();
        return n;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        xsputn(&byte, 1);
        return c;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<char> bytes_;
    bool closed_ = false;
    char read_[4096];
};

inline std::string framed(const lsp::Json& message) {
    const std::string body = message.dump();
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class LspSession {
  public:
    explicit LspSession(lsp::ServerOptions options = {})
        : to_server_stream_(&to_server_),
          from_server_stream_(&from_server_),
          server_in_(&to_server_),
          server_out_(&from_server_),
          reader_(from_server_stream_) {
        status_ = std::async(std::launch::async, [this, options] {
            lsp::Server server(server_in_, server_out_, options);
            const int status = server.run();
            return status;
        });
    }
    ~LspSession() {
        to_server_.close();
        if (status_.valid()) status_.wait();
    }

    void send_raw(const std::string& bytes) { to_server_stream_.write(bytes.data(), bytes.size()); }
    void send(const lsp::Json& message) { send_raw(framed(message)); }
    void request(const lsp::Json& id, const std::string& method, lsp::Json params = nullptr) {
        lsp::Json message{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}};
        if (!params.is_null()) message["params"] = std::move(params);
        send(message);
    }
    void notify(const std::string& method, lsp::Json params = nullptr) {
        lsp::Json message{{"jsonrpc", "2.0"}, {"method", method}};
        if (!params.is_null()) message["params"] = std::move(params);
        send(message);
    }

    // The server's next message; null when none came.
    lsp::Json next() {
        const lsp::Frame frame = reader_.next();
        if (frame.kind != lsp::Frame::Kind::Message) return nullptr;
        return lsp::Json::parse(frame.body);
    }
    // The answer to request `id`, skipping notifications.
    lsp::Json answer(const lsp::Json& id) {
        for (lsp::Json message = next(); !message.is_null(); message = next())
            if (message.contains("id") && message["id"] == id) return message;
        ADD_FAILURE() << "no answer to request " << id;
        return nullptr;
    }
    // The next diagnostics published for `uri` (at `version`, when given).
    lsp::Json diagnostics(const std::string& uri, int version = -1) {
        for (lsp::Json message = next(); !message.is_null(); message = next())
            if (message.value("method", "") == "textDocument/publishDiagnostics" &&
                message["params"]["uri"] == uri &&
                (version < 0 || message["params"].value("version", -1) == version))
                return message["params"]["diagnostics"];
        ADD_FAILURE() << "no diagnostics for " << uri;
        return nullptr;
    }

    lsp::Json initialize() {
        request(0, "initialize", {{"processId", nullptr}, {"capabilities", lsp::Json::object()}});
        lsp::Json answer_to = answer(0);
        notify("initialized", lsp::Json::object());
        return answer_to;
    }
    void open(const std::string& uri, const std::string& text, int version = 1) {
        notify(
            "textDocument/didOpen",
            {{"textDocument",
              {{"uri", uri}, {"languageId", "glimmark"}, {"version", version}, {"text", text}}}});
    }
    // Closes the server's input; its exit status.
    int finish() {
        to_server_.close();
        return status_.get();
    }
    // The exit status once the server ended by itself.
    int status() { return status_.get(); }

  private:
    BytePipe to_server_;
    BytePipe from_server_;
    std::ostream to_server_stream_;
    std::istream from_server_stream_;
    std::istream server_in_;
    std::ostream server_out_;
    lsp::MessageReader reader_;
    std::future<int> status_;
};
