// Scene lifecycle, names and lookup, the fallback material.
#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "test_scenes.h"

TEST(SceneNames, EmptyNamesGetTheGeneratedNameOfTheirIndex) {
  WScene scene;
  scene.AddObject("a");
  scene.AddObject("b");
  EXPECT_EQ(scene.AddObject(""), 2);
  EXPECT_STREQ(scene.objects[2].name.get(), "obj_02");
  // Index first: the add may move the array.
  { const int i = scene.AddMaterial(""); EXPECT_STREQ(scene.materials[i].name.get(), "mat_00"); }
  { const int i = scene.AddTexture(""); EXPECT_STREQ(scene.textures[i].name.get(), "tex_00"); }
  { const int i = scene.AddCamera(""); EXPECT_STREQ(scene.cameras[i].name.get(), "cam_00"); }
  { const int i = scene.AddLight(""); EXPECT_STREQ(scene.lights[i].name.get(), "lig_00"); }
  { const int i = scene.AddPar(""); EXPECT_STREQ(scene.pars[i].name.get(), "par_00"); }

  for (int i = 3; i < 100; ++i) scene.AddObject("");
  EXPECT_EQ(scene.AddObject(""), 100);
  EXPECT_STREQ(scene.objects[10].name.get(), "obj_10");
  EXPECT_STREQ(scene.objects[100].name.get(), "obj_100");

  // Large indices fit: no fixed buffer to overflow.
  WScene big;
  ASSERT_TRUE(big.ReserveTextures(123457));
  big.tnum = 123456;
  EXPECT_EQ(big.AddTexture(""), 123456);
  EXPECT_STREQ(big.textures[123456].name.get(), "tex_123456");
}

TEST(SceneNames, FindIsExactAndTakesTheFirst) {
  WScene scene;
  scene.AddObject("body");
  scene.AddObject("body");
  EXPECT_EQ(scene.onum, 2);  // adding never checks for an existing name
  EXPECT_EQ(scene.FindObject("body"), 0);
  EXPECT_EQ(scene.FindObject("Body"), -1);
  EXPECT_EQ(scene.FindObject("bod"), -1);
  for (const char* name : {"a", "t", "b", "c", "t"}) scene.AddTexture(name);
  EXPECT_EQ(scene.FindTexture("t"), 1);
  // Shift-JIS bytes compare as bytes.
  const char sjis[] = "\x83\x5c\x83\x74\x83\x67";
  scene.AddMaterial(sjis);
  EXPECT_EQ(scene.FindMaterial(sjis), 0);
  EXPECT_EQ(scene.FindMaterial("\x83\x5c"), -1);
}

TEST(SceneNames, EnsureMaterialAddsNoMaterialOnlyWhenNeeded) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "o");
  obj.AddFace(3);
  const int f = obj.AddFace(3);
  obj.faces[f].material = 0;
  EnsureMaterial(scene);
  ASSERT_EQ(scene.mnum, 1);
  EXPECT_STREQ(scene.materials[0].name.get(), "NoMaterial");
  EXPECT_EQ(scene.materials[0].col, WColor(0.7f, 0.7f, 0.7f, 1.0f));
  EXPECT_EQ(scene.materials[0].tex, -1);
  EXPECT_EQ(obj.faces[0].material, 0);

  WScene with = MakeCube();
  with.objects[0].faces[2].material = -1;
  EnsureMaterial(with);
  EXPECT_EQ(with.mnum, 1);
  EXPECT_STREQ(with.materials[0].name.get(), "cube");
  EXPECT_EQ(with.objects[0].faces[2].material, 0);
}

TEST(SceneLifecycle, ACopyIsIndependentOfItsSource) {
  WScene source = MakeTexturedQuads(true);
  source.start_frame = 3;
  source.scene_flags = kShadingModel5;
  const int cam = source.AddCamera("cam");
  source.cameras[cam].AddKey(4);
  source.AddPar("p");
  WObject& obj = source.objects[0];
  AddWeight(obj.vertices[0], 0, 1.0f);
  obj.FindOrAddKey(2);

  auto copy = std::make_unique<WScene>(source);
  EXPECT_EQ(copy->start_frame, 3);
  EXPECT_EQ(copy->scene_flags, kShadingModel5);
  EXPECT_EQ(copy->omax, source.omax);
  ASSERT_EQ(copy->onum, 1);
  WObject& c = copy->objects[0];
  EXPECT_EQ(c.vmax, obj.vmax);
  EXPECT_EQ(c.fnum, 2);
  EXPECT_EQ(c.faces[1].vt()[3], obj.faces[1].vt()[3]);
  EXPECT_STREQ(c.name.get(), "quads");
  c.faces[0].v[0] = 77;
  c.vertices[0].weights()[0].bone = 9;
  c.SetName("changed");
  copy->materials[0].SetName("changed");
  copy->cameras[0].keys[0].frame = 99;
  copy.reset();
  EXPECT_EQ(obj.faces[0].v[0], 0);
  EXPECT_EQ(obj.vertices[0].weights()[0].bone, 0);
  EXPECT_STREQ(obj.name.get(), "quads");
  EXPECT_STREQ(source.materials[0].name.get(), "wood");
  EXPECT_EQ(source.cameras[0].keys[0].frame, 4);
  EXPECT_EQ(obj.anum, 1);

  // An object's assignment skips nothing named.
  WObject a;
  a.tag = 5;
  a.parent = 2;
  a.flags = kHasBaseTransform;
  a.remap = 7;
  a.transform.translate = WVector(1, 2, 3);
  a.btransform.rotate = WVector(0, 1, 0);
  a.bbox_max = WVector(4, 4, 4);
  ASSERT_TRUE(a.ReserveNormals(40));
  a.AddNormal();
  WObject b;
  b = a;
  EXPECT_EQ((std::vector<int>{b.tag, b.parent, b.flags, b.remap, b.nmax, b.nnum}),
            (std::vector<int>{5, 2, kHasBaseTransform, 7, 40, 1}));
  EXPECT_EQ(b.transform.translate, WVector(1, 2, 3));
  EXPECT_EQ(b.btransform.rotate, WVector(0, 1, 0));
  EXPECT_EQ(b.bbox_max, WVector(4, 4, 4));
}

