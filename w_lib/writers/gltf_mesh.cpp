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

// Fills the vertex arrays from the split, positions and normals through the
// object's world matrix; false on a number that is not finite.
bool FillVertices(const WObject& o, const VertexSplit& split, GltfMesh& mesh) {
  const WMatrix& world = o.transform.world_matrix;
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
    const WVector p = TransformPoint(o.vertices[e.vertex].pos, world);
    if (!Finite(p.x) || !Finite(p.y) || !Finite(p.z)) return false;
    mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
    if (any_normal) {
      const WVector n = e.key.normal != -1 ? TransformDirection(o.normals[e.key.normal].normal, world) : WVector();
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

bool NamesVertices(const WObject& o, const WFace& face) {
  for (int k = 0; k < face.num; ++k)
    if (face.v[k] < 0 || face.v[k] >= o.vnum) return false;
  return true;
}

// The triangles of an object's polygons, by material. Polygons of more than
// three corners are cut by TriangulateObject in batches, each in a small
// object that holds only the batch's polygons and their vertices, so that
// the object is never copied whole.
class Triangles {
 public:
  Triangles(const WScene& scene, const WObject& o, VertexSplit& split)
      : scene_(scene), o_(o), split_(split), local_of_(static_cast<size_t>(o.vnum), -1),
        by_slot_(static_cast<size_t>(scene.mnum > 0 ? scene.mnum : 0) + 1) {}

  void Collect() {
    for (int f = 0; f < o_.fnum; ++f) {
      const WFace& face = o_.faces[f];
      if (face.num < 3 || !NamesVertices(o_, face)) continue;
      if (face.num == 3) {
        Add(face, nullptr);
        continue;
      }
      AddToBatch(face);
      if (batch_corners_ >= kBatchCorners) CutBatch();
    }
    CutBatch();
  }

  // The non-empty triangle lists in material order, no material first.
  void MoveInto(std::vector<GltfPrimitive>& primitives) {
    for (size_t s = 0; s < by_slot_.size(); ++s) {
      if (by_slot_[s].empty()) continue;
      GltfPrimitive p;
      p.material = static_cast<int>(s) - 1;
      p.indices = std::move(by_slot_[s]);
      primitives.push_back(std::move(p));
    }
  }

 private:
  static constexpr int kBatchCorners = 1 << 14;

  // vertex_of: the object's vertex of each of the face's vertex numbers, or
  // null when they are the object's own.
  void Add(const WFace& face, const std::vector<int>* vertex_of) {
    const int slot = InRange(face.material, scene_.mnum) + 1;
    std::vector<uint32_t>& indices = by_slot_[static_cast<size_t>(slot)];
    for (int k = 0; k < 3; ++k) {
      const int v = vertex_of ? (*vertex_of)[static_cast<size_t>(face.v[k])] : face.v[k];
      indices.push_back(split_.Find(v, KeyOf(o_, face, k)));
    }
  }

  void AddToBatch(const WFace& face) {
    const int f = batch_.AddFace(0);  // may move the faces
    WFace& copy = batch_.faces[f];
    copy = face;
    for (int k = 0; k < copy.num; ++k) {
      int& local = local_of_[static_cast<size_t>(copy.v[k])];
      if (local == -1) {
        local = batch_.AddVertex();
        batch_.vertices[local].pos = o_.vertices[copy.v[k]].pos;
        vertex_of_.push_back(copy.v[k]);
      }
      copy.v[k] = local;
      copy.e[k] = -1;
    }
    batch_corners_ += copy.num;
  }

  void CutBatch() {
    if (batch_.fnum == 0) return;
    TriangulateObject(batch_, 0);
    for (int f = 0; f < batch_.fnum; ++f)
      if (batch_.faces[f].num == 3) Add(batch_.faces[f], &vertex_of_);
    for (const int v : vertex_of_) local_of_[static_cast<size_t>(v)] = -1;
    vertex_of_.clear();
    batch_.Reset();
    batch_corners_ = 0;
  }

  const WScene& scene_;
  const WObject& o_;
  VertexSplit& split_;
  WObject batch_;
  std::vector<int> local_of_;   // per object vertex: its number in the batch, or -1
  std::vector<int> vertex_of_;  // per batch vertex: the object's vertex
  int batch_corners_ = 0;
  std::vector<std::vector<uint32_t>> by_slot_;  // slot 0: no material; m + 1: material m
};

}  // namespace

bool BuildGltfMesh(const WScene& scene, const WObject& object, GltfMesh& mesh) {
  mesh = GltfMesh();
  if (object.vnum <= 0) return true;
  VertexSplit split(object.vnum);
  Triangles triangles(scene, object, split);
  triangles.Collect();
  triangles.MoveInto(mesh.primitives);

  // Lines: the two-corner faces, then the lines that are no face's side.
  GltfPrimitive lines;
  lines.mode = kGltfLines;
  const auto names = [&](int v) { return v >= 0 && v < object.vnum; };
  std::vector<bool> is_side(static_cast<size_t>(object.lnum > 0 ? object.lnum : 0), false);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    if (face.e)
      for (int k = 0; k < face.num; ++k)
        if (face.e[k] >= 0 && face.e[k] < object.lnum) is_side[static_cast<size_t>(face.e[k])] = true;
    if (face.num != 2 || !names(face.v[0]) || !names(face.v[1])) continue;
    // A line's end takes whatever vertex its position already has, unless
    // it carries a texture coordinate or colour of its own.
    for (int k = 0; k < 2; ++k) {
      const CornerKey key = KeyOf(object, face, k);
      lines.indices.push_back(key.uv == -1 && key.color == -1 ? split.FindAny(face.v[k]) : split.Find(face.v[k], key));
    }
  }
  for (int i = 0; i < object.lnum; ++i) {
    const WLine& line = object.lines[i];
    if (is_side[static_cast<size_t>(i)] || !names(line.v[0]) || !names(line.v[1])) continue;
    for (int k = 0; k < 2; ++k) lines.indices.push_back(split.FindAny(line.v[k]));
  }
  if (!lines.indices.empty()) mesh.primitives.push_back(std::move(lines));

  return FillVertices(object, split, mesh);
}
