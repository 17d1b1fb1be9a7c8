#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lsp/text_positions.h"
#include "tests/support/lsp_session.h"
#include "tests/support/temp_folder.h"

using lsp::Json;

namespace {

// Each line's number is the protocol's (from 0).
const std::string kScene =
    "TRACER WIDTH 40 HEIGHT 30 END_TRACER\n"                                    // 0
    "DEFINE NAME ball\n"                                                        // 1
    "  SPHERE SCALE 0.3 0.3 0.3 END_SPHERE\n"                                   // 2
    "END_DEFINE\n"                                                              // 3
    "SCENE\n"                                                                   // 4
    "  INTERPOLATION NAME bounce 0 0 1 2 END_INTERPOLATION\n"                   // 5
    "  MATERIAL NAME red DIFFUSE 1 0 0 END_MATERIAL\n"                          // 6
    "  LOOP i LT i 3\n"                                                         // 7
    "    FRAME TRANSLATE i bounce 0 INCLUDE NAME ball END_INCLUDE END_FRAME\n"  // 8
    "  END_LOOP\n"                                                              // 9
    "  INCLUDE FILE \"part.gmk\" END_INCLUDE\n"                                 // 10
    "  MATERIAL NAME red TEXTURE_FILE \"\" END_MATERIAL [ a\n"                  // 11
    "  comment ] END_SCENE\n";                                                  // 12

class LspFeatures : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_.write("part.gmk", "SPHERE END_SPHERE\n");
        dir_.write("wood.png", "");
        uri_ = lsp::uri_of_path(dir_.file("scene.gmk"));
        session_.initialize();
        session_.open(uri_, kScene);
        // The empty texture name is the scene's one error.
        EXPECT_EQ(session_.diagnostics(uri_)[0]["message"], "Could not load texture.");
    }
    Json ask(const std::string& method, int line = -1, int character = 0) {
        Json params{{"textDocument", {{"uri", uri_}}}};
        if (line >= 0) params["position"] = {{"line", line}, {"character", character}};
        session_.request(++id_, method, params);
        const Json answer = session_.answer(id_);
        EXPECT_TRUE(answer.contains("result")) << answer;
        return answer.value("result", Json());
    }
    std::vector<std::string> labels(int line, int character) {
        std::vector<std::string> out;
        for (const Json& item : ask("textDocument/completion", line, character))
            out.push_back(item["label"]);
        return out;
    }

    TempFolder dir_;
    std::string uri_;
    LspSession session_;
    int id_ = 0;
};

