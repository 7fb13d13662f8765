// Loose lines made two-corner faces.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

TEST(LinesToFaces, LinesBecomeTwoCornerFacesAtTheEnd) {
  WScene scene = MakeQuadWithEdges();
  DropFaceEdges(scene);  // leaves the loose line 2-5
  WObject& obj = scene.objects[0];
  AddLineBetween(obj, 4, 0);
  LinesToFaces(scene);
  EXPECT_EQ(obj.lnum, 0);
  ASSERT_EQ(obj.fnum, 3);
  EXPECT_EQ(obj.faces[0].num, 4);
  const int ends[2][2] = {{2, 5}, {4, 0}};
  for (int i = 0; i < 2; ++i) {
    const WFace& face = obj.faces[1 + i];
    EXPECT_EQ(Corners(face), (std::vector<int>{ends[i][0], ends[i][1]}));
    EXPECT_EQ(face.material, -1);
    for (CornerArray array : {CornerArray(&WFace::e), &WFace::vt, &WFace::vn, &WFace::vc})
      EXPECT_EQ(Corners(face, array), (std::vector<int>{-1, -1}));
  }
}
