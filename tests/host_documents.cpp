#include "host_documents.h"

#include <vector>

int32_t AddHostMaterial(MQDocument doc, const char* name, MQColor color, float alpha, const char* texture) {
  MQMaterial mat = MQ_CreateMaterial();
  MQMat_SetName(mat, name);
  MQMat_SetColor(mat, &color);
  MQMat_SetAlpha(mat, alpha);
  MQMat_SetTextureName(mat, texture);
  return MQDoc_AddMaterial(doc, mat);
}

MQObject AddHostObject(MQDocument doc, const char* name, std::initializer_list<MQPoint> vertices) {
  MQObject obj = MQ_CreateObject();
  MQObj_SetName(obj, name);
  for (const MQPoint& p : vertices) MQObj_AddVertex(obj, &p);
  MQDoc_AddObject(doc, obj);
  return obj;
}

int32_t AddHostFace(MQObject obj, std::initializer_list<int32_t> points, int32_t material,
                    std::initializer_list<MQCoordinate> uvs) {
  std::vector<int32_t> corners(points);
  const int32_t f = MQObj_AddFace(obj, static_cast<int32_t>(corners.size()), corners.data());
  MQObj_SetFaceMaterial(obj, f, material);
  if (uvs.size() == corners.size()) {
    std::vector<MQCoordinate> pairs(uvs);
    MQObj_SetFaceCoordinateArray(obj, f, pairs.data());
  }
  return f;
}
