// The stand-in host's document functions: objects, materials, selection.
#include <algorithm>

#include "host/host_api.h"
#include "host/host_document.h"

namespace {

template <class T>
bool InRange(const std::vector<T>& v, int32_t i) {
  return i >= 0 && static_cast<size_t>(i) < v.size();
}

// The document's objects and materials are owned lists with a current
// item each; these serve both.
template <class Owned>
auto ItemAt(const std::vector<Owned>& items, int32_t index) -> decltype(items[0].get()) {
  return InRange(items, index) ? items[index].get() : nullptr;
}

template <class Owned>
void SetCurrent(const std::vector<Owned>& items, int32_t index, int32_t& current) {
  if (InRange(items, index)) current = index;
}

// Takes ownership of item; its index, or -1 for none.
template <class Owned, class Item>
int32_t Append(std::vector<Owned>& items, Item* item) {
  if (!item) return -1;
  items.emplace_back(item);
  return static_cast<int32_t>(items.size()) - 1;
}

// Removes the item at index; the current item stays in range.
template <class Owned>
bool Remove(std::vector<Owned>& items, int32_t index, int32_t& current) {
  if (!InRange(items, index)) return false;
  items.erase(items.begin() + index);
  if (current >= static_cast<int32_t>(items.size())) current = std::max(0, static_cast<int32_t>(items.size()) - 1);
  return true;
}

int32_t Toggle(std::set<SelectionKey>& set, const SelectionKey& key, bool add) {
  if (add) return set.insert(key).second ? 1 : 0;
  return set.erase(key) ? 1 : 0;
}

}  // namespace

extern "C" {

// The document's objects and its materials: the count, an item, the
// current one, and adding one (which takes ownership).
#define LIST_FUNCTIONS(kind, handle, list, current)                                                     \
  VHOST_API(int32_t) MQDoc_Get##kind##Count(MQDocument doc) {                                           \
    return static_cast<int32_t>(doc->list.size());                                                      \
  }                                                                                                     \
  VHOST_API(handle) MQDoc_Get##kind(MQDocument doc, int32_t index) { return ItemAt(doc->list, index); } \
  VHOST_API(int32_t) MQDoc_GetCurrent##kind##Index(MQDocument doc) { return doc->current; }             \
  VHOST_API(void) MQDoc_SetCurrent##kind##Index(MQDocument doc, int32_t index) {                        \
    SetCurrent(doc->list, index, doc->current);                                                         \
  }                                                                                                     \
  VHOST_API(int32_t) MQDoc_Add##kind(MQDocument doc, handle item) { return Append(doc->list, item); }
LIST_FUNCTIONS(Object, MQObject, objects, current_object)
LIST_FUNCTIONS(Material, MQMaterial, materials, current_material)
#undef LIST_FUNCTIONS

VHOST_API(void) MQDoc_DeleteObject(MQDocument doc, int32_t index) { Remove(doc->objects, index, doc->current_object); }

VHOST_API(int32_t) MQDoc_GetObjectIndex(MQDocument doc, MQObject obj) {
  for (int32_t i = 0; i < doc->ObjectCount(); ++i)
    if (doc->objects[i].get() == obj) return i;
  return -1;
}

VHOST_API(void) MQDoc_DeleteMaterial(MQDocument doc, int32_t index) {
  if (!Remove(doc->materials, index, doc->current_material)) return;
  for (auto& obj : doc->objects)
    for (size_t f = 0; f < obj->face_material.size(); ++f) {
      const int32_t m = obj->face_material[f];
      if (m == index) obj->face_material.Set(f, -1);
      else if (m > index) obj->face_material.Set(f, m - 1);
    }
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

// Each kind of selection has its add, delete and ask functions, over the
// set of its keys; the parameters after the object name the element.
#define SELECTION_FUNCTIONS(kind, set, key, ...)                                          \
  VHOST_API(int32_t) MQDoc_AddSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__) {    \
    return Toggle(doc->set, key, true);                                                   \
  }                                                                                       \
  VHOST_API(int32_t) MQDoc_DeleteSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__) { \
    return Toggle(doc->set, key, false);                                                  \
  }                                                                                       \
  VHOST_API(int32_t) MQDoc_IsSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__) {     \
    return doc->set.count(key) ? 1 : 0;                                                   \
  }
SELECTION_FUNCTIONS(Vertex, selected_vertices, SelectionKey(obj, vertex, -1), int32_t vertex)
SELECTION_FUNCTIONS(Line, selected_lines, SelectionKey(obj, face, line), int32_t face, int32_t line)
SELECTION_FUNCTIONS(Face, selected_faces, SelectionKey(obj, face, -1), int32_t face)
SELECTION_FUNCTIONS(UVVertex, selected_uv_vertices, SelectionKey(obj, face, corner), int32_t face, int32_t corner)
#undef SELECTION_FUNCTIONS

VHOST_API(int32_t) MQDoc_FindMappingFile(MQDocument, char*, const char*, uint32_t) { return 0; }

VHOST_API(MQScene) MQDoc_GetScene(MQDocument, int32_t) { return nullptr; }

VHOST_API(void) MQScene_InitSize(MQScene, int32_t, int32_t) {}
VHOST_API(void) MQScene_GetProjMatrix(MQScene, float*) {}
VHOST_API(void) MQScene_GetViewMatrix(MQScene, float*) {}

}  // extern "C"