TEST(SceneLifecycle, ResetReleasesEverything) {
  WScene scene = MakeCube();
  scene.AddPar("p");
  scene.AddLight("l");
  scene.end_frame = 5;
  scene.Reset();
  EXPECT_EQ(scene.onum + scene.omax + scene.parnum, 0);
  EXPECT_EQ(scene.objects, nullptr);
  EXPECT_EQ(scene.pars, nullptr);
  EXPECT_EQ(scene.lights, nullptr);
  EXPECT_EQ(scene.end_frame, 60);
  // Usable again after a reset.
  EXPECT_EQ(scene.AddObject(""), 0);
  EXPECT_STREQ(scene.objects[0].name.get(), "obj_00");
}

namespace {

// Copy, move and reset of a filled object or scene, told apart by every
// array's count and capacity (counts) and block (blocks): a copy has the
// same counts in blocks of its own, a move takes the blocks and leaves its
// source empty, a reset leaves nothing.
template <class Holder, class Counts, class Blocks>
void ExpectCopyMoveAndReset(const Holder& filled, Counts counts, Blocks blocks) {
  const std::vector<int> filled_counts = counts(filled);
  const size_t arrays = blocks(filled).size();
  Holder copy(filled);
  EXPECT_EQ(counts(copy), filled_counts);
  for (size_t i = 0; i < arrays; ++i) EXPECT_NE(blocks(copy)[i], blocks(filled)[i]) << "array " << i;

  const std::vector<const void*> held = blocks(copy);
  Holder moved(std::move(copy));
  EXPECT_EQ(counts(moved), filled_counts);
  EXPECT_EQ(blocks(moved), held);
  EXPECT_EQ(counts(copy), std::vector<int>(filled_counts.size(), 0));

  moved.Reset();
  EXPECT_EQ(counts(moved), std::vector<int>(filled_counts.size(), 0));
  EXPECT_EQ(blocks(moved), std::vector<const void*>(arrays, nullptr));
}

}  // namespace

TEST(SceneLifecycle, CopyMoveAndResetReachEveryArray) {
  // Each array with its own count and capacity, so that a mix-up shows.
  WObject obj;
  ASSERT_TRUE(obj.ReserveVertices(11) && obj.ReserveLines(12) && obj.ReserveFaces(13) && obj.ReserveUvs(14) &&
              obj.ReserveNormals(15) && obj.ReserveColors(16) && obj.ReserveKeys(17));
  obj.AddVertex();
  for (int i = 0; i < 2; ++i) obj.AddLine();
  for (int i = 0; i < 3; ++i) obj.AddFace(3);
  for (int i = 0; i < 4; ++i) obj.AddUv();
  for (int i = 0; i < 5; ++i) obj.AddNormal();
  for (int i = 0; i < 6; ++i) obj.AddColor();
  for (int i = 0; i < 7; ++i) obj.FindOrAddKey(i);
  const auto counts = [](const WObject& o) {
    return std::vector<int>{o.vnum, o.lnum, o.fnum, o.unum, o.nnum, o.cnum, o.anum,
                            o.vmax, o.lmax, o.fmax, o.umax, o.nmax, o.cmax, o.amax};
  };
  const auto blocks = [](const WObject& o) {
    return std::vector<const void*>{o.vertices, o.lines, o.faces.pages, o.uvs, o.normals, o.colors, o.keys};
  };
  ASSERT_EQ(counts(obj), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14, 15, 16, 17}));
  ExpectCopyMoveAndReset(obj, counts, blocks);

  WScene scene;
  ASSERT_TRUE(scene.ReserveObjects(21) && scene.ReserveMaterials(22) && scene.ReserveTextures(23) &&
              scene.ReserveCameras(24) && scene.ReserveLights(25) && scene.ReservePars(26));
  scene.AddObject("");
  for (int i = 0; i < 2; ++i) scene.AddMaterial("");
  for (int i = 0; i < 3; ++i) scene.AddTexture("");
  for (int i = 0; i < 4; ++i) scene.AddCamera("");
  for (int i = 0; i < 5; ++i) scene.AddLight("");
  for (int i = 0; i < 6; ++i) scene.AddPar("");
  const auto scene_counts = [](const WScene& s) {
    return std::vector<int>{s.onum, s.mnum, s.tnum, s.camnum, s.lignum, s.parnum,
                            s.omax, s.mmax, s.tmax, s.cammax, s.ligmax, s.parmax};
  };
  const auto scene_blocks = [](const WScene& s) {
    return std::vector<const void*>{s.objects, s.materials, s.textures, s.cameras, s.lights, s.pars};
  };
  ASSERT_EQ(scene_counts(scene), (std::vector<int>{1, 2, 3, 4, 5, 6, 21, 22, 23, 24, 25, 26}));
  ExpectCopyMoveAndReset(scene, scene_counts, scene_blocks);
}
