#include "lsp/features.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "glimmark/help.h"
#include "glimmark/outline.h"
#include "glimmark/vocabulary.h"

namespace lsp {

namespace {

// LSP's kinds, by number.
enum SymbolKind {
    SymbolModule = 2,
    SymbolNamespace = 3,
    SymbolClass = 5,
    SymbolFunction = 12,
    SymbolVariable = 13,
    SymbolObject = 19,
    SymbolStruct = 23,
    SymbolEvent = 24
};
enum CompletionKind {
    CompletionFunction = 3,
    CompletionVariable = 6,
    CompletionClass = 7,
    CompletionKeyword = 14,
    CompletionFile = 17,
    CompletionFolder = 19,
    CompletionOperator = 24
};

// The semantic token types, in the order of glimmark::WordKind up to Name.
constexpr const char* token_types[] = {"keyword", "property", "operator", "number",
                                       "string",  "comment",  "variable"};

Json position_json(Position p) { return {{"line", p.line}, {"character", p.character}}; }

Json range_json(const LineIndex& lines, int start, int end) {
    return {{"start", position_json(lines.position_of(static_cast<std::size_t>(start)))},
            {"end", position_json(lines.position_of(static_cast<std::size_t>(end)))}};
}

std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string_view piece(const std::string& text, int start, int end) {
    return std::string_view(text).substr(static_cast<std::size_t>(start),
                                         static_cast<std::size_t>(end - start));
}

// The word, string or comment that holds `offset` or ends at it.
std::optional<glimmark::TextWord> word_at(const std::vector<glimmark::TextWord>& words,
                                          int offset) {
    for (const glimmark::TextWord& w : words)
        if (w.start <= offset && offset <= w.end) return w;
    return std::nullopt;
}

std::string file_path(const std::string& name, const std::string& folder) {
    std::filesystem::path path(name);
    if (path.is_relative() && !folder.empty()) path = std::filesystem::path(folder) / path;
    return path.lexically_normal().string();
}

const glimmark::DefinedName* defined(const std::vector<glimmark::DefinedName>& names,
                                     std::string_view word) {
    const auto found = std::find_if(names.rbegin(), names.rend(),
                                    [&](const glimmark::DefinedName& n) { return n.name == word; });
    return found == names.rend() ? nullptr : &*found;
}

// The word before a string, skipping comments: FILE, TEXTURE_FILE or
// OUTPUT_FILE tell what the string names.
std::string word_before(const std::string& text, const std::vector<glimmark::TextWord>& words,
                        int start) {
    for (auto it = words.rbegin(); it != words.rend(); ++it)
        if (it->end <= start && it->kind != glimmark::WordKind::Comment)
            return upper(piece(text, it->start, it->end));
    return {};
}

bool has_extension(const std::string& name, std::initializer_list<const char*> extensions) {
    const std::string extension = upper(std::filesystem::path(name).extension().string());
    for (const char* e : extensions)
        if (extension == upper(e)) return true;
    return false;
}

Json file_completions(const DocumentView& document, const std::string& typed,
                      const std::string& before) {
    Json items = Json::array();
    const std::size_t slash = typed.rfind('/');
    const std::string folder_part = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    std::filesystem::path folder = document.folder.empty() ? std::filesystem::path(".")
                                                           : std::filesystem::path(document.folder);
    folder /= folder_part;
    std::error_code ec;
    std::vector<Json> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        const bool directory = entry.is_directory(ec);
        if (!directory) {
            if (before == "TEXTURE_FILE" &&
                !has_extension(name, {".png", ".jpg", ".jpeg", ".bmp", ".tga"}))
                continue;
            if (before == "FILE" &&
                !has_extension(name, {".gmk", ".obj", ".ply", ".stl", ".gltf", ".glb"}))
                continue;
        }
        found.push_back({{"label", name + (directory ? "/" : "")},
                         {"kind", directory ? CompletionFolder : CompletionFile}});
    }
    std::sort(found.begin(), found.end(),
              [](const Json& a, const Json& b) { return a["label"] < b["label"]; });
    for (Json& item : found)
        items.push_back(std::move(item));
    return items;
}

int symbol_kind(const std::string& kind) {
    if (kind == "SCENE") return SymbolModule;
    if (kind == "TRACER" || kind == "ANIMATION" || kind == "FRAME" || kind == "LOOP" ||
        kind == "UNION" || kind == "INTERSECTION" || kind == "DIFFERENCE")
        return SymbolNamespace;
    if (kind == "CAMERA") return SymbolObject;
    if (kind == "LIGHT") return SymbolEvent;
    if (kind == "DEFINE") return SymbolFunction;
    if (kind == "INTERPOLATION") return SymbolVariable;
    if (kind == "MATERIAL") return SymbolClass;
    return SymbolStruct;
}

Json symbols_of(const std::vector<glimmark::Block>& blocks, const LineIndex& lines) {
    Json list = Json::array();
    for (const glimmark::Block& b : blocks) {
        Json children = symbols_of(b.blocks, lines);
        const bool named = b.kind == "DEFINE" || b.kind == "INTERPOLATION" || b.kind == "MATERIAL";
        // Unnamed materials, INCLUDEs and vertex lists are no entries of the
        // outline; what is inside them is.
        if ((named && b.name.empty()) || b.kind == "INCLUDE" || b.kind == "VERTEX_LIST") {
            for (Json& child : children)
                list.push_back(std::move(child));
            continue;
        }
        Json symbol{{"name", named || b.kind == "LOOP" ? b.kind + " " + b.name : b.kind},
                    {"kind", symbol_kind(b.kind)},
                    {"range", range_json(lines, b.start, b.end)},
                    {"selectionRange",
                     b.name_start >= 0
                         ? range_json(lines, b.name_start, b.name_end)
                         : range_json(lines, b.start,
                                      std::min(b.end, b.start + static_cast<int>(b.kind.size())))}};
        if (!children.empty()) symbol["children"] = std::move(children);
        list.push_back(std::move(symbol));
    }
    return list;
}

void folds_of(const std::vector<glimmark::Block>& blocks, const LineIndex& lines, Json& folds) {
    for (const glimmark::Block& b : blocks) {
        const int first = lines.position_of(static_cast<std::size_t>(b.start)).line;
        const int last = lines.position_of(static_cast<std::size_t>(b.end_word)).line;
        if (last > first) folds.push_back({{"startLine", first}, {"endLine", last}});
        folds_of(b.blocks, lines, folds);
    }
}

}  // namespace

