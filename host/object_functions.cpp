// The stand-in host's object functions: names, vertices, faces, attributes.
#include <algorithm>
#include <cstring>

#include "host/host_api.h"
#include "host/host_document.h"

extern "C" {

VHOST_API(void) MQObj_Delete(MQObject obj) { delete obj; }

VHOST_API(MQObject) MQObj_Clone(MQObject obj) { return new MQObjectRecord(*obj); }

VHOST_API(void) MQObj_Merge(MQObject obj, MQObject source) {
  if (source && source != obj) obj->Append(*source);
}

VHOST_API(void) MQObj_Freeze(MQObject, uint32_t) {}

VHOST_API(void) MQObj_GetName(MQObject obj, char* buffer, int32_t size) { CopyHostName(obj->name, buffer, size); }

VHOST_API(int32_t) MQObj_GetVertexCount(MQObject obj) { return obj->VertexCount(); }

VHOST_API(void) MQObj_GetVertex(MQObject obj, int32_t index, MQPoint* point) {
  if (point && obj->HasVertex(index)) *point = obj->vertices[index];
}

VHOST_API(void) MQObj_SetVertex(MQObject obj, int32_t index, const MQPoint* point) {
  if (point && obj->HasVertex(index)) obj->vertices[index] = *point;
}

VHOST_API(void) MQObj_GetVertexArray(MQObject obj, MQPoint* points) {
  if (points && !obj->vertices.empty())
    std::memcpy(points, obj->vertices.data(), obj->vertices.size() * sizeof(MQPoint));
}

VHOST_API(int32_t) MQObj_GetFaceCount(MQObject obj) { return obj->FaceCount(); }

VHOST_API(int32_t) MQObj_GetFacePointCount(MQObject obj, int32_t face) {
  return obj->HasFace(face) ? obj->CornerCount(face) : 0;
}

VHOST_API(void) MQObj_GetFacePointArray(MQObject obj, int32_t face, int32_t* points) {
  if (!points || !obj->HasFace(face)) return;
  std::copy(obj->corner_vertex.begin() + obj->face_start[face], obj->corner_vertex.begin() + obj->face_start[face + 1],
            points);
}

VHOST_API(void) MQObj_GetFaceCoordinateArray(MQObject obj, int32_t face, MQCoordinate* uvs) {
  if (!uvs || !obj->HasFace(face)) return;
  const size_t first = static_cast<size_t>(obj->face_start[face]);
  const size_t count = static_cast<size_t>(obj->CornerCount(face));
  for (size_t k = 0; k < count; ++k) uvs[k] = obj->CornerUv(first + k);
}

VHOST_API(int32_t) MQObj_GetFaceMaterial(MQObject obj, int32_t face) {
  return obj->HasFace(face) ? obj->face_material[face] : -1;
}

VHOST_API(void) MQObj_SetName(MQObject obj, const char* name) { obj->name = name ? name : ""; }

VHOST_API(int32_t) MQObj_AddVertex(MQObject obj, const MQPoint* point) {
  return obj->AddVertex(point ? *point : MQPoint{0.0f, 0.0f, 0.0f});
}

VHOST_API(int32_t) MQObj_DeleteVertex(MQObject obj, int32_t index, int32_t delete_faces) {
  if (!obj->HasVertex(index)) return 0;
  obj->DeleteVertex(index, delete_faces != 0);
  return 1;
}

VHOST_API(int32_t) MQObj_GetVertexRefCount(MQObject obj, int32_t index) {
  return static_cast<int32_t>(std::count(obj->corner_vertex.begin(), obj->corner_vertex.end(), index));
}

VHOST_API(uint32_t) MQObj_GetVertexColor(MQObject obj, int32_t index) {
  return obj->HasVertex(index) ? obj->vertex_colors[index] : 0;
}

VHOST_API(void) MQObj_SetVertexColor(MQObject obj, int32_t index, uint32_t color) {
  if (obj->HasVertex(index)) obj->vertex_colors.Set(index, color);
}

VHOST_API(float) MQObj_GetVertexWeight(MQObject obj, int32_t index) {
  return obj->HasVertex(index) ? obj->vertex_weights[index] : 0.0f;
}

VHOST_API(void) MQObj_SetVertexWeight(MQObject obj, int32_t index, float weight) {
  if (obj->HasVertex(index)) obj->vertex_weights.Set(index, weight);
}

VHOST_API(void) MQObj_CopyVertexAttribute(MQObject obj, int32_t dest, MQObject source_obj, int32_t source) {
  if (!source_obj || !obj->HasVertex(dest) || !source_obj->HasVertex(source)) return;
  obj->vertex_colors.Set(dest, source_obj->vertex_colors[source]);
  obj->vertex_weights.Set(dest, source_obj->vertex_weights[source]);
}

VHOST_API(int32_t) MQObj_AddFace(MQObject obj, int32_t count, const int32_t* points) {
  if (count < 0 || (count > 0 && !points)) return -1;
  for (int32_t k = 0; k < count; ++k)
    if (!obj->HasVertex(points[k])) return -1;
  return obj->AddFace(count, points);
}

VHOST_API(int32_t) MQObj_DeleteFace(MQObject obj, int32_t face, int32_t delete_vertices) {
  if (!obj->HasFace(face)) return 0;
  obj->DeleteFace(face);
  if (delete_vertices) obj->RemoveUnusedVertices();
  return 1;
}

VHOST_API(int32_t) MQObj_InvertFace(MQObject obj, int32_t face) {
  if (!obj->HasFace(face)) return 0;
  obj->InvertFace(face);
  return 1;
}

VHOST_API(void) MQObj_SetFaceMaterial(MQObject obj, int32_t face, int32_t material) {
  if (obj->HasFace(face)) obj->face_material.Set(static_cast<size_t>(face), material);
}

VHOST_API(void) MQObj_SetFaceCoordinateArray(MQObject obj, int32_t face, const MQCoordinate* uvs) {
  if (!uvs || !obj->HasFace(face)) return;
  std::copy(uvs, uvs + obj->CornerCount(face), obj->CornerUvsPerCorner().begin() + obj->face_start[face]);
}

VHOST_API(uint32_t) MQObj_GetFaceVertexColor(MQObject obj, int32_t face, int32_t corner) {
  if (!obj->HasFace(face) || corner < 0 || corner >= obj->CornerCount(face)) return 0;
  return obj->corner_color[obj->face_start[face] + corner];
}

VHOST_API(void) MQObj_SetFaceVertexColor(MQObject obj, int32_t face, int32_t corner, uint32_t color) {
  if (!obj->HasFace(face) || corner < 0 || corner >= obj->CornerCount(face)) return;
  obj->corner_color.Set(obj->face_start[face] + corner, color);
}

VHOST_API(void) MQObj_OptimizeVertex(MQObject obj, float distance) { obj->MergeCloseVertices(distance); }

VHOST_API(void) MQObj_Compact(MQObject obj) { obj->RemoveUnusedVertices(); }

VHOST_EXPORT void VHost_ReleaseObjectVertices(MQObject obj) {
  if (obj) obj->ReleaseVertices();
}

VHOST_EXPORT void VHost_ReleaseObjectFaces(MQObject obj) {
  if (obj) obj->ReleaseFaces();
}

VHOST_EXPORT void VHost_ReleaseObjectFacesBefore(MQObject obj, int32_t face) {
  if (obj) obj->DiscardFacesBefore(face);
}

#define OBJECT_SETTING(type, name, field)                                \
  VHOST_API(type) MQObj_Get##name(MQObject obj) { return obj->field; } \
  VHOST_API(void) MQObj_Set##name(MQObject obj, type value) { obj->field = value; }
#include "host/object_settings.inc"
#undef OBJECT_SETTING

}  // extern "C"
