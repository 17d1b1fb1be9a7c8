#include "app/test_picture.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "glimmark/canvas.h"

namespace {

constexpr float kPi = 3.14159f;

}  // namespace

void draw_test_picture(glimmark::Canvas& surface) {
    // The picture was made for a 15-bit generator (0 to 32767). Keeping 15 bits
    // keeps b between 5 and 17 and keeps r * 240 inside an int whatever
    // RAND_MAX the library has.
    const int r = std::rand() & 0x7FFF;
    const int b = (r * 240 / 32767) / 20 + 5;
    draw_test_picture(surface, static_cast<float>(b));
}

void draw_test_picture(glimmark::Canvas& surface, float b) {
    surface.fill_black(0, 0, kTestPictureSize, kTestPictureSize);
    for (int i = 0; i < 256; ++i) {
        const float y = 128.0f - 10.0f * std::sin(static_cast<float>(i) * 0.05f * kPi);
        surface.set_pixel(i, static_cast<int>(y), 0x000080);
    }

    float c = 4.0f;
    float d = 13.333333f;
    do {
        const float e = d;
        const float f = b + 0.9f * e;
        const float h = 5.0f - 0.3f * e;
        c = c * 0.5f;
        if (h < std::sin(f))
            d = e - c;
        else
            d = e + c;
        const uint32_t level = static_cast<uint32_t>(static_cast<int>(200.0f * c)) & 0xFF;
        surface.set_pixel(static_cast<int>(f * 20.0f / kPi), static_cast<int>(128.0f - 10.0f * h),
                          level | (level << 8) | (128u << 16));
    } while (c > 0.01f);

    surface.set_pixel(static_cast<int>(b * 20.0f / kPi), 78, 0x008000);
    surface.set_pixel(static_cast<int>((b + 11.999999f) * 20.0f / kPi), 118, 0x808000);
}
