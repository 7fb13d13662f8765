// Scene objects as glTF vertex arrays and primitives.
#include "w_lib/writers/gltf/gltf_mesh.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>

#include "w_lib/util/parallel.h"
#include "w_lib/writers/w_writers.h"

namespace {

// What a corner carries besides its position; -1 for none.
struct CornerKey {
  int normal;
  int uv;
  int color;
};

bool Finite(float x) { return std::isfinite(x); }

// A unit normal, or (0, 1, 0) when n has no length to make one of.
WVector UnitNormal(const WVector& n) {
  const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 1e-12f)) return WVector(0.0f, 1.0f, 0.0f);
  return WVector(n.x / length, n.y / length, n.z / length);
}

// x rounded to the nearest whole number, halves away from zero, as lround
// rounds (the difference from the whole part is exact in double).
int RoundHalfAway(double x) {
  const double whole = std::trunc(x);
  const double rest = x - whole;
  return static_cast<int>(rest >= 0.5 ? whole + 1.0 : (rest <= -0.5 ? whole - 1.0 : whole));
}

// The normals of an object's records as the mesh writes them, and the grid
// on which two of them count as the same. Each record's written normal is
// worked out once, on the machine's threads, and kept apart from the
// records: corners compare them again and again, and a mesh that uses up
// its object lets the records go.
class WrittenNormals {
 public:
  explicit WrittenNormals(const WObject& o) : unit_(static_cast<size_t>(o.nnum > 0 ? o.nnum : 0)) {
    ParallelFor(unit_.size(), kRecordsPerThread, [&](size_t begin, size_t end) {
      for (size_t r = begin; r < end; ++r) {
        const WVector n = TransformDirection(o.normals[r].normal, o.transform.world_matrix);
        // A normal that is not finite is kept as NaN, which no finite one
        // becomes.
        unit_[r] = Finite(n.x) && Finite(n.y) && Finite(n.z) ? UnitNormal(n) : WVector(NAN, NAN, NAN);
      }
    });
  }

  // The number of records.
  int Count() const { return static_cast<int>(unit_.size()); }

  // The written normal of record r (-1: none); false when it is not finite.
  bool Of(int r, WVector& unit) const {
    unit = r != -1 ? unit_[static_cast<size_t>(r)] : UnitNormal(WVector());
    return !std::isnan(unit.x);
  }

  // The grid point of record r's written normal: each component a whole
  // number of steps. Scaling by a power of two is exact and the rounding is
  // done on integers' terms, so every platform agrees. False when the
  // normal is not finite (left to FillVertices to refuse).
  bool Grid(int r, int q[3]) const {
    WVector unit;
    if (!Of(r, unit)) return false;
    q[0] = RoundHalfAway(unit.x / kGltfNormalStep);
    q[1] = RoundHalfAway(unit.y / kGltfNormalStep);
    q[2] = RoundHalfAway(unit.z / kGltfNormalStep);
    return true;
  }

 private:
  static constexpr size_t kRecordsPerThread = 16384;
  std::vector<WVector> unit_;  // per record; NaN where not finite
};

// The positions of an object's vertices as the split reads them: the
// object's own, or, from an object that is let go, its positions packed
// side by side in the block that held its vertices, which is then cut down
// to them. Packing in place needs no second block beside the vertices.
class VertexPositions {
 public:
  explicit VertexPositions(const WObject& o) : vertices_(o.vertices), count_(o.vnum) {}
  // Takes the vertices of release, which ends without any.
  explicit VertexPositions(WObject& release) : vertices_(nullptr), count_(release.vnum) {
    packed_.reset(PackPositions(release.vertices, release.vnum, release.vmax));
    release.vertices = nullptr;
    release.vnum = 0;
    release.vmax = 0;
  }
  int Count() const { return count_; }
  bool Names(int v) const { return v >= 0 && v < count_; }
  const WVector& operator[](int v) const { return vertices_ ? vertices_[v].pos : packed_.get()[v]; }

 private:
  struct FreeBlock {
    void operator()(WVector* p) const { std::free(p); }
  };

