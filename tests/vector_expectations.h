// Expectations on vectors whose components come out of float arithmetic.
#pragma once

#include <gtest/gtest.h>

#include "w_lib/util/w_math.h"

// Each component of a within tolerance of b's.
inline void ExpectNear(const WVector& a, const WVector& b, float tolerance = 1e-6f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}
