#pragma once

#include <string_view>
#include <vector>

// A run of plain number words, read as the scan would read them one at a time:
// every word is one parse_number_word takes, no longer than the scan reads at
// once, and ended by a separator. A long run (the corners of a large mesh) is
// cut at separators into chunks read on threads of their own, with the same
// values.
struct NumberRun {
    // Each word's value and the index of the separator that ends it.
    std::vector<float> values;
    std::vector<int> ends;
    // Where the examined text ended: the limit, or, when the run was cut into
    // chunks, the first character behind the start that no plain number or
    // separator holds.
    int extent = 0;
    // True when the run ended before the extent, at a word that is not a
    // plain number (or too long for one scan).
    bool refused = false;
};

// Reads the run that starts at `begin` of `text` and ends at `limit` or
// before. A run of at least two chunks of `min_chunk` characters is read on
// up to `threads` threads.
void read_number_run(std::string_view text, int begin, int limit, int threads, int min_chunk,
                     NumberRun& run);
