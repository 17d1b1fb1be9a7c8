#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "lsp/text_positions.h"
#include "tests/support/lsp_session.h"
#include "tests/support/temp_folder.h"

using lsp::Json;

namespace {

const std::string kBadScene =
    "Bad Scene. Expected CAMERA, LIGHT, FRAME, Shape, BACKGROUND_COLOR or AMBIENCE";
const std::string kBadTracer =
    "Bad Tracer. Expected NO_REFLECTION, NO_REFRACTION, ANTIALIASING, WIDTH or HEIGHT";

struct DiagnosticCase {
    const char* name;
    std::string text;
    int line, character, end_line, end_character;
    std::string message;
};

Json range(int line, int character, int end_line, int end_character) {
    return {{"start", {{"line", line}, {"character", character}}},
            {"end", {{"line", end_line}, {"character", end_character}}}};
}

// The word's range in UTF-16 code units: "é" is one, "😀" two; a "\r"
// before a line's end is no character of the next line.
TEST(LspDiagnostics, RangeOfTheWord) {
    const DiagnosticCase cases[] = {
        {"fourth line", "; comment\nTRACER\n  WIDTH 10\n  BOGUS 3\nEND_TRACER\n", 3, 2, 3, 7,
         kBadTracer},
        {"missing end", "TRACER WIDTH 640\n", 0, 13, 0, 16, "Expected END_TRACER."},
        {"non-ASCII before the word", "SCENE [\xc3\xa9\xf0\x9f\x98\x80] SPHER\nEND_SCENE\n", 0, 12,
         0, 17, kBadScene},
        {"CRLF", "; comment\r\nTRACER\r\n  WIDTH 10\r\n  BOGUS 3\r\nEND_TRACER\r\n", 3, 2, 3, 7,
         kBadTracer},
        {"CRLF and non-ASCII", "; \xc3\xbc\r\nTRACER WIDTH abc END_TRACER\r\n", 1, 13, 1, 16,
         "Expected Integer."},
        {"a missing INCLUDE file", "SCENE\n  INCLUDE FILE \"no such.gmk\" END\n", 1, 16, 1, 27,
         "Could not open INCLUDE file."},
    };
    LspSession session;
    session.initialize();
    int n = 0;
    for (const DiagnosticCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string uri = "file:///nonexistent/case" + std::to_string(++n) + ".gmk";
        session.open(uri, c.text);
        const Json found = session.diagnostics(uri);
        ASSERT_EQ(found.size(), 1u) << found;
        EXPECT_EQ(found[0]["range"], range(c.line, c.character, c.end_line, c.end_character));
        EXPECT_EQ(found[0]["message"], c.message);
        EXPECT_EQ(found[0]["severity"], 1);
        EXPECT_EQ(found[0]["source"], "glimmark");
    }
}

TEST(LspDiagnostics, ErrorInsideAnIncludedFile) {
    TempFolder dir;
    dir.write("inc.gmk", "SPHERE END_SPHERE\n; a comment\n  BAD\n");
    const std::string uri = lsp::uri_of_path(dir.file("scene.gmk"));
    LspSession session;
    session.initialize();
    session.open(uri, "SCENE\n INCLUDE FILE \"inc.gmk\" END_INCLUDE\nEND_SCENE\n");
    const Json found = session.diagnostics(uri);
    ASSERT_EQ(found.size(), 1u) << found;
    // At the INCLUDE's end word, as the studio selects it.
    EXPECT_EQ(found[0]["range"], range(1, 24, 1, 35));
    const Json related = found[0]["relatedInformation"];
    ASSERT_EQ(related.size(), 1u) << found;
    EXPECT_EQ(related[0]["location"]["uri"], lsp::uri_of_path(dir.file("inc.gmk")));
    EXPECT_EQ(related[0]["location"]["range"], range(2, 0, 2, 0));
    EXPECT_EQ(related[0]["message"], "The word \"BAD\" stands here, in the INCLUDE FILE text.");
}

TEST(LspDiagnostics, FilesThatCannotBeOpenedWithAStrictCheck) {
    TempFolder dir;
    const std::string text =
        "TRACER WIDTH 40 HEIGHT 30 END_TRACER\nSCENE\n SPHERE\n  MATERIAL "
        "TEXTURE_FILE \"nothere.png\" END_MATERIAL\n END_SPHERE\nEND_SCENE\n";
    const std::string uri = lsp::uri_of_path(dir.file("a scene.gmk"));
    {
        LspSession session;
        session.initialize();
        session.open(uri, text);
        const Json found = session.diagnostics(uri);
        ASSERT_EQ(found.size(), 1u) << found;
        EXPECT_EQ(found[0]["message"], "Could not load texture.");
        EXPECT_EQ(found[0]["range"], range(3, 25, 3, 36));
        // The texture is drawn and the scene saved: checked again.
        std::filesystem::copy_file(std::string(GMK_SOURCE_DIR) + "/examples/tiles.png",
                                   dir.file("nothere.png"));
        session.notify("textDocument/didSave", {{"textDocument", {{"uri", uri}}}});
        EXPECT_EQ(session.diagnostics(uri), Json::array());
    }
    // The quicker check, as a client may ask for it.
    LspSession session;
    session.request(1, "initialize", {{"initializationOptions", {{"strict", false}}}});
    session.answer(1);
    session.open(uri, text);
    EXPECT_EQ(session.diagnostics(uri), Json::array());
}

TEST(LspDiagnostics, DocumentThatIsNoFile) {
    LspSession session;
    session.initialize();
    session.open("untitled:Untitled-1", "TRACER WIDTH 640\n");
    const Json found = session.diagnostics("untitled:Untitled-1");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]["message"], "Expected END_TRACER.");
}

TEST(LspDiagnostics, ChangesAndClose) {
    const std::string uri = "file:///nonexistent/changing.gmk";
    LspSession session;
    session.initialize();
    session.open(uri, "SCENE\n  SPHER\nEND_SCENE\n", 1);
    EXPECT_EQ(session.diagnostics(uri, 1).size(), 1u);
    // Incremental: "SPHER" becomes "SPHERE END_SPHERE"; a range past the
    // end of the text stands for its end.
    session.notify("textDocument/didChange",
                   {{"textDocument", {{"uri", uri}, {"version", 2}}},
                    {"contentChanges",
                     {{{"range", range(1, 2, 1, 7)}, {"text", "SPHERE END_SPHERE"}},
                      {{"range", range(40, 0, 99, 5)}, {"text", "; the end\n"}}}}});
    EXPECT_EQ(session.diagnostics(uri, 2), Json::array());
    // Changes in a row: only the last text's result counts, and it comes
    // last.
    for (int version = 3; version <= 8; ++version)
        session.notify("textDocument/didChange",
                       {{"textDocument", {{"uri", uri}, {"version", version}}},
                        {"contentChanges",
                         {{{"text", version % 2 ? "SCENE SPHER END_SCENE" : "SCENE END_SCENE"}}}}});
    EXPECT_EQ(session.diagnostics(uri, 8), Json::array());
    session.notify("textDocument/didClose", {{"textDocument", {{"uri", uri}}}});
    const Json closed = session.next();
    EXPECT_EQ(closed["params"]["diagnostics"], Json::array()) << closed;
    EXPECT_FALSE(closed["params"].contains("version"));
}

}  // namespace
