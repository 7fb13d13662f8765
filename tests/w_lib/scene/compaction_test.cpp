// Object and scene compaction: dead and merged records, rewritten indices.
#include <gtest/gtest.h>

#include "test_scenes.h"

namespace {

using Ints = std::vector<int>;

// Vertices A, B, C on a triangle, its sides as lines, and normal, colour
// and uv records per corner.
WObject MakeTriangleWithAttributes() {
  WObject obj;
  for (int i = 0; i < 3; ++i) AddVertexAt(obj, static_cast<float>(i), 0, 0);
  const int f = AddFaceOver(obj, {0, 1, 2});
  for (int k = 0; k < 3; ++k) {
    obj.faces[f].vn()[k] = obj.AddNormal();
    obj.faces[f].vc()[k] = obj.AddColor();
    obj.faces[f].vt()[k] = obj.AddUv();
    obj.faces[f].SideLines()[k] = AddLineBetween(obj, k, (k + 1) % 3);
  }
  return obj;
}

}  // namespace

TEST(ObjectCompaction, NothingDeadKeepsIndicesAndShrinksToFit) {
  WObject obj = MakeTriangleWithAttributes();
  EXPECT_EQ(obj.vmax, 256);
  obj.Compact();
  EXPECT_EQ(obj.vnum, 3);
  EXPECT_EQ((Ints{obj.vmax, obj.fmax, obj.lmax, obj.nmax, obj.cmax, obj.umax}), (Ints{3, 1, 3, 3, 3, 3}));
  EXPECT_EQ(Corners(obj.faces[0]), (Ints{0, 1, 2}));
  for (CornerArray array : {CornerArray(&WFace::e), &WFace::vn, &WFace::vc, &WFace::vt})
    EXPECT_EQ(Corners(obj.faces[0], array), (Ints{0, 1, 2}));
  EXPECT_EQ(obj.vertices[2].pos.x, 2.0f);
}

TEST(ObjectCompaction, MergedVertexRedirectsFacesAndLines) {
  WObject obj = MakeTriangleWithAttributes();
  // B (1) merged into C (2).
  obj.vertices[1].flags |= kDeleted;
  obj.vertices[1].remap = 2;
  obj.Compact();
  ASSERT_EQ(obj.vnum, 2);
  EXPECT_EQ(obj.vertices[1].pos.x, 2.0f);
  EXPECT_EQ(Corners(obj.faces[0]), (Ints{0, 1, 1}));
  // A-B is now A-C.
  EXPECT_EQ(LinesOf(obj), (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {1, 0}}));
}

TEST(ObjectCompaction, DeadRecordsWithoutTargetBecomeMinusOne) {
  WObject obj = MakeTriangleWithAttributes();
  obj.normals[0].flags |= kDeleted;        // dropped
  obj.colors[1].flags |= kDeleted;         // merged into colour 2
  obj.colors[1].remap = 2;
  obj.uvs[0].flags |= kDeleted;            // merged into uv 2
  obj.uvs[0].remap = 2;
  obj.lines[1].flags |= kDeleted;          // merged into line 0
  obj.lines[1].remap = 0;
  obj.Compact();
  const WFace& face = obj.faces[0];
  EXPECT_EQ((Ints{obj.nnum, obj.cnum, obj.unum, obj.lnum}), (Ints{2, 2, 2, 2}));
  EXPECT_EQ(Corners(face, &WFace::vn), (Ints{-1, 0, 1}));
  EXPECT_EQ(Corners(face, &WFace::vc), (Ints{0, 1, 1}));
  EXPECT_EQ(Corners(face, &WFace::vt), (Ints{1, 0, 1}));
  EXPECT_EQ(Corners(face, &WFace::e), (Ints{0, 0, 1}));
  EXPECT_EQ(obj.lines[1].v[0], 2);  // the old line 2 moved down
}

TEST(ObjectCompaction, DeadFacesAreDroppedAndLaterFacesMoveDown) {
  WObject obj;
  for (int i = 0; i < 4; ++i) AddVertexAt(obj, 0, 0, 0);
  AddFaceOver(obj, {0, 1, 2}, 5);
  AddFaceOver(obj, {1, 2, 3}, 6);
  AddFaceOver(obj, {2, 3, 0}, 7);
  obj.faces[1].flags |= kDeleted;
  obj.Compact();
  ASSERT_EQ(obj.fnum, 2);
  EXPECT_EQ(obj.fmax, 2);
  EXPECT_EQ(obj.vnum, 4);  // its vertices survive
  EXPECT_EQ(obj.faces[0].material, 5);
  EXPECT_EQ(obj.faces[1].material, 7);
  EXPECT_EQ(obj.faces[1].v[0], 2);
}

TEST(SceneCompaction, RewritesParentsBonesMaterialsAndTextureSlots) {
  WScene scene;
  for (int i = 0; i < 4; ++i) AddObjectAt(scene, "").parent = i - 1;
  WObject& leaf = scene.objects[3];
  AddVertexAt(leaf, 0, 0, 0);
  AddWeight(leaf.vertices[0], 2, 0.5f);
  AddWeight(leaf.vertices[0], 1, 0.5f);
  scene.objects[1].flags |= kDeleted;  // dropped
  scene.objects[2].flags |= kDeleted;  // merged into 0
  scene.objects[2].remap = 0;
  scene.CompactObjects();
  ASSERT_EQ(scene.onum, 2);
  EXPECT_STREQ(scene.objects[1].name.get(), "obj_03");
  EXPECT_EQ(scene.objects[1].parent, 0);
  const WVertex& v = scene.objects[1].vertices[0];
  EXPECT_EQ((Ints{v.weights()[0].bone, v.weights()[1].bone}), (Ints{0, -1}));
  EXPECT_EQ(scene.objects[0].parent, -1);

  for (int i = 0; i < 3; ++i) scene.AddMaterial("");
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0, 0, 0}, 2);
  AddFaceOver(obj, {0, 0, 0}, 1);
  AddFaceOver(obj, {0, 0, 0}, -1);
  scene.materials[1].flags |= kDeleted;
  scene.CompactMaterials();
  EXPECT_EQ(scene.mnum, 2);
  EXPECT_EQ((Ints{obj.faces[0].material, obj.faces[1].material, obj.faces[2].material}), (Ints{1, -1, -1}));

  for (int i = 0; i < 3; ++i) scene.AddTexture("");
  scene.materials[0].tex = 2;
  scene.materials[0].further_tex[1] = 0;
  scene.materials[1].tex = 1;
  scene.textures[0].flags |= kDeleted;
  scene.textures[1].flags |= kDeleted;
  scene.textures[1].remap = 2;
  scene.CompactTextures();
  EXPECT_EQ(scene.tnum, 1);
  EXPECT_EQ((Ints{scene.materials[0].tex, scene.materials[0].further_tex[1], scene.materials[1].tex}), (Ints{0, -1, 0}));

  scene.AddCamera("a");
  scene.AddCamera("b");
  scene.cameras[0].flags |= kDeleted;
  scene.CompactCameras();
  ASSERT_EQ(scene.camnum, 1);
  EXPECT_STREQ(scene.cameras[0].name.get(), "b");
}