  // Ends the records of a vertex block and leaves their count positions in
  // its first bytes, in order; returns the block, cut down to them where
  // the allocator can (else as large as it was). Position v is written
  // over bytes that lie no later than vertex v's own, whose records are
  // ended by then, so no position is overwritten before it is read.
  static WVector* PackPositions(WVertex* block, int count, int capacity) {
    static_assert(sizeof(WVector) <= sizeof(WVertex) && alignof(WVector) <= alignof(WVertex),
                  "positions must fit where the vertices were");
    if (!block) return nullptr;
    auto* const positions = static_cast<WVector*>(static_cast<void*>(block));
    for (int v = 0; v < count; ++v) {
      const WVector p = block[v].pos;
      block[v].~WVertex();
      new (positions + v) WVector(p);
    }
    for (int v = count; v < capacity; ++v) block[v].~WVertex();
    const size_t bytes = static_cast<size_t>(count > 0 ? count : 1) * sizeof(WVector);
    void* const cut = std::realloc(static_cast<void*>(positions), bytes);
    return cut ? static_cast<WVector*>(cut) : positions;
  }

  const WVertex* vertices_;
  std::unique_ptr<WVector, FreeBlock> packed_;
  int count_;
};

// A corner's normal as the split compares it: its record, and its grid
// point when the written normal is finite. Two corners weld when they name
// the same record, or when no component of their grid points differs by
// more than one step.
struct GridNormal {
  int record;
  bool finite;
  int q[3];

  GridNormal(const WrittenNormals& normals, int r) : record(r) { finite = normals.Grid(r, q); }

  bool Welds(const GridNormal& other) const {
    if (record == other.record) return true;
    return finite && other.finite && std::abs(q[0] - other.q[0]) <= 1 && std::abs(q[1] - other.q[1]) <= 1 &&
           std::abs(q[2] - other.q[2]) <= 1;
  }
};

// The glTF vertices made so far, chained per scene vertex, newest first, so
// that finding a corner's vertex looks only at the few made from its own
// scene vertex. A corner takes the newest vertex that matches it. A scene
// vertex of many glTF vertices (the centre of a fan of distinct normals or
// texture coordinates) has its vertices in a hash table as well, by their
// texture coordinate, colour and the cell of their normal's grid point, so
// that the vertices beyond the first few of its chain are found in the few
// cells around a corner's normal instead of one by one.
class VertexSplit {
 public:
  VertexSplit(int vertex_count, const WrittenNormals& normals)
      : normals_(normals), first_(static_cast<size_t>(vertex_count), -1) {
    // Every vertex in use makes one; only split ones make more, seams
    // a few in a hundred.
    entries_.reserve(static_cast<size_t>(vertex_count) + static_cast<size_t>(vertex_count) / 16);
  }

  // The glTF vertex of scene vertex v with these attributes, made when new.
  uint32_t Find(int v, const CornerKey& key) {
    // The corner's grid point is worked out when a vertex with another
    // normal record first needs it.
    std::optional<GridNormal> normal;
    const auto corner_normal = [&]() -> const GridNormal& {
      if (!normal) normal.emplace(normals_, key.normal);
      return *normal;
    };
    int k = first_[static_cast<size_t>(v)];
    int walked = 0;
    for (; k != -1 && walked < kWalked; k = entries_[static_cast<size_t>(k)].next, ++walked) {
      const Entry& made = entries_[static_cast<size_t>(k)];
      if (made.key.uv != key.uv || made.key.color != key.color) continue;
      if (made.key.normal == key.normal || GridNormal(normals_, made.key.normal).Welds(corner_normal()))
        return static_cast<uint32_t>(k);
    }
    // Past the walk, v's vertices are in the table: any match there is
    // older than the walked ones, which did not match.
    if (k != -1) {
      const int found = FindInTable(v, key, corner_normal());
      if (found != -1) return static_cast<uint32_t>(found);
      return Add(v, key, &corner_normal());
    }
    const uint32_t added = Add(v, key, nullptr);
    if (walked == kWalked) TableAll(v);
    return added;
  }
  // Any glTF vertex of v (a line's end takes whatever its vertex has), made
  // without attributes when there is none yet.
  uint32_t FindAny(int v) {
    const int k = first_[static_cast<size_t>(v)];
    return k != -1 ? static_cast<uint32_t>(k) : Add(v, CornerKey{-1, -1, -1}, nullptr);
  }

  struct Entry {
    int vertex;
    CornerKey key;
    int next;
  };
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  // The vertices of one scene vertex that a search looks at one by one;
  // a scene vertex of more has them all in the table.
  static constexpr int kWalked = 8;

