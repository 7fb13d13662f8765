// Scene objects as glTF vertex arrays and primitives.
#include "w_lib/writers/gltf_mesh.h"

#include <cmath>

#include "w_lib/writers/w_writers.h"

namespace {

// What a corner carries besides its position; -1 for none.
struct CornerKey {
  int normal;
  int uv;
  int color;
  bool operator==(const CornerKey& o) const { return normal == o.normal && uv == o.uv && color == o.color; }
};

// The glTF vertices made so far, chained per scene vertex, so that finding a
// corner's vertex looks only at the few made from its own scene vertex.
class VertexSplit {
 public:
  explicit VertexSplit(int vertex_count) : first_(static_cast<size_t>(vertex_count), -1) {}

  // The glTF vertex of scene vertex v with these attributes, made when new.
  uint32_t Find(int v, const CornerKey& key) {
    for (int k = first_[static_cast<size_t>(v)]; k != -1; k = entries_[static_cast<size_t>(k)].next)
      if (entries_[static_cast<size_t>(k)].key == key) return static_cast<uint32_t>(k);
    return Add(v, key);
  }
  // Any glTF vertex of v (a line's end takes whatever its vertex has), made
  // without attributes when there is none yet.
  uint32_t FindAny(int v) {
    const int k = first_[static_cast<size_t>(v)];
    return k != -1 ? static_cast<uint32_t>(k) : Add(v, CornerKey{-1, -1, -1});
  }

  struct Entry {
    int vertex;
    CornerKey key;
    int next;
  };
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  uint32_t Add(int v, const CornerKey& key) {
    const int k = static_cast<int>(entries_.size());
    entries_.push_back(Entry{v, key, first_[static_cast<size_t>(v)]});
    first_[static_cast<size_t>(v)] = k;
    return static_cast<uint32_t>(k);
  }

  std::vector<int> first_;
  std::vector<Entry> entries_;
};

int InRange(int index, int count) { return index >= 0 && index < count ? index : -1; }

CornerKey KeyOf(const WObject& o, const WFace& face, int k) {
  return CornerKey{InRange(face.vn[k], o.nnum), InRange(face.vt[k], o.unum), InRange(face.vc[k], o.cnum)};
}

bool Finite(float x) { return std::isfinite(x); }

float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

// A unit normal, or (0, 1, 0) when n has no length to make one of.
WVector UnitNormal(const WVector& n) {
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 1e-12f)) return WVector(0.0f, 1.0f, 0.0f);
  return WVector(n.x / length, n.y / length, n.z / length);
}

bool IsWhite(const WColor& c) { return c.r >= 1.0f && c.g >= 1.0f && c.b >= 1.0f && c.a >= 1.0f; }

// Fills the vertex arrays from the split; false on a number that is not
// finite.
bool FillVertices(const WObject& o, const VertexSplit& split, GltfMesh& mesh) {
  const auto& entries = split.entries();
  bool any_normal = false, any_uv = false, any_color = false;
  for (const VertexSplit::Entry& e : entries) {
    any_normal |= e.key.normal != -1;
    any_uv |= e.key.uv != -1;
    if (e.key.color != -1 && !IsWhite(o.colors[e.key.color].col)) any_color = true;
  }
  mesh.positions.reserve(entries.size() * 3);
  if (any_normal) mesh.normals.reserve(entries.size() * 3);
  if (any_uv) mesh.uvs.reserve(entries.size() * 2);
  if (any_color) mesh.colors.reserve(entries.size() * 4);
  for (const VertexSplit::Entry& e : entries) {
    const WVector& p = o.vertices[e.vertex].pos;
    if (!Finite(p.x) || !Finite(p.y) || !Finite(p.z)) return false;
    mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
    if (any_normal) {
      const WVector n = e.key.normal != -1 ? o.normals[e.key.normal].normal : WVector();
      if (!Finite(n.x) || !Finite(n.y) || !Finite(n.z)) return false;
      const WVector unit = UnitNormal(n);
      mesh.normals.insert(mesh.normals.end(), {unit.x, unit.y, unit.z});
    }
    if (any_uv) {
      const WUv uv = e.key.uv != -1 ? o.uvs[e.key.uv] : WUv();
      if (!Finite(uv.u) || !Finite(uv.v)) return false;
      mesh.uvs.insert(mesh.uvs.end(), {uv.u, uv.v});
    }
    if (any_color) {
      const WColor c = e.key.color != -1 ? o.colors[e.key.color].col : WColor(1.0f, 1.0f, 1.0f, 1.0f);
      if (!Finite(c.r) || !Finite(c.g) || !Finite(c.b) || !Finite(c.a)) return false;
      mesh.colors.insert(mesh.colors.end(), {Clamp01(c.r), Clamp01(c.g), Clamp01(c.b), Clamp01(c.a)});
    }
  }
  return true;
}

}  // namespace

