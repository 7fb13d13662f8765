// The stand-in host's object functions over its document: names, faces,
// their materials and corners, the vertex merge.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_document.h"
#include "host_documents.h"

namespace {

std::vector<int32_t> FacePoints(MQObject obj, int32_t face) {
  std::vector<int32_t> points(static_cast<size_t>(MQObj_GetFacePointCount(obj, face)));
  MQObj_GetFacePointArray(obj, face, points.data());
  return points;
}

class HostStandIn : public testing::Test {
 protected:
  void SetUp() override { doc_ = VHost_CreateDocument(); }
  void TearDown() override {
    VHost_DestroyDocument(doc_);
    VHost_SetExportOptions(1.0f, 1, 2, 4, 0);
  }
  MQDocument doc_ = nullptr;
};

}  // namespace

TEST_F(HostStandIn, NamesAreCutToTheBuffer) {
  MQObject obj = AddHostObject(doc_, std::string(300, 'n').c_str(), {});
  char buffer[260];
  std::memset(buffer, 'x', sizeof buffer);
  MQObj_GetName(obj, buffer, 260);
  EXPECT_EQ(std::strlen(buffer), 259u);
  char tiny[4];
  MQObj_GetName(obj, tiny, 4);
  EXPECT_STREQ(tiny, "nnn");
}

TEST_F(HostStandIn, FacesMaterialsAndTheirIndices) {
  MQObject obj = AddHostObject(doc_, "quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  AddHostFace(obj, {0, 1, 2, 3}, -1);
  for (const char* name : {"a", "b", "c"}) AddHostMaterial(doc_, name, MQColor{1, 1, 1});
  const int32_t tri[3] = {0, 2, 3};
  const int32_t bad[3] = {0, 2, 9};
  EXPECT_EQ(MQObj_AddFace(obj, 3, tri), 1);
  EXPECT_EQ(MQObj_AddFace(obj, 3, bad), -1);
  EXPECT_EQ(MQObj_GetFaceCount(obj), 2);
  MQObj_SetFaceMaterial(obj, 0, 1);
  MQObj_SetFaceMaterial(obj, 1, 2);
  const MQCoordinate uv[3] = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
  MQObj_SetFaceCoordinateArray(obj, 1, uv);
  MQObj_SetFaceVertexColor(obj, 1, 2, 0x11223344u);

  MQDoc_DeleteMaterial(doc_, 1);
  EXPECT_EQ(MQDoc_GetMaterialCount(doc_), 2);
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 0), -1);
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 1), 1);

  EXPECT_EQ(MQObj_InvertFace(obj, 1), 1);
  MQCoordinate uvs[3];
  MQObj_GetFaceCoordinateArray(obj, 1, uvs);
  EXPECT_EQ(FacePoints(obj, 1), (std::vector<int32_t>{3, 2, 0}));
  EXPECT_EQ(uvs[0].u, 0.5f);
  EXPECT_EQ(MQObj_GetFaceVertexColor(obj, 1, 0), 0x11223344u);

  EXPECT_EQ(MQObj_GetVertexRefCount(obj, 0), 2);
  EXPECT_EQ(MQObj_DeleteFace(obj, 0, 1), 1);  // vertex 1 is no longer used
  EXPECT_EQ(MQObj_GetVertexCount(obj), 3);
  EXPECT_EQ(FacePoints(obj, 0), (std::vector<int32_t>{2, 1, 0}));  // old vertices 3, 2, 0
  EXPECT_EQ(MQObj_GetFacePointCount(obj, 7), 0);
}

TEST_F(HostStandIn, OptimizeVertexMergesCloseVertices) {
  MQObject obj = AddHostObject(doc_, "o", {{0, 0, 0}, {1, 0, 0}, {0.0001f, 0, 0}, {1, 1, 0}});
  AddHostFace(obj, {0, 1, 3}, -1);
  AddHostFace(obj, {2, 3, 1}, -1);
  MQObj_OptimizeVertex(obj, 0.001f);
  EXPECT_EQ(MQObj_GetVertexCount(obj), 3);
  EXPECT_EQ(FacePoints(obj, 1), (std::vector<int32_t>{0, 2, 1}));
}