  // A tabled vertex's place: its scene vertex, texture coordinate and
  // colour, and the cell of two steps a side that holds its normal's grid
  // point, or (for a normal that is not finite) its record. Two vertices
  // of one place would weld, so the second is never made: a place holds
  // one vertex.
  struct Place {
    int vertex, uv, color;
    int finite;
    int cell[3];
    bool operator==(const Place& b) const {
      return vertex == b.vertex && uv == b.uv && color == b.color && finite == b.finite && cell[0] == b.cell[0] &&
             cell[1] == b.cell[1] && cell[2] == b.cell[2];
    }
  };
  struct PlaceHash {
    size_t operator()(const Place& k) const {
      // Each part mixed in through a full-width finaliser, so that
      // neighbouring cells land far apart.
      uint64_t h = 0;
      for (const int part : {k.vertex, k.uv, k.color, k.finite, k.cell[0], k.cell[1], k.cell[2]}) {
        h = (h ^ static_cast<uint32_t>(part)) + 0x9E3779B97F4A7C15u;
        h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
        h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
        h ^= h >> 31;
      }
      return static_cast<size_t>(h);
    }
  };
  struct Tabled {
    int entry;
    GridNormal normal;
  };

  // The cell of a grid coordinate; grid coordinates of unit normals lie
  // well within the bias, so the division rounds down.
  static int CellOf(int q) { return (q + (1 << 24)) / 2; }

  // The place of a vertex of v whose normal's grid point is q + offset.
  static Place PlaceOf(int v, const CornerKey& key, const GridNormal& normal, const int offset[3]) {
    if (!normal.finite) return Place{v, key.uv, key.color, 0, {normal.record, 0, 0}};
    return Place{v,
                 key.uv,
                 key.color,
                 1,
                 {CellOf(normal.q[0] + offset[0]), CellOf(normal.q[1] + offset[1]), CellOf(normal.q[2] + offset[2])}};
  }

  // The newest tabled vertex of v that the corner welds with, or -1: the
  // grid points one step or less away lie in the cells of the box's eight
  // corners.
  int FindInTable(int v, const CornerKey& key, const GridNormal& normal) const {
    static constexpr int kHere[3] = {0, 0, 0};
    if (!normal.finite) {
      const auto found = table_.find(PlaceOf(v, key, normal, kHere));
      return found == table_.end() ? -1 : found->second.entry;
    }
    int newest = -1;
    int offset[3];
    for (offset[0] = -1; offset[0] <= 1; offset[0] += 2)
      for (offset[1] = -1; offset[1] <= 1; offset[1] += 2)
        for (offset[2] = -1; offset[2] <= 1; offset[2] += 2) {
          const auto found = table_.find(PlaceOf(v, key, normal, offset));
          if (found != table_.end() && found->second.entry > newest && found->second.normal.Welds(normal))
            newest = found->second.entry;
        }
    return newest;
  }

  void Table(int k, const GridNormal& normal) {
    static constexpr int kHere[3] = {0, 0, 0};
    const Entry& e = entries_[static_cast<size_t>(k)];
    table_.emplace(PlaceOf(e.vertex, e.key, normal, kHere), Tabled{k, normal});
  }

  // Puts all of v's vertices in the table, once it has more than a walk takes.
  void TableAll(int v) {
    for (int k = first_[static_cast<size_t>(v)]; k != -1; k = entries_[static_cast<size_t>(k)].next)
      Table(k, GridNormal(normals_, entries_[static_cast<size_t>(k)].key.normal));
  }

  // normal: the key's normal when v's vertices are in the table, else null.
  uint32_t Add(int v, const CornerKey& key, const GridNormal* tabled) {
    const int k = static_cast<int>(entries_.size());
    // Growing by half, not doubling: for a large object the list is the
    // biggest thing the split keeps.
    if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + entries_.size() / 2 + 16);
    entries_.push_back(Entry{v, key, first_[static_cast<size_t>(v)]});
    first_[static_cast<size_t>(v)] = k;
    if (tabled) Table(k, *tabled);
    return static_cast<uint32_t>(k);
  }

  const WrittenNormals& normals_;
  std::vector<int> first_;
  std::vector<Entry> entries_;
  std::unordered_map<Place, Tabled, PlaceHash> table_;
};

int InRange(int index, int count) { return index >= 0 && index < count ? index : -1; }

CornerKey KeyOf(const WObject& o, const WrittenNormals& normals, const WFace& face, int k) {
  return CornerKey{InRange(face.vn()[k], normals.Count()), InRange(face.vt()[k], o.unum),
                   InRange(face.vc()[k], o.cnum)};
}

