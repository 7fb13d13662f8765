// The writers' triangulation: two-corner faces kept aside, the object's own
// lines kept and the ears' lines taken away again.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

TEST(TriangulateKeepingEdges, KeepsTheEdgesAndOnlyTheObjectsOwnLines) {
  WScene scene;
  // A convex pentagon in the xy plane, a quad, an edge from 0 to 2 and a
  // loose line from 3 to 4.
  WObject& obj = AddObjectAt(scene, "o", {{0, 0, 0}, {2, 0, 0}, {3, 2, 0}, {1, 3, 0}, {-1, 2, 0}});
  AddFaceOver(obj, {0, 1, 2, 3, 4}, 0);
  AddFaceOver(obj, {0, 1, 2, 3}, 1);
  AddFaceOver(obj, {0, 2}, 2);
  AddLineBetween(obj, 3, 4);
  AddObjectAt(scene, "empty");
  ComputeFaceNormals(scene);

  const TwoCornerFaces edges = TriangulateKeepingEdges(scene);
  ASSERT_EQ(edges.size(), 2u);
  ASSERT_EQ(edges[0].size(), 1u);
  EXPECT_EQ(Corners(edges[0][0]), (std::vector<int>{0, 2}));
  EXPECT_EQ(edges[0][0].material, 2);
  EXPECT_TRUE(edges[1].empty());

  // The quad first, then the pentagon's three triangles; the edge is gone.
  ASSERT_EQ(obj.fnum, 4);
  EXPECT_EQ(obj.faces[0].num, 4);
  for (int f = 1; f < 4; ++f) {
    EXPECT_EQ(obj.faces[f].num, 3);
    EXPECT_EQ(obj.faces[f].material, 0);
    for (int k = 0; k < 3; ++k) EXPECT_LT(obj.faces[f].SideLine(k), obj.lnum);  // no side names a dropped line
  }
  EXPECT_EQ(LinesOf(obj), (std::vector<std::pair<int, int>>{{3, 4}}));
  EXPECT_EQ(obj.lmax, 1);  // an exact fit again
}
