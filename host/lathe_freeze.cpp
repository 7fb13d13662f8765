// Freezing an object's lathe: its profile edges swept around an axis
// through the origin into a closed surface of revolution.
#include <algorithm>
#include <cmath>
#include <vector>

#include "host/object_freezes.h"
#include "host/object_rebuilding.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Corner {
  int32_t vertex;
  MQCoordinate uv;
  uint32_t color;
};

void AddFace(MQObjectRecord& faces, const Corner* corners, int32_t count, int32_t material) {
  std::vector<MQCoordinate>& corner_uv = faces.CornerUvsPerCorner();
  for (int32_t k = 0; k < count; ++k) {
    faces.corner_vertex.push_back(corners[k].vertex);
    corner_uv.push_back(corners[k].uv);
    faces.corner_color.push_back(corners[k].color);
  }
  faces.face_start.push_back(static_cast<int32_t>(faces.corner_vertex.size()));
  faces.face_material.push_back(material);
}

// Cosine and sine of each step of a full turn.
void TurnSteps(int32_t segments, std::vector<float>& cosine, std::vector<float>& sine) {
  cosine.resize(static_cast<size_t>(segments));
  sine.resize(static_cast<size_t>(segments));
  for (int32_t s = 0; s < segments; ++s) {
    const int64_t quarters = int64_t{4} * s;
    if (quarters % segments == 0) {
      // Quarter turns exactly, so that coordinates turned onto an axis are 0.
      static const float kCosine[4] = {1.0f, 0.0f, -1.0f, 0.0f}, kSine[4] = {0.0f, 1.0f, 0.0f, -1.0f};
      cosine[s] = kCosine[quarters / segments];
      sine[s] = kSine[quarters / segments];
      continue;
    }
    const double angle = 2.0 * kPi * s / segments;
    cosine[s] = static_cast<float>(std::cos(angle));
    sine[s] = static_cast<float>(std::sin(angle));
  }
}

}  // namespace

bool FreezeLathe(MQObjectRecord& obj, std::string& error, std::vector<std::string>* warnings) {
  if (!IsLathed(obj)) {
    obj.lathe_type = 0;
    return true;
  }
  const int32_t segments = std::clamp(obj.lathe_segment, 3, kMaxLatheSegments);
  if (warnings && obj.lathe_segment > kMaxLatheSegments)
    warnings->push_back("object \"" + obj.name + "\": " + std::to_string(obj.lathe_segment) +
                        " lathe steps cut to " + std::to_string(kMaxLatheSegments) +
                        ", the most a lathe is swept in");
  const int axis = obj.lathe_axis == 1 || obj.lathe_axis == 2 ? obj.lathe_axis : 0;
  // The plane of the turn, in the right-handed order around the axis.
  const int i = (axis + 1) % 3, j = (axis + 2) % 3;
  auto on_axis = [&](int32_t v) {
    return Coordinate(obj.vertices[v], i) == 0.0f && Coordinate(obj.vertices[v], j) == 0.0f;
  };

  const int32_t vertex_count = obj.VertexCount(), face_count = obj.FaceCount();
  std::vector<char> in_profile(static_cast<size_t>(vertex_count), 0);
  int64_t edges = 0, ring_vertices = 0;
  for (int32_t f = 0; f < face_count; ++f) {
    if (obj.CornerCount(f) != 2) continue;
    ++edges;
    for (int32_t c = obj.face_start[f]; c < obj.face_start[f + 1]; ++c) in_profile[obj.corner_vertex[c]] = 1;
  }
  for (int32_t v = 0; v < vertex_count; ++v) ring_vertices += in_profile[v] && !on_axis(v);
  if (!FitsInObject(obj, vertex_count + ring_vertices * (segments - 1),
                    static_cast<int64_t>(obj.corner_vertex.size()) + edges * segments * 4, "the lathe", error))
    return false;

  // Each profile vertex off the axis gets copies turned by 1 .. segments-1
  // steps, at ring[v] onward; one on the axis stays single.
  std::vector<float> cosine, sine;
  TurnSteps(segments, cosine, sine);
  std::vector<int32_t> ring(static_cast<size_t>(vertex_count), -1);
  const size_t vertices_after = static_cast<size_t>(vertex_count + ring_vertices * (segments - 1));
  obj.vertices.reserve(vertices_after);
  obj.vertex_colors.reserve(vertices_after);
  obj.vertex_weights.reserve(vertices_after);
  for (int32_t v = 0; v < vertex_count; ++v) {
    if (!in_profile[v] || on_axis(v)) continue;
    ring[v] = obj.VertexCount();
    for (int32_t s = 1; s < segments; ++s) {
      MQPoint p = obj.vertices[v];
      const float a = Coordinate(p, i), b = Coordinate(p, j);
      Coordinate(p, i) = a * cosine[s] - b * sine[s];
      Coordinate(p, j) = a * sine[s] + b * cosine[s];
      obj.AddVertex(p);
      obj.vertex_colors.Set(obj.vertex_colors.size() - 1, obj.vertex_colors[v]);
      obj.vertex_weights.Set(obj.vertex_weights.size() - 1, obj.vertex_weights[v]);
    }
  }
  auto turned = [&](int32_t v, int32_t s) { return s % segments == 0 || ring[v] < 0 ? v : ring[v] + s - 1; };

  // The other faces first, as they were, then the swept ones.
  MQObjectRecord faces;
  std::vector<Corner> corners;
  for (int32_t f = 0; f < face_count; ++f) {
    if (obj.CornerCount(f) == 2) continue;
    corners.clear();
    for (int32_t c = obj.face_start[f]; c < obj.face_start[f + 1]; ++c)
      corners.push_back(Corner{obj.corner_vertex[c], obj.CornerUv(c), obj.corner_color[c]});
    AddFace(faces, corners.data(), obj.CornerCount(f), obj.face_material[f]);
  }
  for (int32_t f = 0; f < face_count; ++f) {
    if (obj.CornerCount(f) != 2) continue;
    const int32_t first = obj.face_start[f];
    const int32_t a = obj.corner_vertex[first], b = obj.corner_vertex[first + 1];
    if (a == b || (ring[a] < 0 && ring[b] < 0)) continue;  // sweeps no area
    const MQCoordinate uv_a = obj.CornerUv(first), uv_b = obj.CornerUv(first + 1);
    const uint32_t color_a = obj.corner_color[first], color_b = obj.corner_color[first + 1];
    for (int32_t s = 0; s < segments; ++s) {
      const float u0 = static_cast<float>(s) / static_cast<float>(segments);
      const float u1 = static_cast<float>(s + 1) / static_cast<float>(segments);
      Corner quad[4] = {{turned(a, s), {u0, uv_a.v}, color_a},
                        {turned(b, s), {u0, uv_b.v}, color_b},
                        {turned(b, s + 1), {u1, uv_b.v}, color_b},
                        {turned(a, s + 1), {u1, uv_a.v}, color_a}};
      // A corner on the axis would repeat itself: the quad becomes a triangle.
      if (ring[a] < 0) {
        AddFace(faces, quad, 3, obj.face_material[f]);
      } else if (ring[b] < 0) {
        quad[2] = quad[3];
        AddFace(faces, quad, 3, obj.face_material[f]);
      } else {
        AddFace(faces, quad, 4, obj.face_material[f]);
      }
    }
  }
  TakeFaces(obj, std::move(faces));
  obj.lathe_type = 0;
  return true;
}
