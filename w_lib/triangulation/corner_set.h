// A set of a polygon's corner positions 0..n-1 that finds the next member
// round the ring after a given position in a few word steps: the ear
// clipper keeps in it the corners whose candidate ear has to be looked at
// again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CornerSet {
 public:
  // Every position of 0..n-1 becomes a member.
  void Fill(int n) {
    n_ = n;
    words_.assign(static_cast<size_t>((n + 63) / 64), ~uint64_t{0});
    if (n % 64 != 0) words_.back() = (uint64_t{1} << (n % 64)) - 1;
    summary_.assign((words_.size() + 63) / 64, 0);
    for (size_t w = 0; w < words_.size(); ++w)
      if (words_[w] != 0) summary_[w / 64] |= uint64_t{1} << (w % 64);
  }

  void Insert(int k) {
    const size_t w = static_cast<size_t>(k) / 64;
    words_[w] |= uint64_t{1} << (k % 64);
    summary_[w / 64] |= uint64_t{1} << (w % 64);
  }

  void Erase(int k) {
    const size_t w = static_cast<size_t>(k) / 64;
    words_[w] &= ~(uint64_t{1} << (k % 64));
    if (words_[w] == 0) summary_[w / 64] &= ~(uint64_t{1} << (w % 64));
  }

  // The first member met going round the ring from position k: k + 1, ...,
  // n - 1, 0, ..., k; -1 for an empty set.
  int NextAfter(int k) const {
    const int after = k + 1 < n_ ? First(k + 1) : -1;
    return after >= 0 ? after : First(0);
  }

 private:
  // The smallest member at or after position from, or -1.
  int First(int from) const {
    size_t w = static_cast<size_t>(from) / 64;
    const uint64_t here = words_[w] & (~uint64_t{0} << (from % 64));
    if (here != 0) return static_cast<int>(w * 64 + static_cast<size_t>(__builtin_ctzll(here)));
    ++w;
    for (size_t s = w / 64; s < summary_.size(); ++s) {
      uint64_t bits = summary_[s];
      if (s == w / 64) bits &= w % 64 == 0 ? ~uint64_t{0} : ~uint64_t{0} << (w % 64);
      if (bits == 0) continue;
      const size_t word = s * 64 + static_cast<size_t>(__builtin_ctzll(bits));
      return static_cast<int>(word * 64 + static_cast<size_t>(__builtin_ctzll(words_[word])));
    }
    return -1;
  }

  int n_ = 0;
  std::vector<uint64_t> words_;    // bit k % 64 of word k / 64: position k is a member
  std::vector<uint64_t> summary_;  // bit w % 64 of word w / 64: words_[w] has a member
};
