// The record-array pattern of the scene model, written once.
//
// An owner keeps three plain fields per array: a count (records in use), a
// capacity (records allocated) and the storage of capacity-many
// default-constructed records: a pointer to one block, or null when the
// capacity is 0, or the pages of a WPagedRecords (paged_records.h) for an
// array that may grow too large for one block. Both are indexed alike,
// block[i]. These templates take those three fields by reference, so each
// owner shows its arrays under their own names (vnum, vmax, vertices, ...),
// and WOwnedArrays gives an owner's arrays their copy, move and release.
//
// Records move when a block is reallocated or compacted: the result is the
// same as assignment, without deep-copying names and per-corner arrays.
//
// A block is raw memory from the C allocator holding capacity-many records
// made in place. A block's records move with its bytes: resizing a block
// goes through realloc, which can grow or shrink a large block where it
// lies (a remapping, with no copy and without the old and new blocks held
// at once) and otherwise copies the bytes once. That is sound only for
// records that own memory through WOwned helpers over plain fields, and
// ReserveRecords refuses at compile time a record that is neither plain
// data nor checked so (WMayMoveBytes, w_lib/util/owned.h). What the check
// cannot see stays a rule: no record points into itself, and nothing keeps
// the address of a record across a change of its array. Pages follow the
// same rule, though only the last page of an array ever moves.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "w_lib/scene/paged_records.h"
#include "w_lib/util/owned.h"

// Bit of a record's flags: removed by the next compaction of its array.
constexpr int kDeleted = 0x10;

// Smallest growth of the array families. A full array grows by half its
// capacity, and at least by its family's step, so that n adds move each
// record a bounded number of times on average, however large n gets.
constexpr int kSceneGrowth = 16;     // scene arrays and vertex weights
constexpr int kGeometryGrowth = 256;  // object geometry arrays
constexpr int kKeyGrowth = 32;        // animation keys

// Makes the capacity exactly max(n, count). The records in use keep their
// places and values; every slot past them holds a default record, as in a
// fresh block. Returns false, with nothing changed but those slots, when
// the block cannot be allocated: a caller that needs the room must not go
// on as if it had it.
template <class R>
[[nodiscard]] bool ReserveRecords(R*& block, int& count, int& capacity, int n) {
  static_assert(alignof(R) <= alignof(std::max_align_t), "the C allocator's alignment must do");
  static_assert(WMayMoveBytes<R>::value, "a record in a record array must be plain data or checked (owned.h)");
  const int m = n < count ? count : n;
  if (m == capacity && m == count) return true;  // already an exact fit
  if (static_cast<uint64_t>(m) > SIZE_MAX / sizeof(R)) return false;
  for (int i = count; i < capacity; ++i) block[i].~R();
  R* resized = nullptr;
  if (m > 0) {
    // Through void*: the records move with their bytes on purpose (see above).
    resized = static_cast<R*>(std::realloc(static_cast<void*>(block), static_cast<size_t>(m) * sizeof(R)));
    if (!resized) {
      for (int i = count; i < capacity; ++i) new (block + i) R();
      return false;
    }
  } else {
    std::free(block);
  }
  block = resized;
  for (int i = count; i < m; ++i) new (block + i) R();
  capacity = m;
  return true;
}

// The same for an array in pages: pages are added or dropped and the last
// one resized; records in full pages stay where they are.
template <class R, int Shift, class Memory>
[[nodiscard]] bool ReserveRecords(WPagedRecords<R, Shift, Memory>& block, int& count, int& capacity, int n) {
  static_assert(alignof(R) <= alignof(std::max_align_t), "the C allocator's alignment must do");
  static_assert(WMayMoveBytes<R>::value, "a record in a record array must be plain data or checked (owned.h)");
  const int m = n < count ? count : n;
  if (m == capacity && m == count) return true;  // already an exact fit
  const auto destroy = [](R* run, int k, int) {
    for (int j = 0; j < k; ++j) run[j].~R();
  };
  const auto make = [](R* run, int k, int) {
    for (int j = 0; j < k; ++j) new (run + j) R();
  };
  block.ForEachRun(count, capacity, destroy);
  if (!ResizePages(block, capacity, m)) {
    block.ForEachRun(count, capacity, make);
    return false;
  }
  block.ForEachRun(count, m, make);
  capacity = m;
  return true;
}

// The capacity that a full array of the given capacity grows to: half as
// large again, at least Step more, and never past INT_MAX. Returns the
// capacity itself when it cannot grow.
template <int Step>
int GrownCapacity(int capacity) {
  const int half = capacity / 2;
  const int step = half > Step ? half : Step;
  return capacity > INT_MAX - step ? INT_MAX : capacity + step;
}

