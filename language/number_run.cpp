#include "language/number_run.h"

#include <algorithm>
#include <array>

#include "language/expressions.h"
#include "language/parse_threads.h"
#include "language/tokenizer.h"

namespace {

// The characters of plain numbers written the usual way, and separators.
constexpr std::array<bool, 256> plain_characters() {
    std::array<bool, 256> plain{};
    for (const char c : std::string_view("0123456789+-.eE \t\n\r,"))
        plain[static_cast<unsigned char>(c)] = true;
    return plain;
}
constexpr std::array<bool, 256> Plain = plain_characters();

// The first character from `begin` on that is not Plain, or `limit`.
int plain_extent(std::string_view text, int begin, int limit) {
    int p = begin;
    while (p < limit && Plain[static_cast<unsigned char>(text[p])])
        ++p;
    return p;
}

// What one chunk holds.
struct Piece {
    std::vector<float> values;
    std::vector<int> ends;
    bool refused = false;
    // The piece ended before the end of its chunk.
    bool stopped = false;
};

// Reads the words that start in [from, to). A word may run on to `extent`,
// where it counts only when a separator stands behind it, as the scan
// would have it.
void read_piece(std::string_view text, int from, int to, int extent, Piece& piece) {
    const int size = static_cast<int>(text.size());
    int p = from;
    for (;;) {
        while (p < to && is_word_separator(text[p]))
            ++p;
        if (p >= to) return;
        const int start = p;
        while (p < extent && !is_word_separator(text[p]))
            ++p;
        if (p >= size || !is_word_separator(text[p])) {
            piece.stopped = true;
            return;
        }
        float value = 0.0f;
        if (p - start > MaxWord || !parse_number_word(text.substr(start, p - start), value)) {
            piece.stopped = true;
            piece.refused = true;
            return;
        }
        piece.values.push_back(value);
        piece.ends.push_back(p);
        ++p;
    }
}

}  // namespace

void read_number_run(std::string_view text, int begin, int limit, int threads, int min_chunk,
                     NumberRun& run) {
    run.values.clear();
    run.ends.clear();
    run.refused = false;
    run.extent = limit;
    min_chunk = std::max(min_chunk, 1);
    int chunks = 1;
    if (threads > 1 && limit - begin >= 2 * min_chunk) {
        // Chunks other than the first start wherever the cut falls: the text
        // they read must hold nothing a plain run could end at, so that none
        // reads far past the end of the run.
        run.extent = plain_extent(text, begin, limit);
        chunks = std::clamp((run.extent - begin) / min_chunk, 1, threads);
    }
    if (chunks == 1) {
        Piece piece;
        piece.values.swap(run.values);
        piece.ends.swap(run.ends);
        read_piece(text, begin, run.extent, run.extent, piece);
        run.values.swap(piece.values);
        run.ends.swap(piece.ends);
        run.refused = piece.refused;
        return;
    }
    // Chunk edges, each moved on to a separator so that no word is cut.
    std::vector<int> edge(static_cast<size_t>(chunks) + 1);
    edge[0] = begin;
    edge[static_cast<size_t>(chunks)] = run.extent;
    const long long length = run.extent - begin;
    for (int i = 1; i < chunks; ++i) {
        int p = begin + static_cast<int>(length * i / chunks);
        p = std::max(p, edge[static_cast<size_t>(i) - 1]);
        while (p < run.extent && !is_word_separator(text[p]))
            ++p;
        edge[static_cast<size_t>(i)] = p;
    }
    std::vector<Piece> pieces(static_cast<size_t>(chunks));
    pieces[0].values.swap(run.values);
    pieces[0].ends.swap(run.ends);
    run_in_parallel(chunks, [&](int i) {
        const size_t k = static_cast<size_t>(i);
        read_piece(text, edge[k], edge[k + 1], run.extent, pieces[k]);
    });
    // The run goes on through the chunks until one ends early.
    run.values.swap(pieces[0].values);
    run.ends.swap(pieces[0].ends);
    run.refused = pieces[0].refused;
    for (size_t k = 1; k < pieces.size() && !pieces[k - 1].stopped; ++k) {
        run.values.insert(run.values.end(), pieces[k].values.begin(), pieces[k].values.end());
        run.ends.insert(run.ends.end(), pieces[k].ends.begin(), pieces[k].ends.end());
        run.refused = pieces[k].refused;
    }
}
