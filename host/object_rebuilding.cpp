// What the freezes of one object share.
#include "host/object_rebuilding.h"

#include <algorithm>
#include <limits>
#include <utility>

bool FitsInObject(const MQObjectRecord& obj, int64_t vertices, int64_t corners, const char* what,
                  std::string& error) {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (vertices <= kMax && corners <= kMax) return true;
  error = "object \"" + obj.name + "\": " + what + " would give " +
          std::to_string(std::max(vertices, corners)) + (vertices > kMax ? " vertices" : " face corners") +
          ", more than an object can hold";
  return false;
}

void TakeFaces(MQObjectRecord& obj, MQObjectRecord&& rebuilt) {
  obj.face_start = std::move(rebuilt.face_start);
  obj.face_material = std::move(rebuilt.face_material);
  obj.corner_vertex = std::move(rebuilt.corner_vertex);
  obj.corner_uvs = std::move(rebuilt.corner_uvs);
  obj.corner_color = std::move(rebuilt.corner_color);
}

bool IsLathed(const MQObjectRecord& obj) {
  if (obj.lathe_type == 0) return false;
  for (int32_t f = 0; f < obj.FaceCount(); ++f)
    if (obj.CornerCount(f) == 2) return true;
  return false;
}

bool IsMirrored(const MQObjectRecord& obj) { return obj.mirror_type != 0 && (obj.mirror_axis & 7) != 0; }

bool IsSubdivided(const MQObjectRecord& obj) {
  if (obj.patch_type == 0) return false;
  for (int32_t f = 0; f < obj.FaceCount(); ++f)
    if (obj.CornerCount(f) >= 3) return true;
  return false;
}
