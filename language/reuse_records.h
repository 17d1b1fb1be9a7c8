#pragma once

#include <string>
#include <vector>

// The counter of one running LOOP; value = completed passes.
struct LoopCounter {
    LoopCounter* previous = nullptr;
    LoopCounter* next = nullptr;
    int value = 0;
    std::string name;
};

// A named, periodic, piecewise-linear function of the scene time.
struct Interpolation {
    static constexpr int MaxPoints = 32;
    Interpolation* previous = nullptr;
    Interpolation* next = nullptr;
    std::string name;
    int count = 0;
    float points[MaxPoints][2] = {};
    float period = 1.0f;

    float evaluate(float time) const;
};

// A running LOOP whose text a splice has cut: the loop text read before the
// splice is kept so that the next pass can be read again.
struct LoopRestart {
    std::string captured;
    // Characters after the place where the loop text goes on (a splice keeps
    // this count, as it only changes the text before that place).
    int resume_tail = 0;
    bool spliced = false;
};

// An INCLUDE whose text is being read. The characters behind it stay as they
// are while it is read, so its end word can still be found in the editor.
struct OpenInclude {
    // Characters behind the INCLUDE's end word and its separator.
    int tail = 0;
    // Length of the end word, and 1 when a separator follows it.
    int end_word = 0;
    int separator = 0;
    // For INCLUDE FILE: the file, and the lines its spliced text ends with
    // (newlines plus one), so that a word's line can be counted from the end.
    std::string file;
    int lines = 0;
};

// What INCLUDE and LOOP know about the splices of the current parse.
struct SpliceState {
    // The INCLUDE texts being read, outermost first.
    std::vector<OpenInclude> includes_open;
    std::vector<LoopRestart*> loops;
    long long includes = 0;
    long long loop_passes = 0;
    // Characters the splices have copied (see splice_text).
    long long spliced_characters = 0;
    // Characters the loops have read again for their further passes.
    long long loop_characters = 0;
};