bool has(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

Json range(int line, int character, int end_line, int end_character) {
    return {{"start", {{"line", line}, {"character", character}}},
            {"end", {{"line", end_line}, {"character", end_character}}}};
}

TEST_F(LspFeatures, Hover) {
    const struct {
        int line, character;
        std::string contains;
    } cases[] = {
        {8, 44, "**DEFINE ball**\n\n```glimmark\n  SPHERE SCALE 0.3 0.3 0.3 END_SPHERE\n```"},
        {8, 24, "**INTERPOLATION bounce**\n\n```glimmark\n 0 0 1 2\n```"},
        {11, 17, "MATERIAL NAME red TEXTURE_FILE"},
        {8, 20, "The counter of the LOOP"},
        {2, 4, "| Block | End | The shape in unit space |\n|---|---|---|\n| SPHERE | END_SPHERE |"},
        {0, 8, "| WIDTH | integer | 320 | image width in pixels |"},
        {7, 9, "| LT | a b | 1 if a < b, else 0 |"},
        {4, 2, "### SCENE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contains);
        const Json found = ask("textDocument/hover", c.line, c.character);
        ASSERT_TRUE(found.is_object()) << found;
        EXPECT_EQ(found["contents"]["kind"], "markdown");
        EXPECT_NE(found["contents"]["value"].get<std::string>().find(c.contains), std::string::npos)
            << found["contents"]["value"];
    }
    // A number, a comment, a place past the end: nothing.
    EXPECT_EQ(ask("textDocument/hover", 0, 14), nullptr);
    EXPECT_EQ(ask("textDocument/hover", 12, 4), nullptr);
    EXPECT_EQ(ask("textDocument/hover", 99, 99), nullptr);
}

TEST_F(LspFeatures, Definition) {
    EXPECT_EQ(ask("textDocument/definition", 8, 44),
              Json({{"uri", uri_}, {"range", range(1, 12, 1, 16)}}));
    EXPECT_EQ(ask("textDocument/definition", 8, 20)["range"], range(7, 7, 7, 8));
    EXPECT_EQ(ask("textDocument/definition", 8, 24)["range"], range(5, 21, 5, 27));
    // The later MATERIAL NAME red refers to itself, the last one defined.
    EXPECT_EQ(ask("textDocument/definition", 11, 17)["range"], range(11, 16, 11, 19));
    EXPECT_EQ(ask("textDocument/definition", 10, 18)["uri"],
              lsp::uri_of_path(dir_.file("part.gmk")));
    EXPECT_EQ(ask("textDocument/definition", 0, 1), nullptr);
}

TEST_F(LspFeatures, Completion) {
    // Inside the LOOP: its words, the names above, the counter.
    const std::vector<std::string> in_loop = labels(9, 2);
    for (const char* word : {"FRAME", "SPHERE", "END_LOOP", "ADD", "ball", "bounce", "red", "i"})
        EXPECT_TRUE(has(in_loop, word)) << word;
    // At the top level: blocks only; the counter is gone after END_LOOP.
    const std::vector<std::string> top = labels(13, 0);
    EXPECT_TRUE(has(top, "SCENE"));
    EXPECT_FALSE(has(top, "SPHERE"));
    EXPECT_FALSE(has(top, "i"));
    // File names in the quotes: scenes and models after FILE, pictures
    // after TEXTURE_FILE.
    EXPECT_EQ(labels(10, 17), std::vector<std::string>({"part.gmk"}));
    EXPECT_EQ(labels(11, 34), std::vector<std::string>({"wood.png"}));
    EXPECT_EQ(labels(12, 4), std::vector<std::string>());
}

TEST_F(LspFeatures, OutlineAndFolding) {
    const Json symbols = ask("textDocument/documentSymbol");
    std::vector<std::string> names;
    const auto walk = [&](const auto& self, const Json& list, const std::string& indent) -> void {
        for (const Json& s : list) {
            names.push_back(indent + s["name"].get<std::string>());
            if (s.contains("children")) self(self, s["children"], indent + " ");
        }
    };
    walk(walk, symbols, "");
    EXPECT_EQ(names,
              std::vector<std::string>({"TRACER", "DEFINE ball", "SCENE", " INTERPOLATION bounce",
                                        " MATERIAL red", " LOOP i", "  FRAME", " MATERIAL red"}));
    EXPECT_EQ(symbols[1]["selectionRange"], range(1, 12, 1, 16));
    EXPECT_EQ(symbols[2]["range"], range(4, 0, 12, 21));
    EXPECT_EQ(ask("textDocument/foldingRange"),
              Json::parse(R"([{"startLine":1,"endLine":3},{"startLine":4,"endLine":12},
                              {"startLine":7,"endLine":9},
                              {"startLine":11,"endLine":12,"kind":"comment"}])"));
}

TEST_F(LspFeatures, SemanticTokens) {
    const Json data = ask("textDocument/semanticTokens/full")["data"];
    ASSERT_GE(data.size(), 25u);
    // TRACER, WIDTH, 40, HEIGHT, 30: keyword 0, number 3.
    EXPECT_EQ(std::vector<int>(data.begin(), data.begin() + 25),
              std::vector<int>(
                  {0, 0, 6, 0, 0, 0, 7, 5, 0, 0, 0, 6, 2, 3, 0, 0, 3, 6, 0, 0, 0, 7, 2, 3, 0}));
}

TEST(LspFeatureTokens, LinesNonAsciiAndCRLF) {
    LspSession session;
    session.initialize();
    const std::string uri = "untitled:tokens";
    // A comment over two lines is one token on each; "é😀" are 3 code units.
    session.open(uri, "[\xc3\xa9\xf0\x9f\x98\x80\r\nx] SCENE \"a b\"\r\n");
    session.request(1, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", uri}}}});
    EXPECT_EQ(session.answer(1)["result"]["data"],
              Json({0, 0, 4, 5, 0, 1, 0, 2, 5, 0, 0, 3, 5, 0, 0, 0, 6, 5, 4, 0}));
}

}  // namespace