float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

bool IsWhite(const WColor& c) { return c.r >= 1.0f && c.g >= 1.0f && c.b >= 1.0f && c.a >= 1.0f; }

constexpr size_t kVerticesPerThread = 16384;

// Fills the vertex arrays from the split, positions and normals through the
// object's world matrix; false on a number that is not finite.
bool FillVertices(const WObject& o, const VertexPositions& at, const WrittenNormals& written,
                  const VertexSplit& split, GltfMesh& mesh) {
  const WMatrix& world = o.transform.world_matrix;
  const auto& entries = split.entries();
  bool any_normal = false, any_uv = false, any_color = false;
  for (const VertexSplit::Entry& e : entries) {
    any_normal |= e.key.normal != -1;
    any_uv |= e.key.uv != -1;
    if (e.key.color != -1 && !IsWhite(o.colors[e.key.color].col)) any_color = true;
  }
  const size_t n = entries.size();
  size_t floats = 3 * n;
  if (any_normal) {
    mesh.normals = floats;
    floats += 3 * n;
  }
  if (any_uv) {
    mesh.uvs = floats;
    floats += 2 * n;
  }
  if (any_color) {
    mesh.colors = floats;
    floats += 4 * n;
  }
  mesh.vertex_count = n;
  mesh.attributes.resize(floats);
  float* const positions = mesh.attributes.data();
  float* const normals = any_normal ? positions + mesh.normals : nullptr;
  float* const uvs = any_uv ? positions + mesh.uvs : nullptr;
  float* const colors = any_color ? positions + mesh.colors : nullptr;
  // Each vertex on its own, on the machine's threads; a part that meets a
  // number that is not finite says so and stops.
  std::atomic<bool> all_finite{true};
  ParallelFor(n, kVerticesPerThread, [&](size_t begin, size_t end) {
    bool finite = true;
    for (size_t i = begin; i < end && finite; ++i) {
      const VertexSplit::Entry& e = entries[i];
      const WVector p = TransformPoint(at[e.vertex], world);
      if (!Finite(p.x) || !Finite(p.y) || !Finite(p.z)) finite = false;
      float* position = positions + 3 * i;
      position[0] = p.x, position[1] = p.y, position[2] = p.z;
      if (normals) {
        WVector unit;
        if (!written.Of(e.key.normal, unit)) finite = false;
        float* normal = normals + 3 * i;
        normal[0] = unit.x, normal[1] = unit.y, normal[2] = unit.z;
      }
      if (uvs) {
        const WUv t = e.key.uv != -1 ? o.uvs[e.key.uv] : WUv();
        if (!Finite(t.u) || !Finite(t.v)) finite = false;
        uvs[2 * i] = t.u, uvs[2 * i + 1] = t.v;
      }
      if (colors) {
        const WColor c = e.key.color != -1 ? o.colors[e.key.color].col : WColor(1.0f, 1.0f, 1.0f, 1.0f);
        if (!Finite(c.r) || !Finite(c.g) || !Finite(c.b) || !Finite(c.a)) finite = false;
        float* color = colors + 4 * i;
        color[0] = Clamp01(c.r), color[1] = Clamp01(c.g), color[2] = Clamp01(c.b), color[3] = Clamp01(c.a);
      }
    }
    if (!finite) all_finite = false;
  });
  return all_finite;
}

// Double-precision dot product, as the ear clipper's convexity test takes it.
double DotDouble(const WVector& a, const WVector& b) {
  return static_cast<double>(a.x) * static_cast<double>(b.x) + static_cast<double>(a.y) * static_cast<double>(b.y) +
         static_cast<double>(a.z) * static_cast<double>(b.z);
}

// Whether TriangulateObject's first try cuts quad face into (0, 1, 2) and
// (0, 2, 3): it takes corner 1 and then corner 2 as ears when neither turns
// against the face normal (a diagonal of a quad has no side to cross), and
// nothing else when either does.
bool FirstTryCutsQuad(const VertexPositions& at, const WFace& face) {
  const WVector p0 = at[face.v[0]], p1 = at[face.v[1]], p2 = at[face.v[2]], p3 = at[face.v[3]];
  return !(DotDouble(face.normal, TriangleNormal(p0, p1, p2)) < 0.0) &&
         !(DotDouble(face.normal, TriangleNormal(p0, p2, p3)) < 0.0);
}

