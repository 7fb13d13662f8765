// The .mqo document writer against hand-written text: the fixed head, the
// material list, reversed and scaled geometry, packed colours, the parts of
// a face that are left out, failed writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

std::string Written(const WScene& scene) { return TextOf(WriteMqoScene, scene); }

// The lines of the face block of the first object.
std::string FaceBlock(const std::string& text) {
  const size_t begin = text.find("\tface ");
  const size_t end = text.find("\t}\n", begin);
  return text.substr(begin, end - begin);
}

// Material "red" (1, 0.5, 0, 1) with a texture; object "tri" with one
// triangle (0, 1, 2) on it, a texture coordinate and a colour record per
// corner.
WScene MakeColouredTriangle() {
  WScene scene;
  const int m = AddMaterialOf(scene, "red", WColor(1.0f, 0.5f, 0.0f, 1.0f), "C:\\maps\\red.bmp");
  WObject& obj = AddObjectAt(scene, "tri", {{0.01f, 0.02f, 0.03f}, {0.02f, 0, 0}, {0, 0.01f, 0}});
  const int f = AddFaceOver(obj, {0, 1, 2}, m);
  SetFaceUvs(obj, f, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f});
  const int orange = AddColorOf(obj, WColor(1.0f, 0.5f, 0.0f, 1.0f));
  const int blue = AddColorOf(obj, WColor(0.0f, 0.0f, 1.0f, 1.0f));
  SetCorners(obj, f, &WFace::vc, {orange, blue, orange});
  return scene;
}

}  // namespace

TEST(MqoFile, HeadObjectBlocksAndTheReversedScaledPackedTriangle) {
  // An object without vertices or faces still has its block; without it
  // the file is the fixed head alone.
  WScene bare;
  AddObjectAt(bare, "bare");
  const std::string bare_file = Golden("mqo/bare_object.mqo");
  EXPECT_EQ(Written(bare), bare_file);
  EXPECT_EQ(Written(WScene()), bare_file.substr(0, bare_file.find("Object")) + "Eof\n");

  // Corners (0 1 2) become (2 1 0) with their texture coordinates and
  // colours; lengths are times 100; orange packs to 0xFF007FFF, blue to
  // 0xFFFF0000.
  EXPECT_EQ(Written(MakeColouredTriangle()), Golden("mqo/coloured_triangle.mqo"));
}

TEST(MqoFile, PackedColoursClampEachComponent) {
  EXPECT_EQ(PackMqoColor(WColor(1.0f, 0.5f, 0.0f, 1.0f)), 4278222847u);  // 0xFF007FFF
  // 2 and -1 stay in their own bytes: 255, 0, 127, 255.
  EXPECT_EQ(PackMqoColor(WColor(2.0f, -1.0f, 0.5f, 1.0f)), 0xFF7F00FFu);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(PackMqoColor(WColor(nan, inf, -inf, 0.0f)), 0x0000FF00u);
  EXPECT_EQ(PackMqoColor(WColor()), 0xFF000000u);
}

TEST(MqoFile, PartsThatNameNothingAreLeftOut) {
  WScene scene = MakeColouredTriangle();
  scene.materials[0].tex = 4;           // no such texture
  scene.materials[0].name.Set(nullptr);  // a null name is empty text
  WObject& obj = scene.objects[0];
  obj.name.Set(nullptr);
  // A second triangle: one corner without texture coordinate, one colour
  // index outside the list, a material outside the list.
  const int f = AddFaceOver(obj, {0, 2, 1}, 3);
  SetFaceUvs(obj, f, {0.0f, 0.0f, 1.0f, 1.0f, 0.5f, 0.5f});
  obj.faces[f].vt()[1] = -1;
  SetCorners(obj, f, &WFace::vc, {0, 0, 7});
  // A third: a texture coordinate index outside the list, no material.
  SetCorners(obj, AddFaceOver(obj, {1, 0, 2}), &WFace::vt, {0, 0, 99});
  // Elements that name a vertex the object lacks: not written at all.
  obj.faces[AddFaceOver(obj, {0, 1, 5}, 0)].SideLines()[0] = AddLineBetween(obj, 0, 1);
  AddLineBetween(obj, 0, -2);
  AddLineBetween(obj, 2, 1);

  const std::string text = Written(scene);
  EXPECT_NE(text.find("\t\"\" shader(3) vcol(1) col(1.000 0.500 0.000 1.000) dif(1.000) amb(0.250) emi(0.250) "
                      "spc(0.000) power(5.00)\n"),
            std::string::npos);
  EXPECT_NE(text.find("Object \"\" {\n"), std::string::npos);
  EXPECT_EQ(FaceBlock(text),
            "\tface 4 {\n"
            "\t\t2 V(2 1)\n"
            "\t\t3 V(2 1 0) M(0) UV(0.50000 0.60000 0.30000 0.40000 0.10000 0.20000) "
            "COL(4278222847 4294901760 4278222847)\n"
            "\t\t3 V(1 2 0)\n"
            "\t\t3 V(2 0 1)\n");
}

TEST(MqoFile, TwoCornerFacesStayAsEdgesAfterTheLines) {
  // The host's edges are faces of two corners: reversed like every face,
  // with their material and colours, after the loose line. A face of one
  // corner is no entry.
  WScene scene = MakeColouredTriangle();
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0}, 0);
  SetCorners(obj, AddFaceOver(obj, {1, 2}, 0), &WFace::vc, {0, 1});
  AddLineBetween(obj, 0, 2);
  EXPECT_EQ(FaceBlock(Written(scene)),
            "\tface 3 {\n"
            "\t\t2 V(0 2)\n"
            "\t\t2 V(2 1) M(0) COL(4294901760 4278222847)\n"
            "\t\t3 V(2 1 0) M(0) UV(0.50000 0.60000 0.30000 0.40000 0.10000 0.20000) "
            "COL(4278222847 4294901760 4278222847)\n");
}

TEST(MqoFile, LengthsAreScaledBeforeTransformsAreFrozen) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "moved", {{0.01f, 0.0f, -0.5f}});
  obj.transform.translate = WVector(0.02f, 0.0f, 0.0f);
  // 1 + 2 after scaling both by 100.
  EXPECT_NE(Written(scene).find("\t\t3.0000 0.0000 -50.0000\n"), std::string::npos);
  EXPECT_EQ(scene.objects[0].vertices[0].pos, WVector(0.01f, 0.0f, -0.5f));  // the scene is not touched
  EXPECT_EQ(scene.objects[0].transform.translate, WVector(0.02f, 0.0f, 0.0f));
}

TEST(MqoFile, WritesTheFileOrFailsWithoutOne) {
  const std::string path = TempPath("triangle.mqo");
  ASSERT_TRUE(WriteMqoFile(path.c_str(), MakeColouredTriangle()));
  EXPECT_EQ(ReadFile(path), Written(MakeColouredTriangle()));
  std::remove(path.c_str());
  ExpectFailedWritesLeaveNoFile(WriteMqoFile, MakeColouredTriangle());
}
