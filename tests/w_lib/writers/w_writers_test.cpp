// The writers that prepare a working copy of the scene can prepare the
// caller's scene in place instead: the bytes must be those of the copy.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "writer_checks.h"
#include "w_lib/writers/w_writers.h"

namespace {


// A scene that every preparation step changes: the hierarchy scene's
// objects, and one more with a transform under a parent, a polygon of five
// corners, a two-corner face, a loose line, texture coordinates, and colour
// and normal records.
WScene PreparedByEveryStep() {
  WScene scene = MakeHierarchy();
  const int m = scene.AddMaterial("textured");
  scene.materials[m].tex = scene.AddTexture("a.bmp");
  WObject& obj = AddObjectAt(scene, "shape", {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}, {-1, 1, 0}, {5, 5, 5}});
  obj.transform.translate = WVector(1.0f, 2.0f, 3.0f);
  obj.parent = 0;
  const int pentagon = AddFaceOver(obj, {0, 1, 2, 3, 4}, m);
  SetFaceUvs(obj, pentagon, {0, 0, 1, 0, 1, 1, 0.5f, 1, 0, 1});
  obj.faces[pentagon].CornerColors()[2] = WColor(0.5f, 0.25f, 0.0f, 1.0f);
  AddFaceOver(obj, {4, 5}, -1);
  AddLineBetween(obj, 0, 5);
  UpdateMatrices(scene);
  ComputeFaceNormals(scene);
  SmoothCornerNormals(scene);
  ExpandWeldColors(scene);
  ExpandWeldNormals(scene);
  return scene;
}

}  // namespace

TEST(WorkingScene, WritersGiveTheSameBytesOnTheSceneAsOnACopy) {
  const WScene scene = PreparedByEveryStep();
  struct Form {
    SceneWriter copying;
    ConsumingWriter consuming;
    const char* extension;
  };
  const Form forms[] = {
      {WriteXFile, WriteXFile, ".x"},          {WriteObjFile, WriteObjFile, ".obj"},
      {WriteMqoFile, WriteMqoFile, ".mqo"},    {WriteDxfFaces, WriteDxfFaces, ".dxf"},
      {WriteDxfPolyface, WriteDxfPolyface, ".dxf"}, {WriteSceneDump, WriteSceneDump, ".txt"},
  };
  for (const Form& form : forms) {
    // One path for both: the OBJ file names its material file.
    const std::string path = TempPath("written") + form.extension;
    ASSERT_TRUE(form.copying(path.c_str(), scene, {}));
    const std::string copied = ReadFile(path);
    EXPECT_GT(copied.size(), 100u) << form.extension;
    ASSERT_TRUE(form.consuming(path.c_str(), WScene(scene), {}));
    EXPECT_EQ(ReadFile(path), copied) << form.extension;
    std::remove(path.c_str());
  }
  // The OBJ writer's material file comes from the prepared scene as well.
  const std::string obj = TempPath("pair") + ".obj";
  const std::string mtl = TempPath("pair") + ".mtl";
  ASSERT_TRUE(WriteObjFile(obj.c_str(), scene));
  const std::string copied_mtl = ReadFile(mtl);
  ASSERT_TRUE(WriteObjFile(obj.c_str(), WScene(scene)));
  EXPECT_EQ(ReadFile(mtl), copied_mtl);
  EXPECT_NE(copied_mtl.find("newmtl textured"), std::string::npos);
  std::remove(obj.c_str());
  std::remove(mtl.c_str());
}
