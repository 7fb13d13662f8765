// Freezing a whole document: each object's lathe, mirror and subdivision in
// that order, all or nothing, and leaving out hidden objects.
#include "host/document_freeze.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "host/object_rebuilding.h"

bool FreezeObject(MQObjectRecord& obj, std::string& error, std::vector<std::string>* warnings) {
  return FreezeLathe(obj, error, warnings) && FreezeMirror(obj, error) && FreezeSubdivision(obj, error);
}

bool FreezeDocument(MQDocumentRecord& doc, bool skip_hidden, std::string& error,
                    std::vector<std::string>* warnings) {
  // Frozen copies replace the objects only once every object froze.
  std::vector<std::pair<size_t, std::unique_ptr<MQObjectRecord>>> frozen;
  for (size_t i = 0; i < doc.objects.size(); ++i) {
    const MQObjectRecord& obj = *doc.objects[i];
    if ((skip_hidden && obj.visible == 0) || (!IsLathed(obj) && !IsMirrored(obj) && !IsSubdivided(obj))) continue;
    try {
      auto copy = std::make_unique<MQObjectRecord>(obj);
      if (!FreezeObject(*copy, error, warnings)) return false;
      copy->ShareCornerUvs();
      frozen.emplace_back(i, std::move(copy));
    } catch (const std::bad_alloc&) {
      error = "object \"" + obj.name + "\": not enough memory to freeze it";
      return false;
    } catch (const std::length_error&) {
      error = "object \"" + obj.name + "\": not enough memory to freeze it";
      return false;
    }
  }
  for (auto& [index, obj] : frozen) doc.objects[index] = std::move(obj);
  return true;
}

void DropHiddenObjects(MQDocumentRecord& doc) {
  auto& objects = doc.objects;
  objects.erase(std::remove_if(objects.begin(), objects.end(), [](const auto& obj) { return obj->visible == 0; }),
                objects.end());
  doc.current_object = std::clamp(doc.current_object, 0, std::max(0, doc.ObjectCount() - 1));
}

VHostShownOtherwise CountShownOtherwise(const MQDocumentRecord& doc) {
  VHostShownOtherwise counts = {};
  for (const auto& obj : doc.objects) {
    counts.hidden += obj->visible == 0;
    counts.mirrored += IsMirrored(*obj);
    counts.lathed += IsLathed(*obj);
    counts.subdivided += IsSubdivided(*obj);
  }
  return counts;
}
