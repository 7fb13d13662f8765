// The OBJ writer against hand-written files, its material file's name and
// failures, and what it leaves of the scene.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

// Materials "red" (textured with C:\maps\brick.bmp) and "blue". Object "a":
// a quad with corners of every attribute combination and faces of
// materials 0, 0, -1, 1, a side line and a loose line from vertex 1 to 3.
// Object "empty": no vertices, one uv and one normal. Object "b": moved by
// (10, 0, 0), a face of material 5 (not in the list) and one of material 0.
WScene MakeObjScene() {
  WScene scene;
  const int red = AddMaterialOf(scene, "red", WColor(0.8f, 0.4f, 0.2f, 1.0f), "C:\\maps\\brick.bmp");
  const int blue = AddMaterialOf(scene, "blue", WColor(0.0f, 0.0f, 1.0f, 0.5f));

  WObject& oa = AddObjectAt(scene, "a", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  AddUvAt(oa, 0.25f, 0.1f);
  AddUvAt(oa, 1.0f, 0.0f);
  AddNormalAlong(oa, WVector(0.0f, 0.0f, 2.0f));
  const int quad = AddFaceOver(oa, {0, 1, 2, 3}, red);
  SetCorners(oa, quad, &WFace::vt, {0, 1, -1, -1});
  SetCorners(oa, quad, &WFace::vn, {0, -1, 0, -1});
  oa.faces[quad].SideLines()[0] = AddLineBetween(oa, 0, 1);
  AddLineBetween(oa, 1, 3);
  AddFaceOver(oa, {1, 2, 3}, red);
  AddFaceOver(oa, {0, 2, 3}, -1);
  AddFaceOver(oa, {0, 1, 2}, blue);

  WObject& oe = AddObjectAt(scene, "empty");
  oe.AddUv();
  oe.AddNormal();

  WObject& ob = AddObjectAt(scene, "b", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  ob.transform.translate = WVector(10.0f, 0.0f, 0.0f);
  AddUvAt(ob, 0.5f, 0.5f);
  SetCorners(ob, AddFaceOver(ob, {0, 1, 2}, 5), &WFace::vt, {0, 0, 0});
  AddFaceOver(ob, {2, 1, 0}, red);

  UpdateMatrices(scene);
  return scene;
}

bool StartsWith(const std::string& text, const std::string& head) { return text.compare(0, head.size(), head) == 0; }

}  // namespace

TEST(ObjFile, MatchesHandWrittenFiles) {
  const WScene scene = MakeObjScene();
  const std::string dir = TempFolder("obj");
  ASSERT_TRUE(WriteObjFile((dir + "scene.obj").c_str(), scene));
  EXPECT_EQ(ReadFile(dir + "scene.obj"), Golden("obj/scene.obj"));
  EXPECT_EQ(ReadFile(dir + "scene.mtl"), Golden("obj/scene.mtl"));

  // The scene itself is as it was: no flip, its lines, its transform.
  const WObject& a = scene.objects[0];
  EXPECT_EQ(a.uvs[0].v, 0.1f);
  EXPECT_EQ(a.lnum, 2);
  EXPECT_EQ(a.fnum, 4);
  EXPECT_EQ(a.faces[0].SideLine(0), 0);
  EXPECT_EQ(a.normals[0].normal.z, 2.0f);
  EXPECT_EQ(scene.objects[2].transform.translate.x, 10.0f);
  EXPECT_EQ(scene.objects[2].vertices[0].pos.x, 0.0f);
}

TEST(ObjFile, MaterialFileNameAndNullNames) {
  WScene scene;
  const int m = scene.AddMaterial("m");
  scene.materials[m].name.Set(nullptr);
  scene.materials[m].tex = 4;  // no such texture
  WObject& obj = AddObjectAt(scene, "o", {{0, 0, 0}});
  obj.name.Set(nullptr);
  // A face of one corner is no element and changes no current material.
  AddFaceOver(obj, {0}, m);
  AddFaceOver(obj, {0, 0});
  AddFaceOver(obj, {0, 0}, m);

  // The extension is the last dot of the last component, or none.
  const std::string dir = TempFolder("obj_names") + "out.dir";
  mkdir(dir.c_str(), 0755);
  ASSERT_TRUE(WriteObjFile((dir + "/scene").c_str(), scene));
  const std::string text = ReadFile(dir + "/scene");
  EXPECT_TRUE(StartsWith(text, std::string(kCreatedByLine) + "mtllib scene.mtl\n\ng\n")) << text;
  EXPECT_NE(text.find("\no \ng \nl 1 1\nusemtl \nl 1 1\n# 3 elements\n"), std::string::npos) << text;
  EXPECT_EQ(ReadFile(dir + "/scene.mtl"), Golden("obj/null_names.mtl"));
  ASSERT_TRUE(WriteObjFile((dir + "/two.dots.obj").c_str(), scene));
  EXPECT_TRUE(FileExists(dir + "/two.dots.mtl"));

  // Names are single tokens: blanks, '#' and control bytes become '_'.
  scene.materials[m].SetName("red #1");
  scene.objects[0].SetName("obj one\t");
  ASSERT_TRUE(WriteObjFile((dir + "/odd.obj").c_str(), scene));
  EXPECT_NE(ReadFile(dir + "/odd.obj").find("\no obj_one_\ng obj_one_\nl 1 1\nusemtl red__1\n"), std::string::npos);
  EXPECT_NE(ReadFile(dir + "/odd.mtl").find("\nnewmtl red__1\n"), std::string::npos);
}

TEST(ObjFile, NoMaterialIsDefinedOnceWhereTheFileNamesIt) {
  // A material of the scene named NoMaterial keeps its name and colour;
  // the faces without material take the first name that no material has,
  // with a new material's colour, and never share the scene's.
  WScene scene = MakeObjScene();
  scene.materials[1].SetName("NoMaterial");
  scene.materials[0].SetName("NoMaterial_1");
  const std::string dir = TempFolder("obj_no_material");
  ASSERT_TRUE(WriteObjFile((dir + "own.obj").c_str(), scene));
  const std::string mtl = ReadFile(dir + "own.mtl");
  EXPECT_EQ(Count(mtl, "newmtl NoMaterial\n"), 1);
  EXPECT_NE(mtl.find("newmtl NoMaterial\nKa 0.00000 0.00000 0.25000\n"), std::string::npos);
  EXPECT_EQ(Count(mtl, "newmtl NoMaterial_1\n"), 1);
  EXPECT_NE(mtl.find("newmtl NoMaterial_2\nKa 0.17500 0.17500 0.17500\n"), std::string::npos) << mtl;
  const std::string obj = ReadFile(dir + "own.obj");
  EXPECT_NE(obj.find("usemtl NoMaterial_2\nf 1 3 4\n"), std::string::npos) << obj;
  EXPECT_NE(obj.find("usemtl NoMaterial\nf 1 2 3\n"), std::string::npos) << obj;

  // Every face has a material: no entry is added. (A loose line has none:
  // it is written under NoMaterial, as in the scene above.)
  WScene all;
  all.AddMaterial("only");
  AddFaceOver(AddObjectAt(all, "t", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), {0, 1, 2}, 0);
  ASSERT_TRUE(WriteObjFile((dir + "all.obj").c_str(), all));
  EXPECT_EQ(Count(ReadFile(dir + "all.obj"), "usemtl NoMaterial\n"), 0);
  EXPECT_EQ(Count(ReadFile(dir + "all.mtl"), "NoMaterial"), 0);
}

TEST(ObjFile, MaterialFileFailures) {
  const WScene scene = MakeObjScene();
  const std::string dir = TempFolder("obj_mtl");

  // It cannot be opened (a folder in its place): the pair is one unit, so
  // the write fails and the old OBJ file stays as it was.
  mkdir((dir + "blocked.mtl").c_str(), 0755);
  std::ofstream(dir + "blocked.obj") << "old obj";
  EXPECT_EQ(WriteObjFile((dir + "blocked.obj").c_str(), scene).error(), EISDIR);
  EXPECT_EQ(ReadFile(dir + "blocked.obj"), "old obj");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary file left";

  // Its path is the target's own: the OBJ file is not overwritten.
  ASSERT_TRUE(WriteObjFile((dir + "same.mtl").c_str(), scene));
  EXPECT_TRUE(StartsWith(ReadFile(dir + "same.mtl"), std::string(kCreatedByLine) + "mtllib same.mtl\n\ng\n"));

  // It fails while being written: false, and the old pair stays as it was.
  WScene many;
  for (int i = 0; i < 100; ++i) many.AddMaterial("material");
  const std::string obj = dir + "many.obj";
  std::ofstream(obj) << "old obj";
  std::ofstream(dir + "many.mtl") << "old mtl";
  EXPECT_FALSE(WriteUnderFileSizeLimit(1024, [&] { return WriteObjFile(obj.c_str(), many).written(); }));
  EXPECT_EQ(ReadFile(obj), "old obj");
  EXPECT_EQ(ReadFile(dir + "many.mtl"), "old mtl");
}

TEST(ObjFile, FailuresReturnFalseAndLeaveNoFile) {
  const WScene scene = MakeObjScene();
  ExpectFailedWritesLeaveNoFile(WriteObjFile, scene);
  // The OBJ file outgrows the limit: no material file either.
  const std::string path = TempFolder("obj_fail") + "full.obj";
  EXPECT_FALSE(WriteUnderFileSizeLimit(256, [&] { return WriteObjFile(path.c_str(), scene).written(); }));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(FileExists(path.substr(0, path.size() - 4) + ".mtl"));
}
