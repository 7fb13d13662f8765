// The DirectX text writer against a hand-written file, and at the edges:
// materials, deep and cyclic hierarchies, an untouched scene, failed writes.
#include <gtest/gtest.h>

#include <string>

#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

// Materials "tex" (textured, alpha 0.75) and "plain"; object "quad" at
// (1, 2, 3) with two triangles that meet at vertices 0 and 2 with different
// texture coordinates at 0 and different colours at 2; object "child"
// without geometry below it.
WScene MakeQuadAndChild() {
  WScene scene;
  const int tex = AddMaterialOf(scene, "tex", WColor(0.5f, 0.25f, 1.0f, 0.75f), "C:\\maps\\wood.bmp");
  const int plain = AddMaterialOf(scene, "plain", WColor(0.2f, 0.4f, 0.6f, 1.0f));

  AddObjectAt(scene, "quad", {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
  AddObjectAt(scene, "child").parent = 0;
  WObject& obj = scene.objects[0];
  obj.transform.translate = WVector(1.0f, 2.0f, 3.0f);
  AddUvAt(obj, 0.0f, 0.0f);
  AddUvAt(obj, 1.0f, 0.0f);
  AddUvAt(obj, 1.0f, 1.0f);
  AddUvAt(obj, 0.5f, 0.25f);
  AddNormalAlong(obj, WVector(0.6f, 0.0f, 0.8f));
  AddColorOf(obj, WColor(1.0f, 0.5f, 0.25f, 1.0f));
  AddColorOf(obj, WColor(0.0f, 0.0f, 0.0f, 0.5f));
  const int f0 = AddFaceOver(obj, {0, 1, 2}, tex);
  SetCorners(obj, f0, &WFace::vt, {0, 1, 2});
  SetCorners(obj, f0, &WFace::vn, {0, 0, 0});
  SetCorners(obj, f0, &WFace::vc, {0, 0, 0});
  const int f1 = AddFaceOver(obj, {0, 2, 3}, plain);
  SetCorners(obj, f1, &WFace::vt, {3, 2, -1});
  SetCorners(obj, f1, &WFace::vn, {0, -1, 0});
  SetCorners(obj, f1, &WFace::vc, {0, 1, 0});
  UpdateMatrices(scene);
  return scene;
}

std::string WriteToText(const WScene& scene) { return FileTextOf(WriteXFile, scene); }

}  // namespace

TEST(XFile, MatchesHandWrittenFile) {
  const WScene scene = MakeQuadAndChild();
  EXPECT_EQ(WriteToText(scene), Golden("x/quad_and_child.x"));

  // The copy was prepared, not the scene: faces, vertices and materials as
  // they were.
  const WObject& quad = scene.objects[0];
  EXPECT_EQ(quad.vnum, 4);
  EXPECT_EQ(quad.faces[0].v[0], 0);
  EXPECT_EQ(quad.faces[1].v[1], 2);
  EXPECT_EQ(quad.normals[0].normal, WVector(0.6f, 0.0f, 0.8f));
  EXPECT_EQ(scene.materials[0].col, WColor(0.5f, 0.25f, 1.0f, 0.75f));
  EXPECT_EQ(quad.vertices[0].uv().u, 0.0f);
  EXPECT_EQ(quad.vertices[2].col(), WColor());
}

TEST(XFile, NoMaterialsAndBadIndices) {
  // A scene without materials gets NoMaterial in its default colour, and
  // faces without material name it as material 0; a material index outside
  // the list is written as stored, a texture index outside the list is no
  // texture.
  WScene scene = MakeUnassignedFaces();
  std::string text = WriteToText(scene);
  EXPECT_EQ(Count(text, "MeshMaterialList {\n\t\t\t\t1;\n"), 2);  // one material, in both meshes
  EXPECT_NE(text.find("\t\t\t\t3;\n\t\t\t\t0,\n\t\t\t\t5,\n\t\t\t\t0;\n"), std::string::npos) << text;
  EXPECT_EQ(Count(text, "\t\t\t\t\t0.700000;0.700000;0.700000;1.000000;;\n"), 2);
  // The empty object: no vertices, one face of three corners naming -1.
  EXPECT_NE(text.find("\t\tMesh empty {\n\t\t\t0;\n\t\t\n\t\t\t1;\n\t\t\t3;-1,-1,-1;;\n"), std::string::npos);

  scene.AddMaterial("odd");
  scene.materials[0].tex = 3;
  text = WriteToText(scene);
  EXPECT_EQ(Count(text, "TextureFilename"), 0);
  EXPECT_EQ(Count(text, "\t\t\t\t\t0.700000;0.700000;0.700000;1.000000;;\n"), 2);

  // Frame and mesh names are single tokens: blanks, braces, list
  // separators, quotes and control bytes become '_'.
  scene.objects[1].SetName("obj one } {;,\"\x7f");
  text = WriteToText(scene);
  EXPECT_NE(text.find("\tFrame Frame_obj_one________ {\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\t\tMesh obj_one________ {\n"), std::string::npos) << text;
}

TEST(XFrame, DeepChainsCapTheIndentAndUseNoRecursion) {
  const WScene scene = MakeChain(300);
  const ObjectTree tree(scene);
  TextOutput out;
  EXPECT_TRUE(WriteXFrame(out, scene, tree, 0, 0));
  const std::string text(out.text());
  const std::string tabs254(254, '\t');
  const std::string tabs255(255, '\t');
  EXPECT_EQ(Count(text, "Frame Frame_"), 300);
  EXPECT_EQ(text.substr(0, 17), "\tFrame Frame_o0 {");
  // Depth d is indented d + 1 TABs up to 255: o253 has 254, o254 on have 255.
  EXPECT_EQ(Count(text, "\n" + tabs254 + "Frame Frame_o253 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "Frame Frame_o254 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "Frame Frame_o299 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "\tMesh o299 {\n"), 1);
  EXPECT_EQ(text.substr(text.size() - 6), "\t}\n\t}\n");

  // A hundred thousand levels: a recursive writer would run out of stack.
  EXPECT_TRUE(WriteXFile("/dev/null", MakeChain(100000)));

  // "loop" is its own parent: written when asked for, once.
  const WScene hierarchy = MakeHierarchy();
  const ObjectTree loops(hierarchy);
  TextOutput one;
  WriteXFrame(one, hierarchy, loops, 5, 0);
  EXPECT_EQ(Count(std::string(one.text()), "Frame Frame_"), 1);
  // In a file only the roots and their descendants appear: not stray, not loop.
  const std::string file = WriteToText(hierarchy);
  EXPECT_EQ(Count(file, "Frame Frame_"), 5);
  EXPECT_NE(file.find("\n\t\t\tFrame Frame_leaf {\n"), std::string::npos);
}

TEST(XFile, FailuresReturnFalseAndLeaveNoFile) {
  ExpectFailedWritesLeaveNoFile(WriteXFile, MakeQuadAndChild());
}
