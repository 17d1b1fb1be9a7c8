#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "lsp/framing.h"
#include "tests/support/lsp_session.h"

using lsp::Json;

namespace {

struct BadInput {
    const char* name;
    std::string bytes;
    int code;  // the error the server answers with
};

std::string body(const std::string& text) {
    return "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

// Each kind of bad input gets its error answer, and the server goes on:
// the request after it is answered.
TEST(LspMessages, BadInputIsAnsweredAndServingGoesOn) {
    const BadInput cases[] = {
        {"malformed JSON", body(R"({"jsonrpc":"2.0","id":1,"method":)"), lsp::ParseError},
        {"not JSON at all", body("\x01\xff\xfe binary"), lsp::ParseError},
        {"a batch", body(R"([{"jsonrpc":"2.0","id":1,"method":"shutdown"}])"), lsp::InvalidRequest},
        {"a number", body("42"), lsp::InvalidRequest},
        {"no jsonrpc", body(R"({"id":1,"method":"shutdown"})"), lsp::InvalidRequest},
        {"an old jsonrpc", body(R"({"jsonrpc":"1.0","id":1,"method":"shutdown"})"),
         lsp::InvalidRequest},
        {"an object id", body(R"({"jsonrpc":"2.0","id":{},"method":"shutdown"})"),
         lsp::InvalidRequest},
        {"a method that is a number", body(R"({"jsonrpc":"2.0","id":1,"method":5})"),
         lsp::InvalidRequest},
        {"no method", body(R"({"jsonrpc":"2.0","id":1})"), lsp::InvalidRequest},
        {"params that are a string",
         body(R"({"jsonrpc":"2.0","id":1,"method":"shutdown","params":"x"})"), lsp::InvalidRequest},
        {"nested without end", body(std::string(100000, '[') + std::string(100000, ']')),
         lsp::InvalidRequest},
        {"an unknown method", body(R"({"jsonrpc":"2.0","id":1,"method":"no/such"})"),
         lsp::MethodNotFound},
        {"params of the wrong kind",
         body(R"({"jsonrpc":"2.0","id":1,"method":"glimmark/render","params":{"textDocument":3}})"),
         lsp::InvalidParams},
        {"no Content-Length", "Content-Type: text/plain\r\n\r\n", lsp::ParseError},
        {"a Content-Length that is no number", "Content-Length: ten\r\n\r\n", lsp::ParseError},
        {"binary garbage", std::string("\x00\x01\x02\xff:\n\x7f\x80\r\n\r\n", 12), lsp::ParseError},
        {"a message over the limit", body(std::string(5000, ' ')), lsp::InvalidRequest},
    };
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.name);
        lsp::ServerOptions options;
        options.max_body = 4096;
        LspSession session(options);
        session.initialize();
        session.send_raw(bad.bytes);
        const Json error = session.next();
        ASSERT_TRUE(error.contains("error")) << error;
        EXPECT_EQ(error["error"]["code"], bad.code) << error;
        session.request(99, "shutdown");
        EXPECT_EQ(session.answer(99)["result"], nullptr);
        session.notify("exit");
        EXPECT_EQ(session.status(), 0);
    }
}

TEST(LspMessages, LifecycleErrors) {
    LspSession session;
    // Before initialize: requests are refused, notifications dropped.
    session.open("file:///tmp/early.gmk", "SCENE");
    session.request(1, "textDocument/hover", Json::object());
    EXPECT_EQ(session.answer(1)["error"]["code"], lsp::ServerNotInitialized);
    const Json initialized = session.initialize();
    EXPECT_EQ(initialized["result"]["serverInfo"]["name"], "glimmark");
    EXPECT_EQ(initialized["result"]["capabilities"]["positionEncoding"], "utf-16");
    session.request(1, "initialize", {{"capabilities", Json::object()}});
    EXPECT_EQ(session.answer(1)["error"]["code"], lsp::InvalidRequest);
    // An unknown notification has no answer: the next message answers 2.
    session.notify("no/such", Json::object());
    session.request("two", "no/such");
    const Json unknown = session.next();
    EXPECT_EQ(unknown["id"], "two");
    EXPECT_EQ(unknown["error"]["code"], lsp::MethodNotFound);
    session.request(3, "shutdown");
    EXPECT_EQ(session.answer(3)["result"], nullptr);
    session.request(4, "shutdown");
    EXPECT_EQ(session.answer(4)["error"]["code"], lsp::InvalidRequest);
    session.notify("exit");
    EXPECT_EQ(session.status(), 0);
}