Json semantic_token_legend() {
    return {{"tokenTypes", token_types}, {"tokenModifiers", Json::array()}};
}

Json hover(const DocumentView& document, Position at) {
    const LineIndex lines(document.text);
    const int offset = static_cast<int>(lines.offset_of(at));
    const std::vector<glimmark::TextWord> words = glimmark::text_words(document.text);
    const std::optional<glimmark::TextWord> word = word_at(words, offset);
    if (!word || word->kind == glimmark::WordKind::Comment ||
        word->kind == glimmark::WordKind::String || word->kind == glimmark::WordKind::Number)
        return nullptr;
    const std::string_view text = piece(document.text, word->start, word->end);
    std::string markdown;
    const std::vector<glimmark::Block> blocks = glimmark::outline(document.text);
    const std::vector<glimmark::DefinedName> names =
        glimmark::names_defined_before(blocks, word->end);
    if (const glimmark::DefinedName* name = defined(names, text)) {
        const glimmark::Block& b = *name->block;
        if (b.kind == "LOOP") {
            markdown = "The counter of the LOOP: the passes completed so far.";
        } else {
            // A definition's text, an interpolation's table, a material's
            // statements, as written.
            const int from = b.kind == "MATERIAL" ? b.start : b.name_end;
            const int to = b.kind == "MATERIAL" ? b.end : b.end_word;
            std::string body(piece(document.text, from, std::max(from, to)));
            while (!body.empty() && (body.front() == '\n' || body.front() == '\r'))
                body.erase(body.begin());
            while (!body.empty() && std::isspace(static_cast<unsigned char>(body.back())))
                body.pop_back();
            markdown = "**" + b.kind + " " + b.name + "**\n\n```glimmark\n" + body + "\n```";
        }
    } else {
        markdown = glimmark::help_entry(text);
    }
    if (markdown.empty()) return nullptr;
    return {{"contents", {{"kind", "markdown"}, {"value", markdown}}},
            {"range", range_json(lines, word->start, word->end)}};
}

