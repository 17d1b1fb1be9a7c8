#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

// One word read by read_plain_word.
struct PlainWord {
    enum Kind {
        Number,   // a plain number: value, start and end are set
        None,     // no word starts before `to`
        Cut,      // the word runs on to `extent` with no separator behind it
        Refused,  // not a plain number, or too long for one scan
    };
    float value = 0.0f;
    int start = 0;
    // The separator behind the word.
    int end = 0;
};

// Reads the word that starts at `p`, behind separators, or before `to`; a
// Number moves `p` behind the separator that ends it, as the scan would.
PlainWord::Kind read_plain_word(std::string_view text, int& p, int to, int extent, PlainWord& word);

// A run of plain number words, read as the scan would read them one at a time:
// every word is one parse_number_word takes, no longer than the scan reads at
// once, and ended by a separator. A long run (the corners of a large mesh) is
// cut at separators into chunks read on threads of their own, with the same
// values.
class NumberRun {
  public:
    // Reads the run that starts at `begin` of `text` and ends at `limit` or
    // before, in chunks of `min_chunk` characters or more on up to `threads`
    // threads. What an earlier read left is dropped; its memory is kept for
    // the next.
    void read(std::string_view text, int begin, int limit, int threads, int min_chunk);

    // The words of the run.
    size_t size() const { return size_; }
    // Copies the values of words [first, first + count) of the run to `out`.
    void copy_values(size_t first, size_t count, float* out) const;
    // The index in the text of the separator that ends word `word`.
    int end_of(size_t word) const;

    // Where the examined text ended: the first character behind the start
    // that cannot stand in a plain run (a letter other than e or E, a bracket
    // or a brace), or the limit.
    int extent() const { return extent_; }
    // True when the run ended before the extent, at a word that is not a
    // plain number (or too long for one scan).
    bool refused() const { return refused_; }

    // Values of one chunk. Large ones are kept in huge pages where the system
    // offers them: a page fault per 4 KB written would cost as much as
    // reading the numbers.
    class Values {
      public:
        Values() = default;
        Values(Values&& other) noexcept;
        Values& operator=(Values&& other) noexcept;
        Values(const Values&) = delete;
        Values& operator=(const Values&) = delete;
        ~Values();

        void reserve(size_t count);
        void clear() { size_ = 0; }
        void push_back(float value) {
            if (size_ == capacity_) reserve(2 * capacity_ + 4096);
            data_[size_++] = value;
        }
        size_t size() const { return size_; }
        const float* data() const { return data_; }

      private:
        float* data_ = nullptr;
        size_t size_ = 0;
        size_t capacity_ = 0;
    };

    // The words one chunk holds.
    struct Piece {
        Values values;
        // The separator behind every Checkpoint-th word, the first one included:
        // the end of any other word is found from the one before it.
        std::vector<int> checkpoints;
        bool refused = false;
        // The piece ended before the end of its chunk.
        bool stopped = false;
    };

    // Every Checkpoint-th word's end is kept (see Piece).
    static constexpr size_t Checkpoint = 16;

  private:
    // The piece that holds word `word`, and the word's index in it.
    size_t piece_of(size_t word, size_t& index) const;

    std::string_view text_;
    std::vector<Piece> pieces_;
    // Words in the run before each piece; pieces behind the run's end hold none.
    std::vector<size_t> before_;
    size_t size_ = 0;
    int extent_ = 0;
    bool refused_ = false;
};
