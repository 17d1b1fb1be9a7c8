#include "language/number_run.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "core/huge_pages.h"
#include "language/expressions.h"
#include "language/parse_threads.h"
#include "language/tokenizer.h"

namespace {

// Whether a character may stand in a run of plain numbers: every character
// below '@' (digits, signs, points, separators) and the exponent letters. The
// run's words are checked one by one whatever this lets through; it only
// bounds how far the chunks of a cut run may read.
bool plain_character(unsigned char c) { return c < 0x40 || (c | 0x20) == 'e'; }

// The first character from `begin` on that cannot stand in a plain run, or
// `limit`; eight characters at a time while none has a bit of 0xC0 set.
int plain_extent(std::string_view text, int begin, int limit) {
    constexpr uint64_t High = 0xC0C0C0C0C0C0C0C0ull;
    int p = begin;
    for (;;) {
        while (p + 8 <= limit) {
            uint64_t eight = 0;
            std::memcpy(&eight, text.data() + p, 8);
            if ((eight & High) != 0) break;
            p += 8;
        }
        const int stop = std::min(p + 8, limit);
        for (; p < stop; ++p)
            if (!plain_character(static_cast<unsigned char>(text[static_cast<size_t>(p)])))
                return p;
        if (p >= limit) return limit;
    }
}

// Reads the words that start in [from, to). A word may run on to `extent`,
// where it counts only when a separator stands behind it, as the scan would
// have it.
void read_piece(std::string_view text, int from, int to, int extent, NumberRun::Piece& piece) {
    piece.values.clear();
    piece.checkpoints.clear();
    piece.refused = false;
    piece.stopped = false;
    // Every word takes two characters at least, with its separator. The room
    // for that many is reserved at once, rounded up so that the next chunk
    // of about the same length finds it: it is never moved, and only what is
    // written of it is touched.
    const size_t most = static_cast<size_t>(std::max(to - from, 0)) / 2 + 1;
    const size_t room = (most | 0xFFFF) + 1;
    piece.values.reserve(room);
    piece.checkpoints.reserve(room / NumberRun::Checkpoint + 1);
    int p = from;
    for (;;) {
        PlainWord word;
        const PlainWord::Kind kind = read_plain_word(text, p, to, extent, word);
        if (kind != PlainWord::Number) {
            piece.stopped = kind != PlainWord::None;
            piece.refused = kind == PlainWord::Refused;
            return;
        }
        if (piece.values.size() % NumberRun::Checkpoint == 0) piece.checkpoints.push_back(word.end);
        piece.values.push_back(word.value);
    }
}

}  // namespace

PlainWord::Kind read_plain_word(std::string_view text, int& p, int to, int extent,
                                PlainWord& word) {
    while (p < to && is_word_separator(text[static_cast<size_t>(p)]))
        ++p;
    if (p >= to) return PlainWord::None;
    const int start = p;
    int end = p;
    // Most words of a mesh are a sign, up to nine digits and a point: their
    // value is read on the way to the word's end, as parse_number_word would
    // read it (the digits as one exact float, divided once by an exact power
    // of ten). Words of any other form go to parse_number_word.
    bool negative = false;
    if (end < extent &&
        (text[static_cast<size_t>(end)] == '+' || text[static_cast<size_t>(end)] == '-')) {
        negative = text[static_cast<size_t>(end)] == '-';
        ++end;
    }
    uint32_t mantissa = 0;
    int digits = 0;
    int scale = 0;
    bool point = false;
    bool short_decimal = true;
    for (; end < extent; ++end) {
        const char c = text[static_cast<size_t>(end)];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<uint32_t>(c - '0');
            ++digits;
            scale -= point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            if (is_word_separator(c)) break;
            short_decimal = false;
            while (end < extent && !is_word_separator(text[static_cast<size_t>(end)]))
                ++end;
            break;
        }
    }
    if (static_cast<size_t>(end) >= text.size() ||
        !is_word_separator(text[static_cast<size_t>(end)]))
        return PlainWord::Cut;
    if (short_decimal && digits > 0 && digits <= 9 && mantissa <= (uint32_t{1} << 24)) {
        constexpr float Powers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f};
        const float m = static_cast<float>(mantissa);
        const float v = scale < 0 ? m / Powers[-scale] : m;
        word.value = negative ? -v : v;
    } else if (end - start > MaxWord ||
               !parse_number_word(
                   text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)),
                   word.value)) {
        return PlainWord::Refused;
    }
    word.start = start;
    word.end = end;
    p = end + 1;
    return PlainWord::Number;
}

