// The driver's copy of a host document into a scene, before any pass.
#include <gtest/gtest.h>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "host/host_document.h"
#include "host_documents.h"
#include "test_scenes.h"

namespace {

class DriverTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = OpenLibrary(VELLMAR_HOST_MODULE);
    ASSERT_NE(host_, nullptr) << LibraryError();
    ASSERT_EQ(BindHost(VELLMAR_HOST_MODULE, BoundHost()), 1);
    doc_ = VHost_CreateDocument();
  }
  void TearDown() override {
    VHost_DestroyDocument(doc_);
    CloseLibrary(host_);
  }

  WScene Read() {
    ExportDialogRecord record = MakeExportDialogRecord();
    WScene scene;
    ReadDocumentIntoScene(doc_, record, scene);
    return scene;
  }

  void* host_ = nullptr;
  MQDocument doc_ = nullptr;
};

}  // namespace

TEST_F(DriverTest, MaterialsShareTexturesByExactName) {
  AddHostMaterial(doc_, "a", MQColor{1, 0, 0}, 0.5f, "wood.bmp");
  AddHostMaterial(doc_, "", MQColor{0, 1, 0}, 1.0f, "wood.bmp");
  AddHostMaterial(doc_, "c", MQColor{0, 0, 1}, 1.0f, "Wood.bmp");
  AddHostMaterial(doc_, "d", MQColor{0, 0, 0}, 1.0f, "");
  const WScene scene = Read();
  ASSERT_EQ(scene.mnum, 4);
  ASSERT_EQ(scene.tnum, 2);
  EXPECT_STREQ(scene.textures[0].name.get(), "wood.bmp");
  EXPECT_STREQ(scene.textures[1].name.get(), "Wood.bmp");
  const int tex[] = {0, 0, 1, -1};
  for (int m = 0; m < 4; ++m) EXPECT_EQ(scene.materials[m].tex, tex[m]);
  EXPECT_STREQ(scene.materials[1].name.get(), "mat_01");
  EXPECT_EQ(scene.materials[0].col, WColor(1, 0, 0, 0.5f));
}

TEST_F(DriverTest, ObjectsFacesAndOneUvPerCorner) {
  AddHostMaterial(doc_, "half", MQColor{0.2f, 0.4f, 0.6f}, 0.5f);
  MQObject first = AddHostObject(doc_, "", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
  AddHostFace(first, {0, 1, 2, 3}, 0, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  AddHostFace(first, {1, 4, 2}, -1, {{1, 0}, {2, 0}, {1, 1}});
  AddHostObject(doc_, "same", {});
  AddHostObject(doc_, "same", {});
  const WScene scene = Read();
  ASSERT_EQ(scene.onum, 3);
  EXPECT_STREQ(scene.objects[0].name.get(), "obj_00");
  EXPECT_STREQ(scene.objects[1].name.get(), "same");
  EXPECT_STREQ(scene.objects[2].name.get(), "same");

  const WObject& obj = scene.objects[0];
  // Records: vertices, faces, one uv per corner of a quadrilateral and a
  // triangle, no lines, normals or colours.
  EXPECT_EQ((std::vector<int>{obj.vnum, obj.fnum, obj.unum, obj.lnum, obj.nnum, obj.cnum}),
            (std::vector<int>{5, 2, 7, 0, 0, 0}));
  ASSERT_EQ(obj.fnum, 2);
  const WFace& quad = obj.faces[0];
  const WFace& tri = obj.faces[1];
  EXPECT_EQ(quad.num, 4);
  EXPECT_EQ(Corners(tri), (std::vector<int>{1, 4, 2}));
  EXPECT_EQ(Corners(tri, &WFace::vt), (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(obj.uvs[5].u, 2.0f);
  // Face colour: the material's colour with alpha 1, or white.
  EXPECT_EQ(quad.col, WColor(0.2f, 0.4f, 0.6f, 1.0f));
  EXPECT_EQ(scene.materials[0].col.a, 0.5f);
  EXPECT_EQ(tri.material, -1);
  EXPECT_EQ(tri.col, WColor(1, 1, 1, 1));
  EXPECT_EQ(quad.CornerColor(0), WColor(1, 1, 1, 1));
  EXPECT_EQ(obj.vertices[2].pos, WVector(1, 1, 0));
}

TEST_F(DriverTest, BadIndicesFromTheHostAreContained) {
  AddHostMaterial(doc_, "m", MQColor{1, 1, 1});
  MQObject obj = AddHostObject(doc_, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddHostFace(obj, {0, 1, 2}, 1);   // material beyond the list
  AddHostFace(obj, {0, 1, 2}, -5);  // and before it
  AddHostFace(obj, {0, 1, 2}, 0);
  // A face over a vertex the object does not have: the stand-in refuses to
  // add one, so reach into its document as a misbehaving host would.
  obj->corner_vertex[obj->face_start[2] + 1] = 3;
  const WScene scene = Read();
  const WObject& o = scene.objects[0];
  ASSERT_EQ(o.fnum, 2);
  EXPECT_EQ(o.faces[0].material, -1);
  EXPECT_EQ(o.faces[1].material, -1);
  EXPECT_EQ(o.unum, 6);
}

TEST_F(DriverTest, NgonsArriveWhole) {
  MQObject obj = AddHostObject(doc_, "o", {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {2, 2, 0}, {1, 3, 0},
                                           {0, 3, 0}, {-1, 1, 0}});
  AddHostFace(obj, {0, 1, 2, 3, 4, 5, 6}, -1);
  const WScene scene = Read();
  const WFace& face = scene.objects[0].faces[0];
  EXPECT_EQ(Corners(face), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Corners(face, &WFace::vt), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}
