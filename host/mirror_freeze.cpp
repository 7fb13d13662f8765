// Freezing an object's mirror: a mirrored copy of its geometry across the
// plane of each axis that the mirror names.
#include <cmath>
#include <vector>

#include "host/object_freezes.h"
#include "host/object_rebuilding.h"

namespace {

// Appends the copy across the plane where coordinate axis is 0. Vertices
// within distance of the plane are shared when connected.
void MirrorAcross(MQObjectRecord& obj, int axis, bool connected, float distance) {
  const int32_t vertex_count = obj.VertexCount(), face_count = obj.FaceCount();
  std::vector<int32_t> copy_of(static_cast<size_t>(vertex_count));
  obj.vertices.reserve(2 * obj.vertices.size());
  obj.vertex_colors.reserve(2 * obj.vertices.size());
  obj.vertex_weights.reserve(2 * obj.vertices.size());
  for (int32_t v = 0; v < vertex_count; ++v) {
    float& c = Coordinate(obj.vertices[v], axis);
    if (connected && std::fabs(c) <= distance) {
      c = 0.0f;  // onto the plane, for both halves
      copy_of[v] = v;
      continue;
    }
    MQPoint p = obj.vertices[v];
    Coordinate(p, axis) = 0.0f - c;  // a copy of a vertex on the plane gets +0, not -0
    copy_of[v] = obj.AddVertex(p);
    obj.vertex_colors.Set(obj.vertex_colors.size() - 1, obj.vertex_colors[v]);
    obj.vertex_weights.Set(obj.vertex_weights.size() - 1, obj.vertex_weights[v]);
  }

  const size_t corners = obj.corner_vertex.size();
  std::vector<MQCoordinate>& corner_uv = obj.CornerUvsPerCorner();
  obj.corner_vertex.reserve(2 * corners);
  corner_uv.reserve(2 * corners);
  obj.corner_color.reserve(2 * corners);
  for (int32_t f = 0; f < face_count; ++f) {
    const int32_t first = obj.face_start[f], last = obj.face_start[f + 1];
    if (connected) {
      // A face lying in the plane would come back onto itself, reversed.
      bool in_plane = true;
      for (int32_t c = first; c < last && in_plane; ++c)
        in_plane = copy_of[obj.corner_vertex[c]] == obj.corner_vertex[c];
      if (in_plane) continue;
    }
    // Reversed corners keep the copy facing outward.
    for (int32_t c = last - 1; c >= first; --c) {
      obj.corner_vertex.push_back(copy_of[obj.corner_vertex[c]]);
      corner_uv.push_back(corner_uv[c]);
      obj.corner_color.push_back(obj.corner_color[c]);
    }
    obj.face_start.push_back(static_cast<int32_t>(obj.corner_vertex.size()));
    obj.face_material.push_back(obj.face_material[f]);
  }
}

}  // namespace

bool FreezeMirror(MQObjectRecord& obj, std::string& error) {
  if (!IsMirrored(obj)) {
    obj.mirror_type = 0;
    return true;
  }
  const bool connected = obj.mirror_type == 2;
  // No distance (or a negative or NaN one) connects the vertices exactly on the plane.
  const float distance = connected && obj.mirror_distance > 0.0f ? obj.mirror_distance : 0.0f;
  int copies = 1;
  for (int axis = 0; axis < 3; ++axis)
    if (obj.mirror_axis & (1u << axis)) copies *= 2;
  if (!FitsInObject(obj, int64_t{obj.VertexCount()} * copies, static_cast<int64_t>(obj.corner_vertex.size()) * copies,
                    "mirroring", error))
    return false;
  for (int axis = 0; axis < 3; ++axis)
    if (obj.mirror_axis & (1u << axis)) MirrorAcross(obj, axis, connected, distance);
  obj.mirror_type = 0;
  return true;
}
