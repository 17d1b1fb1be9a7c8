#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/huge_pages.h"
#include "language/blocks.h"
#include "language/expressions.h"
#include "language/scene_budget.h"
#include "language/source_ranges.h"
#include "language/tokenizer.h"

namespace {

// An INCLUDE within the text of an INCLUDE within ... ends here; without a
// limit a text that includes itself would be read for ever.
constexpr int MaxIncludeDepth = 32;
// Splices of one parse; texts that include each other several times would
// otherwise multiply without end.
constexpr long long MaxIncludes = 1048576;
// The document with everything spliced into it: four times the editor's
// 16 MB, so that no inclusion can exhaust memory.
constexpr long long MaxDocumentLength = 0x4000000;
// Characters copied by the splices of one parse: each splice copies the text
// behind it, so that many splices into a long document take time without end.
constexpr long long MaxSplicedCharacters = 1LL << 33;

// The oldest DEFINE with this name. File texts have no name and are never found.
const TextBuffer* find_text(const ParseContext& pc, const std::string& name) {
    if (name.empty()) return nullptr;
    auto it = pc.text_names.find(name);
    return it == pc.text_names.end() ? nullptr : it->second;
}

// Reads the whole file into `out`; false when it cannot be read, with
// `too_large` set when it is a file longer than any document may be. Only
// regular files of at most MaxDocumentLength bytes are read: a device or a
// pipe may never end. Like any document, the text ends at its first NUL byte.
bool read_file(const ParseContext& pc, const std::string& name, TextBuffer& out, bool& too_large) {
    too_large = false;
    std::string path = resolve_document_path(pc, name);
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return false;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return false;
    if (size > static_cast<std::uintmax_t>(MaxDocumentLength)) {
        too_large = true;
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    // Read straight into the buffer, with room for a line feed and the text
    // behind the INCLUDE, so that the splice moves the text rather than
    // copying it.
    std::string& content = out.text;
    const int behind = std::max(pc.document.length - pc.document.position, 0);
    content.reserve(static_cast<size_t>(size) + 1 + static_cast<size_t>(behind));
    // A long text is read into huge pages: a fault per 2 MB instead of one
    // per 4 KB, which is much of the time it takes to read many megabytes.
    advise_huge_pages(content.data(), content.capacity());
    // In pieces appended as they come: a resize first would clear the whole
    // text only for the read to overwrite it.
    content.clear();
    char piece[1 << 16];
    while (content.size() < static_cast<size_t>(size)) {
        const size_t want = std::min(sizeof piece, static_cast<size_t>(size) - content.size());
        in.read(piece, static_cast<std::streamsize>(want));
        content.append(piece, static_cast<size_t>(in.gcount()));
        // A file that shrank since its size was taken keeps what was read.
        if (static_cast<size_t>(in.gcount()) < want) break;
    }
    if (in.bad()) return false;
    const size_t nul = content.find('\0');
    if (nul != std::string::npos) content.resize(nul);
    out.length = static_cast<int>(content.size());
    out.position = 0;
    out.offset = 0;
    return true;
}

// The line feeds of a text, eight characters at a time: a long INCLUDE FILE
// is counted before its first word is read.
size_t count_line_feeds(const std::string& text) {
    constexpr uint64_t Low7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t Feeds = 0x0A0A0A0A0A0A0A0Aull;
    size_t count = 0;
    size_t i = 0;
    while (i + 8 <= text.size()) {
        // Up to 255 groups of eight add their line feeds in byte lanes.
        uint64_t lanes = 0;
        for (int group = 0; group < 255 && i + 8 <= text.size(); ++group, i += 8) {
            uint64_t eight = 0;
            std::memcpy(&eight, text.data() + i, 8);
            eight ^= Feeds;
            // The top bit of each byte that was a line feed, and only those.
            const uint64_t feed = ~(((eight & Low7) + Low7) | eight | Low7);
            lanes += feed >> 7;
        }
        for (int lane = 0; lane < 8; ++lane)
            count += (lanes >> (8 * lane)) & 0xFF;
    }
    for (; i < text.size(); ++i)
        count += text[i] == '\n' ? 1 : 0;
    return count;
}

// True when the scan of the text on its own would end inside a word or a ";"
// comment. Spliced in as it is, such a text would run into what follows the
// INCLUDE: its last word glued to the next one, its comment eating the line.
bool ends_open(const std::string& text) {
    // A line feed or carriage return ends a word and a ";" comment alike,
    // and leaves a "[" comment open: a text that ends with one (most files
    // do) is never open at its end.
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) return false;
    // The states of a scan from the start, each skipped through in one loop:
    // a long file is mostly words and separators.
    const char* p = text.data();
    const char* const end = p + text.size();
    auto separator = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',';
    };
    while (p < end) {
        const char c = *p;
        if (separator(c) || c == '{') {
            ++p;
        } else if (c == ';') {
            while (p < end && *p != '\n' && *p != '\r')
                ++p;
            if (p == end) return true;
            ++p;
        } else if (c == '[') {
            p = static_cast<const char*>(std::memchr(p, ']', static_cast<size_t>(end - p)));
            if (p == nullptr) return false;
            ++p;
        } else {
            while (p < end && !separator(*p))
                ++p;
            if (p == end) return true;
        }
    }
    return false;
}

}  // namespace