NumberRun::Values::Values(Values&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

NumberRun::Values& NumberRun::Values::operator=(Values&& other) noexcept {
    if (this != &other) {
        huge_free(data_, capacity_ * sizeof(float));
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

NumberRun::Values::~Values() { huge_free(data_, capacity_ * sizeof(float)); }

void NumberRun::Values::reserve(size_t count) {
    if (count <= capacity_) return;
    if (count > std::numeric_limits<size_t>::max() / sizeof(float)) throw std::bad_alloc();
    const size_t bytes = huge_rounded(count * sizeof(float));
    void* fresh = huge_allocate(bytes);
    if (size_ > 0) std::memcpy(fresh, data_, size_ * sizeof(float));
    huge_free(data_, capacity_ * sizeof(float));
    data_ = static_cast<float*>(fresh);
    capacity_ = bytes / sizeof(float);
}

void NumberRun::read(std::string_view text, int begin, int limit, int threads, int min_chunk) {
    text_ = text;
    // Chunks other than the first start wherever the cut falls: the text they
    // read must hold nothing a plain run could end at, so that none reads far
    // past the end of the run.
    extent_ = plain_extent(text, begin, limit);
    const int chunks =
        std::clamp((extent_ - begin) / std::max(min_chunk, 1), 1, std::max(threads, 1));
    if (pieces_.size() < static_cast<size_t>(chunks)) pieces_.resize(static_cast<size_t>(chunks));
    // Chunk edges, each moved on to a separator so that no word is cut.
    std::vector<int> edge(static_cast<size_t>(chunks) + 1);
    edge[0] = begin;
    edge[static_cast<size_t>(chunks)] = extent_;
    const long long length = extent_ - begin;
    for (int i = 1; i < chunks; ++i) {
        int p = begin + static_cast<int>(length * i / chunks);
        p = std::max(p, edge[static_cast<size_t>(i) - 1]);
        while (p < extent_ && !is_word_separator(text[p]))
            ++p;
        edge[static_cast<size_t>(i)] = p;
    }
    const auto read_chunk = [&](int i) {
        const size_t k = static_cast<size_t>(i);
        read_piece(text, edge[k], edge[k + 1], extent_, pieces_[k]);
    };
    if (chunks == 1)
        read_chunk(0);
    else
        run_in_parallel(chunks, read_chunk);
    // The run goes on through the chunks until one ends early.
    before_.assign(static_cast<size_t>(chunks), 0);
    size_ = 0;
    refused_ = false;
    bool ended = false;
    for (size_t k = 0; k < static_cast<size_t>(chunks); ++k) {
        before_[k] = size_;
        if (ended) continue;
        size_ += pieces_[k].values.size();
        refused_ = pieces_[k].refused;
        ended = pieces_[k].stopped;
    }
}

size_t NumberRun::piece_of(size_t word, size_t& index) const {
    const size_t k = static_cast<size_t>(std::upper_bound(before_.begin(), before_.end(), word) -
                                         before_.begin()) -
                     1;
    index = word - before_[k];
    return k;
}

void NumberRun::copy_values(size_t first, size_t count, float* out) const {
    size_t index = 0;
    size_t k = piece_of(first, index);
    while (count > 0) {
        const Values& values = pieces_[k].values;
        const size_t n = std::min(count, values.size() - index);
        std::copy_n(values.data() + index, n, out);
        out += n;
        count -= n;
        ++k;
        index = 0;
    }
}

int NumberRun::end_of(size_t word) const {
    size_t index = 0;
    const size_t k = piece_of(word, index);
    int p = pieces_[k].checkpoints[index / Checkpoint];
    // The words behind the checkpoint were read once: each is ended by a
    // separator, and only separators stand between them.
    for (size_t i = index % Checkpoint; i > 0; --i) {
        ++p;
        while (is_word_separator(text_[static_cast<size_t>(p)]))
            ++p;
        while (!is_word_separator(text_[static_cast<size_t>(p)]))
            ++p;
    }
    return p;
}
