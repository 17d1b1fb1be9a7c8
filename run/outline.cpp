#include "glimmark/outline.h"

#include <algorithm>
#include <cctype>

#include "language/vocabulary.h"

namespace glimmark {

namespace {

std::string upper(std::string_view word) {
    std::string out(word);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The number reader's start: a sign, then digits with an optional point,
// at least one digit (the studio's highlighter's rule).
bool starts_with_number(std::string_view word) {
    std::size_t i = 0;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
    bool digit = false;
    while (i < word.size() && std::isdigit(static_cast<unsigned char>(word[i]))) {
        digit = true;
        ++i;
    }
    if (i < word.size() && word[i] == '.') {
        ++i;
        if (i < word.size() && std::isdigit(static_cast<unsigned char>(word[i]))) digit = true;
    }
    return digit;
}

bool is_statement(const std::string& word) {
    return std::any_of(std::begin(::statement_words), std::end(::statement_words),
                       [&](const auto& w) { return w.word == word; });
}

WordKind kind_of(std::string_view word) {
    const std::string capitals = upper(word);
    if (keyword_code(capitals) != TOKEN_NONE) return WordKind::Keyword;
    if (starts_with_number(word)) return WordKind::Number;
    if (is_statement(capitals)) return WordKind::Statement;
    Operator op;
    if (find_operator(capitals, op)) return WordKind::Operator;
    return WordKind::Other;
}

// The text's pieces as the scanner meets them: words, strings, comments.
std::vector<TextWord> scan(std::string_view text) {
    std::vector<TextWord> words;
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n) {
        const char c = text[static_cast<std::size_t>(i)];
        if (::is_word_separator(c) || c == '{') {
            ++i;
            continue;
        }
        const int start = i;
        if (c == ';' || c == '[' || c == '"') {
            const char close = c == ';' ? '\n' : c == '[' ? ']' : '"';
            // A quoted name, as the studio colours it, ends at its line's end
            // when it has no closing quote there.
            const std::size_t found =
                c == '"' ? text.find_first_of("\"\n", static_cast<std::size_t>(i) + 1)
                         : text.find(close, static_cast<std::size_t>(i) + 1);
            int end = found == std::string_view::npos ? n : static_cast<int>(found);
            if (c != ';' && end < n && text[static_cast<std::size_t>(end)] == close) ++end;
            if (c == ';' && end > start && text[static_cast<std::size_t>(end) - 1] == '\r') --end;
            words.push_back({start, end, c == '"' ? WordKind::String : WordKind::Comment});
            i = std::max(end, i + 1);
            continue;
        }
        while (i < n && !::is_word_separator(text[static_cast<std::size_t>(i)]))
            ++i;
        words.push_back({start, i,
                         kind_of(text.substr(static_cast<std::size_t>(start),
                                             static_cast<std::size_t>(i - start)))});
    }
    return words;
}

bool is_unit_shape(const std::string& kind) {
    for (const std::string_view shape :
         {"SPHERE", "CUBE", "CYLINDER", "CONE", "PARABOLOID", "HYPERBOLOID", "PLANE", "TRIAD",
          "PYRAMID", "COSINE", "EVERYWHERE"})
        if (kind == shape) return true;
    return false;
}

// Blocks that END and } do not close.
bool ends_only_by_its_own(const std::string& kind) {
    return kind == "DEFINE" || kind == "INTERPOLATION" || kind == "MESH" || kind == "VERTEX_LIST" ||
           kind == "SOR";
}

// The block a word opens, in capitals; empty when it opens none.
std::string opened_by(const std::string& capitals) {
    if (capitals == "VERTEX_LIST") return capitals;
    if (capitals.rfind("END", 0) == 0 || capitals == "}") return {};
    const int code = keyword_code(capitals);
    if (code == TOKEN_NONE) return {};
    for (const auto& w : ::keywords)
        if (w.code == code + 1 && w.word == "END_" + capitals) return capitals;
    return {};
}

}  // namespace

std::vector<TextWord> text_words(std::string_view text) {
    std::vector<TextWord> words = scan(text);
    // The names where they are defined.
    std::vector<Block> blocks = outline(text);
    std::vector<std::pair<int, int>> names;
    const auto collect = [&](const auto& self, const std::vector<Block>& list) -> void {
        for (const Block& b : list) {
            if (b.name_start >= 0 && !(b.kind == "INCLUDE"))
                names.emplace_back(b.name_start, b.name_end);
            self(self, b.blocks);
        }
    };
    collect(collect, blocks);
    for (TextWord& w : words)
        if (std::find(names.begin(), names.end(), std::make_pair(w.start, w.end)) != names.end())
            w.kind = WordKind::Name;
    return words;
}

std::vector<Block> outline(std::string_view text) {
    const std::vector<TextWord> words = scan(text);
    std::vector<Block> top;
    // The open blocks, innermost last.
    std::vector<Block> open;
    const auto close = [&](int end, int end_word, bool closed) {
        Block block = std::move(open.back());
        open.pop_back();
        block.end = end;
        block.end_word = end_word;
        block.closed = closed;
        (open.empty() ? top : open.back().blocks).push_back(std::move(block));
    };
    const int length = static_cast<int>(text.size());
    const auto word_text = [&](const TextWord& w) {
        return text.substr(static_cast<std::size_t>(w.start),
                           static_cast<std::size_t>(w.end - w.start));
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const TextWord& w = words[i];
        if (w.kind == WordKind::Comment) continue;
        const std::string capitals = upper(word_text(w));
        // The next word that is no comment.
        const auto following = [&](std::size_t from) {
            while (from < words.size() && words[from].kind == WordKind::Comment)
                ++from;
            return from;
        };
        if (!open.empty()) {
            Block& inner = open.back();
            const bool names = inner.kind == "DEFINE" || inner.kind == "INTERPOLATION" ||
                               inner.kind == "MATERIAL" || inner.kind == "INCLUDE";
            if (names && inner.name_start < 0 &&
                (capitals == "NAME" || (capitals == "FILE" && inner.kind == "INCLUDE"))) {
                const std::size_t next = following(i + 1);
                if (next < words.size()) {
                    const TextWord& name = words[next];
                    inner.file = capitals == "FILE";
                    int start = name.start;
                    int end = name.end;
                    if (name.kind == WordKind::String) {
                        ++start;
                        if (end > start && text[static_cast<std::size_t>(end) - 1] == '"') --end;
                    }
                    inner.name = std::string(text.substr(static_cast<std::size_t>(start),
                                                         static_cast<std::size_t>(end - start)));
                    inner.name_start = start;
                    inner.name_end = end;
                    i = next;
                }
                // A definition's text is not read: it runs to END_DEFINE.
                if (inner.kind == "DEFINE") {
                    std::size_t end = i + 1;
                    while (end < words.size() && (words[end].kind == WordKind::Comment ||
                                                  upper(word_text(words[end])) != "END_DEFINE"))
                        ++end;
                    if (end == words.size()) break;
                    close(words[end].end, words[end].start, true);
                    i = end;
                }
                continue;
            }
            if (capitals == "END_" + inner.kind ||
                (capitals == "END_VERTEX_LIST" && inner.kind == "VERTEX_LIST") ||
                ((capitals == "END" || capitals == "}") && !ends_only_by_its_own(inner.kind)) ||
                (is_unit_shape(inner.kind) && capitals.rfind("END_", 0) == 0 &&
                 is_unit_shape(capitals.substr(4)))) {
                close(w.end, w.start, true);
                continue;
            }
            // The end word of a block further out closes those inside it.
            if (capitals.rfind("END_", 0) == 0) {
                const auto outer = std::find_if(open.rbegin(), open.rend(), [&](const Block& b) {
                    return "END_" + b.kind == capitals;
                });
                if (outer != open.rend()) {
                    while (open.back().kind != outer->kind)
                        close(w.start, w.start, false);
                    close(w.end, w.start, true);
                    continue;
                }
            }
        }
        const std::string kind = w.kind == WordKind::String ? std::string() : opened_by(capitals);
        if (kind.empty()) continue;
        Block block;
        block.kind = kind;
        block.start = w.start;
        if (kind == "LOOP") {
            const std::size_t next = following(i + 1);
            if (next < words.size()) {
                block.name = std::string(word_text(words[next]));
                block.name_start = words[next].start;
                block.name_end = words[next].end;
                i = next;
            }
        }
        open.push_back(std::move(block));
    }
    while (!open.empty())
        close(length, length, false);
    return top;
}

std::vector<DefinedName> names_defined_before(const std::vector<Block>& blocks, int offset) {
    std::vector<DefinedName> names;
    const auto walk = [&](const auto& self, const std::vector<Block>& list) -> void {
        for (const Block& b : list) {
            if (b.start >= offset) return;
            const bool defines =
                b.kind == "DEFINE" || b.kind == "INTERPOLATION" || b.kind == "MATERIAL";
            const bool counter = b.kind == "LOOP" && offset <= b.end_word;
            if ((defines || counter) && b.name_start >= 0 && b.name_end <= offset)
                names.push_back({b.name, b.kind, b.name_start, b.name_end, &b});
            self(self, b.blocks);
        }
    };
    walk(walk, blocks);
    return names;
}

std::vector<const Block*> blocks_around(const std::vector<Block>& blocks, int offset) {
    std::vector<const Block*> around;
    const std::vector<Block>* list = &blocks;
    for (;;) {
        const auto inside = std::find_if(list->begin(), list->end(), [&](const Block& b) {
            return b.start < offset && (offset < b.end || (!b.closed && offset <= b.end));
        });
        if (inside == list->end()) return around;
        around.push_back(&*inside);
        list = &inside->blocks;
    }
}

std::vector<std::string_view> words_allowed_in(std::string_view kind) {
    static const std::vector<std::string_view> shapes = {
        "SPHERE", "CUBE",    "CYLINDER",     "CONE",       "PARABOLOID",    "HYPERBOLOID", "PLANE",
        "TRIAD",  "PYRAMID", "COSINE",       "EVERYWHERE", "QUADRIC",       "CUBIC",       "SOR",
        "MESH",   "UNION",   "INTERSECTION", "DIFFERENCE", "BOUNDING_SHAPE"};
    const auto with_shapes = [&](std::vector<std::string_view> words) {
        words.insert(words.end(), shapes.begin(), shapes.end());
        return words;
    };
    const std::string k(kind);
    if (k.empty()) return {"ANIMATION", "TRACER", "SCENE", "DEFINE", "INCLUDE"};
    if (k == "ANIMATION")
        return {"START_TIME",        "END_TIME",    "FRAMES",
                "FRAMES_PER_SECOND", "OUTPUT_FILE", "END_ANIMATION"};
    if (k == "TRACER")
        return {"WIDTH",         "HEIGHT",        "ANTIALIASING", "MAX_DEPTH",
                "NO_DIFFUSE",    "NO_HIGHLIGHTS", "NO_SHADOW",    "NO_REFLECTION",
                "NO_REFRACTION", "DEFINE",        "INCLUDE",      "END_TRACER"};
    if (k == "SCENE")
        return with_shapes({"CAMERA", "LIGHT", "FRAME", "MATERIAL", "INTERPOLATION", "DEFINE",
                            "INCLUDE", "LOOP", "BACKGROUND_COLOR", "AMBIENCE", "FOG_DEPTH",
                            "END_SCENE"});
    if (k == "FRAME" || k == "LOOP" || k == "UNION" || k == "INTERSECTION" || k == "DIFFERENCE")
        return with_shapes({"TRANSLATE", "SCALE", "ROTATE", "MATRIX", "FRAME", "LIGHT", "MATERIAL",
                            "INTERPOLATION", "DEFINE", "INCLUDE", "LOOP",
                            k == "LOOP"    ? "END_LOOP"
                            : k == "FRAME" ? "END_FRAME"
                                           : "END"});
    if (k == "CAMERA") return {"TRANSLATE", "SCALE", "ROTATE", "LOOK_AT", "END_CAMERA"};
    if (k == "LIGHT") return {"TRANSLATE", "COLOR", "STRENGTH", "END_LIGHT"};
    if (k == "MATERIAL")
        return {"DIFFUSE",    "GLOSS",       "TRANSPARENCY", "INNER_TRANSPARENCY_DEPTH",
                "REFLECTION", "REFRACTION",  "DENSITY",      "TEXTURE_FILE",
                "NAME",       "END_MATERIAL"};
    if (k == "INCLUDE") return {"NAME", "FILE", "END_INCLUDE"};
    if (k == "DEFINE") return {"NAME", "END_DEFINE"};
    if (k == "INTERPOLATION") return {"NAME", "END_INTERPOLATION"};
    if (k == "MESH")
        return {"MATERIAL", "VERTEX_LIST", "FILE", "TRANSLATE", "SCALE", "ROTATE", "END_MESH"};
    if (k == "QUADRIC" || k == "CUBIC")
        return {"COEFFICIENTS",
                "TRANSLATE",
                "SCALE",
                "ROTATE",
                "MATERIAL",
                "INTERPOLATION",
                k == "QUADRIC" ? "END_QUADRIC" : "END_CUBIC"};
    // A unit shape, or a SOR: its transforms, its material and its end word.
    std::vector<std::string_view> words = {"TRANSLATE", "SCALE",    "ROTATE",
                                           "MATRIX",    "MATERIAL", "INTERPOLATION"};
    const std::string end = "END_" + k;
    for (const auto& w : ::keywords)
        if (w.word == end) words.push_back(w.word);
    return words;
}

}  // namespace glimmark