bool NamesVertices(const VertexPositions& at, const WFace& face) {
  for (int k = 0; k < face.num; ++k)
    if (!at.Names(face.v[k])) return false;
  return true;
}

// Runs of triangles handed from the build to a thread that orders them in
// place while the build goes on.
class RunQueue {
 public:
  void Push(uint32_t* indices, size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    runs_.push_back(Run{indices, count});
    changed_.notify_all();
  }
  // No more runs come.
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  // Returns once every run pushed so far is ordered (before the lists that
  // hold them may move).
  void WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return runs_.empty() && !busy_; });
  }
  // Orders the runs as they come, until the queue is closed and empty. When
  // the orderer throws, the runs left are dropped (the build fails with
  // what it threw), so that WaitIdle never waits for them.
  void Drain(const GltfRunOrder::Orderer& order) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return closed_ || !runs_.empty(); });
      if (runs_.empty()) return;
      const Run run = runs_.front();
      runs_.pop_front();
      busy_ = true;
      lock.unlock();
      try {
        order(run.indices, run.count);
      } catch (...) {
        lock.lock();
        runs_.clear();
        busy_ = false;
        changed_.notify_all();
        throw;
      }
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }

 private:
  struct Run {
    uint32_t* indices;
    size_t count;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Run> runs_;
  bool busy_ = false;
  bool closed_ = false;
};

// The triangles of an object's polygons, by material. Quads that the first
// try of TriangulateObject cuts are cut here as it would; other polygons of
// more than three corners are cut by TriangulateObject in batches, each in a
// small object that holds only the batch's polygons and their vertices, so
// that the object is never copied whole.
class Triangles {
 public:
  Triangles(const WScene& scene, const WObject& o, const VertexPositions& at, const WrittenNormals& normals,
            VertexSplit& split)
      : scene_(scene), o_(o), at_(at), normals_(normals), split_(split) {}

  // run_order, when given, orders each list's whole runs as they are made.
  void Collect(const GltfRunOrder* run_order) {
    FindSlots();
    // Room for n - 2 triangles per polygon: all of them unless some cannot
    // be cut.
    std::vector<size_t> room(by_slot_.size(), 0);
    for (int f = 0; f < o_.fnum; ++f) {
      const WFace& face = o_.faces[f];
      if (face.num >= 3) room[ListOf(SlotOf(face))] += 3 * (face.num - 2u);
    }
    for (size_t s = 0; s < room.size(); ++s) by_slot_[s].reserve(room[s]);
    // Which quads the first try cuts: each face on its own, on the
    // machine's threads.
    cut_quad_.assign(static_cast<size_t>(o_.fnum > 0 ? o_.fnum : 0), 0);
    ParallelFor(cut_quad_.size(), kFacesPerThread, [&](size_t begin, size_t end) {
      for (size_t f = begin; f < end; ++f) {
        const WFace& face = o_.faces[f];
        cut_quad_[f] = face.num == 4 && NamesVertices(at_, face) && FirstTryCutsQuad(at_, face);
      }
    });
    // Ordering on a thread of its own pays when some list makes two runs
    // or more; the build goes on on this one.
    const bool overlap = run_order && run_order->run > 0 && run_order->make_orderer && WorkerCount() > 1 &&
                         std::any_of(room.begin(), room.end(), [&](size_t r) { return r >= 2 * run_order->run; });
    if (!overlap) {
      CollectFaces();
      return;
    }
    RunQueue queue;
    ParallelParts(2, 2, [&](int part, size_t, size_t) {
      if (part == 1) {
        queue.Drain(run_order->make_orderer());
        return;
      }
      struct Closer {
        RunQueue& q;
        ~Closer() { q.Close(); }
      } closer{queue};
      queue_ = &queue;
      run_ = run_order->run;
      CollectFaces();
    });
    queue_ = nullptr;
  }

  // The non-empty triangle lists in material order, no material first.
  void MoveInto(std::vector<GltfPrimitive>& primitives) {
    for (size_t s = 0; s < by_slot_.size(); ++s) {
      if (by_slot_[s].empty()) continue;
      GltfPrimitive p;
      p.material = slots_[s] - 1;
      p.indices = std::move(by_slot_[s]);
      if (run_ > 0) p.ordered = p.indices.size() - p.indices.size() % run_;
      primitives.push_back(std::move(p));
    }
  }

