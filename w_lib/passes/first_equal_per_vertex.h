// A lookup for the passes that share records per vertex: for each vertex it
// keeps the entries seen so far that differ from one another, so that a new
// entry can be matched with the earliest equal one in near-constant time.
// Most vertices hold a few entries in a short chain; a vertex that collects
// many distinct ones (the centre of a fan) moves them to a hash table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The bits of a float for keys and hashes of values compared with ==: -0
// reads as 0, so values that compare equal (NaN aside) have equal bits.
inline uint32_t EqualityBits(float f) {
  if (f == 0.0f) return 0;
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

class FirstEqualPerVertex {
 public:
  // Vertices are 0 .. vertex_count - 1. expected_entries is a hint: room is
  // reserved (not touched) for that many distinct entries.
  FirstEqualPerVertex(int vertex_count, size_t expected_entries)
      : head_(static_cast<size_t>(vertex_count > 0 ? vertex_count : 0), kEmpty) {
    nodes_.reserve(expected_entries);
  }

  // Returns the entry added earlier at vertex that same() holds for with
  // entry, or -1 when there is none; adds nothing.
  template <class Same>
  int Find(int vertex, int entry, const Same& same, uint32_t entry_hash) const {
    const int head = head_[static_cast<size_t>(vertex)];
    if (head != kHashed) {
      for (int n = head; n != kEmpty; n = nodes_[static_cast<size_t>(n)].next)
        if (same(nodes_[static_cast<size_t>(n)].entry, entry)) return nodes_[static_cast<size_t>(n)].entry;
      return -1;
    }
    const size_t mask = table_.size() - 1;
    for (size_t i = Mix(vertex, entry_hash) & mask;; i = (i + 1) & mask) {
      const Slot& slot = table_[i];
      if (slot.entry == kEmpty) return -1;
      if (slot.vertex == vertex && slot.hash == entry_hash && same(slot.entry, entry)) return slot.entry;
    }
  }

  // Returns the entry added earlier at vertex that same() holds for with
  // entry; when there is none, adds entry and returns it. same(a, b) must be
  // an equivalence on the entries passed, hash(a) the same for equal ones.
  template <class Same, class Hash>
  int FindOrAdd(int vertex, int entry, const Same& same, const Hash& hash) {
    int& head = head_[static_cast<size_t>(vertex)];
    if (head != kHashed) {
      int length = 0;
      // The entries of a vertex differ from one another, so at most one
      // matches and the walking order does not matter.
      for (int n = head; n != kEmpty; n = nodes_[static_cast<size_t>(n)].next, ++length)
        if (same(nodes_[static_cast<size_t>(n)].entry, entry)) return nodes_[static_cast<size_t>(n)].entry;
      if (length < kMaxChain) {
        nodes_.push_back(Node{entry, head});
        head = static_cast<int>(nodes_.size() - 1);
        return entry;
      }
      for (int n = head; n != kEmpty; n = nodes_[static_cast<size_t>(n)].next)
        Insert(vertex, nodes_[static_cast<size_t>(n)].entry, hash(nodes_[static_cast<size_t>(n)].entry));
      head = kHashed;
    }
    const uint32_t h = hash(entry);
    if (table_.empty() || 2 * (used_ + 1) > table_.size()) Grow();
    const size_t mask = table_.size() - 1;
    for (size_t i = Mix(vertex, h) & mask;; i = (i + 1) & mask) {
      Slot& slot = table_[i];
      if (slot.entry == kEmpty) {
        slot = Slot{vertex, entry, h};
        ++used_;
        return entry;
      }
      if (slot.vertex == vertex && slot.hash == h && same(slot.entry, entry)) return slot.entry;
    }
  }

 private:
  static constexpr int kEmpty = -1;
  static constexpr int kHashed = -2;
  static constexpr int kMaxChain = 8;

  struct Node {
    int entry;
    int next;
  };
  struct Slot {
    int vertex;
    int entry;  // kEmpty for a free slot
    uint32_t hash;
  };

  static size_t Mix(int vertex, uint32_t h) {
    uint64_t x = (static_cast<uint64_t>(static_cast<uint32_t>(vertex)) << 32) | h;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return static_cast<size_t>(x);
  }

  // Adds an entry known to differ from those of its vertex in the table.
  void Insert(int vertex, int entry, uint32_t h) {
    if (table_.empty() || 2 * (used_ + 1) > table_.size()) Grow();
    const size_t mask = table_.size() - 1;
    size_t i = Mix(vertex, h) & mask;
    while (table_[i].entry != kEmpty) i = (i + 1) & mask;
    table_[i] = Slot{vertex, entry, h};
    ++used_;
  }

  void Grow() {
    std::vector<Slot> old;
    old.swap(table_);
    table_.assign(old.empty() ? 64 : 2 * old.size(), Slot{0, kEmpty, 0});
    used_ = 0;
    for (const Slot& s : old)
      if (s.entry != kEmpty) Insert(s.vertex, s.entry, s.hash);
  }

  std::vector<int> head_;  // per vertex: first chain node, kEmpty or kHashed
  std::vector<Node> nodes_;
  std::vector<Slot> table_;
  size_t used_ = 0;
};
