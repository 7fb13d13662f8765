// The stand-in host's interface functions over its document.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/host_api.h"
#include "host/host_document.h"

namespace {

MQObject MakeQuadObject(MQDocument doc) {
  MQObject obj = MQ_CreateObject();
  MQObj_SetName(obj, "quad");
  const MQPoint p[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (const MQPoint& q : p) MQObj_AddVertex(obj, &q);
  const int32_t corners[4] = {0, 1, 2, 3};
  MQObj_AddFace(obj, 4, corners);
  MQDoc_AddObject(doc, obj);
  return obj;
}

}  // namespace

TEST(HostStandIn, DialogAppliesTheProgramsOptionsUnlessCancelled) {
  ExportDialogRecord record = {};
  record.axis1 = 1;
  record.axis2 = 2;
  record.axis3 = 4;
  MQPoint p[1] = {{1.0f, 2.0f, 3.0f}};
  MQ_ExportAxis(&record, p, 1);  // the driver's record converts nothing
  EXPECT_EQ(p[0].x, 1.0f);
  EXPECT_EQ(p[0].z, 3.0f);

  VHost_SetExportOptions(2.0f, 4 | kAxisNegate, 2, 1, 0);
  EXPECT_EQ(MQ_ShowFileDialog("t", &record), 1);
  MQ_ExportAxis(&record, p, 1);
  EXPECT_EQ(p[0].x, -6.0f);
  EXPECT_EQ(p[0].y, 4.0f);
  EXPECT_EQ(p[0].z, 2.0f);
  MQ_ImportAxis(&record, p, 1);
  EXPECT_EQ(p[0].x, 1.0f);
  EXPECT_EQ(p[0].y, 2.0f);
  EXPECT_EQ(p[0].z, 3.0f);

  ExportDialogRecord untouched = {};
  untouched.axis1 = 1;
  VHost_SetExportOptions(5.0f, 2, 2, 2, 1);
  EXPECT_EQ(MQ_ShowFileDialog("t", &untouched), 0);
  EXPECT_EQ(untouched.axis1, 1);
  EXPECT_EQ(untouched.host_word1, 0);
  VHost_SetExportOptions(1.0f, 1, 2, 4, 0);
}

TEST(HostStandIn, NamesAreCutToTheBuffer) {
  MQDocument doc = VHost_CreateDocument();
  MQObject obj = MakeQuadObject(doc);
  const std::string long_name(300, 'n');
  MQObj_SetName(obj, long_name.c_str());
  char buffer[260];
  std::memset(buffer, 'x', sizeof buffer);
  MQObj_GetName(obj, buffer, 260);
  EXPECT_EQ(std::strlen(buffer), 259u);
  char tiny[4];
  MQObj_GetName(obj, tiny, 4);
  EXPECT_STREQ(tiny, "nnn");
  VHost_DestroyDocument(doc);
}

TEST(HostStandIn, FacesMaterialsAndTheirIndices) {
  MQDocument doc = VHost_CreateDocument();
  MQObject obj = MakeQuadObject(doc);
  for (const char* name : {"a", "b", "c"}) {
    MQMaterial mat = MQ_CreateMaterial();
    MQMat_SetName(mat, name);
    MQDoc_AddMaterial(doc, mat);
  }
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

  MQDoc_DeleteMaterial(doc, 1);
  EXPECT_EQ(MQDoc_GetMaterialCount(doc), 2);
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 0), -1);
  EXPECT_EQ(MQObj_GetFaceMaterial(obj, 1), 1);

  EXPECT_EQ(MQObj_InvertFace(obj, 1), 1);
  int32_t points[3];
  MQCoordinate uvs[3];
  MQObj_GetFacePointArray(obj, 1, points);
  MQObj_GetFaceCoordinateArray(obj, 1, uvs);
  EXPECT_EQ(points[0], 3);
  EXPECT_EQ(points[2], 0);
  EXPECT_EQ(uvs[0].u, 0.5f);
  EXPECT_EQ(MQObj_GetFaceVertexColor(obj, 1, 0), 0x11223344u);

  EXPECT_EQ(MQObj_GetVertexRefCount(obj, 0), 2);
  EXPECT_EQ(MQObj_DeleteFace(obj, 0, 1), 1);  // vertex 1 is no longer used
  EXPECT_EQ(MQObj_GetVertexCount(obj), 3);
  MQObj_GetFacePointArray(obj, 0, points);
  EXPECT_EQ(points[0], 2);  // old vertex 3
  EXPECT_EQ(MQObj_GetFacePointCount(obj, 7), 0);
  VHost_DestroyDocument(doc);
}

TEST(HostStandIn, OptimizeVertexMergesCloseVertices) {
  MQDocument doc = VHost_CreateDocument();
  MQObject obj = MQ_CreateObject();
  const MQPoint p[4] = {{0, 0, 0}, {1, 0, 0}, {0.0001f, 0, 0}, {1, 1, 0}};
  for (const MQPoint& q : p) MQObj_AddVertex(obj, &q);
  const int32_t a[3] = {0, 1, 3};
  const int32_t b[3] = {2, 3, 1};
  MQObj_AddFace(obj, 3, a);
  MQObj_AddFace(obj, 3, b);
  MQDoc_AddObject(doc, obj);
  MQObj_OptimizeVertex(obj, 0.001f);
  EXPECT_EQ(MQObj_GetVertexCount(obj), 3);
  int32_t points[3];
  MQObj_GetFacePointArray(obj, 1, points);
  EXPECT_EQ(points[0], 0);
  EXPECT_EQ(points[1], 2);
  EXPECT_EQ(points[2], 1);
  VHost_DestroyDocument(doc);
}
