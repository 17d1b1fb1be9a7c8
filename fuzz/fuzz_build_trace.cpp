#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_document.h"

// A building parse of any text and, when it parses, a traced 8 x 8 frame.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    run_document(std::string(reinterpret_cast<const char*>(data), size), true);
    return 0;
}