bool BuildGltfMesh(const WScene& scene, const WObject& object, GltfMesh& mesh) {
  mesh = GltfMesh();
  WObject work = object;
  FreezeTransforms(work);
  DropFaceEdges(work);
  DropDanglingGeometry(work);

  // The lines before the triangulation adds its diagonals and drops the
  // two-corner faces.
  std::vector<WFace> two_corner_faces;
  for (int f = 0; f < work.fnum; ++f)
    if (work.faces[f].num == 2) two_corner_faces.push_back(work.faces[f]);
  std::vector<WLine> loose_lines(work.lines, work.lines + (work.lnum > 0 ? work.lnum : 0));
  TriangulateObject(work, 0);

  // Triangles by material: slot 0 for none, m + 1 for material m.
  const size_t slots = static_cast<size_t>(scene.mnum > 0 ? scene.mnum : 0) + 1;
  std::vector<size_t> per_slot(slots, 0);
  std::vector<int> slot_of(static_cast<size_t>(work.fnum > 0 ? work.fnum : 0), -1);
  for (int f = 0; f < work.fnum; ++f) {
    if (work.faces[f].num != 3) continue;
    const int slot = InRange(work.faces[f].material, scene.mnum) + 1;
    slot_of[static_cast<size_t>(f)] = slot;
    ++per_slot[static_cast<size_t>(slot)];
  }

  VertexSplit split(work.vnum);
  std::vector<GltfPrimitive> by_slot(slots);
  for (size_t s = 0; s < slots; ++s) by_slot[s].indices.reserve(per_slot[s] * 3);
  for (int f = 0; f < work.fnum; ++f) {
    const int slot = slot_of[static_cast<size_t>(f)];
    if (slot < 0) continue;
    const WFace& face = work.faces[f];
    std::vector<uint32_t>& indices = by_slot[static_cast<size_t>(slot)].indices;
    for (int k = 0; k < 3; ++k) indices.push_back(split.Find(face.v[k], KeyOf(work, face, k)));
  }
  for (size_t s = 0; s < slots; ++s) {
    if (by_slot[s].indices.empty()) continue;
    by_slot[s].material = static_cast<int>(s) - 1;
    mesh.primitives.push_back(std::move(by_slot[s]));
  }

  GltfPrimitive lines;
  lines.mode = kGltfLines;
  for (const WFace& face : two_corner_faces) {
    // Its corners keep what they carry; a two-corner face has no normal.
    for (int k = 0; k < 2; ++k) {
      CornerKey key = KeyOf(work, face, k);
      lines.indices.push_back(key.uv == -1 && key.color == -1 ? split.FindAny(face.v[k]) : split.Find(face.v[k], key));
    }
  }
  for (const WLine& line : loose_lines)
    for (int k = 0; k < 2; ++k) lines.indices.push_back(split.FindAny(line.v[k]));
  if (!lines.indices.empty()) mesh.primitives.push_back(std::move(lines));

  return FillVertices(work, split, mesh);
}
