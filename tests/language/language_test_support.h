#pragma once

// Parsing a document in a test, two ways: LanguageParse prepares the parse
// state as the parse entry does and leaves the parsing to the test (the
// scanner, the expressions and the blocks need nothing else); SceneParse runs
// one parse through the controller, as Play and Parse Only do. The render
// thread of its building parse does nothing and sends nothing back, so the
// scene and the lists stay as the parse left them until the fixture is
// destroyed. Either way the parse's first error reaches the recording host
// once, as a front end shows it: the controller shows it, and LanguageParse
// shows the error its state holds when the test first asks for a message.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "core/frame.h"
#include "language/document.h"
#include "language/parse_context.h"
#include "language/tokenizer.h"
#include "run/headless_host.h"
#include "run/trace_controller.h"
#include "scene/scene.h"
#include "shapes/material.h"
#include "shapes/shape.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "tests/support/vector_near.h"

// A host that keeps the parse's message boxes instead of showing them.
struct ParseMessages {
    HeadlessHost host;

    ParseMessages() { host.quiet = true; }
    // The text of the first message box, empty without one.
    std::string error() { return shown().messages.empty() ? "" : host.messages.front().text; }
    size_t message_count() { return shown().messages.size(); }
    // The host, once the error of a parse that shows nothing itself has been
    // shown through it.
    HeadlessHost& shown() {
        if (shows_ != nullptr && shows_->parse_error && !error_shown_) {
            error_shown_ = true;
            host.show_parse_error(shows_->parse_error_record);
        }
        return host;
    }

  protected:
    // The parse state whose first error the fixture shows; none when the
    // controller shows it.
    const ParseContext* shows_ = nullptr;

  private:
    bool error_shown_ = false;
};

struct LanguageParse : ParseMessages {
    ParseContext pc;
    std::string text;

    explicit LanguageParse(const std::string& document, bool build = true) : text(document) {
        shows_ = &pc;
        pc.build_scene = build;
        if (build) {
            Frame* root = new Frame;
            root->setIdentity();
            pc.frame_list.append(root);
            pc.material_list.append(new Material);
            pc.scene = std::make_unique<Scene>();
        }
        set_text(pc.document, text.c_str());
    }
};

// The whole document loop; true when it ended without an error.
inline bool parse_whole(LanguageParse& p) {
    parse_document(p.pc);
    p.shown();
    return !p.pc.parse_error;
}

inline int idle_render_entry(RenderJob*) { return 0; }

struct SceneParse : ParseMessages {
    TraceController tc;
    std::string text;

    SceneParse() { tc.host = &host; }

    // True when the parse ended without an error.
    bool parse(const std::string& document, bool build = true) {
        text = document;
        tc.start(text.c_str(), build, false, build ? idle_render_entry : nullptr);
        host.join_render_thread();
        return !tc.parsed().parse_error;
    }
    bool check(const std::string& document) { return parse(document, false); }

    std::vector<CShape*> shapes() const { return list_of(tc.parsed().scene->shapes); }
    static std::vector<CShape*> list_of(const ShapeList& list) {
        std::vector<CShape*> out;
        for (CShape* s = list.head; s != nullptr; s = nextOf(s))
            out.push_back(s);
        return out;
    }
    // The members, each TriangleMesh's triangles in its place as Triangles
    // made from its corners (kept by `made`).
    static std::vector<CShape*> triangles_of(const std::vector<CShape*>& members,
                                             std::vector<std::unique_ptr<Triangle>>& made) {
        std::vector<CShape*> out;
        for (CShape* s : members) {
            const auto* mesh = dynamic_cast<const TriangleMesh*>(s);
            if (mesh == nullptr) {
                out.push_back(s);
                continue;
            }
            for (const auto& f : mesh->faces) {
                const auto& a = mesh->corners[f.corner[0]];
                const auto& b = mesh->corners[f.corner[1]];
                const auto& c = mesh->corners[f.corner[2]];
                made.emplace_back(new Triangle(a.position, b.position, c.position, a.normal,
                                               b.normal, c.normal, a.u, a.v, b.u, b.v, c.u, c.v,
                                               mesh->material));
                out.push_back(made.back().get());
            }
        }
        return out;
    }
    std::vector<Material*> materials() const {
        std::vector<Material*> out;
        for (Material* m = tc.parsed().material_list.head; m != nullptr; m = m->next)
            out.push_back(m);
        return out;
    }
};

// "message at char n found: word" as the error box shows it.
inline std::string message_at(const std::string& message, int n, const std::string& word) {
    return message + " at char " + std::to_string(n) + " found: " + word;
}

inline bool is_separator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == '{';
}

// The message of an error at a whole word of the document (its first
// occurrence, or a later one), as the error box shows it.
inline std::string error_at(const std::string& message, const std::string& text,
                            const std::string& word, int occurrence = 0) {
    size_t at = 0;
    for (size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (text.compare(i, word.size(), word) != 0) continue;
        if (i > 0 && !is_separator(text[i - 1])) continue;
        const size_t end = i + word.size();
        if (end < text.size() && !is_separator(text[end])) continue;
        at = i;
        if (occurrence-- == 0) break;
    }
    const size_t after = at + word.size();
    // The separator behind the word is consumed with it, unless the text ends.
    const size_t position = after < text.size() ? after + 1 : after;
    return message_at(message, static_cast<int>(position), word);
}

// The message of an error reported at the very end of the text, after the
// last word `word` has been scanned.
inline std::string error_at_end(const std::string& message, const std::string& text,
                                const std::string& word) {
    return message_at(message, static_cast<int>(text.size()), word);
}

// One parse error: the document, the message, and the word it is found at
// (or, for an error at the end of the text, the last word scanned).
struct ErrorCase {
    const char* text;
    const char* message;
    const char* word;  // null for an error at the end of the text
    const char* last;
};

inline void PrintTo(const ErrorCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

// The same single message in a building and in a check-only parse.
class ErrorCaseTest : public ::testing::TestWithParam<std::tuple<ErrorCase, bool>> {
  protected:
    void expect_reported() {
        const auto& [c, build] = GetParam();
        const std::string text = c.text;
        SceneParse p;
        EXPECT_FALSE(p.parse(text, build));
        const std::string expected = c.word != nullptr ? error_at(c.message, text, c.word)
                                                       : error_at_end(c.message, text, c.last);
        EXPECT_EQ(p.error(), expected);
        EXPECT_EQ(p.message_count(), 1u);
    }
};
