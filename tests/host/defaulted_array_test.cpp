// The array that stores nothing while every element holds its default.
#include "host/defaulted_array.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

TEST(DefaultedArray, StoresFromTheFirstValueThatDiffers) {
  DefaultedArray<uint32_t> colors(0xFFFFFFFFu);
  colors.push_back(0xFFFFFFFFu);
  colors.resize(3);
  EXPECT_FALSE(colors.Stored());
  EXPECT_EQ(colors.ToVector(), std::vector<uint32_t>(3, 0xFFFFFFFFu));

  // A first element that differs is kept, even in an empty array.
  DefaultedArray<uint32_t> first(0xFFFFFFFFu);
  first.push_back(7);
  first.push_back(0xFFFFFFFFu);
  EXPECT_EQ(first.ToVector(), (std::vector<uint32_t>{7, 0xFFFFFFFFu}));

  colors.Set(1, 5);
  colors.push_back(9);
  colors.resize(5);
  EXPECT_TRUE(colors.Stored());
  EXPECT_EQ(colors.ToVector(), (std::vector<uint32_t>{0xFFFFFFFFu, 5, 0xFFFFFFFFu, 9, 0xFFFFFFFFu}));
  EXPECT_EQ(colors.back(), 0xFFFFFFFFu);
}

TEST(DefaultedArray, ValuesAreComparedBitForBit) {
  // -0 is not the default +0: a weight set to it keeps its sign.
  DefaultedArray<float> weights(0.0f);
  weights.resize(2);
  weights.Set(0, 0.0f);
  EXPECT_FALSE(weights.Stored());
  weights.Set(1, -0.0f);
  EXPECT_TRUE(std::signbit(weights[1]));
  EXPECT_FALSE(std::signbit(weights[0]));
}

TEST(DefaultedArray, EditsKeepStoredAndDefaultValuesInPlace) {
  DefaultedArray<uint32_t> plain(0), stored(0);
  for (uint32_t i = 0; i < 6; ++i) {
    plain.push_back(0);
    stored.push_back(i);
  }
  for (DefaultedArray<uint32_t>* a : {&plain, &stored}) {
    a->Erase(1, 3);
    a->Reverse(0, 3);
  }
  EXPECT_EQ(plain.ToVector(), std::vector<uint32_t>(4, 0));
  EXPECT_EQ(stored.ToVector(), (std::vector<uint32_t>{4, 3, 0, 5}));

  // Either side of an append may be stored.
  DefaultedArray<uint32_t> joined = plain;
  joined.Append(stored);
  joined.Append(plain);
  EXPECT_EQ(joined.ToVector(), (std::vector<uint32_t>{0, 0, 0, 0, 4, 3, 0, 5, 0, 0, 0, 0}));
  plain.Append(plain);
  EXPECT_FALSE(plain.Stored());
  EXPECT_EQ(plain.size(), 8u);

  // Writing in place stores the values first; a moved-from array is empty.
  plain.MutableData()[7] = 2;
  EXPECT_EQ(plain[7], 2u);
  DefaultedArray<uint32_t> taken = std::move(plain);
  EXPECT_EQ(taken.size(), 8u);
  EXPECT_EQ(plain.size(), 0u);  // NOLINT(bugprone-use-after-move)
  plain.push_back(0);
  EXPECT_EQ(plain.ToVector(), std::vector<uint32_t>{0});
}

}  // namespace
