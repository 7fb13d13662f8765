// Growth, reserve and copy semantics of the record arrays.
#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "test_scenes.h"

TEST(RecordArray, AddGrowsGeometricallyFromTheFamilyStep) {
  WObject obj;
  EXPECT_EQ(obj.AddVertex(), 0);
  EXPECT_EQ(obj.vmax, 256);
  for (int i = 1; i < 256; ++i) obj.AddVertex();
  EXPECT_EQ(obj.vmax, 256);
  EXPECT_EQ(obj.AddVertex(), 256);
  EXPECT_EQ(obj.vnum, 257);
  EXPECT_EQ(obj.vmax, 512);
  for (int i = 257; i < 513; ++i) obj.AddVertex();
  EXPECT_EQ(obj.vmax, 768);  // half as large again

  // Many adds regrow a scene array only a logarithmic number of times.
  WScene scene;
  for (int i = 0; i < 16; ++i) scene.AddObject("");
  EXPECT_EQ(scene.omax, 16);
  scene.AddObject("");
  EXPECT_EQ(scene.omax, 32);
  int regrowths = 0;
  for (int i = 0, last = 0; i < 100000; ++i) {
    scene.AddMaterial("");
    if (scene.mmax != last) ++regrowths, last = scene.mmax;
  }
  EXPECT_LT(regrowths, 30);
  EXPECT_LT(scene.mmax, 150000);
  EXPECT_EQ(GrownCapacity<kSceneGrowth>(INT_MAX - 3), INT_MAX);
  EXPECT_EQ(GrownCapacity<kSceneGrowth>(INT_MAX), INT_MAX);  // cannot grow: the add throws

  // Keys: found by frame, not added twice.
  const int k = obj.FindOrAddKey(7);
  EXPECT_EQ(obj.amax, 32);
  EXPECT_EQ(obj.FindOrAddKey(7), k);
  for (int f = 0; f < 31; ++f) obj.FindOrAddKey(100 + f);
  obj.FindOrAddKey(7);
  EXPECT_EQ(obj.anum, 32);
  EXPECT_EQ(obj.amax, 32);
  obj.FindOrAddKey(1000);
  EXPECT_EQ(obj.amax, 64);

  obj.vertices[0].AddWeight();
  EXPECT_EQ(obj.vertices[0].wmax(), 16);
}

TEST(RecordArray, ReserveIsExactAndNeverDropsRecords) {
  WObject obj;
  EXPECT_TRUE(obj.ReserveLines(0));
  EXPECT_EQ(obj.lines, nullptr);

  EXPECT_TRUE(obj.ReserveLines(10));
  EXPECT_EQ(obj.lmax, 10);
  EXPECT_EQ(obj.lnum, 0);
  for (int i = 0; i < 5; ++i) AddLineBetween(obj, i, i + 100);
  EXPECT_EQ(obj.lmax, 10);  // filling reserved room does not regrow

  EXPECT_TRUE(obj.ReserveLines(3));  // less than the count means the count
  EXPECT_EQ(obj.lmax, 5);
  EXPECT_EQ(LinesOf(obj), (std::vector<std::pair<int, int>>{{0, 100}, {1, 101}, {2, 102}, {3, 103}, {4, 104}}));

  EXPECT_TRUE(obj.ReserveLines(7));
  EXPECT_EQ(obj.lmax, 7);
  // The room beyond the count holds default records.
  EXPECT_EQ(obj.lines[6].v[0], 0);
  EXPECT_EQ(obj.lines[6].remap, -1);

  obj.lnum = 0;
  EXPECT_TRUE(obj.ReserveLines(0));
  EXPECT_EQ(obj.lines, nullptr);
  EXPECT_EQ(obj.lmax, 0);
}

TEST(RecordArray, RegrowthKeepsFacesAndTheirCorners) {
  WObject obj;
  for (int i = 0; i < 300; ++i) {
    const int f = obj.AddFace(3 + i % 5);
    obj.faces[f].v[0] = i;
    obj.faces[f].material = i % 7;
  }
  ASSERT_EQ(obj.fmax, 512);
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(obj.faces[i].num, 3 + i % 5);
    EXPECT_EQ(obj.faces[i].v[0], i);
    EXPECT_EQ(obj.faces[i].v[1], -1);
    EXPECT_EQ(obj.faces[i].material, i % 7);
  }
}