// Appends one record and returns its index. The slot is not re-initialised.
// A full array grows geometrically (GrownCapacity); when that fails no slot
// is handed out and std::bad_alloc is thrown.
template <int Step, class Block>
int AddRecord(Block& block, int& count, int& capacity) {
  if (count >= capacity) {
    const int grown = GrownCapacity<Step>(capacity);
    if (grown <= count || !ReserveRecords(block, count, capacity, grown)) throw std::bad_alloc();
  }
  return count++;
}

// Frees the block and leaves the array empty.
template <class R>
void ReleaseRecords(R*& block, int& count, int& capacity) {
  for (int i = 0; i < capacity; ++i) block[i].~R();
  std::free(block);
  block = nullptr;
  count = 0;
  capacity = 0;
}

// Frees the pages and leaves the array empty.
template <class R, int Shift, class Memory>
void ReleaseRecords(WPagedRecords<R, Shift, Memory>& block, int& count, int& capacity) {
  block.ForEachRun(0, capacity, [](R* run, int k, int) {
    for (int j = 0; j < k; ++j) run[j].~R();
  });
  const size_t pages = block.PageCount(capacity);
  for (size_t p = 0; p < pages; ++p) Memory::Free(block.pages[p]);
  Memory::Free(block.pages);
  block.pages = nullptr;
  count = 0;
  capacity = 0;
}

// Makes an empty array a copy of another: the same capacity, the same count,
// and the records in use assigned one by one (deep copies).
template <class Block>
void CopyRecords(Block& block, int& count, int& capacity, const Block& source, int source_count, int source_capacity) {
  if (!ReserveRecords(block, count, capacity, source_capacity)) throw std::bad_alloc();
  count = source_count < 0 ? 0 : source_count;
  for (int i = 0; i < count; ++i) block[i] = source[i];
}

// The record arrays of an owner, owned: Arrays declares each array's three
// fields under the owner's names and lists them in its static
// ForEachArray(f), which calls f(block, count, capacity) with member
// pointers to them. WOwnedArrays<Arrays> gives those fields the value
// semantics of the owner (WOwned): a copy has each source array's capacity
// and count and deep copies of its records in use; a move trades blocks, so
// that the source releases what the target held; destruction releases every
// block. An owner derives from it and keeps the compiler's copy and move,
// so that no owner lists its fields for copying, and a new array is one
// more line in its ForEachArray.
template <class Arrays>
struct WArrayBlocks : Arrays {
  // Frees every block and leaves every array empty.
  void Release() noexcept {
    Arrays::ForEachArray([this](auto block, auto count, auto capacity) {
      ReleaseRecords(this->*block, this->*count, this->*capacity);
    });
  }
  // Fills arrays that are all empty.
  void CopyFrom(const WArrayBlocks& o) {
    Arrays::ForEachArray([this, &o](auto block, auto count, auto capacity) {
      CopyRecords(this->*block, this->*count, this->*capacity, o.*block, o.*count, o.*capacity);
    });
  }
};

template <class Arrays>
using WOwnedArrays = WOwned<WArrayBlocks<Arrays>>;

// The index of the first record marked deleted, or count when none is.
template <class Block>
int FirstDeadRecord(const Block& block, int count) {
  int i = 0;
  while (i < count && !(block[i].flags & kDeleted)) ++i;
  return i;
}

// Compaction, first step: every live record receives its new index in remap.
// Dead records keep the remap that names the record they were merged into.
// Returns the number of survivors.
template <class Block>
int NumberSurvivors(const Block& block, int count) {
  int next = 0;
  for (int i = 0; i < count; ++i)
    if (!(block[i].flags & kDeleted)) block[i].remap = next++;
  return next;
}

// Compaction, second step: a dead record merged into another takes that
// record's new index. A merge target out of range merges into nothing.
template <class Block>
void ResolveMerges(const Block& block, int count) {
  for (int i = 0; i < count; ++i) {
    auto& r = block[i];
    if (!(r.flags & kDeleted) || r.remap == -1) continue;
    r.remap = (r.remap >= 0 && r.remap < count) ? block[r.remap].remap : -1;
  }
}

// The new index of a reference after NumberSurvivors and ResolveMerges:
// -1 for a dead record that was not merged. References out of range are
// left as they are, so that a bad index never reads outside the block.
template <class Block>
int Remapped(const Block& block, int count, int index) {
  return (index >= 0 && index < count) ? block[index].remap : index;
}

// Compaction, last steps: moves the live records down in order, sets the
// count and shrinks the block to an exact fit.
template <class Block>
void RemoveDeadRecords(Block& block, int& count, int& capacity) {
  int kept = FirstDeadRecord(block, count);
  for (int i = kept; i < count; ++i) {
    if (block[i].flags & kDeleted) continue;
    if (kept != i) block[kept] = std::move(block[i]);
    ++kept;
  }
  count = kept;
  // Shrinking can only fail for want of memory; the larger block then stays.
  static_cast<void>(ReserveRecords(block, count, capacity, kept));
}