 private:
  static constexpr int kBatchCorners = 1 << 14;
  static constexpr size_t kFacesPerThread = 16384;

  void CollectFaces() {
    for (int f = 0; f < o_.fnum; ++f) {
      const WFace& face = o_.faces[f];
      if (face.num < 3 || !NamesVertices(at_, face)) continue;
      if (face.num == 3) {
        Add(face, nullptr, 0, 1, 2);
        continue;
      }
      if (cut_quad_[static_cast<size_t>(f)]) {
        Add(face, nullptr, 0, 1, 2);
        Add(face, nullptr, 0, 2, 3);
        continue;
      }
      AddToBatch(face);
      if (batch_corners_ >= kBatchCorners) CutBatch();
    }
    CutBatch();
  }

  // A face's slot: 0 for no material, m + 1 for material m.
  int SlotOf(const WFace& face) const { return InRange(face.material, scene_.mnum) + 1; }

  // The slots the object's polygons use, in order, each given a list. A
  // table over every slot is made only when the object has faces enough to
  // pay for it: an object of a few faces in a scene of many materials
  // looks its slots up in the few it uses, so that many objects times many
  // materials is never a cost.
  void FindSlots() {
    const size_t all = static_cast<size_t>(scene_.mnum > 0 ? scene_.mnum : 0) + 1;
    if (all <= 4 * static_cast<size_t>(o_.fnum) + 64) {
      list_of_slot_.assign(all, -1);
      for (int f = 0; f < o_.fnum; ++f)
        if (o_.faces[f].num >= 3) list_of_slot_[static_cast<size_t>(SlotOf(o_.faces[f]))] = 0;
      for (size_t s = 0; s < all; ++s)
        if (list_of_slot_[s] == 0) {
          list_of_slot_[s] = static_cast<int>(slots_.size());
          slots_.push_back(static_cast<int>(s));
        }
    } else {
      for (int f = 0; f < o_.fnum; ++f)
        if (o_.faces[f].num >= 3) slots_.push_back(SlotOf(o_.faces[f]));
      std::sort(slots_.begin(), slots_.end());
      slots_.erase(std::unique(slots_.begin(), slots_.end()), slots_.end());
    }
    by_slot_.resize(slots_.size());
  }

  size_t ListOf(int slot) const {
    if (!list_of_slot_.empty()) return static_cast<size_t>(list_of_slot_[static_cast<size_t>(slot)]);
    return static_cast<size_t>(std::lower_bound(slots_.begin(), slots_.end(), slot) - slots_.begin());
  }

  // The triangle of face's corners a, b, c. vertex_of: the object's vertex
  // of each of the face's vertex numbers, or null when they are the
  // object's own.
  void Add(const WFace& face, const std::vector<int>* vertex_of, int a, int b, int c) {
    std::vector<uint32_t>& indices = by_slot_[ListOf(SlotOf(face))];
    // A list is never moved while a run of it is being ordered (the room
    // reserved is enough, but a list that grew would move).
    if (queue_ && indices.capacity() - indices.size() < 3) queue_->WaitIdle();
    for (const int k : {a, b, c}) {
      const int v = vertex_of ? (*vertex_of)[static_cast<size_t>(face.v[k])] : face.v[k];
      indices.push_back(split_.Find(v, KeyOf(o_, normals_, face, k)));
    }
    if (queue_ && indices.size() % run_ == 0) queue_->Push(indices.data() + indices.size() - run_, run_);
  }

  void AddToBatch(const WFace& face) {
    // Made with the first batch: a mesh of triangles and plain quads needs none.
    if (local_of_.empty()) local_of_.assign(static_cast<size_t>(at_.Count()), -1);
    const int f = batch_.AddFace(0);  // may move the faces
    WFace& copy = batch_.faces[f];
    copy = face;
    for (int k = 0; k < copy.num; ++k) {
      int& local = local_of_[static_cast<size_t>(copy.v[k])];
      if (local == -1) {
        local = batch_.AddVertex();
        batch_.vertices[local].pos = at_[copy.v[k]];
        vertex_of_.push_back(copy.v[k]);
      }
      copy.v[k] = local;
    }
    copy.ReleaseSideLines();
    batch_corners_ += copy.num;
  }

