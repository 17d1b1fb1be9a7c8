#pragma once

#include <string>

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