TEST(LspMessages, ExitWithoutShutdownExitsOne) {
    LspSession session;
    session.initialize();
    session.notify("exit");
    EXPECT_EQ(session.status(), 1);
}

TEST(LspMessages, InputEndingEndsTheServer) {
    for (const char* input : {"", "Content-Length: 10\r\n\r\n", "Content-Length: 10\r\n",
                              "Content-Length: 10\r\n\r\n{\"a\""}) {
        SCOPED_TRACE(input);
        std::istringstream in(input);
        std::ostringstream out;
        lsp::Server server(in, out);
        EXPECT_EQ(server.run(), 1);
        EXPECT_EQ(out.str(), "");
    }
}

// Bytes made as they are read: a 100 MB message is never held anywhere.
class HugeMessage : public std::streambuf {
  public:
    HugeMessage(std::size_t size, std::string after)
        : header_("Content-Length: " + std::to_string(size) + "\r\n\r\n"),
          left_(size),
          after_(std::move(after)) {}

  protected:
    int_type underflow() override {
        if (!header_.empty()) {
            piece_ = std::move(header_);
            header_.clear();
        } else if (left_ > 0) {
            piece_.assign(std::min<std::size_t>(left_, 1 << 16), ' ');
            left_ -= piece_.size();
        } else if (!after_.empty()) {
            piece_ = std::move(after_);
            after_.clear();
        } else {
            return traits_type::eof();
        }
        setg(piece_.data(), piece_.data(), piece_.data() + piece_.size());
        return traits_type::to_int_type(piece_[0]);
    }

  private:
    std::string header_;
    std::size_t left_;
    std::string after_;
    std::string piece_;
};

TEST(LspMessages, AHundredMegabyteMessageIsRefusedUnread) {
    HugeMessage bytes(100'000'000, framed({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "no/such"}}));
    std::istream in(&bytes);
    std::ostringstream out;
    lsp::Server server(in, out);
    EXPECT_EQ(server.run(), 1);
    std::istringstream written(out.str());
    lsp::MessageReader reader(written);
    const Json refused = Json::parse(reader.next().body);
    EXPECT_EQ(refused["error"]["code"], lsp::InvalidRequest);
    EXPECT_EQ(refused["error"]["message"],
              "The message of 100000000 bytes is over the limit of 67108864 bytes.");
    const Json next = Json::parse(reader.next().body);
    EXPECT_EQ(next["id"], 1);
    EXPECT_EQ(next["error"]["code"], lsp::ServerNotInitialized);
}

TEST(LspMessages, HeadersAsClientsWriteThem) {
    const std::string text = R"({"jsonrpc":"2.0","id":1,"method":"x"})";
    const std::string n = std::to_string(text.size());
    for (const std::string& input : {"Content-Length: " + n + "\r\n\r\n" + text,
                                     "content-length:" + n +
                                         "\r\nContent-Type: application/vscode-jsonrpc; "
                                         "charset=utf-8\r\n\r\n" +
                                         text,
                                     "Content-Length: " + n + "\n\n" + text,
                                     "\r\n\r\nContent-Length: " + n + "\r\n\r\n" + text}) {
        std::istringstream in(input);
        lsp::MessageReader reader(in);
        const lsp::Frame frame = reader.next();
        EXPECT_EQ(frame.kind, lsp::Frame::Kind::Message);
        EXPECT_EQ(frame.body, text);
        EXPECT_EQ(reader.next().kind, lsp::Frame::Kind::EndOfStream);
    }
}

}  // namespace
