#pragma once

// The answers to an editor's questions about one document: hover,
// completion, definition, outline, folding and colouring. Each reads the
// text afresh (glimmark/outline.h); offsets are bytes, positions UTF-16.

#include <string>

#include "lsp/protocol.h"
#include "lsp/text_positions.h"

namespace lsp {

// The document and where its relative file names are opened (its folder,
// or empty when it is no file).
struct DocumentView {
    const std::string& uri;
    const std::string& text;
    const std::string& folder;
};

// The token types of semanticTokens, in the order their numbers count.
Json semantic_token_legend();

Json hover(const DocumentView& document, Position at);
Json completion(const DocumentView& document, Position at);
Json definition(const DocumentView& document, Position at);
Json document_symbols(const DocumentView& document);
Json folding_ranges(const DocumentView& document);
Json semantic_tokens(const DocumentView& document);

}  // namespace lsp
