// The DXF writers against hand-written text: the frame, LINE and 3DFACE
// entities with their layers, polyface meshes with vertex numbers from 1,
// only the document's own lines, elements that name nothing, failed writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

const char kHead[] =
    "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$DWGCODEPAGE\n3\nANSI_932\n0\nENDSEC\n"
    "0\nSECTION\n2\nENTITIES\n";
const char kEnd[] = "0\nENDSEC\n0\nEOF\n";

std::string Faces(const WScene& scene) { return TextOf(WriteDxfFacesScene, scene); }
std::string Polyface(const WScene& scene) { return TextOf(WriteDxfPolyfaceScene, scene); }

// Materials iron, wood, steel; object "part" with a triangle of steel, a
// quad without material and a loose line.
WScene MakePart() {
  WScene scene;
  scene.AddMaterial("iron");
  scene.AddMaterial("wood");
  scene.AddMaterial("steel");
  WObject& obj = AddObjectAt(scene, "part", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5f}});
  AddFaceOver(obj, {0, 1, 2}, 2);
  AddFaceOver(obj, {0, 1, 2, 3});
  AddLineBetween(obj, 0, 3);
  return scene;
}

}  // namespace

TEST(DxfFile, SceneWithoutObjectsIsTheFrameAlone) {
  EXPECT_EQ(Faces(WScene()), std::string(kHead) + kEnd);
  EXPECT_EQ(Polyface(WScene()), std::string(kHead) + kEnd);
}

