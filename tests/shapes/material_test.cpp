#include <gtest/gtest.h>

#include <limits>

#include "shapes/material.h"
#include "unit_shape_test_support.h"

using namespace shapetest;

namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct LookupCase {
    const char* name;
    float density, u, v;
    Vector3 want;
};

class ColourAtTest : public ::testing::TestWithParam<LookupCase> {};

// A shape placed at infinity hands the lookup coordinates that are not
// finite; they read texel 0, the first texel of the top row.
TEST_P(ColourAtTest, ReadsTheWrappedTexel) {
    const LookupCase& c = GetParam();
    Material m = gradientTexture(c.density);
    m.texels[0] = {0.7f, 0.8f, 0.9f};
    expectNear(m.colourAt(c.u, c.v), c.want, 1e-6f);
}

const Vector3 kTexelZero{0.7f, 0.8f, 0.9f};

INSTANTIATE_TEST_SUITE_P(
    Cases, ColourAtTest,
    ::testing::Values(LookupCase{"Inside", 1, 0.25f, 0.5f, {0.25f, 0.5f, 0}},
                      // Whole numbers wrap to 0 however large.
                      LookupCase{"HugeFinite", 1, 3e38f, -1e30f, kTexelZero},
                      LookupCase{"HugeColumn", 1, 1e30f, 0.5f, {0, 0.5f, 0}},
                      LookupCase{"NanU", 1, kNan, 0.5f, kTexelZero},
                      LookupCase{"NanV", 1, 0.25f, kNan, kTexelZero},
                      LookupCase{"InfiniteU", 1, kInf, 0.5f, kTexelZero},
                      LookupCase{"MinusInfiniteV", 1, 0.25f, -kInf, kTexelZero},
                      // density * u overflows to infinity.
                      LookupCase{"DensityOverflows", 4, 3e38f, 0.5f, kTexelZero}),
    caseName<LookupCase>);

}  // namespace
