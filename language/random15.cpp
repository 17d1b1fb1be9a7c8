#include "language/random15.h"

namespace {

// The linear congruential generator of the C standard's example, in unsigned
// 32-bit arithmetic so that it wraps the same way everywhere.
uint32_t state = 1;

}  // namespace

int random15_next() {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state / 65536u) % 32768u);
}

void random15_seed(uint32_t seed) { state = seed; }
