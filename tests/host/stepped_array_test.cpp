// The array that keeps a first value and a step while its values follow them.
#include "host/stepped_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

TEST(SteppedArray, StoresFromTheFirstValueOffTheStep) {
  // Starts of quads: 0, 4, 8, ... kept as a step.
  SteppedArray starts{0};
  for (int32_t f = 1; f <= 1000; ++f) starts.push_back(4 * f);
  EXPECT_FALSE(starts.Stored());
  EXPECT_EQ(starts.size(), 1001u);
  EXPECT_EQ(starts[1000], 4000);
  EXPECT_EQ(starts.back(), 4000);

  // A triangle: stored from here on, every earlier value kept.
  starts.push_back(4003);
  EXPECT_TRUE(starts.Stored());
  std::vector<int32_t> expected;
  for (int32_t f = 0; f <= 1000; ++f) expected.push_back(4 * f);
  expected.push_back(4003);
  EXPECT_EQ(starts.ToVector(), expected);

  // One material everywhere costs nothing; a value that is already there
  // stores nothing either.
  SteppedArray materials;
  for (int i = 0; i < 100; ++i) materials.push_back(2);
  materials.Set(50, 2);
  EXPECT_FALSE(materials.Stored());
  materials.Set(50, -1);
  EXPECT_TRUE(materials.Stored());
  EXPECT_EQ(materials[49], 2);
  EXPECT_EQ(materials[50], -1);
}

TEST(SteppedArray, EditsKeepEveryOtherValue) {
  SteppedArray a;
  for (int32_t i = 0; i < 10; ++i) a.push_back(10 - 3 * i);  // a falling step
  EXPECT_FALSE(a.Stored());
  a.Erase(0);
  EXPECT_EQ(a.ToVector(), (std::vector<int32_t>{7, 4, 1, -2, -5, -8, -11, -14, -17}));
  a.Truncate(2);
  a.push_back(1);  // back on the step of what is left
  EXPECT_EQ(a.ToVector(), (std::vector<int32_t>{7, 4, 1}));

  // Truncated while on the step: the values after it may take a new one.
  SteppedArray b;
  for (int32_t i = 0; i < 5; ++i) b.push_back(i);
  b.Truncate(1);
  b.push_back(10);
  b.push_back(20);
  EXPECT_FALSE(b.Stored());
  EXPECT_EQ(b.ToVector(), (std::vector<int32_t>{0, 10, 20}));

  // Steps near the ends of the range are not wrapped.
  SteppedArray c;
  c.push_back(std::numeric_limits<int32_t>::min());
  c.push_back(std::numeric_limits<int32_t>::max());
  c.push_back(0);
  EXPECT_EQ(c.ToVector(),
            (std::vector<int32_t>{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0}));
  b.Reset();
  EXPECT_TRUE(b.empty());
}

}  // namespace
