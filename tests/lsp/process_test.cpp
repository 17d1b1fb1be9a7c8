#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "lsp/framing.h"
#include "tests/cli/cli_process_support.h"
#include "tests/support/lsp_session.h"

using lsp::Json;

namespace {

// Reads a pipe, giving up (as the end) when nothing comes for 30 s.
class PipeReader : public std::streambuf {
  public:
    explicit PipeReader(int fd) : fd_(fd) {}

  protected:
    int_type underflow() override {
        pollfd wait{fd_, POLLIN, 0};
        if (::poll(&wait, 1, 30000) <= 0) return traits_type::eof();
        const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n <= 0) return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + n);
        return traits_type::to_int_type(buffer_[0]);
    }

  private:
    int fd_;
    char buffer_[4096];
};

// `glimmark lsp` as an editor starts it: initialize, open a scene with an
// error, read the diagnostic, shut down and exit.
TEST(LspProcess, ScriptedSession) {
    std::signal(SIGPIPE, SIG_IGN);
    int to_child[2];
    int from_child[2];
    ASSERT_EQ(::pipe(to_child), 0);
    ASSERT_EQ(::pipe(from_child), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(to_child[0], 0);
        ::dup2(from_child[1], 1);
        ::close(to_child[1]);
        ::close(from_child[0]);
        const std::string program = std::string(GMK_BINARY_DIR) + "/glimmark";
        ::execl(program.c_str(), program.c_str(), "lsp", "--stdio", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    auto send = [&](const Json& message) {
        const std::string bytes = framed(message);
        ASSERT_EQ(::write(to_child[1], bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    };
    PipeReader pipe(from_child[0]);
    std::istream in(&pipe);
    lsp::MessageReader reader(in);
    auto next = [&]() -> Json {
        const lsp::Frame frame = reader.next();
        return frame.kind == lsp::Frame::Kind::Message ? Json::parse(frame.body) : Json();
    };

    send({{"jsonrpc", "2.0"},
          {"id", 1},
          {"method", "initialize"},
          {"params", {{"capabilities", Json::object()}}}});
    EXPECT_EQ(next()["result"]["serverInfo"]["name"], "glimmark");
    send({{"jsonrpc", "2.0"}, {"method", "initialized"}, {"params", Json::object()}});
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/didOpen"},
          {"params",
           {{"textDocument",
             {{"uri", "file:///nonexistent/scene.gmk"},
              {"languageId", "glimmark"},
              {"version", 1},
              {"text", "TRACER\n  WIDTH abc\nEND_TRACER\n"}}}}}});
    const Json published = next();
    EXPECT_EQ(published["method"], "textDocument/publishDiagnostics");
    const Json diagnostic = published["params"]["diagnostics"][0];
    EXPECT_EQ(diagnostic["message"], "Expected Integer.");
    EXPECT_EQ(diagnostic["range"]["start"], Json({{"line", 1}, {"character", 8}}));
    send({{"jsonrpc", "2.0"}, {"id", 2}, {"method", "shutdown"}});
    EXPECT_EQ(next(), Json({{"jsonrpc", "2.0"}, {"id", 2}, {"result", nullptr}}));
    send({{"jsonrpc", "2.0"}, {"method", "exit"}});
    ::close(to_child[1]);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(from_child[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

namespace {

TEST(LspProcess, UnknownOption) {
    TempFolder dir;
    const ProcessResult r = run_glimmark({"lsp", "--tcp"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "glimmark lsp: unknown option '--tcp'\nTry 'glimmark --help'.\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace
