#include "glimmark/help.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

extern const char gmk_help_page_text[];
extern const unsigned long gmk_help_page_text_size;

namespace glimmark {

namespace {

// The longest section quoted; a longer one ends at the paragraph before.
constexpr std::size_t MaxSection = 3000;

struct Entity {
    std::string_view name;
    std::string_view text;
};
constexpr Entity entities[] = {
    {"amp", "&"},    {"lt", "<"},    {"gt", ">"},    {"quot", "\""}, {"nbsp", " "},
    {"hellip", "…"}, {"mdash", "—"}, {"ndash", "–"}, {"minus", "−"}, {"times", "×"},
    {"ne", "≠"},     {"le", "≤"},    {"ge", "≥"},    {"deg", "°"},   {"middot", "·"},
    {"rarr", "→"},   {"larr", "←"},  {"pi", "π"},    {"radic", "√"}, {"sup2", "²"},
};

std::string tag_name(std::string_view html, std::size_t at) {
    std::string name;
    for (std::size_t i = at + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/') break;
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

// Markdown for a piece of the page: tags to their marks, entities to their
// characters, runs of blanks to one outside <pre>.
std::string markdown(std::string_view html) {
    std::string out;
    bool pre = false;
    int cells = 0;
    bool header = false;
    auto blank_line = [&out] {
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        if (out.empty()) return;
        if (out.back() != '\n') out += '\n';
        if (out.size() < 2 || out[out.size() - 2] != '\n') out += '\n';
    };
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '<') {
            const std::size_t close = html.find('>', i);
            if (close == std::string_view::npos) break;
            const std::string tag = tag_name(html, i);
            i = close;
            if (tag == "code")
                out += '`';
            else if (tag == "/code")
                out += '`';
            else if (tag == "b" || tag == "/b" || tag == "strong" || tag == "/strong")
                out += "**";
            else if (tag == "i" || tag == "/i" || tag == "em" || tag == "/em")
                out += '*';
            else if (tag == "p" || tag == "/p" || tag == "ul" || tag == "/ul" || tag == "table" ||
                     tag == "/table")
                blank_line();
            else if (tag == "br")
                out += "  \n";
            else if (tag == "li") {
                if (!out.empty() && out.back() != '\n') out += '\n';
                out += "- ";
            } else if (tag == "tr") {
                if (!out.empty() && out.back() != '\n') out += '\n';
                out += "| ";
                cells = 0;
                header = false;
            } else if (tag == "/tr") {
                while (!out.empty() && out.back() == ' ')
                    out.pop_back();
                out += " |\n";
                // The row of column names, then the rule that makes it one.
                if (header) {
                    out += '|';
                    for (int i = 0; i < cells; ++i)
                        out += "---|";
                    out += '\n';
                }
            } else if (tag == "td" || tag == "th") {
                if (cells > 0) out += " | ";
                ++cells;
                header = header || tag == "th";
            } else if (tag == "pre") {
                blank_line();
                out += "```\n";
                pre = true;
            } else if (tag == "/pre") {
                out += "\n```\n\n";
                pre = false;
            } else if (tag.size() == 2 && tag[0] == 'h') {
                blank_line();
                out += "### ";
            } else if (tag.size() == 3 && tag[0] == '/' && tag[1] == 'h') {
                blank_line();
            }
            continue;
        }
        if (c == '&') {
            const std::size_t semicolon = html.find(';', i);
            if (semicolon != std::string_view::npos && semicolon - i < 10) {
                const std::string_view name = html.substr(i + 1, semicolon - i - 1);
                const auto found = std::find_if(std::begin(entities), std::end(entities),
                                                [&](const Entity& e) { return e.name == name; });
                if (found != std::end(entities)) {
                    out += found->text;
                    i = semicolon;
                    continue;
                }
            }
        }
        if (!pre && (c == '\n' || c == ' ' || c == '\t')) {
            if (!out.empty() && out.back() != ' ' && out.back() != '\n') out += ' ';
            continue;
        }
        out += c;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n'))
        out.pop_back();
    return out;
}

bool starts_block(std::string_view html, std::size_t at) {
    const std::string tag = tag_name(html, at);
    return tag == "tr" || tag == "li" || tag == "h2" || tag == "h3" || tag == "p" || tag == "dt";
}

}  // namespace

std::string_view help_page() { return {gmk_help_page_text, gmk_help_page_text_size}; }

std::string help_entry(std::string_view word) {
    if (word.empty()) return {};
    std::string id;
    for (const char c : word) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return {};
        id += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string_view page = help_page();
    const std::size_t at = page.find("id=\"" + id + "\"");
    if (at == std::string_view::npos) return {};
    std::size_t start = page.rfind('<', at);
    // An id on a cell, a span or a code names the row, heading or item it
    // stands in.
    while (start != std::string_view::npos && start > 0 && !starts_block(page, start))
        start = page.rfind('<', start - 1);
    if (start == std::string_view::npos) return {};
    const std::string tag = tag_name(page, start);
    std::size_t end = page.find("</" + tag + ">", start);
    if (tag == "h2" || tag == "h3") {
        // The section, to the next heading.
        end = std::min(page.find("<h2", start + 1), page.find("<h3", start + 1));
        if (end != std::string_view::npos && end - start > MaxSection) {
            const std::size_t paragraph = page.rfind("<p", start + MaxSection);
            end = paragraph > start ? paragraph : start + MaxSection;
        }
    } else if (tag == "tr") {
        // A row: the table's column names before it.
        const std::size_t table = page.rfind("<table", start);
        const std::size_t heads = page.find("<th", table);
        if (table != std::string_view::npos && heads != std::string_view::npos && heads < start) {
            const std::size_t row = page.rfind("<tr", heads);
            const std::size_t row_end = page.find("</tr>", heads);
            if (row != std::string_view::npos && row_end != std::string_view::npos)
                return markdown(page.substr(row, row_end + 5 - row)) + "\n" +
                       markdown(page.substr(start, end + 5 - start));
        }
    }
    if (end == std::string_view::npos) end = page.size();
    return markdown(page.substr(start, end - start));
}

}  // namespace glimmark
