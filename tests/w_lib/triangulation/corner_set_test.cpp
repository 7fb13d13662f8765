// The ear clipper's set of corner positions still to be asked: the next
// member round the ring, across words and their summary, and after the
// last position back to the first; and its count of the remaining
// positions in a run round the ring.
#include "w_lib/triangulation/corner_set.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "w_lib/triangulation/corner_count.h"

TEST(CornerSet, FindsTheNextMemberRoundTheRingAsASetWould) {
  for (const int n : {1, 63, 64, 65, 4096, 4097, 70000}) {
    CornerSet corners;
    corners.Fill(n);
    std::set<int> members;
    for (int k = 0; k < n; ++k) members.insert(k);
    uint32_t seed = 5;
    const auto next = [&seed](int below) { return static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 8) % below; };
    const auto expected = [&](int k) {
      if (members.empty()) return -1;
      const auto after = members.upper_bound(k);
      return after != members.end() ? *after : *members.begin();
    };
    // Thin out the set to a few members far apart, asking all along.
    for (int round = 0; round < 4 * n + 200; ++round) {
      const int k = next(n);
      if (round % 7 == 0) {
        corners.Insert(k);
        members.insert(k);
      } else {
        corners.Erase(k);
        members.erase(k);
      }
      const int from = next(n);
      ASSERT_EQ(corners.NextAfter(from), expected(from)) << n << ", round " << round << ", from " << from;
    }
    for (const int k : std::set<int>(members)) {
      corners.Erase(k);
      members.erase(k);
    }
    EXPECT_EQ(corners.NextAfter(n - 1), -1) << n;
    corners.Insert(n - 1);
    EXPECT_EQ(corners.NextAfter(n - 1), n - 1) << n;  // itself, a whole turn on
    EXPECT_EQ(corners.NextAfter(0), n == 1 ? 0 : n - 1) << n;
  }
}

TEST(CornerCount, CountsTheRemainingPositionsRoundTheRingAsAWalkWould) {
  for (const int n : {1, 2, 7, 64, 1000}) {
    CornerCount count;
    count.Fill(n);
    std::vector<char> remains(static_cast<size_t>(n), 1);
    uint32_t seed = 11;
    const auto next = [&seed](int below) { return static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 8) % below; };
    const auto walked = [&](int from, int to) {
      int met = 0;
      int k = from;
      do {
        k = (k + 1) % n;
        met += remains[static_cast<size_t>(k)];
      } while (k != to);
      return met;
    };
    for (int round = 0; round < 3 * n; ++round) {
      const int k = next(n);
      if (remains[static_cast<size_t>(k)] && round % 3 == 0) {
        count.Remove(k);
        remains[static_cast<size_t>(k)] = 0;
      }
      const int from = next(n), to = next(n);
      ASSERT_EQ(count.Between(from, to), walked(from, to)) << n << ", round " << round << ": " << from << ".." << to;
    }
  }
}
