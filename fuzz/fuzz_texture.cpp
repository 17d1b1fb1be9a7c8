// One libFuzzer target per texture decoder, chosen by GMK_FUZZ_DECODER when
// compiled: the bytes go to the decoder as a file's contents would. A picture
// it accepts must be as large as it says and within the limits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scene/texture_decoders.h"

namespace {

// Smaller than a scene's whole budget, so that each run stays quick; the
// limits are the same code whatever the number.
constexpr long long FuzzMaxTexels = 1LL << 22;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> file(data, data + size);
    DecodedBitmap picture;
    if (GMK_FUZZ_DECODER(file, FuzzMaxTexels, picture) != DecodeResult::Decoded) return 0;
    if (picture.width < 1 || picture.height < 1 || picture.width > MaxTextureSide ||
        picture.height > MaxTextureSide ||
        static_cast<long long>(picture.width) * picture.height > FuzzMaxTexels ||
        picture.rgb == nullptr)
        std::abort();
    // AddressSanitizer stops here when the buffer is shorter than the picture.
    const size_t last = static_cast<size_t>(picture.width) * picture.height * 3 - 1;
    volatile unsigned char ends = picture.rgb[0] ^ picture.rgb[last];
    (void)ends;
    return 0;
}
