// Purging corner attribute records that no corner names.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"

namespace {
using Ints = std::vector<int>;
}  // namespace

TEST(CornerRecordPurge, EachKindKeepsTheRecordsItsOwnCornersName) {
  // Five records of each kind, worked out by hand: the triangle names
  // records 4, 1, 4 of uvs, 3, 3, 0 of colours and 2, -1, 7 of normals (7
  // names none). The survivors keep their order and the corners follow
  // them; -1 and 7 stay as they are.
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  for (int i = 0; i < 5; ++i) {
    AddUvAt(obj, static_cast<float>(i), 0);
    AddColorOf(obj, WColor(static_cast<float>(i), 0, 0, 1));
    AddNormalAlong(obj, WVector(static_cast<float>(i), 0, 0));
  }
  const int f = AddFaceOver(obj, {0, 1, 2});
  SetCorners(obj, f, &WFace::vt, {4, 1, 4});
  SetCorners(obj, f, &WFace::vc, {3, 3, 0});
  SetCorners(obj, f, &WFace::vn, {2, -1, 7});

  PurgeUvs(scene);
  EXPECT_EQ(obj.unum, 2);
  EXPECT_EQ(Corners(obj.faces[f], &WFace::vt), (Ints{1, 0, 1}));
  EXPECT_EQ(obj.uvs[0].u, 1.0f);
  EXPECT_EQ(obj.uvs[1].u, 4.0f);
  EXPECT_EQ(obj.cnum + obj.nnum, 10);  // the other kinds untouched

  PurgeColors(obj);
  EXPECT_EQ(obj.cnum, 2);
  EXPECT_EQ(Corners(obj.faces[f], &WFace::vc), (Ints{1, 1, 0}));
  EXPECT_EQ(obj.colors[1].col, WColor(3, 0, 0, 1));

  PurgeNormals(obj);
  EXPECT_EQ(obj.nnum, 1);
  EXPECT_EQ(Corners(obj.faces[f], &WFace::vn), (Ints{0, -1, 7}));
  EXPECT_EQ(obj.normals[0].normal, WVector(2, 0, 0));
  EXPECT_EQ(obj.unum, 2);
}
