// The lines that are face sides dropped, loose lines kept.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

TEST(DropFaceEdges, LooseLinesSurviveAndSidesLoseTheirLines) {
  WScene scene = MakeQuadWithEdges();
  WObject& obj = scene.objects[0];
  obj.faces[0].SideLines()[3] = 99;  // names no line, and line 3 is loose now
  DropFaceEdges(scene);
  EXPECT_EQ(LinesOf(obj), (std::vector<std::pair<int, int>>{{3, 0}, {2, 5}}));
  EXPECT_EQ(Corners(obj.faces[0], &WFace::e), std::vector<int>(4, -1));
  EXPECT_EQ(obj.vnum, 6);
  EXPECT_EQ(obj.faces[0].v[2], 2);

  // Without vertices nothing happens, not even the compaction.
  WScene bare;
  WObject& b = AddObjectAt(bare, "bare");
  AddLineBetween(b, 0, 1);
  const int f = b.AddFace(2);
  b.faces[f].SideLines()[0] = 0;
  DropFaceEdges(b);
  EXPECT_EQ(b.lnum, 1);
  EXPECT_EQ(b.lmax, 256);
  EXPECT_EQ(b.faces[f].SideLine(0), 0);
}
