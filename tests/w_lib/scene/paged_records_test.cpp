// Record arrays kept in pages: reserve, add, compaction, copy, move and
// release across page boundaries, and running out of memory midway.
// Pages of four records here, so that a few records cross several pages.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "test_scenes.h"

namespace {

// The C allocator, with every block's size kept, and a failure on demand:
// the call after `calls_left` more fails.
struct TestMemory {
  static std::map<void*, size_t>& Sizes() {
    static std::map<void*, size_t> sizes;
    return sizes;
  }
  static int calls_left;

  static void* Resize(void* block, size_t bytes) {
    if (calls_left == 0) return nullptr;
    if (calls_left > 0) --calls_left;
    void* resized = std::realloc(block, bytes);
    if (resized) {
      Sizes().erase(block);
      Sizes()[resized] = bytes;
    }
    return resized;
  }
  static void Free(void* block) {
    if (block) Sizes().erase(block);
    std::free(block);
  }
};
int TestMemory::calls_left = -1;

using Faces = WPagedRecords<WFace, 2, TestMemory>;

// An owner of one paged array, with the value semantics of a scene owner.
struct FaceArray {
  int fnum = 0, fmax = 0;
  Faces faces;

  template <class F>
  static void ForEachArray(F&& f) {
    f(&FaceArray::faces, &FaceArray::fnum, &FaceArray::fmax);
  }
};
using OwnedFaces = WOwnedArrays<FaceArray>;

// Appends a face of 3 to 7 corners (those past four own a block), its
// first index and material telling it apart.
void AddNumbered(OwnedFaces& a, int i) {
  const int f = AddRecord<4>(a.faces, a.fnum, a.fmax);
  a.faces[f].Size(3 + i % 5);
  a.faces[f].v[0] = i;
  a.faces[f].v[a.faces[f].num - 1] = -i;
  a.faces[f].material = i;
}

// The first indices of the faces in use.
std::vector<int> Numbers(const OwnedFaces& a) {
  std::vector<int> numbers;
  for (int f = 0; f < a.fnum; ++f) numbers.push_back(a.faces[f].v[0]);
  return numbers;
}

// Every face in use is whole: its corner count, both ends of its corners,
// its material.
void ExpectWhole(const OwnedFaces& a) {
  for (int f = 0; f < a.fnum; ++f) {
    const WFace& face = a.faces[f];
    const int i = face.v[0];
    ASSERT_EQ(face.num, 3 + i % 5) << "face " << f;
    EXPECT_EQ(face.v[face.num - 1], -i) << "face " << f;
    EXPECT_EQ(face.material, i) << "face " << f;
  }
}

// The byte sizes of the pages, in order.
std::vector<size_t> PageBytes(const OwnedFaces& a) {
  std::vector<size_t> bytes;
  for (size_t p = 0; p < Faces::PageCount(a.fmax); ++p) bytes.push_back(TestMemory::Sizes().at(a.faces.pages[p]));
  return bytes;
}

// Blocks held by the test allocator: pages and tables.
size_t BlocksHeld() { return TestMemory::Sizes().size(); }

class PagedRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    TestMemory::calls_left = -1;
    held_before_ = BlocksHeld();
  }
  void TearDown() override {
    TestMemory::calls_left = -1;
    EXPECT_EQ(BlocksHeld(), held_before_) << "a page or table was not freed";
  }

 private:
  size_t held_before_ = 0;
};

constexpr size_t kFace = sizeof(WFace);

}  // namespace

TEST_F(PagedRecords, IndexFindsThePageAndTheSlot) {
  OwnedFaces a;
  for (int i = 0; i < 10; ++i) AddNumbered(a, i);
  ASSERT_EQ(Faces::PageCount(a.fmax), 3u);
  EXPECT_EQ(&a.faces[5], a.faces.pages[1] + 1);
  EXPECT_EQ(&a.faces[9], a.faces.pages[2] + 1);
  EXPECT_EQ(&a.faces[size_t{4}], a.faces.pages[1]);  // any integer type
  EXPECT_EQ(&a.faces[3LL], a.faces.pages[0] + 3);
  const OwnedFaces& same = a;
  same.faces[2].material = 20;  // writable through a const owner, as a block is
  EXPECT_EQ(a.faces[2].material, 20);

  // Runs of one page at a time, from any index to any other.
  std::vector<std::pair<int, int>> runs;
  a.faces.ForEachRun(3, 10, [&](WFace* first, int n, int index) {
    EXPECT_EQ(first, &a.faces[index]);
    runs.emplace_back(index, n);
  });
  EXPECT_EQ(runs, (std::vector<std::pair<int, int>>{{3, 1}, {4, 4}, {8, 2}}));
  a.faces.ForEachRun(5, 5, [&](WFace*, int, int) { ADD_FAILURE() << "an empty range has no run"; });
}