Json completion(const DocumentView& document, Position at) {
    const LineIndex lines(document.text);
    const int offset = static_cast<int>(lines.offset_of(at));
    const std::vector<glimmark::TextWord> words = glimmark::text_words(document.text);
    const std::optional<glimmark::TextWord> word = word_at(words, offset);
    if (word && word->kind == glimmark::WordKind::Comment && offset > word->start)
        return Json::array();
    if (word && word->kind == glimmark::WordKind::String && offset > word->start) {
        const std::string before = word_before(document.text, words, word->start);
        if (before != "FILE" && before != "TEXTURE_FILE") return Json::array();
        const std::string typed(piece(document.text, word->start + 1, offset));
        return file_completions(document, typed, before);
    }
    const std::vector<glimmark::Block> blocks = glimmark::outline(document.text);
    const std::vector<const glimmark::Block*> around = glimmark::blocks_around(blocks, offset);
    Json items = Json::array();
    const std::string inside = around.empty() ? std::string() : around.back()->kind;
    for (const std::string_view w : glimmark::words_allowed_in(inside))
        items.push_back({{"label", w}, {"kind", CompletionKeyword}});
    if (!around.empty())
        for (const std::string_view w : glimmark::operator_words())
            items.push_back({{"label", w}, {"kind", CompletionOperator}});
    const int before = word ? word->start : offset;
    std::vector<std::string> seen;
    const std::vector<glimmark::DefinedName> names = glimmark::names_defined_before(blocks, before);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (std::find(seen.begin(), seen.end(), it->name) != seen.end()) continue;
        seen.push_back(it->name);
        const int kind = it->kind == "DEFINE"     ? CompletionFunction
                         : it->kind == "MATERIAL" ? CompletionClass
                                                  : CompletionVariable;
        items.push_back({{"label", it->name}, {"kind", kind}, {"detail", it->kind}});
    }
    return items;
}

Json definition(const DocumentView& document, Position at) {
    const LineIndex lines(document.text);
    const int offset = static_cast<int>(lines.offset_of(at));
    const std::vector<glimmark::Block> blocks = glimmark::outline(document.text);
    // INCLUDE FILE "name": the file.
    for (const glimmark::Block* b : glimmark::blocks_around(blocks, offset))
        if (b->kind == "INCLUDE" && b->file && b->name_start - 1 <= offset &&
            offset <= b->name_end + 1)
            return {{"uri", uri_of_path(file_path(b->name, document.folder))},
                    {"range", {{"start", position_json({0, 0})}, {"end", position_json({0, 0})}}}};
    const std::vector<glimmark::TextWord> words = glimmark::text_words(document.text);
    const std::optional<glimmark::TextWord> word = word_at(words, offset);
    if (!word || word->kind == glimmark::WordKind::Comment) return nullptr;
    const std::vector<glimmark::DefinedName> names =
        glimmark::names_defined_before(blocks, word->end);
    const glimmark::DefinedName* name =
        defined(names, piece(document.text, word->start, word->end));
    if (name == nullptr) return nullptr;
    return {{"uri", document.uri}, {"range", range_json(lines, name->start, name->end)}};
}

Json document_symbols(const DocumentView& document) {
    const LineIndex lines(document.text);
    return symbols_of(glimmark::outline(document.text), lines);
}

Json folding_ranges(const DocumentView& document) {
    const LineIndex lines(document.text);
    Json folds = Json::array();
    folds_of(glimmark::outline(document.text), lines, folds);
    for (const glimmark::TextWord& w : glimmark::text_words(document.text)) {
        if (w.kind != glimmark::WordKind::Comment) continue;
        const int first = lines.position_of(static_cast<std::size_t>(w.start)).line;
        const int last = lines.position_of(static_cast<std::size_t>(w.end)).line;
        if (last > first)
            folds.push_back({{"startLine", first}, {"endLine", last}, {"kind", "comment"}});
    }
    return folds;
}

Json semantic_tokens(const DocumentView& document) {
    const LineIndex lines(document.text);
    std::vector<int> data;
    Position last;
    const auto add = [&](Position start, int length, int type) {
        if (length <= 0) return;
        data.push_back(start.line - last.line);
        data.push_back(start.line == last.line ? start.character - last.character
                                               : start.character);
        data.push_back(length);
        data.push_back(type);
        data.push_back(0);
        last = start;
    };
    for (const glimmark::TextWord& w : glimmark::text_words(document.text)) {
        if (w.kind == glimmark::WordKind::Other) continue;
        const int type = static_cast<int>(w.kind);
        Position start = lines.position_of(static_cast<std::size_t>(w.start));
        const Position end = lines.position_of(static_cast<std::size_t>(w.end));
        // A token does not span lines: a long comment is one per line.
        while (start.line < end.line) {
            const Position line_end = lines.position_of(lines.offset_of({start.line, INT_MAX}));
            add(start, line_end.character - start.character, type);
            start = Position{start.line + 1, 0};
        }
        add(start, end.character - start.character, type);
    }
    return {{"data", data}};
}

}  // namespace lsp
