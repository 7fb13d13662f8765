// Expanding corner attribute records: one colour or normal record per
// corner, and the fused expand and weld.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "test_scenes.h"

namespace {

using Ints = std::vector<int>;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

TEST(CornerColors, ExpandGivesEveryCornerOneThenWeldOnePerVertex) {
  WScene scene = MakeTexturedQuads(false);
  WObject& obj = scene.objects[0];
  obj.faces[1].CornerColors()[2] = WColor(1, 0, 0, 1);  // vertex 5
  obj.AddColor();  // an old record, replaced
  ExpandColors(obj);
  ASSERT_EQ(obj.cnum, 8);
  EXPECT_EQ(obj.cmax, 8);
  EXPECT_EQ(Corners(obj.faces[0], &WFace::vc), (Ints{0, 1, 2, 3}));
  EXPECT_EQ(Corners(obj.faces[1], &WFace::vc), (Ints{4, 5, 6, 7}));
  EXPECT_EQ(obj.colors[6].col, WColor(1, 0, 0, 1));
  EXPECT_EQ(obj.colors[0].col, WColor(1, 1, 1, 1));

  WeldColors(obj);
  EXPECT_EQ(obj.cnum, 6);  // one per used vertex
  EXPECT_EQ(obj.faces[1].vc()[0], obj.faces[0].vc()[1]);
  EXPECT_EQ(obj.faces[1].vc()[3], obj.faces[0].vc()[2]);
  EXPECT_EQ(obj.colors[obj.faces[1].vc()[2]].col, WColor(1, 0, 0, 1));

  // Without faces every record goes.
  WObject no_faces;
  no_faces.AddUv();
  no_faces.AddColor();
  no_faces.AddNormal();
  PurgeUvs(no_faces);
  ExpandColors(no_faces);
  ExpandNormals(no_faces);
  EXPECT_EQ(no_faces.unum + no_faces.cnum + no_faces.nnum, 0);
}

TEST(CornerNormals, CubeKeepsThreePerVertexAndASquareOne) {
  // The cube's faces at z = 0 and x = 0 meet at vertex 0 but keep their
  // own; two coplanar triangles forming a square weld to one per vertex.
  WScene scene = MakeCube();
  WObject& square = AddObjectAt(scene, "square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  AddFaceOver(square, {0, 1, 2}, 0);
  AddFaceOver(square, {0, 2, 3}, 0);
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  ExpandNormals(scene);
  WeldNormals(scene);
  const WObject& cube = scene.objects[0];
  EXPECT_EQ(cube.nnum, 24);
  EXPECT_EQ(cube.normals[cube.faces[0].vn()[0]].normal, WVector(0, 0, -1));
  EXPECT_EQ(cube.normals[cube.faces[4].vn()[0]].normal, WVector(-1, 0, 0));
  ASSERT_EQ(square.nnum, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(square.normals[i].normal, WVector(0, 0, 1));
}

TEST(CornerAttributes, ExpandWeldGivesWhatExpandThenWeldGives) {
  // Corners with repeated, signed-zero and NaN values, at shared, repeated
  // and missing vertices, with earlier records and a dead face in the way.
  uint32_t seed = 7;
  const auto rnd = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
  const float values[] = {0.0f, -0.0f, 1.0f, 0.5f, kNaN};
  WObject obj;
  for (int i = 0; i < 12; ++i) AddVertexAt(obj, 0, 0, 0);
  for (int i = 0; i < 3; ++i) AddColorOf(obj, WColor(9, 9, 9, 9)), AddNormalAlong(obj, WVector(9, 9, 9));
  for (int f = 0; f < 60; ++f) {
    const int n = 1 + static_cast<int>(rnd() % 6);
    const int face = obj.AddFace(n);
    WFace& fc = obj.faces[face];
    for (int k = 0; k < n; ++k) {
      fc.v[k] = static_cast<int>(rnd() % 14) - 1;
      fc.vc()[k] = static_cast<int>(rnd() % 3);
      fc.CornerNormals()[k] = WVector(values[rnd() % 5], values[rnd() % 2], 1.0f);
      if (rnd() % 2) fc.CornerColors()[k] = WColor(values[rnd() % 5], 1.0f, 1.0f, 1.0f);
    }
  }
  obj.faces[5].flags |= kDeleted;
  const auto same = [](const WObject& a, const WObject& b) {
    ASSERT_EQ(a.fnum, b.fnum);
    ASSERT_EQ(a.cnum, b.cnum);
    ASSERT_EQ(a.nnum, b.nnum);
    for (int i = 0; i < a.cnum; ++i) {
      EXPECT_EQ(std::memcmp(&a.colors[i].col, &b.colors[i].col, sizeof(WColor)), 0);
      EXPECT_EQ((Ints{a.colors[i].flags, a.colors[i].remap}), (Ints{b.colors[i].flags, b.colors[i].remap}));
    }
    for (int i = 0; i < a.nnum; ++i) EXPECT_EQ(std::memcmp(&a.normals[i].normal, &b.normals[i].normal, 12), 0);
    for (int f = 0; f < a.fnum; ++f) {
      EXPECT_EQ(Corners(a.faces[f], &WFace::vc), Corners(b.faces[f], &WFace::vc));
      EXPECT_EQ(Corners(a.faces[f], &WFace::vn), Corners(b.faces[f], &WFace::vn));
    }
  };
  WObject a = obj, b = obj;
  ExpandColors(a);
  WeldColors(a);
  ExpandNormals(a);
  WeldNormals(a);
  ExpandWeldColors(b);
  ExpandWeldNormals(b);
  EXPECT_LT(b.cnum, obj.CornerCount());  // something was shared
  same(a, b);
}
