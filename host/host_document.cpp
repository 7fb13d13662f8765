// Editing operations of the stand-in host's objects.
#include "host/host_document.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "host/mapped_file.h"

void CopyHostName(const std::string& name, char* buffer, int32_t size) {
  if (!buffer || size <= 0) return;
  const size_t n = std::min(name.size(), static_cast<size_t>(size - 1));
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
}

int32_t MQObjectRecord::AddVertex(const MQPoint& p) {
  vertices.push_back(p);
  vertex_colors.push_back(kWhitePacked);
  vertex_weights.push_back(0.0f);
  return VertexCount() - 1;
}

int32_t MQObjectRecord::AddFace(int32_t count, const int32_t* points) {
  if (count < 0) count = 0;
  std::vector<MQCoordinate>& corner_uv = CornerUvsPerCorner();
  for (int32_t k = 0; k < count; ++k) {
    corner_vertex.push_back(points[k]);
    corner_uv.push_back(MQCoordinate{0.0f, 0.0f});
    corner_color.push_back(kWhitePacked);
  }
  face_start.push_back(face_start.back() + count);
  face_material.push_back(-1);
  return FaceCount() - 1;
}

void MQObjectRecord::DeleteFace(int32_t face) {
  const int32_t first = face_start[face], n = CornerCount(face);
  std::vector<MQCoordinate>& corner_uv = CornerUvsPerCorner();
  corner_vertex.erase(corner_vertex.begin() + first, corner_vertex.begin() + first + n);
  corner_uv.erase(corner_uv.begin() + first, corner_uv.begin() + first + n);
  corner_color.Erase(first, first + n);
  face_material.Erase(static_cast<size_t>(face));
  face_start.Erase(static_cast<size_t>(face) + 1);
  std::vector<int32_t>& starts = face_start.Values();
  for (size_t f = static_cast<size_t>(face) + 1; f < starts.size(); ++f) starts[f] -= n;
}

void MQObjectRecord::InvertFace(int32_t face) {
  const int32_t first = face_start[face], last = face_start[face + 1];
  std::vector<MQCoordinate>& corner_uv = CornerUvsPerCorner();
  std::reverse(corner_vertex.begin() + first, corner_vertex.begin() + last);
  std::reverse(corner_uv.begin() + first, corner_uv.begin() + last);
  corner_color.Reverse(first, last);
}

void MQObjectRecord::DeleteVertex(int32_t v, bool delete_faces) {
  std::vector<MQCoordinate>& corner_uv = CornerUvsPerCorner();
  for (int32_t f = FaceCount() - 1; f >= 0; --f) {
    bool uses = false;
    for (int32_t c = face_start[f]; c < face_start[f + 1]; ++c) uses = uses || corner_vertex[c] == v;
    if (uses && delete_faces) DeleteFace(f);
  }
  // Remove the remaining corners on v, face by face from the back.
  for (int32_t f = FaceCount() - 1; f >= 0; --f) {
    for (int32_t c = face_start[f + 1] - 1; c >= face_start[f]; --c) {
      if (corner_vertex[c] != v) continue;
      corner_vertex.erase(corner_vertex.begin() + c);
      corner_uv.erase(corner_uv.begin() + c);
      corner_color.Erase(c, c + 1);
      std::vector<int32_t>& starts = face_start.Values();
      for (size_t g = static_cast<size_t>(f) + 1; g < starts.size(); ++g) --starts[g];
    }
  }
  for (int32_t& cv : corner_vertex)
    if (cv > v) --cv;
  vertices.erase(vertices.begin() + v);
  vertex_colors.Erase(v, v + 1);
  vertex_weights.Erase(v, v + 1);
}

namespace {

// Renumbers every corner to the representative of its vertex, then keeps the
// vertices that represent themselves, in order.
void CollapseVertices(MQObjectRecord& obj, const std::vector<int32_t>& representative,
                      const std::vector<char>& keep) {
  obj.CornerUvsPerCorner();  // the corners' vertices change
  std::vector<int32_t> new_index(obj.vertices.size(), -1);
  int32_t kept = 0;
  for (int32_t v = 0; v < obj.VertexCount(); ++v) {
    if (!keep[v]) continue;
    new_index[v] = kept;
    obj.vertices[kept] = obj.vertices[v];
    obj.vertex_colors.Set(kept, obj.vertex_colors[v]);
    obj.vertex_weights.Set(kept, obj.vertex_weights[v]);
    ++kept;
  }
  for (int32_t& cv : obj.corner_vertex)
    if (obj.HasVertex(cv)) cv = new_index[representative[cv]];
  obj.vertices.resize(kept);
  obj.vertex_colors.resize(kept);
  obj.vertex_weights.resize(kept);
}

}  // namespace

