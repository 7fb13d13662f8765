// The stand-in host's document functions: objects, materials, selection.
#include <algorithm>

#include "host/host_api.h"
#include "host/host_document.h"

namespace {

template <class T>
bool InRange(const std::vector<T>& v, int32_t i) {
  return i >= 0 && static_cast<size_t>(i) < v.size();
}

int32_t Toggle(std::set<SelectionKey>& set, const SelectionKey& key, bool add) {
  if (add) return set.insert(key).second ? 1 : 0;
  return set.erase(key) ? 1 : 0;
}

}  // namespace

extern "C" {

VHOST_API(int32_t) MQDoc_GetObjectCount(MQDocument doc) { return doc->ObjectCount(); }

VHOST_API(MQObject) MQDoc_GetObject(MQDocument doc, int32_t index) {
  return InRange(doc->objects, index) ? doc->objects[index].get() : nullptr;
}

VHOST_API(int32_t) MQDoc_GetCurrentObjectIndex(MQDocument doc) { return doc->current_object; }

VHOST_API(void) MQDoc_SetCurrentObjectIndex(MQDocument doc, int32_t index) {
  if (InRange(doc->objects, index)) doc->current_object = index;
}

VHOST_API(int32_t) MQDoc_AddObject(MQDocument doc, MQObject obj) {
  if (!obj) return -1;
  doc->objects.emplace_back(obj);
  return doc->ObjectCount() - 1;
}

VHOST_API(void) MQDoc_DeleteObject(MQDocument doc, int32_t index) {
  if (!InRange(doc->objects, index)) return;
  doc->objects.erase(doc->objects.begin() + index);
  if (doc->current_object >= doc->ObjectCount()) doc->current_object = std::max(0, doc->ObjectCount() - 1);
}

VHOST_API(int32_t) MQDoc_GetObjectIndex(MQDocument doc, MQObject obj) {
  for (int32_t i = 0; i < doc->ObjectCount(); ++i)
    if (doc->objects[i].get() == obj) return i;
  return -1;
}

VHOST_API(int32_t) MQDoc_GetMaterialCount(MQDocument doc) { return doc->MaterialCount(); }

VHOST_API(MQMaterial) MQDoc_GetMaterial(MQDocument doc, int32_t index) {
  return InRange(doc->materials, index) ? doc->materials[index].get() : nullptr;
}

VHOST_API(int32_t) MQDoc_GetCurrentMaterialIndex(MQDocument doc) { return doc->current_material; }

VHOST_API(void) MQDoc_SetCurrentMaterialIndex(MQDocument doc, int32_t index) {
  if (InRange(doc->materials, index)) doc->current_material = index;
}

VHOST_API(int32_t) MQDoc_AddMaterial(MQDocument doc, MQMaterial mat) {
  if (!mat) return -1;
  doc->materials.emplace_back(mat);
  return doc->MaterialCount() - 1;
}

VHOST_API(void) MQDoc_DeleteMaterial(MQDocument doc, int32_t index) {
  if (!InRange(doc->materials, index)) return;
  doc->materials.erase(doc->materials.begin() + index);
  for (auto& obj : doc->objects)
    for (int32_t& m : obj->face_material) {
      if (m == index) m = -1;
      else if (m > index) --m;
    }
  if (doc->current_material >= doc->MaterialCount())
    doc->current_material = std::max(0, doc->MaterialCount() - 1);
}

VHOST_API(void) MQDoc_Compact(MQDocument doc) {
  for (auto& obj : doc->objects) obj->RemoveUnusedVertices();
}

VHOST_API(void) MQDoc_ClearSelect(MQDocument doc, uint32_t kinds) {
  if (kinds & kSelectVertex) doc->selected_vertices.clear();
  if (kinds & kSelectLine) doc->selected_lines.clear();
  if (kinds & kSelectFace) doc->selected_faces.clear();
  if (kinds & kSelectUvVertex) doc->selected_uv_vertices.clear();
}

VHOST_API(int32_t) MQDoc_AddSelectVertex(MQDocument doc, int32_t obj, int32_t vertex) {
  return Toggle(doc->selected_vertices, SelectionKey(obj, vertex, -1), true);
}
VHOST_API(int32_t) MQDoc_DeleteSelectVertex(MQDocument doc, int32_t obj, int32_t vertex) {
  return Toggle(doc->selected_vertices, SelectionKey(obj, vertex, -1), false);
}
VHOST_API(int32_t) MQDoc_IsSelectVertex(MQDocument doc, int32_t obj, int32_t vertex) {
  return doc->selected_vertices.count(SelectionKey(obj, vertex, -1)) ? 1 : 0;
}
VHOST_API(int32_t) MQDoc_AddSelectLine(MQDocument doc, int32_t obj, int32_t face, int32_t line) {
  return Toggle(doc->selected_lines, SelectionKey(obj, face, line), true);
}
VHOST_API(int32_t) MQDoc_DeleteSelectLine(MQDocument doc, int32_t obj, int32_t face, int32_t line) {
  return Toggle(doc->selected_lines, SelectionKey(obj, face, line), false);
}
VHOST_API(int32_t) MQDoc_IsSelectLine(MQDocument doc, int32_t obj, int32_t face, int32_t line) {
  return doc->selected_lines.count(SelectionKey(obj, face, line)) ? 1 : 0;
}
VHOST_API(int32_t) MQDoc_AddSelectFace(MQDocument doc, int32_t obj, int32_t face) {
  return Toggle(doc->selected_faces, SelectionKey(obj, face, -1), true);
}
VHOST_API(int32_t) MQDoc_DeleteSelectFace(MQDocument doc, int32_t obj, int32_t face) {
  return Toggle(doc->selected_faces, SelectionKey(obj, face, -1), false);
}
VHOST_API(int32_t) MQDoc_IsSelectFace(MQDocument doc, int32_t obj, int32_t face) {
  return doc->selected_faces.count(SelectionKey(obj, face, -1)) ? 1 : 0;
}
VHOST_API(int32_t) MQDoc_AddSelectUVVertex(MQDocument doc, int32_t obj, int32_t face, int32_t corner) {
  return Toggle(doc->selected_uv_vertices, SelectionKey(obj, face, corner), true);
}
VHOST_API(int32_t) MQDoc_DeleteSelectUVVertex(MQDocument doc, int32_t obj, int32_t face, int32_t corner) {
  return Toggle(doc->selected_uv_vertices, SelectionKey(obj, face, corner), false);
}
VHOST_API(int32_t) MQDoc_IsSelectUVVertex(MQDocument doc, int32_t obj, int32_t face, int32_t corner) {
  return doc->selected_uv_vertices.count(SelectionKey(obj, face, corner)) ? 1 : 0;
}

VHOST_API(int32_t) MQDoc_FindMappingFile(MQDocument, char*, const char*, uint32_t) { return 0; }

VHOST_API(MQScene) MQDoc_GetScene(MQDocument, int32_t) { return nullptr; }

VHOST_API(void) MQScene_InitSize(MQScene, int32_t, int32_t) {}
VHOST_API(void) MQScene_GetProjMatrix(MQScene, float*) {}
VHOST_API(void) MQScene_GetViewMatrix(MQScene, float*) {}

}  // extern "C"
