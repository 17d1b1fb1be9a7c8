#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_document.h"

// The `check` command's parse: nothing is built or traced.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run_document(std::string(reinterpret_cast<const char*>(data), size), false);
    return 0;
}
