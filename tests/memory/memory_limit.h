#pragma once

#include <cstddef>

// This test program replaces the global operator new with one that counts the
// bytes alive, so that a test can stand in for a machine that runs out of
// memory: while a limit is set, a request that would take the bytes alive
// past it throws std::bad_alloc, as a full machine (or ulimit -v) makes it.
namespace memory_limit {

// Bytes allocated through operator new and not yet released.
std::size_t alive();

// Allows `budget` more bytes than are alive now, until the guard ends.
class Budget {
  public:
    explicit Budget(std::size_t budget);
    ~Budget();
    Budget(const Budget&) = delete;
    Budget& operator=(const Budget&) = delete;
};

// Requests refused since the program started.
std::size_t refusals();

}  // namespace memory_limit
