#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

// A shape placed at infinity hands the lookup coordinates that are not
// finite; they read texel 0 (density 4 also takes 3e38 past the largest
// float). A huge finite coordinate is a whole number and wraps to 0.
TEST(ColourAtTest, CoordinatesThatAreNotFiniteReadTexelZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Material m = gradientTexture(4.0f);
    m.texels[0] = {0.7f, 0.8f, 0.9f};
    for (const auto& [u, v] : {std::pair{nan, 0.125f},
                               {0.0625f, nan},
                               {inf, 0.125f},
                               {0.0625f, -inf},
                               {3e38f, 0.125f}}) {
        SCOPED_TRACE(testing::Message() << "u " << u << " v " << v);
        expect_near(m.colourAt(u, v), {0.7f, 0.8f, 0.9f}, 0.0f);
    }
    expect_near(m.colourAt(1e30f, 0.125f), {0, 0.5f, 0}, 1e-6f);
}

}  // namespace
