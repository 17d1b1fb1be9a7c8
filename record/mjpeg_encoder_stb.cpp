// Motion-JPEG frames by stb_image_write, for builds without libjpeg-turbo
// (the WebAssembly one). Baseline JPEG with 4:2:0 chroma below quality 90,
// as stb_image_write chooses; the studio and the command use mjpeg_encoder.cpp.

#include <algorithm>

#include "record/mjpeg_encoder.h"

#define STBIW_ASSERT(x)
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

// JPEG's own limit on a side.
constexpr int MaxJpegSide = 65535;

void append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

struct MjpegEncoder::State {
    std::string error;
};

MjpegEncoder::MjpegEncoder() : state_(std::make_unique<State>()) {}

MjpegEncoder::~MjpegEncoder() = default;

bool MjpegEncoder::ready() const { return true; }

const std::string& MjpegEncoder::error() const { return state_->error; }

bool MjpegEncoder::encode(const uint8_t* rgb, int width, int height, int quality,
                          std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0 || width > MaxJpegSide || height > MaxJpegSide) {
        state_->error = "picture size out of range for JPEG";
        return false;
    }
    out.clear();
    if (stbi_write_jpg_to_func(append, &out, width, height, 3, rgb, std::clamp(quality, 1, 100)) ==
        0) {
        state_->error = "the JPEG encoder refused the picture";
        return false;
    }
    return true;
}
