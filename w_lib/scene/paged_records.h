// A record array kept in pages: blocks of a fixed number of records, a
// power of two, found through a table of page pointers, so that record i is
// pages[i >> Shift][i & mask]. A large array then needs no single block of
// its whole size, only many smaller ones, which a fragmented address space
// (a 32-bit host's) still has when its largest free block is too small.
//
// The owner keeps the count and the capacity beside it, as for a plain
// block (record_array.h); the page table's length follows from the
// capacity. Every page holds a full page of records but the last, which is
// sized exactly to what is left of the capacity, so that an array of a few
// records costs no more than a plain block of them. Growing adds pages and
// resizes only the last one, so records in full pages never move.
//
// Pages are raw memory holding records made in place, and they are resized
// with realloc like a plain block: the records of the last page move with
// its bytes (record_array.h says when that is sound). The handle itself is
// one pointer, plain data, so that an owner holding it may move with its
// bytes too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

// Records per page, as a power of two: 2^14 records of a face (116 bytes in
// 32 bits) take under 2 MB, a block that a fragmented 2 GiB address space
// still finds by the hundred, while the page table of the largest arrays
// stays a few hundred pointers that sit in the cache.
constexpr int kRecordPageShift = 14;

// Where pages come from: the C allocator. Resize(nullptr, n) allocates; a
// failed Resize returns null and leaves the block as it was.
struct WCMemory {
  static void* Resize(void* block, size_t bytes) { return std::realloc(block, bytes); }
  static void Free(void* block) { std::free(block); }
};

template <class R, int Shift = kRecordPageShift, class Memory = WCMemory>
struct WPagedRecords {
  static_assert(Shift >= 0 && Shift < 30, "a page must hold from one record to 2^29");
  static_assert(sizeof(R) <= (SIZE_MAX >> Shift), "a page must fit in memory");
  static constexpr int kPageRecords = 1 << Shift;
  static constexpr size_t kMask = static_cast<size_t>(kPageRecords) - 1;

  R** pages = nullptr;  // null when the capacity is 0

  // Shallow constness, as a pointer to a plain block has: the records of a
  // const owner stay writable through it.
  template <class I>
  R& operator[](I i) const {
    static_assert(std::is_integral<I>::value, "records are found by an integer index");
    const size_t n = static_cast<size_t>(i);
    return pages[n >> Shift][n & kMask];
  }

  // Pages needed for a capacity, and the records in page p of it.
  static size_t PageCount(int capacity) {
    return capacity <= 0 ? 0 : ((static_cast<size_t>(capacity) - 1) >> Shift) + 1;
  }
  static int RecordsInPage(int capacity, size_t p) {
    const size_t before = p << Shift;
    const size_t left = static_cast<size_t>(capacity) - before;
    return left < static_cast<size_t>(kPageRecords) ? static_cast<int>(left) : kPageRecords;
  }

  // Calls f(first, n, index) for the records from..to-1, a run of records
  // in one page at a time, so that a walk over many records finds each
  // page once.
  template <class F>
  void ForEachRun(int from, int to, F&& f) const {
    for (int i = from; i < to;) {
      const size_t offset = static_cast<size_t>(i) & kMask;
      const int room = kPageRecords - static_cast<int>(offset);
      const int n = to - i < room ? to - i : room;
      f(pages[static_cast<size_t>(i) >> Shift] + offset, n, i);
      i += n;
    }
  }
};

namespace paged_detail {

// Shrinks a page table to its first n entries; a table that cannot be
// shrunk stays larger, which only costs its tail.
template <class R, class Memory>
void TrimTable(R**& table, size_t n) {
  if (n == 0) {
    Memory::Free(table);
    table = nullptr;
  } else if (void* trimmed = Memory::Resize(static_cast<void*>(table), n * sizeof(R*))) {
    table = static_cast<R**>(trimmed);
  }
}

}  // namespace paged_detail

// Resizes the pages' raw memory from one capacity to another: the records
// they hold are neither made nor destroyed here, only moved with the bytes
// of the last page. Returns false when memory runs out, with the pages as
// they were (the table may be longer, past its use).
template <class R, int Shift, class Memory>
[[nodiscard]] bool ResizePages(WPagedRecords<R, Shift, Memory>& block, int old_capacity, int new_capacity) {
  using Pages = WPagedRecords<R, Shift, Memory>;
  const size_t old_pages = Pages::PageCount(old_capacity);
  const size_t new_pages = Pages::PageCount(new_capacity);
  const auto bytes = [](int records) { return static_cast<size_t>(records) * sizeof(R); };
  R**& table = block.pages;

  if (new_pages < old_pages) {
    // The new last page is a full one cut to what is left; then the pages
    // past it go.
    if (new_pages > 0) {
      const size_t last = new_pages - 1;
      const int records = Pages::RecordsInPage(new_capacity, last);
      if (records != Pages::kPageRecords) {
        void* cut = Memory::Resize(static_cast<void*>(table[last]), bytes(records));
        if (!cut) return false;
        table[last] = static_cast<R*>(cut);
      }
    }
    for (size_t p = new_pages; p < old_pages; ++p) Memory::Free(table[p]);
    paged_detail::TrimTable<R, Memory>(table, new_pages);
    return true;
  }

  // As many pages or more: the new pages are allocated first and the old
  // last page resized last, so that a failure anywhere undoes only
  // allocations and leaves the old pages untouched.
  if (new_pages > old_pages) {
    void* grown = Memory::Resize(static_cast<void*>(table), new_pages * sizeof(R*));
    if (!grown) return false;
    table = static_cast<R**>(grown);
    for (size_t p = old_pages; p < new_pages; ++p) {
      void* page = Memory::Resize(nullptr, bytes(Pages::RecordsInPage(new_capacity, p)));
      if (!page) {
        for (size_t q = old_pages; q < p; ++q) Memory::Free(table[q]);
        paged_detail::TrimTable<R, Memory>(table, old_pages);
        return false;
      }
      table[p] = static_cast<R*>(page);
    }
  }
  if (old_pages > 0) {
    const size_t last = old_pages - 1;
    const int had = Pages::RecordsInPage(old_capacity, last);
    const int wanted = Pages::RecordsInPage(new_capacity, last);
    if (had != wanted) {
      void* resized = Memory::Resize(static_cast<void*>(table[last]), bytes(wanted));
      if (!resized) {
        for (size_t q = old_pages; q < new_pages; ++q) Memory::Free(table[q]);
        paged_detail::TrimTable<R, Memory>(table, old_pages);
        return false;
      }
      table[last] = static_cast<R*>(resized);
    }
  }
  return true;
}