TEST_F(PagedRecords, ReserveIsExactWithAPartialLastPage) {
  OwnedFaces a;
  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 0));
  EXPECT_EQ(a.faces.pages, nullptr);
  EXPECT_EQ(BlocksHeld(), 0u);

  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 3));  // less than one page
  EXPECT_EQ(a.fmax, 3);
  EXPECT_EQ(PageBytes(a), (std::vector<size_t>{3 * kFace}));

  for (int i = 0; i < 3; ++i) AddNumbered(a, i);
  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 9));  // the partial page filled, one full and one of one
  EXPECT_EQ(a.fmax, 9);
  EXPECT_EQ(PageBytes(a), (std::vector<size_t>{4 * kFace, 4 * kFace, kFace}));
  EXPECT_EQ(TestMemory::Sizes().at(a.faces.pages), 3 * sizeof(WFace*));  // the table fits too
  ExpectWhole(a);
  for (int i = 3; i < 9; ++i) {
    EXPECT_EQ(a.faces[i].num, 0);  // default records past the count
    EXPECT_EQ(a.faces[i].remap, -1);
  }

  for (int i = 3; i < 6; ++i) AddNumbered(a, i);
  a.faces[7].Size(9);  // past the count, owning corners: reset by the next reserve
  a.faces[7].flags = kDeleted;
  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 8));  // a full last page
  EXPECT_EQ(PageBytes(a), (std::vector<size_t>{4 * kFace, 4 * kFace}));
  EXPECT_EQ(a.faces[7].num, 0);
  EXPECT_EQ(a.faces[7].flags, 0);

  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 2));  // never below the count
  EXPECT_EQ(a.fmax, 6);
  EXPECT_EQ(PageBytes(a), (std::vector<size_t>{4 * kFace, 2 * kFace}));
  EXPECT_EQ(Numbers(a), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  ExpectWhole(a);

  a.fnum = 0;  // the records past the count are destroyed with their corners
  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 0));
  EXPECT_EQ(a.faces.pages, nullptr);
  EXPECT_EQ(a.fmax, 0);
}

TEST_F(PagedRecords, AddsGrowAcrossPagesAndKeepFullPagesInPlace) {
  OwnedFaces a;
  for (int i = 0; i < 40; ++i) {
    const size_t full = static_cast<size_t>(a.fmax) / 4;
    const std::vector<WFace*> before(a.faces.pages, a.faces.pages + full);
    AddNumbered(a, i);
    for (size_t p = 0; p < full; ++p) ASSERT_EQ(a.faces.pages[p], before[p]) << "a full page moved";
  }
  EXPECT_EQ(a.fmax, 40);  // 4, 8, 12, 18, 27, 40: half as large again each time
  ExpectWhole(a);
  std::vector<int> expected;
  for (int i = 0; i < 40; ++i) expected.push_back(i);
  EXPECT_EQ(Numbers(a), expected);
}

TEST_F(PagedRecords, FailedReserveChangesNothing) {
  // Six records in use; from each capacity to each target, failing at each
  // allocation in turn until the reserve succeeds: the partial last page
  // grown, filled or cut, pages added after a full or a partial one, pages
  // dropped.
  const std::vector<std::pair<int, int>> moves = {{7, 17}, {7, 8}, {8, 9}, {7, 6}, {13, 6}, {13, 10}};
  for (const auto& [start, target] : moves) {
    for (int fail_at = 0;; ++fail_at) {
      SCOPED_TRACE("from " + std::to_string(start) + " to " + std::to_string(target) + ", failing at allocation " +
                   std::to_string(fail_at));
      OwnedFaces a;
      for (int i = 0; i < 6; ++i) AddNumbered(a, i);
      ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, start));
      a.faces[6].Size(6);  // a record past the count that owns corners
      const std::vector<WFace*> pages(a.faces.pages, a.faces.pages + Faces::PageCount(start));
      const std::vector<size_t> bytes = PageBytes(a);
      const size_t held = BlocksHeld();

      TestMemory::calls_left = fail_at;
      const bool done = ReserveRecords(a.faces, a.fnum, a.fmax, target);
      TestMemory::calls_left = -1;
      ASSERT_EQ(a.fnum, 6);
      EXPECT_EQ(Numbers(a), (std::vector<int>{0, 1, 2, 3, 4, 5}));
      ExpectWhole(a);
      if (a.fmax > 6) {
        EXPECT_EQ(a.faces[6].num, 0);  // past the count: a default record again
      }
      if (done) {
        EXPECT_EQ(a.fmax, target);
        EXPECT_EQ(PageBytes(a).size(), Faces::PageCount(target));
        break;
      }
      EXPECT_EQ(a.fmax, start);
      EXPECT_EQ(std::vector<WFace*>(a.faces.pages, a.faces.pages + Faces::PageCount(start)), pages);
      EXPECT_EQ(PageBytes(a), bytes);
      EXPECT_EQ(BlocksHeld(), held);
      ASSERT_LT(fail_at, 10) << "the reserve never succeeds";
    }
  }
}

