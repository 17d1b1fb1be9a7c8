#pragma once

// A parse state as the trace controller prepares it, without the controller:
// the scanner, the expressions and the document blocks need nothing else.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/frame.h"
#include "language/document.h"
#include "language/parse_context.h"
#include "language/tokenizer.h"
#include "run/headless_host.h"
#include "scene/scene.h"
#include "shapes/material.h"

struct LanguageParse {
    HeadlessHost host;
    ParseContext pc;
    std::string text;

    explicit LanguageParse(const std::string& document, bool build = true) : text(document) {
        host.quiet = true;
        pc.host = &host;
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
    ~LanguageParse() {
        if (pc.scene) {
            pc.scene->lights.deleteAll();
            pc.scene->shapes.deleteAll();
        }
    }

    // The text of the first message box, empty without one.
    std::string error() const { return host.messages.empty() ? "" : host.messages.front().text; }
    size_t message_count() const { return host.messages.size(); }
};

// The whole document loop; true when it ended without an error.
inline bool parse_whole(LanguageParse& p) {
    parse_document(p.pc);
    return !p.pc.parse_error;
}

// "message at char n found: word" as the error box shows it.
inline std::string message_at(const std::string& message, int n, const std::string& word) {
    return message + " at char " + std::to_string(n) + " found: " + word;
}