// A reader that has copied an object gives back its vertices and then its
// faces: the object is left without them, every function still answers
// within what is left, and the object takes new vertices and faces as an
// empty one does.
TEST_F(HostStandIn, AnObjectGivesBackItsVerticesAndFaces) {
  MQObject obj = AddHostObject(doc_, "copied", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  MQObj_SetVertexColor(obj, 2, 0xFF0000FFu);
  MQObj_SetVertexWeight(obj, 1, 0.5f);
  AddHostFace(obj, {0, 1, 2}, 0, {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}});
  AddHostFace(obj, {1, 3, 2, 0}, -1);
  MQObj_SetFaceVertexColor(obj, 1, 3, 0xFF00FF00u);

  VHost_ReleaseObjectVertices(obj);
  EXPECT_EQ(MQObj_GetVertexCount(obj), 0);
  EXPECT_EQ(MQObj_GetVertexColor(obj, 2), 0u);
  EXPECT_EQ(MQObj_GetVertexWeight(obj, 1), 0.0f);
  // The faces stay, naming vertices by index only.
  ASSERT_EQ(MQObj_GetFaceCount(obj), 2);
  EXPECT_EQ(FacePoints(obj, 1), (std::vector<int32_t>{1, 3, 2, 0}));
  EXPECT_EQ(MQObj_GetFaceVertexColor(obj, 1, 3), 0xFF00FF00u);

  VHost_ReleaseObjectFaces(obj);
  EXPECT_EQ(MQObj_GetFaceCount(obj), 0);
  EXPECT_EQ(MQObj_GetFacePointCount(obj, 0), 0);
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 0), -1);
  EXPECT_EQ(MQObj_GetFaceVertexColor(obj, 1, 3), 0u);
  char name[16];
  MQObj_GetName(obj, name, sizeof name);
  EXPECT_STREQ(name, "copied");

  // Refilled, it holds only what is added now, at the defaults.
  const MQPoint p{2.0f, 3.0f, 4.0f};
  EXPECT_EQ(MQObj_AddVertex(obj, &p), 0);
  EXPECT_EQ(MQObj_AddVertex(obj, &p), 1);
  EXPECT_EQ(MQObj_GetVertexColor(obj, 0), 0xFFFFFFFFu);
  EXPECT_EQ(MQObj_GetVertexWeight(obj, 1), 0.0f);
  const int32_t points[3] = {0, 1, 0};
  EXPECT_EQ(MQObj_AddFace(obj, 3, points), 0);
  EXPECT_EQ(FacePoints(obj, 0), (std::vector<int32_t>{0, 1, 0}));
  EXPECT_EQ(MQObj_GetFaceVertexColor(obj, 0, 2), 0xFFFFFFFFu);
  EXPECT_EQ(MQObj_GetVertexRefCount(obj, 0), 2);
}

// A reader going through the faces in order gives back those it passed: the
// faces from the given one on keep every value, wherever the pages of the
// corner arrays begin and end, and the count stays.
TEST_F(HostStandIn, FacesPassedByAReaderGoBackAndTheRestStay) {
  MQObject obj = AddHostObject(doc_, "passed", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}});
  const int32_t faces = 6000;
  for (int32_t f = 0; f < faces; ++f) {
    // Three to five corners, so that faces straddle the pages' ends.
    const int32_t n = 3 + f % 3;
    std::vector<int32_t> points(static_cast<size_t>(n));
    std::vector<MQCoordinate> uvs(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) {
      points[static_cast<size_t>(k)] = (f + k) % 5;
      uvs[static_cast<size_t>(k)] = MQCoordinate{static_cast<float>(f), static_cast<float>(k + 1)};
    }
    ASSERT_EQ(MQObj_AddFace(obj, n, points.data()), f);
    MQObj_SetFaceCoordinateArray(obj, f, uvs.data());
    MQObj_SetFaceMaterial(obj, f, f % 7);
    MQObj_SetFaceVertexColor(obj, f, n - 1, 0xFF000000u + static_cast<uint32_t>(f));
  }
  MQObject before = MQObj_Clone(obj);
  for (int32_t first : {1, 2047, 4001, 5999}) {
    VHost_ReleaseObjectFacesBefore(obj, first);
    ASSERT_EQ(MQObj_GetFaceCount(obj), faces);
    for (int32_t f = first; f < faces; ++f) {
      const int32_t n = MQObj_GetFacePointCount(before, f);
      ASSERT_EQ(MQObj_GetFacePointCount(obj, f), n) << f;
      ASSERT_EQ(FacePoints(obj, f), FacePoints(before, f)) << f;
      std::vector<MQCoordinate> got(static_cast<size_t>(n)), want(static_cast<size_t>(n));
      MQObj_GetFaceCoordinateArray(obj, f, got.data());
      MQObj_GetFaceCoordinateArray(before, f, want.data());
      for (int32_t k = 0; k < n; ++k) {
        ASSERT_EQ(got[static_cast<size_t>(k)].u, want[static_cast<size_t>(k)].u) << f;
        ASSERT_EQ(got[static_cast<size_t>(k)].v, want[static_cast<size_t>(k)].v) << f;
      }
      ASSERT_EQ(MQObj_GetFaceMaterial(obj, f), f % 7);
      ASSERT_EQ(MQObj_GetFaceVertexColor(obj, f, n - 1), 0xFF000000u + static_cast<uint32_t>(f));
    }
  }
  // Well before the last face given, the faces read as zeros.
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 3000), 0);
  EXPECT_EQ(MQObj_GetFacePointCount(obj, 3000), 0);
  // Out of range it does nothing; the faces then go back whole.
  VHost_ReleaseObjectFacesBefore(obj, faces + 1);
  VHost_ReleaseObjectFacesBefore(obj, -1);
  VHost_ReleaseObjectFaces(obj);
  EXPECT_EQ(MQObj_GetFaceCount(obj), 0);
  MQObj_Delete(before);
}