std::string resolve_document_path(const ParseContext& pc, const std::string& name) {
    namespace fs = std::filesystem;
    fs::path given(name);
    if (name.empty() || given.is_absolute() || pc.source_folder.empty()) return name;
    std::error_code ec;
    fs::path beside = fs::path(pc.source_folder) / given;
    if (fs::is_regular_file(beside, ec)) return beside.string();
    return name;
}

namespace {

// INCLUDE texts that the scan has left behind (fewer characters remain than
// stood behind them) are no longer open.
std::vector<OpenInclude>& close_finished_includes(ParseContext& pc, int remaining) {
    std::vector<OpenInclude>& open = pc.splice.includes_open;
    while (!open.empty() && remaining < open.back().tail)
        open.pop_back();
    return open;
}

}  // namespace

void reset_splices(ParseContext& pc) {
    pc.splice.includes_open.clear();
    pc.splice.loops.clear();
    pc.splice.includes = 0;
    pc.splice.loop_passes = 0;
    pc.splice.spliced_characters = 0;
    pc.splice.loop_characters = 0;
}

namespace {

// The limits and the loops' bookkeeping of a splice of `length` characters at
// the read position; false after a parse error.
bool prepare_splice(ParseContext& pc, long long length) {
    TextBuffer& doc = pc.document;
    int position = doc.position < 0 ? 0 : (doc.position > doc.length ? doc.length : doc.position);
    doc.position = position;
    int remaining = doc.length - position;
    if (length + remaining > MaxDocumentLength) {
        report_parse_error(pc, "Included text exceeded max (67108864 characters)");
        return false;
    }
    pc.splice.spliced_characters += length + remaining;
    if (pc.splice.spliced_characters > MaxSplicedCharacters) {
        report_parse_error(pc, "Included text exceeded max (8589934592 characters in all)");
        return false;
    }
    close_finished_includes(pc, remaining);
    // A running loop loses the text it has read so far; keep it, so that the
    // loop can be read again from its condition.
    for (LoopRestart* loop : pc.splice.loops) {
        int resume = doc.length - loop->resume_tail;
        if (position >= resume) {
            loop->captured.append(doc.text, static_cast<size_t>(resume),
                                  static_cast<size_t>(position - resume));
            loop->resume_tail = remaining;
        }
        loop->spliced = true;
    }
    return true;
}

}  // namespace

bool splice_text(ParseContext& pc, const std::string& text) {
    if (!prepare_splice(pc, static_cast<long long>(text.size()))) return false;
    insert_text(pc.document, text);
    return true;
}

bool splice_text(ParseContext& pc, std::string&& text) {
    if (!prepare_splice(pc, static_cast<long long>(text.size()))) return false;
    insert_text(pc.document, std::move(text));
    return true;
}

