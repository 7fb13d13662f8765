// The scene edits that prepare writers' copies: uv flips, face edges
// dropped, loose lines made faces, transforms frozen into the geometry.
#include <gtest/gtest.h>

#include "test_scenes.h"
#include "w_lib/w_scene.h"

namespace {

void ExpectVector(const WVector& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

// A quad over vertices 0..3 whose four sides name lines 0..3, and a loose
// line 4 from vertex 2 to vertex 5.
WScene MakeQuadWithEdges() {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "q", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}});
  const int f = AddFaceOver(obj, {0, 1, 2, 3}, 0);
  for (int k = 0; k < 4; ++k) obj.faces[f].e()[k] = AddLineBetween(obj, k, (k + 1) % 4);
  AddLineBetween(obj, 2, 5);
  return scene;
}

}  // namespace

TEST(FlipUvs, FlipsTheChosenAxesOfEveryObject) {
  WScene scene;
  for (const char* name : {"a", "b"}) AddUvAt(AddObjectAt(scene, name), 0.25f, 0.1f);
  FlipUvs(scene, 0x200);
  for (int o = 0; o < 2; ++o) {
    EXPECT_EQ(scene.objects[o].uvs[0].u, 0.25f);
    EXPECT_EQ(scene.objects[o].uvs[0].v, 0.9f);
  }
  FlipUvs(scene.objects[0], 0x100);
  EXPECT_EQ(scene.objects[0].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[0].uvs[0].v, 0.9f);
  // 1 - 0.9f is 0.100000024 in float arithmetic, not 0.1f again.
  FlipUvs(scene.objects[1], 0x300);
  EXPECT_EQ(scene.objects[1].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[1].uvs[0].v, 0.100000024f);
  FlipUvs(scene, 0xFF | 0x400);  // no flip bit
  EXPECT_EQ(scene.objects[1].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[1].uvs[0].v, 0.100000024f);
}

TEST(DropFaceEdges, LooseLinesSurviveAndSidesLoseTheirLines) {
  WScene scene = MakeQuadWithEdges();
  WObject& obj = scene.objects[0];
  obj.faces[0].e()[3] = 99;  // names no line, and line 3 is loose now
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
  b.faces[f].e()[0] = 0;
  DropFaceEdges(b);
  EXPECT_EQ(b.lnum, 1);
  EXPECT_EQ(b.lmax, 256);
  EXPECT_EQ(b.faces[f].e()[0], 0);
}

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

TEST(FreezeTransforms, WorldMatrixMovesPointsAndTurnsDirections) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o", {{1, 1, 1}});
  const int f = AddFaceOver(obj, {0, 0, 0});
  obj.faces[f].normal = WVector(0.0f, 0.0f, 5.0f);
  obj.faces[f].CornerNormals()[1] = WVector(3.0f, 0.0f, 4.0f);
  const int n = AddNormalAlong(obj, WVector(0.0f, -2.0f, 0.0f));
  WTransform& t = obj.transform;
  t.translate = WVector(1.0f, 2.0f, 3.0f);
  t.scale = WVector(2.0f, 1.0f, 1.0f);
  t.base_translate = WVector(7.0f, 7.0f, 7.0f);
  t.base_rotate = WVector(1.0f, 1.0f, 1.0f);
  t.base_scale = WVector(3.0f, 3.0f, 3.0f);
  t.rotate = WVector(0.0f, 0.0f, 0.0f);
  t.channels = kTranslateX;
  // Scale x by 2, then translate: rows (2,0,0,0) (0,1,0,0) (0,0,1,0) (1,2,3,1).
  t.world_matrix.Set(2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1);
  t.local_matrix = t.world_matrix;

  FreezeTransforms(scene);
  ExpectVector(obj.vertices[0].pos, 3.0f, 3.0f, 4.0f);
  ExpectVector(obj.faces[f].normal, 0.0f, 0.0f, 1.0f);
  // (3,0,4) -> (6,0,4), normalised by its length sqrt(52).
  ExpectVector(obj.faces[f].CornerNormal(1), 6.0f / 7.2111025f, 0.0f, 4.0f / 7.2111025f);
  ExpectVector(obj.faces[f].CornerNormal(0), 0.0f, 0.0f, 0.0f);  // zero stays zero
  ExpectVector(obj.normals[n].normal, 0.0f, -1.0f, 0.0f);
  EXPECT_EQ(t.world_matrix, WMatrix());
  EXPECT_EQ(t.local_matrix, WMatrix());
  for (const WVector* v : {&t.translate, &t.base_translate, &t.rotate, &t.base_rotate})
    ExpectVector(*v, 0.0f, 0.0f, 0.0f);
  ExpectVector(t.scale, 1.0f, 1.0f, 1.0f);
  ExpectVector(t.base_scale, 1.0f, 1.0f, 1.0f);
  EXPECT_EQ(t.channels, kTranslateX);

  // A projective matrix: the fourth component is x, so points with x > 0
  // are divided by it and the others are not.
  AddVertexAt(obj, 4.0f, 8.0f, 12.0f);
  AddVertexAt(obj, -4.0f, 8.0f, 12.0f);
  AddVertexAt(obj, 0.00005f, 1.0f, 1.0f);
  t.world_matrix.Set(1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0);
  FreezeTransforms(obj);
  ExpectVector(obj.vertices[1].pos, 1.0f, 2.0f, 3.0f);
  ExpectVector(obj.vertices[2].pos, -4.0f, 8.0f, 12.0f);
  ExpectVector(obj.vertices[3].pos, 0.00005f, 1.0f, 1.0f);
}

TEST(FreezeTransforms, ChildrenTakeTheirParentsWorldMatrix) {
  WScene scene;
  const int parent = scene.AddObject("parent");
  const int child = scene.AddObject("child");
  scene.objects[child].parent = parent;
  scene.objects[parent].transform.translate = WVector(10.0f, 0.0f, 0.0f);
  scene.objects[child].transform.translate = WVector(0.0f, 1.0f, 0.0f);
  scene.objects[child].transform.rotate = WVector(0.0f, 0.0f, 1.5707964f);  // x turns to y
  AddVertexAt(scene.objects[child], 1.0f, 0.0f, 0.0f);
  UpdateMatrices(scene);
  FreezeTransforms(scene);
  const WVector& p = scene.objects[child].vertices[0].pos;
  EXPECT_NEAR(p.x, 10.0f, 1e-6f);
  EXPECT_NEAR(p.y, 2.0f, 1e-6f);
  EXPECT_NEAR(p.z, 0.0f, 1e-6f);
}