TEST(RecordArray, ResizedBlocksKeepWhatTheirRecordsOwn) {
  // Large enough for the allocator to remap the block rather than copy it;
  // the records own weight arrays, which must come through a grow, a
  // compaction and a shrink neither lost nor freed twice.
  WObject obj;
  const int n = 300000;
  for (int i = 0; i < n; ++i) {
    const int v = obj.AddVertex();
    obj.vertices[v].pos.x = static_cast<float>(i);
    if (i % 1000 == 0) AddWeight(obj.vertices[v], i, 0.5f);
  }
  for (int i = 1; i < n; i += 2) obj.vertices[i].flags |= kDeleted;
  obj.Compact();
  ASSERT_EQ(obj.vnum, n / 2);
  EXPECT_EQ(obj.vmax, n / 2);
  ASSERT_TRUE(obj.ReserveVertices(n));
  for (int i = 0; i < n / 2; ++i) {
    ASSERT_EQ(obj.vertices[i].pos.x, static_cast<float>(2 * i));
    ASSERT_EQ(obj.vertices[i].wnum(), (2 * i) % 1000 == 0 ? 1 : 0);
    if (obj.vertices[i].wnum()) {
      EXPECT_EQ(obj.vertices[i].weights()[0].bone, 2 * i);
    }
  }
  EXPECT_EQ(obj.vertices[n - 1].wnum(), 0);  // past the count: a default record
  EXPECT_EQ(obj.vertices[n - 1].remap, -1);
}

TEST(RecordArray, KeysSortByFrameAndCompact) {
  WObject obj;
  for (int frame : {5, 1, 3}) obj.FindOrAddKey(frame);
  obj.SortKeys();
  ASSERT_EQ(obj.anum, 3);
  EXPECT_EQ(obj.keys[0].frame, 1);
  EXPECT_EQ(obj.keys[1].frame, 3);
  EXPECT_EQ(obj.keys[2].frame, 5);

  obj.keys[1].flags |= kDeleted;
  obj.CompactKeys();
  ASSERT_EQ(obj.anum, 2);
  EXPECT_EQ(obj.amax, 2);
  EXPECT_EQ(obj.keys[1].frame, 5);

  WCamera cam;
  EXPECT_EQ(cam.AddKey(9), 0);
  EXPECT_EQ(cam.AddKey(9), 1);  // cameras append without looking
  EXPECT_EQ(cam.keys[1].frame, 9);
  EXPECT_EQ(cam.amax, 32);
  cam.keys[0].flags |= kDeleted;
  cam.keys[1].frame = 4;
  cam.CompactKeys();  // a camera keeps its key capacity
  ASSERT_EQ(cam.anum, 1);
  EXPECT_EQ(cam.keys[0].frame, 4);
  EXPECT_EQ(cam.amax, 32);
}

namespace {

// An owner of two arrays, one of them of records that own arrays too.
struct TwoArrays {
  int anum = 0, amax = 0, bnum = 0, bmax = 0;
  WWeight* a = nullptr;
  WVertex* b = nullptr;

  template <class F>
  static void ForEachArray(F&& f) {
    f(&TwoArrays::a, &TwoArrays::anum, &TwoArrays::amax);
    f(&TwoArrays::b, &TwoArrays::bnum, &TwoArrays::bmax);
  }
};
using TwoOwned = WOwnedArrays<TwoArrays>;

std::vector<int> Shape(const TwoOwned& o) { return {o.anum, o.amax, o.bnum, o.bmax}; }

}  // namespace

TEST(RecordArray, OwnedArraysCopyDeepAndMoveByTrading) {
  TwoOwned owner;
  ASSERT_TRUE(ReserveRecords(owner.a, owner.anum, owner.amax, 5));
  const int a = AddRecord<kSceneGrowth>(owner.a, owner.anum, owner.amax);
  owner.a[a].bone = 7;
  const int b = AddRecord<kGeometryGrowth>(owner.b, owner.bnum, owner.bmax);
  AddWeight(owner.b[b], 3, 1.0f);

  // A copy: each array's own count and capacity, and blocks of its own down
  // to the records' arrays.
  TwoOwned copy(owner);
  EXPECT_EQ(Shape(copy), (std::vector<int>{1, 5, 1, 256}));
  copy.a[0].bone = 8;
  copy.b[0].weights()[0].bone = 4;
  EXPECT_EQ(owner.a[0].bone, 7);
  EXPECT_EQ(owner.b[0].weights()[0].bone, 3);

  // Assignment replaces what the target held (the debug build's memory
  // checks see it freed once); assigning an owner to itself keeps it.
  TwoOwned other;
  for (int i = 0; i < 20; ++i) AddRecord<kSceneGrowth>(other.a, other.anum, other.amax);
  other = owner;
  EXPECT_EQ(Shape(other), (std::vector<int>{1, 5, 1, 256}));
  const TwoOwned& same = other;
  other = same;
  EXPECT_EQ(Shape(other), (std::vector<int>{1, 5, 1, 256}));
  EXPECT_EQ(other.b[0].weights()[0].bone, 3);

  // A move hands over the blocks themselves: moved out of by construction
  // the source is empty; by assignment it holds the target's old blocks and
  // releases them itself.
  const WWeight* copy_block = copy.a;
  TwoOwned moved(std::move(copy));
  EXPECT_EQ(moved.a, copy_block);
  EXPECT_EQ(Shape(copy), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(copy.a, nullptr);
  const WWeight* other_block = other.a;
  other = std::move(moved);
  EXPECT_EQ(other.a, copy_block);
  EXPECT_EQ(other.b[0].weights()[0].bone, 4);
  EXPECT_EQ(moved.a, other_block);
  moved.Release();
  EXPECT_EQ(Shape(moved), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(moved.b, nullptr);
}
