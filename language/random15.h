#pragma once

#include <cstdint>

// The pseudo-random numbers of RND: a 15-bit generator of our own, so that
// every platform and build draws the same sequence. It is never seeded by the
// program; the draws go on from one parse to the next.
constexpr int Random15Max = 32767;

// The next value, from 0 to 32767.
int random15_next();
// Restarts the sequence (tests only; the program never calls it).
void random15_seed(uint32_t seed);