  void CutBatch() {
    if (batch_.fnum == 0) return;
    TriangulateObject(batch_, 0);
    for (int f = 0; f < batch_.fnum; ++f)
      if (batch_.faces[f].num == 3) Add(batch_.faces[f], &vertex_of_, 0, 1, 2);
    for (const int v : vertex_of_) local_of_[static_cast<size_t>(v)] = -1;
    vertex_of_.clear();
    batch_.Reset();
    batch_corners_ = 0;
  }

  const WScene& scene_;
  const WObject& o_;
  const VertexPositions& at_;
  const WrittenNormals& normals_;
  VertexSplit& split_;
  WObject batch_;
  std::vector<int> local_of_;   // per object vertex: its number in the batch, or -1 (from the first batch on)
  std::vector<int> vertex_of_;  // per batch vertex: the object's vertex
  int batch_corners_ = 0;
  std::vector<int> slots_;                      // the slots in use, in order
  std::vector<int> list_of_slot_;               // per slot: its place in slots_ (when made)
  std::vector<std::vector<uint32_t>> by_slot_;  // per slot in use: its triangles
  std::vector<uint8_t> cut_quad_;               // per face: whether the first try cuts it as a quad
  RunQueue* queue_ = nullptr;                   // while runs are ordered as they are made
  size_t run_ = 0;                              // their indices, when they were
};

}  // namespace

namespace {

// Lets go of every array of an object, keeping its name.
void ReleaseGeometry(WObject& object) {
  WName name = std::move(object.name);
  object.Reset();
  object.name = std::move(name);
}

// The mesh of object; when release is the object itself, each of its arrays
// is let go as soon as the mesh no longer needs it.
bool BuildMesh(const WScene& scene, const WObject& object, WObject* release, GltfMesh& mesh,
               const GltfRunOrder* run_order) {
  mesh = GltfMesh();
  if (object.vnum <= 0) {
    if (release) ReleaseGeometry(*release);
    return true;
  }
  // The positions take the vertices' own block, and the normals' copy lets
  // its records go before anything else is made, so that no record array
  // lies beside a copy of another.
  const VertexPositions at = release ? VertexPositions(*release) : VertexPositions(object);
  const WrittenNormals written(object);
  if (release) ReleaseRecords(release->normals, release->nnum, release->nmax);
  VertexSplit split(at.Count(), written);
  Triangles triangles(scene, object, at, written, split);
  triangles.Collect(run_order);
  triangles.MoveInto(mesh.primitives);

  // Lines: the two-corner faces, then the lines that are no face's side.
  GltfPrimitive lines;
  lines.mode = kGltfLines;
  std::vector<bool> is_side(static_cast<size_t>(object.lnum > 0 ? object.lnum : 0), false);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    if (const int* e = face.e())
      for (int k = 0; k < face.num; ++k)
        if (e[k] >= 0 && e[k] < object.lnum) is_side[static_cast<size_t>(e[k])] = true;
    if (face.num != 2 || !at.Names(face.v[0]) || !at.Names(face.v[1])) continue;
    // A line's end takes whatever vertex its position already has, unless
    // it carries a texture coordinate or colour of its own.
    for (int k = 0; k < 2; ++k) {
      const CornerKey key = KeyOf(object, written, face, k);
      lines.indices.push_back(key.uv == -1 && key.color == -1 ? split.FindAny(face.v[k]) : split.Find(face.v[k], key));
    }
  }
  for (int i = 0; i < object.lnum; ++i) {
    const WLine& line = object.lines[i];
    if (is_side[static_cast<size_t>(i)] || !at.Names(line.v[0]) || !at.Names(line.v[1])) continue;
    for (int k = 0; k < 2; ++k) lines.indices.push_back(split.FindAny(line.v[k]));
  }
  if (!lines.indices.empty()) mesh.primitives.push_back(std::move(lines));
  if (release) {
    ReleaseRecords(release->faces, release->fnum, release->fmax);
    ReleaseRecords(release->lines, release->lnum, release->lmax);
  }

  const bool finite = FillVertices(object, at, written, split, mesh);
  if (release) ReleaseGeometry(*release);
  return finite;
}

}  // namespace

bool BuildGltfMesh(const WScene& scene, const WObject& object, GltfMesh& mesh, const GltfRunOrder* run_order) {
  return BuildMesh(scene, object, nullptr, mesh, run_order);
}

bool BuildGltfMeshReleasing(const WScene& scene, WObject& object, GltfMesh& mesh, const GltfRunOrder* run_order) {
  return BuildMesh(scene, object, &object, mesh, run_order);
}