// define ::= DEFINE { word } NAME word { word } END_DEFINE
// The body is the text behind the last NAME word; END and "}" do not end it.
void parse_define(ParseContext& pc) {
    auto buffer = std::make_unique<TextBuffer>();
    int body_start = -1;
    while (more_to_read(pc)) {
        scan_token(pc);
        if (pc.token == NAME) {
            scan_token(pc);
            buffer->name = pc.word;
            body_start = pc.document.position;
        } else if (pc.token == END_DEFINE) {
            if (body_start < 0) {
                report_parse_error(pc, "Expected NAME before END_DEFINE.");
                return;
            }
            if (!budget_text(pc)) return;
            // The body ends where END_DEFINE begins when one separator follows it.
            int body_end = pc.document.position - static_cast<int>(pc.word.size()) - 1;
            if (body_end < body_start) body_end = body_start;
            // Lookups find the oldest text of a name, so a later one of the
            // same name (a DEFINE in a loop or in a file included again and
            // again) is never read: it keeps its place but not its text.
            const bool shadowed = find_text(pc, buffer->name) != nullptr || buffer->name.empty();
            std::string body =
                shadowed ? std::string()
                         : pc.document.text.substr(static_cast<size_t>(body_start),
                                                   static_cast<size_t>(body_end - body_start));
            std::string name = buffer->name;
            set_text(*buffer, body.c_str());
            buffer->name = name;
            if (!shadowed) pc.text_names.emplace(name, buffer.get());
            pc.text_list.append(buffer.release());
            return;
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_DEFINE.");
}

// include ::= INCLUDE { NAME word | FILE string } ( END_INCLUDE | END )
void parse_include(ParseContext& pc) {
    const IncludeRangeNote note(pc);
    const TextBuffer* found = nullptr;
    // A file's text is spliced in and then needed no more: a file included
    // on every pass of a loop must not pile up copies.
    TextBuffer file_text;
    std::string file_name;
    while (more_to_read(pc)) {
        scan_token(pc);
        switch (pc.token) {
            case NAME:
                scan_token(pc);
                file_name.clear();
                found = find_text(pc, pc.word);
                if (found == nullptr) report_parse_error(pc, "Could not find named INCLUDE.");
                break;
            case FILE_TOKEN: {
                read_string(pc);
                file_name = resolve_document_path(pc, pc.word);
                bool too_large = false;
                found = read_file(pc, pc.word, file_text, too_large) ? &file_text : nullptr;
                // A file too long to splice is refused before it is read.
                if (found == nullptr)
                    report_parse_error(pc, too_large
                                               ? "Included text exceeded max (67108864 characters)"
                                               : "Could not open INCLUDE file.");
                break;
            }
            case END_INCLUDE:
            case BLOCK_END: {
                if (found == nullptr) return;
                int remaining = pc.document.length - pc.document.position;
                std::vector<OpenInclude>& open = close_finished_includes(pc, remaining);
                if (static_cast<int>(open.size()) >= MaxIncludeDepth) {
                    report_parse_error(pc, "Include nesting exceeded max (32)");
                    return;
                }
                if (++pc.splice.includes > MaxIncludes) {
                    report_parse_error(pc, "Include count exceeded max (1048576)");
                    return;
                }
                // A text that ends in a word or a line comment gets a line
                // feed, so that it cannot run into the words behind it.
                const bool open_end = ends_open(found->text);
                OpenInclude record;
                record.tail = remaining;
                record.end_word = static_cast<int>(pc.word.size());
                record.separator = separator_behind_word(pc.document);
                if (!file_name.empty()) {
                    record.file = file_name;
                    record.lines =
                        1 + (open_end ? 1 : 0) + static_cast<int>(count_line_feeds(found->text));
                }
                bool spliced = false;
                if (found == &file_text) {
                    if (open_end) file_text.text.push_back('\n');
                    spliced = splice_text(pc, std::move(file_text.text));
                } else {
                    spliced = open_end ? splice_text(pc, found->text + '\n')
                                       : splice_text(pc, found->text);
                }
                if (spliced) open.push_back(record);
                return;
            }
            default:
                if (!pc.word.empty()) report_parse_error(pc, "Bad Include. Expected NAME or FILE");
                break;
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END of Include");
}

// interpolation ::= INTERPOLATION { NAME word | expr expr } END_INTERPOLATION
void parse_interpolation(ParseContext& pc) {
    if (!budget_record(pc)) return;
    Interpolation* table = new Interpolation;
    pc.interpolation_list.append(table);
    while (more_to_read(pc)) {
        scan_token(pc);
        if (pc.token == END_INTERPOLATION) return;
        if (pc.token == NAME) {
            scan_token(pc);
            table->name = pc.word;
            continue;
        }
        if (pc.word.empty()) continue;
        if (table->count >= Interpolation::MaxPoints) {
            report_parse_error(pc, "Interpolation points exceeded max (32)");
            return;
        }
        // The word is the first of a point: read it again as an expression.
        pc.document.position = pc.word_position;
        float t = read_expression(pc);
        float v = read_expression(pc);
        table->points[table->count][0] = t;
        table->points[table->count][1] = v;
        table->count += 1;
        table->period = t;
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_INTERPOLATION.");
}
