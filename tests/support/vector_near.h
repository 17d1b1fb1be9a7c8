#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/vector3.h"

// Every component of `got` within `tolerance` of that of `want`; `what`
// names the vector in a failure.
inline void expect_near(const Vector3& got, const Vector3& want, float tolerance = 1e-5f,
                        const std::string& what = "") {
    EXPECT_NEAR(got.x, want.x, tolerance) << what;
    EXPECT_NEAR(got.y, want.y, tolerance) << what;
    EXPECT_NEAR(got.z, want.z, tolerance) << what;
}
