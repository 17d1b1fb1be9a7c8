// One libFuzzer target per model format, chosen by GMK_FUZZ_MODEL_FORMAT when
// compiled: the bytes go to the model reader as a file of that format would.
// A model it accepts must hand on as many triangles as it says, every number
// finite, within the budget.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "scene/model_file.h"

namespace {

// Smaller than a scene's whole budget, so that each run stays quick; the
// budget is the same code whatever the number.
constexpr long long FuzzMaxTriangles = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    long long handed = 0;
    const ModelResult result = read_model_bytes(data, size, GMK_FUZZ_MODEL_FORMAT, FuzzMaxTriangles,
                                                [&handed](const float* numbers) {
                                                    for (int i = 0; i < ModelTriangleNumbers; ++i)
                                                        if (!std::isfinite(numbers[i]) && i % 8 < 3)
                                                            std::abort();
                                                    ++handed;
                                                });
    if (result.status == ModelStatus::Loaded &&
        (handed != result.triangles || handed < 1 || handed > FuzzMaxTriangles))
        std::abort();
    if (result.status != ModelStatus::Loaded && handed != 0) std::abort();
    return 0;
}