TEST_F(PagedRecords, FailedAddThrowsAndHandsOutNoSlot) {
  OwnedFaces a;
  for (int i = 0; i < 4; ++i) AddNumbered(a, i);
  ASSERT_EQ(a.fmax, 4);
  TestMemory::calls_left = 1;  // the table grows, the new page does not come
  EXPECT_THROW(AddRecord<4>(a.faces, a.fnum, a.fmax), std::bad_alloc);
  TestMemory::calls_left = -1;
  EXPECT_EQ(a.fnum, 4);
  EXPECT_EQ(a.fmax, 4);
  ExpectWhole(a);
  AddNumbered(a, 4);
  EXPECT_EQ(Numbers(a), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(PagedRecords, CompactionMovesLiveRecordsDownAcrossPagesAndFits) {
  OwnedFaces a;
  for (int i = 0; i < 23; ++i) AddNumbered(a, i);
  // The dead: a whole page, the first of another, and the last record.
  for (int f : {4, 5, 6, 7, 8, 22}) a.faces[f].flags |= kDeleted;
  a.faces[10].flags |= kDeleted;
  a.faces[10].remap = 12;  // merged into a survivor
  EXPECT_EQ(FirstDeadRecord(a.faces, a.fnum), 4);
  EXPECT_EQ(NumberSurvivors(a.faces, a.fnum), 16);
  ResolveMerges(a.faces, a.fnum);
  EXPECT_EQ(Remapped(a.faces, a.fnum, 12), 6);
  EXPECT_EQ(Remapped(a.faces, a.fnum, 10), 6);
  EXPECT_EQ(Remapped(a.faces, a.fnum, 5), -1);
  EXPECT_EQ(Remapped(a.faces, a.fnum, 23), 23);  // out of range: left as it is

  RemoveDeadRecords(a.faces, a.fnum, a.fmax);
  EXPECT_EQ(Numbers(a), (std::vector<int>{0, 1, 2, 3, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}));
  ExpectWhole(a);
  EXPECT_EQ(a.fmax, 16);
  EXPECT_EQ(PageBytes(a), (std::vector<size_t>{4 * kFace, 4 * kFace, 4 * kFace, 4 * kFace}));

  // All dead: nothing held.
  for (int f = 0; f < a.fnum; ++f) a.faces[f].flags |= kDeleted;
  RemoveDeadRecords(a.faces, a.fnum, a.fmax);
  EXPECT_EQ(a.fnum, 0);
  EXPECT_EQ(a.faces.pages, nullptr);
}

TEST_F(PagedRecords, CopiesAreDeepAndMovesTradePages) {
  OwnedFaces a;
  for (int i = 0; i < 9; ++i) AddNumbered(a, i);
  ASSERT_TRUE(ReserveRecords(a.faces, a.fnum, a.fmax, 11));

  OwnedFaces copy(a);
  EXPECT_EQ(copy.fnum, 9);
  EXPECT_EQ(copy.fmax, 11);
  EXPECT_EQ(PageBytes(copy), PageBytes(a));
  EXPECT_EQ(Numbers(copy), Numbers(a));
  ExpectWhole(copy);
  copy.faces[8].v[0] = 100;  // the copy's own corners, in its own last page
  copy.faces[1].Size(3);
  EXPECT_EQ(a.faces[8].v[0], 8);
  EXPECT_EQ(a.faces[1].num, 4);
  ExpectWhole(a);

  // Assignment frees what the target held first; onto itself it keeps it.
  OwnedFaces other;
  for (int i = 0; i < 30; ++i) AddNumbered(other, i);
  other = a;
  EXPECT_EQ(other.fmax, 11);
  EXPECT_EQ(Numbers(other), Numbers(a));
  const OwnedFaces& same = other;
  other = same;
  EXPECT_EQ(Numbers(other), Numbers(a));

  // A move hands over the table itself.
  WFace** const table = a.faces.pages;
  OwnedFaces moved(std::move(a));
  EXPECT_EQ(moved.faces.pages, table);
  EXPECT_EQ(a.faces.pages, nullptr);
  EXPECT_EQ(a.fmax, 0);
  WFace** const other_table = other.faces.pages;
  other = std::move(moved);
  EXPECT_EQ(other.faces.pages, table);
  EXPECT_EQ(moved.faces.pages, other_table);
  ExpectWhole(other);
  ExpectWhole(moved);
}

TEST(PagedObjectFaces, ManyPagesOfFacesCompactAndCopy) {
  // The shipped page size: faces over three pages, every other one removed.
  constexpr int kPage = WPagedRecords<WFace>::kPageRecords;
  const int n = 3 * kPage + 5;
  WObject obj;
  for (int i = 0; i < n; ++i) {
    const int f = obj.AddFace(3 + i % 3);
    obj.faces[f].v[0] = i;
    if (i % 2) obj.faces[f].flags |= kDeleted;
  }
  obj.Compact();
  ASSERT_EQ(obj.fnum, (n + 1) / 2);
  EXPECT_EQ(obj.fmax, obj.fnum);
  const WObject copy(obj);
  for (int f = 0; f < obj.fnum; ++f) {
    ASSERT_EQ(copy.faces[f].v[0], 2 * f);
    ASSERT_EQ(copy.faces[f].num, 3 + (2 * f) % 3);
  }
  EXPECT_EQ(copy.CornerCount(), obj.CornerCount());
  EXPECT_NE(&copy.faces[kPage], &obj.faces[kPage]);
}