void MQObjectRecord::RemoveUnusedVertices() {
  std::vector<char> used(vertices.size(), 0);
  for (int32_t cv : corner_vertex)
    if (HasVertex(cv)) used[cv] = 1;
  std::vector<int32_t> self(vertices.size());
  for (int32_t v = 0; v < VertexCount(); ++v) self[v] = v;
  CollapseVertices(*this, self, used);
}

void MQObjectRecord::MergeCloseVertices(float distance) {
  // Cells of the merge distance: a close vertex lies in one of the 27 cells
  // around a vertex's own.
  const double cell = distance > 0.0f ? distance : 1e-6;
  auto cell_key = [](int64_t x, int64_t y, int64_t z) {
    return (x * 73856093) ^ (y * 19349663) ^ (z * 83492791);
  };
  const double d2 = static_cast<double>(distance) * distance;
  std::unordered_multimap<int64_t, int32_t> grid;
  std::vector<int32_t> representative(vertices.size());
  std::vector<char> keep(vertices.size(), 0);
  for (int32_t v = 0; v < VertexCount(); ++v) {
    const MQPoint& p = vertices[v];
    const int64_t cx = static_cast<int64_t>(std::floor(p.x / cell));
    const int64_t cy = static_cast<int64_t>(std::floor(p.y / cell));
    const int64_t cz = static_cast<int64_t>(std::floor(p.z / cell));
    representative[v] = v;
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dz = -1; dz <= 1; ++dz) {
          auto range = grid.equal_range(cell_key(cx + dx, cy + dy, cz + dz));
          for (auto it = range.first; it != range.second; ++it) {
            const MQPoint& q = vertices[it->second];
            const double ex = p.x - q.x, ey = p.y - q.y, ez = p.z - q.z;
            // The earliest close vertex represents the group.
            if (ex * ex + ey * ey + ez * ez <= d2 && it->second < representative[v])
              representative[v] = it->second;
          }
        }
    if (representative[v] == v) {
      keep[v] = 1;
      grid.emplace(cell_key(cx, cy, cz), v);
    }
  }
  CollapseVertices(*this, representative, keep);
}

void MQObjectRecord::Append(const MQObjectRecord& other) {
  const int32_t base = VertexCount();
  const int32_t corner_base = static_cast<int32_t>(corner_vertex.size());
  std::vector<MQCoordinate>& corner_uv = CornerUvsPerCorner();
  vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
  vertex_colors.Append(other.vertex_colors);
  vertex_weights.Append(other.vertex_weights);
  for (int32_t cv : other.corner_vertex) corner_vertex.push_back(cv + base);
  corner_uv.reserve(corner_uv.size() + other.corner_uvs.size());
  for (size_t c = 0; c < other.corner_uvs.size(); ++c) corner_uv.push_back(other.CornerUv(c));
  corner_color.Append(other.corner_color);
  for (size_t f = 0; f < other.face_material.size(); ++f) face_material.push_back(other.face_material[f]);
  for (size_t f = 1; f < other.face_start.size(); ++f) face_start.push_back(other.face_start[f] + corner_base);
}

namespace {

// Empties a vector and gives its memory back, which clear() keeps.
template <typename T>
void GiveBack(std::vector<T>& values) {
  std::vector<T>().swap(values);
}

}  // namespace

void MQObjectRecord::ReleaseVertices() {
  GiveBack(vertices);
  vertex_colors.Reset();
  vertex_weights.Reset();
}

void MQObjectRecord::ReleaseFaces() {
  face_start.Reset();
  face_start.push_back(0);
  face_material.Reset();
  GiveBack(corner_vertex);
  corner_uvs.Release();
  corner_color.Reset();
}

void MQObjectRecord::DiscardFacesBefore(int32_t face) {
  if (face <= 0 || face > FaceCount()) return;
  const size_t corners = static_cast<size_t>(face_start[face]);
  if (int32_t* starts = face_start.StoredData()) DiscardPages(starts, static_cast<size_t>(face) * sizeof(int32_t));
  if (int32_t* materials = face_material.StoredData())
    DiscardPages(materials, static_cast<size_t>(face) * sizeof(int32_t));
  DiscardPages(corner_vertex.data(), corners * sizeof(int32_t));
  if (MQCoordinate* uvs = corner_uvs.PerCornerData()) DiscardPages(uvs, corners * sizeof(MQCoordinate));
  if (uint32_t* colors = corner_color.StoredData()) DiscardPages(colors, corners * sizeof(uint32_t));
}
