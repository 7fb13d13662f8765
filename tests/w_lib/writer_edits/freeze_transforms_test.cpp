// Transforms frozen into the geometry: points moved, directions turned,
// the transform made neutral.
#include <gtest/gtest.h>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

namespace {

void ExpectVector(const WVector& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

}  // namespace

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
