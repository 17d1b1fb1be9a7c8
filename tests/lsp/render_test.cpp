#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "lsp/renderer.h"
#include "lsp/text_positions.h"
#include "tests/support/lsp_session.h"
#include "tests/support/temp_folder.h"

using lsp::Json;

namespace {

const std::string kSmall =
    "TRACER WIDTH 8 HEIGHT 6 END_TRACER\nSCENE CAMERA TRANSLATE 0 0 -4 END_CAMERA\n"
    "LIGHT TRANSLATE 2 2 -2 END_LIGHT SPHERE END_SPHERE END_SCENE\n";

Json render_params(const std::string& uri) { return {{"textDocument", {{"uri", uri}}}}; }

TEST(LspRender, Base64Bytes) {
    EXPECT_EQ(lsp::base64(""), "");
    EXPECT_EQ(lsp::base64("f"), "Zg==");
    EXPECT_EQ(lsp::base64("fo"), "Zm8=");
    EXPECT_EQ(lsp::base64("foo"), "Zm9v");
    EXPECT_EQ(lsp::base64("\x89PNG"), "iVBORw==");
}

TEST(LspRender, PictureAsDataOrFile) {
    TempFolder dir;
    const std::string uri = lsp::uri_of_path(dir.file("small.gmk"));
    LspSession session;
    session.initialize();
    session.open(uri, kSmall);
    session.request(1, "glimmark/render", render_params(uri));
    const Json data = session.answer(1);
    EXPECT_EQ(data["result"]["width"], 8);
    EXPECT_EQ(data["result"]["height"], 6);
    EXPECT_EQ(data["result"]["data"].get<std::string>().rfind("iVBORw0KGgo", 0), 0u) << data;

    Json params = render_params(uri);
    params["path"] = dir.file("small.png");
    session.request(2, "glimmark/render", params);
    EXPECT_EQ(session.answer(2)["result"]["path"], dir.file("small.png"));
    std::ifstream file(dir.file("small.png"), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    EXPECT_EQ(bytes.str().substr(0, 8), "\x89PNG\r\n\x1a\n");
}

TEST(LspRender, NewerRequestCancelsTheOlder) {
    const std::string slow = "file:///nonexistent/slow.gmk";
    const std::string small = "file:///nonexistent/small.gmk";
    LspSession session;
    session.initialize();
    session.open(slow,
                 "TRACER WIDTH 1600 HEIGHT 1200 ANTIALIASING 64 END_TRACER\nSCENE CAMERA "
                 "TRANSLATE 0 0 -4 END_CAMERA LIGHT TRANSLATE 2 2 -2 END_LIGHT SPHERE END_SPHERE "
                 "END_SCENE\n");
    session.open(small, kSmall);
    session.request(1, "glimmark/render", render_params(slow));
    session.request(2, "glimmark/render", render_params(small));
    EXPECT_EQ(session.answer(1)["error"]["code"], lsp::RequestCancelled);
    EXPECT_EQ(session.answer(2)["result"]["width"], 8);
}

TEST(LspRender, Refusals) {
    const std::string uri = "file:///nonexistent/bad.gmk";
    LspSession session;
    session.initialize();
    session.open(uri, "TRACER WIDTH abc END_TRACER\n");
    session.request(1, "glimmark/render", render_params(uri));
    const Json failed = session.answer(1);
    EXPECT_EQ(failed["error"]["code"], lsp::RequestFailed);
    EXPECT_EQ(failed["error"]["message"], "Parse Error: Expected Integer. at char 17 found: abc");
    session.request(2, "glimmark/render", render_params("file:///not/open.gmk"));
    EXPECT_EQ(session.answer(2)["error"]["code"], lsp::InvalidParams);
}

}  // namespace
