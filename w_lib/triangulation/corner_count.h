// How many of a polygon's corner positions 0..n-1 remain in a run of them
// round the ring, in a few steps: a Fenwick tree over the remaining ones.
// The ear clipper counts with it the candidates that it steps over.
#pragma once

#include <vector>

class CornerCount {
 public:
  // Every position of 0..n-1 remains.
  void Fill(int n) {
    n_ = n;
    remaining_ = n;
    tree_.assign(static_cast<size_t>(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
      tree_[static_cast<size_t>(i)] += 1;
      const int up = i + (i & -i);
      if (up <= n) tree_[static_cast<size_t>(up)] += tree_[static_cast<size_t>(i)];
    }
  }

  // Position k, which remains, is taken away.
  void Remove(int k) {
    --remaining_;
    for (int i = k + 1; i <= n_; i += i & -i) --tree_[static_cast<size_t>(i)];
  }

  // The remaining positions met going round the ring from position from
  // to position to: from + 1, ..., to; all of them when to is from.
  int Between(int from, int to) const {
    return to > from ? UpTo(to) - UpTo(from) : remaining_ - UpTo(from) + UpTo(to);
  }

 private:
  // The remaining positions among 0..k.
  int UpTo(int k) const {
    int count = 0;
    for (int i = k + 1; i > 0; i -= i & -i) count += tree_[static_cast<size_t>(i)];
    return count;
  }

  int n_ = 0;
  int remaining_ = 0;
  std::vector<int> tree_;  // tree_[i]: the remaining positions among i - (i & -i) .. i - 1
};
