// Faces and lines that name a vertex their object lacks taken out.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

TEST(DropDanglingGeometry, RemovesWhatNamesAMissingVertexAndKeepsTheRest) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddFaceOver(obj, {0, 1, 3}, 0);   // one past the last vertex
  AddFaceOver(obj, {0, 1, 2}, 1);
  AddFaceOver(obj, {0, -1, 2}, 2);  // negative
  AddLineBetween(obj, 1, 5);
  AddLineBetween(obj, 2, 0);
  AddLineBetween(obj, -2, 0);
  DropDanglingGeometry(scene);
  ASSERT_EQ(obj.fnum, 1);
  EXPECT_EQ(Corners(obj.faces[0]), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(obj.faces[0].material, 1);
  EXPECT_EQ(LinesOf(obj), (std::vector<std::pair<int, int>>{{2, 0}}));
  EXPECT_EQ(obj.vnum, 3);
}

TEST(DropDanglingGeometry, LeavesAWholeObjectUncompacted) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddFaceOver(obj, {0, 1, 2});
  AddLineBetween(obj, 0, 1);
  const int fmax = obj.fmax, lmax = obj.lmax;
  ASSERT_GT(fmax, 1);  // a compaction would leave an exact fit
  DropDanglingGeometry(obj);
  EXPECT_EQ(obj.fnum, 1);
  EXPECT_EQ(obj.lnum, 1);
  EXPECT_EQ(obj.fmax, fmax);
  EXPECT_EQ(obj.lmax, lmax);
}