TEST(DxfFile, FacesOnTheLayersOfTheirMaterials) {
  // The triangle repeats its third corner; the quad without material goes
  // to material 0.
  const WScene scene = MakePart();
  EXPECT_EQ(Faces(scene), Golden("dxf/part_faces.dxf"));
  EXPECT_EQ(scene.objects[0].faces[1].material, -1);  // only the copy changed

  // Without materials the faces are on "NoMaterial"; a material outside the
  // list names its layer by its number.
  WScene bare;
  WObject& obj = AddObjectAt(bare, "bare", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddFaceOver(obj, {0, 1, 2});
  AddFaceOver(obj, {2, 1, 0}, 7);
  const std::string text = Faces(bare);
  EXPECT_NE(text.find("0\n3DFACE\n8\nNoMaterial\n62\n0\n10\n"), std::string::npos);
  EXPECT_NE(text.find("0\n3DFACE\n8\n7\n62\n7\n10\n"), std::string::npos);

  // Characters that layer names may not hold become '_'; blanks stay.
  WScene odd = MakePart();
  odd.materials[2].SetName("a<>/\\\":;?*|=`\x01 b");
  odd.objects[0].SetName("mugcup:SUB");
  EXPECT_NE(Faces(odd).find("0\n3DFACE\n8\na_____________ b\n62\n2\n"), std::string::npos);
  EXPECT_EQ(Count(Polyface(odd), "8\nmugcup_SUB\n"), 7);  // the mesh head, four vertices, two faces
}

TEST(DxfFile, NamesAreInTheCodePageThatTheHeaderNames) {
  // "te su to" and "so" (whose second byte is 0x5C, a backslash in ASCII)
  // in Shift-JIS, as the host stores them: kept byte for byte, the 0x5C
  // not taken for a backslash.
  WScene sjis = MakePart();
  sjis.materials[2].SetName("\x83\x65\x83\x58\x83\x67");
  sjis.objects[0].SetName("\x83\x5C/");
  EXPECT_EQ(Faces(sjis).rfind(kHead, 0), 0u);
  EXPECT_NE(Faces(sjis).find("0\n3DFACE\n8\n\x83\x65\x83\x58\x83\x67\n62\n2\n"), std::string::npos);
  EXPECT_EQ(Count(Polyface(sjis), "8\n\x83\x5C_\n"), 7);

  // The same names in a UTF-8 scene are written in Shift-JIS under the
  // same head.
  WScene utf8 = MakePart();
  utf8.utf8_names = true;
  utf8.materials[2].SetName("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
  utf8.objects[0].SetName("\xE3\x82\xBD/");
  EXPECT_EQ(Faces(utf8), Faces(sjis));
  EXPECT_EQ(Polyface(utf8), Polyface(sjis));

  // A name that Shift-JIS cannot hold (Hangul "han"): every name of the
  // file stays UTF-8, the breaking characters replaced, under version
  // AC1021; the names of the other writer's file decide its own head.
  utf8.materials[0].SetName("\xED\x95\x9C|");
  const std::string faces = Faces(utf8);
  EXPECT_EQ(faces.rfind("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1021\n9\n$DWGCODEPAGE\n3\nANSI_1252\n0\nENDSEC\n"
                        "0\nSECTION\n2\nENTITIES\n",
                        0),
            0u);
  EXPECT_NE(faces.find("0\n3DFACE\n8\n\xED\x95\x9C_\n62\n0\n"), std::string::npos);
  EXPECT_NE(faces.find("0\n3DFACE\n8\n\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\n62\n2\n"), std::string::npos);
  EXPECT_EQ(Polyface(utf8), Polyface(sjis));
  utf8.objects[0].SetName("\xE3\x82\xBD\xED\x95\x9C");
  EXPECT_NE(Polyface(utf8).find("$ACADVER\n1\nAC1021\n"), std::string::npos);
  EXPECT_EQ(Count(Polyface(utf8), "8\n\xE3\x82\xBD\xED\x95\x9C\n"), 7);
}

TEST(DxfFile, PolyfaceNumbersVerticesFromOne) {
  EXPECT_EQ(Polyface(MakePart()), Golden("dxf/part_polyface.dxf"));

  // An object without vertices or faces still has its mesh head and end.
  WScene empty;
  AddObjectAt(empty, "none");
  EXPECT_EQ(Polyface(empty),
            std::string(kHead) + "0\nPOLYLINE\n8\nnone\n66\n1\n70\n64\n71\n0\n72\n0\n0\nSEQEND\n" + kEnd);
}

TEST(DxfFile, PentagonGivesThreeFacesAndOnlyTheObjectsOwnLines) {
  WScene scene;
  scene.AddMaterial("m");
  WObject& obj = AddObjectAt(scene, "penta", {{2, 0, 0}, {3, 2, 0}, {1, 3, 0}, {-1, 2, 0}, {0, 0, 0}});
  // An edge (a two-corner face) and a face of one corner before it.
  AddFaceOver(obj, {2}, 0);
  AddFaceOver(obj, {4, 1}, 0);
  const int f = AddFaceOver(obj, {0, 1, 2, 3, 4}, 0);
  // Its sides' lines are dropped before the cut; a loose line stays.
  for (int k = 0; k < 5; ++k) obj.faces[f].SideLines()[k] = AddLineBetween(obj, k, (k + 1) % 5);
  AddLineBetween(obj, 1, 3);
  ComputeFaceNormals(scene);

  // The loose line from (3, 2, 0) to (-1, 2, 0), then the edge, then the
  // faces; turned to z up, (3, 2, 0) is (3, 0, 2). The diagonals that the
  // cut makes (0-2, 0-3) are no lines of the document and are not written.
  const std::string lines = "0\nLINE\n8\n0\n70\n0\n10\n3.000000\n20\n0.000000\n30\n2.000000\n"
                            "11\n-1.000000\n21\n0.000000\n31\n2.000000\n"
                            "0\nLINE\n8\n0\n70\n0\n10\n0.000000\n20\n0.000000\n30\n0.000000\n"
                            "11\n3.000000\n21\n0.000000\n31\n2.000000\n";
  const std::string faces = Faces(scene);
  EXPECT_EQ(Count(faces, "0\n3DFACE\n"), 3);
  EXPECT_EQ(Count(faces, "0\nLINE\n"), 2);
  EXPECT_NE(faces.find(std::string(kHead) + lines + "0\n3DFACE\n"), std::string::npos);
  const std::string poly = Polyface(scene);
  EXPECT_NE(poly.find(std::string(kHead) + lines + "0\nPOLYLINE\n8\npenta\n66\n1\n70\n64\n71\n5\n72\n3\n"),
            std::string::npos);
  EXPECT_NE(poly.find("71\n1\n72\n4\n73\n5\n0\nSEQEND\n"), std::string::npos);
  EXPECT_EQ(Count(poly, "0\nLINE\n"), 2);

  // An object of polygons alone has no lines at all.
  WScene plain;
  WObject& hexagon = AddObjectAt(plain, "hex", {{2, 0, 0}, {3, 1, 0}, {2, 2, 0}, {0, 2, 0}, {-1, 1, 0}, {0, 0, 0}});
  AddFaceOver(hexagon, {0, 1, 2, 3, 4, 5}, 0);
  ComputeFaceNormals(plain);
  EXPECT_EQ(Count(Faces(plain), "0\n3DFACE\n"), 4);
  EXPECT_EQ(Count(Faces(plain), "0\nLINE\n"), 0);
  EXPECT_EQ(Count(Polyface(plain), "0\nLINE\n"), 0);
}

TEST(DxfFile, ElementsNamingMissingVerticesAreLeftOut) {
  WScene scene = MakePart();
  WObject& obj = scene.objects[0];
  const int dangling = AddFaceOver(obj, {0, 1, 9}, 0);
  AddFaceOver(obj, {-1, 1, 2, 3}, 0);
  AddLineBetween(obj, 4, 0);
  // Its sides' lines go with it: they are no loose lines.
  obj.faces[dangling].SideLines()[0] = AddLineBetween(obj, 0, 1);
  // The counts of the mesh head match what follows.
  const std::string poly = Polyface(scene);
  EXPECT_NE(poly.find("71\n4\n72\n2\n"), std::string::npos);
  EXPECT_EQ(Count(poly, "70\n128\n"), 2);
  EXPECT_EQ(Faces(scene), Faces(MakePart()));
}

TEST(DxfFile, WritesTheFileOrFailsWithoutOne) {
  const std::string path = TempPath("part.dxf");
  ASSERT_TRUE(WriteDxfFaces(path.c_str(), MakePart()));
  EXPECT_EQ(ReadFile(path), Faces(MakePart()));
  ASSERT_TRUE(WriteDxfPolyface(path.c_str(), MakePart()));  // replaces it
  EXPECT_EQ(ReadFile(path), Polyface(MakePart()));
  std::remove(path.c_str());
  ExpectFailedWritesLeaveNoFile(WriteDxfFaces, MakePart());
  ExpectFailedWritesLeaveNoFile(WriteDxfPolyface, MakePart());
}
