// Smoothed corner normals: every corner starts from its face normal and adds
// the normals of the other faces around its vertex that lie within its
// material's smoothing angle.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <tuple>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "w_lib/passes/first_equal_per_vertex.h"
#include "w_lib/util/parallel.h"
#include "w_lib/w_scene.h"

namespace {

// One corner in a vertex's list: its face and its place in the face. Most
// objects fit both in 32 bits, which halves the largest working array.
struct PackedCorner {
  uint32_t bits;
  static constexpr int kMaxFaces = 1 << 24;
  static constexpr int kMaxCorners = 1 << 8;
  PackedCorner() = default;
  PackedCorner(int f, int k) : bits(static_cast<uint32_t>(f) << 8 | static_cast<uint32_t>(k)) {}
  int face() const { return static_cast<int>(bits >> 8); }
  int corner() const { return static_cast<int>(bits & 0xffu); }
};

struct WideCorner {
  int f;
  int k;
  WideCorner() = default;
  WideCorner(int f_, int k_) : f(f_), k(k_) {}
  int face() const { return f; }
  int corner() const { return k; }
};

bool ValidVertex(const WObject& object, int v) { return v >= 0 && v < object.vnum; }

// The corners of the vertices first .. last - 1, each vertex's in face
// order, then corner order: those of vertex v are start[v - first] ..
// start[v - first + 1] in corners.
template <class Corner>
struct VertexCorners {
  int first = 0;
  int last = 0;
  std::vector<int> start;
  std::vector<Corner> corners;
};

// Lists the corners of the vertices first .. last - 1 into lists, replacing
// what it held. Only the faces first_face .. end_face - 1 are looked at:
// every corner of those vertices must lie in them.
template <class Corner>
void ListVertexCorners(const WObject& object, int first, int last, VertexCorners<Corner>& lists, int first_face,
                       int end_face) {
  lists.first = first;
  lists.last = last;
  std::vector<int>& start = lists.start;
  start.assign(static_cast<size_t>(last - first) + 1, 0);
  const auto listed = [first, last](int v) { return v >= first && v < last; };
  for (int f = first_face; f < end_face; ++f) {
    const WFace& face = object.faces[f];
    const int* const v = face.v;
    for (int k = 0; k < face.num; ++k)
      if (listed(v[k])) ++start[static_cast<size_t>(v[k] - first)];
  }
  // Running ends; filling backwards then leaves each entry at its start and
  // every list in order.
  int total = 0;
  for (size_t i = 0; i + 1 < start.size(); ++i) start[i] = total += start[i];
  start.back() = total;
  // Exactly the room needed: a list of another part may have been larger.
  std::vector<Corner>().swap(lists.corners);
  lists.corners.resize(static_cast<size_t>(total));
  for (int f = end_face - 1; f >= first_face; --f) {
    const WFace& face = object.faces[f];
    const int* const v = face.v;
    for (int k = face.num - 1; k >= 0; --k)
      if (listed(v[k])) lists.corners[static_cast<size_t>(--start[static_cast<size_t>(v[k] - first)])] = Corner(f, k);
  }
}

// The cosine of the face's material angle, in c; false for a face whose
// material index is outside the scene's materials, which counts as none.
class MaterialCosine {
 public:
  explicit MaterialCosine(const std::vector<double>& cosine) : cosine_(cosine) {}
  bool operator()(const WFace& face, double& c) const {
    if (face.material < 0 || static_cast<size_t>(face.material) >= cosine_.size()) return false;
    c = cosine_[static_cast<size_t>(face.material)];
    return true;
  }

 private:
  const std::vector<double>& cosine_;
};

// A vertex whose faces with a material all carry equal normals (a flat fan,
// a flat grid): every pair then has the same dot product, and each corner
// that accepts it sums the normals of all k such corners, its own included.
// The terms are equal, so the order of the additions does not matter: a
// non-zero component adds the same value k times, and a zero component is
// -0 exactly when all k terms are -0. The sum is formed once instead of pair
// by pair. Returns false, touching nothing, when the normals differ (or hold
// a NaN, which equals nothing).
template <class Corner>
bool SumUniformVertex(const WObject& object, const Corner* corners, int n, const MaterialCosine& material_cosine,
                      WVector* sums) {
  const WVector* first = nullptr;
  WVector sum;
  int k = 0;
  for (int i = 0; i < n; ++i) {
    const WFace& face = object.faces[corners[i].face()];
    double c;
    if (!material_cosine(face, c)) continue;
    if (!first) {
      first = &face.normal;
      sum = face.normal;
    } else {
      if (face.normal != *first) return false;
      sum += face.normal;
    }
    ++k;
  }
  if (k < 2) return true;  // no pair: nothing to add
  const float d = Dot(*first, *first);
  for (int i = 0; i < n; ++i) {
    double cosine;
    if (material_cosine(object.faces[corners[i].face()], cosine) && cosine <= d) sums[i] = sum;
  }
  return true;
}

// The unit normals of the n corners of one vertex's list, in list order:
// each corner's face normal plus the normals of the other corners that pass
// its material's angle test, added in list order. Pairwise by nature: each
// corner's sum depends on a test against every other corner of its vertex.
template <class Corner>
void SmoothVertexCorners(const WObject& object, const Corner* corners, int n, const MaterialCosine& material_cosine,
                         WVector* normals) {
  for (int i = 0; i < n; ++i) normals[i] = object.faces[corners[i].face()].normal;
  if (!SumUniformVertex(object, corners, n, material_cosine, normals)) {
    for (int i = 0; i < n; ++i) {
      const WFace& face1 = object.faces[corners[i].face()];
      double cos1;
      if (!material_cosine(face1, cos1)) continue;
      for (int j = i + 1; j < n; ++j) {
        const WFace& face2 = object.faces[corners[j].face()];
        double cos2;
        if (!material_cosine(face2, cos2)) continue;
        const float d = Dot(face1.normal, face2.normal);
        if (cos1 <= d) normals[i] += face2.normal;
        if (cos2 <= d) normals[j] += face1.normal;
      }
    }
  }
  for (int i = 0; i < n; ++i) normals[i].Normalize();
}

// Scratch space of one part of the vertices, kept from vertex to vertex.
struct VertexScratch {
  std::vector<WVector> normals;
  std::vector<int> order;
  std::vector<int> first;
};

// Smooths each listed vertex's list and calls use(v, begin, n, normals,
// scratch) with the vertex, its list's place, its corners' normals and the
// scratch space of its part, the vertices split over threads: a corner
// belongs to the list of its own vertex only, so each vertex writes only
// its own corners' results. The scratch lives as long as the part: none
// stays with a thread (the host's thread, inside the plug-in) once the pass
// is done.
template <class Corner, class Use>
void ForEachSmoothedVertex(const WObject& object, const VertexCorners<Corner>& lists,
                           const MaterialCosine& material_cosine, const Use& use) {
  ParallelFor(static_cast<size_t>(lists.last - lists.first), 4096, [&](size_t first, size_t last) {
    VertexScratch scratch;
    for (size_t i = first; i < last; ++i) {
      const int begin = lists.start[i];
      const int n = lists.start[i + 1] - begin;
      scratch.normals.resize(static_cast<size_t>(n));
      SmoothVertexCorners(object, lists.corners.data() + begin, n, material_cosine, scratch.normals.data());
      use(lists.first + static_cast<int>(i), begin, n, scratch.normals.data(), scratch);
    }
  });
}

// The most corners of one face.
int WidestFace(const WObject& object) {
  int widest = 0;
  for (int f = 0; f < object.fnum; ++f)
    if (object.faces[f].num > widest) widest = object.faces[f].num;
  return widest;
}

// Calls work with a value of the compact corner entry type when the object
// fits it, else with one of the wide type; work takes the type from it.
template <class Work>
void WithCornerType(const WObject& object, int widest, Work&& work) {
  if (object.fnum <= PackedCorner::kMaxFaces && widest <= PackedCorner::kMaxCorners)
    work(PackedCorner());
  else
    work(WideCorner());
}

void SmoothObject(WObject& object, const MaterialCosine& material_cosine) {
  if (object.vnum <= 0) return;
  const int widest = WidestFace(object);
  // A corner outside every list (its vertex index is bad) keeps its own
  // face normal, made unit length.
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    WVector* normals = face.CornerNormals();
    for (int k = 0; k < face.num; ++k) normals[k] = face.normal.Normalized();
  }
  WithCornerType(object, widest, [&](auto corner_type) {
    using Corner = decltype(corner_type);
    VertexCorners<Corner> lists;
    ListVertexCorners(object, 0, object.vnum, lists, 0, object.fnum);
    const auto store = [&](int, int begin, int n, const WVector* normals, VertexScratch&) {
      for (int i = 0; i < n; ++i) {
        const Corner c = lists.corners[static_cast<size_t>(begin + i)];
        object.faces[c.face()].corner_normals()[c.corner()] = normals[i];
      }
    };
    ForEachSmoothedVertex(object, lists, material_cosine, store);
  });
}

// --- Smoothing and welding in one -------------------------------------------

bool Same(const WVector& a, const WVector& b) { return a == b; }
// A normal with a NaN equals nothing, itself included.
bool Comparable(const WVector& n) { return Same(n, n); }

// For each of n normals, the position of the first one equal to it (itself
// when none before it is), in first[]. Short lists compare with the earlier
// distinct ones; long ones (the centre of a large fan) sort by value.
void FirstEqual(const WVector* normals, int n, std::vector<int>& order, int* first) {
  constexpr int kShortList = 16;
  if (n <= kShortList) {
    int distinct[kShortList];
    int d = 0;
    for (int i = 0; i < n; ++i) {
      first[i] = i;
      if (!Comparable(normals[i])) continue;
      for (int j = 0; j < d && first[i] == i; ++j)
        if (Same(normals[distinct[j]], normals[i])) first[i] = distinct[j];
      if (first[i] == i) distinct[d++] = i;
    }
    return;
  }
  order.clear();
  for (int i = 0; i < n; ++i) {
    first[i] = i;
    if (Comparable(normals[i])) order.push_back(i);
  }
  const auto key = [normals](int i) {
    return std::make_tuple(EqualityBits(normals[i].x), EqualityBits(normals[i].y), EqualityBits(normals[i].z), i);
  };
  std::sort(order.begin(), order.end(), [&key](int a, int b) { return key(a) < key(b); });
  for (size_t i = 1; i < order.size(); ++i)
    if (Same(normals[order[i - 1]], normals[order[i]])) first[order[i]] = first[order[i - 1]];
}

// Removes every normal record; the corners then name none.
void RemoveNormalRecords(WObject& object) {
  for (int i = 0; i < object.nnum; ++i) {
    object.normals[i].flags |= kDeleted;
    object.normals[i].remap = -1;
  }
  object.Compact();
}

// The parts of the vertices whose corners are listed at a time while the
// normal records are filled: the lists of every vertex would lie beside
// the records, at the weld's peak. A part is a run of vertices and the run
// of faces that holds their corners, which is short where faces and
// vertices come in a similar order (a grid, a scan, most modellers'
// output). Small parts are taken when their runs of faces add up to no
// more than a few scans of all faces; otherwise two parts, each scanning
// every face.
struct FillPart {
  int first_vertex;
  int end_vertex;
  int first_face;
  int end_face;
};
constexpr long long kSmallPartCorners = 1 << 18;
constexpr long long kScansOfSmallParts = 4;

template <class Corner>
std::vector<FillPart> PlanFillParts(const WObject& object, const VertexCorners<Corner>& all) {
  const int vnum = object.vnum;
  const long long corners = all.start.back();
  if (corners < (1 << 18)) return {FillPart{0, vnum, 0, object.fnum}};
  std::vector<FillPart> small;
  long long scanned = 0;
  for (int v = 0; v < vnum;) {
    FillPart part{v, v, object.fnum, 0};
    long long listed = 0;
    for (; v < vnum && (listed == 0 || listed < kSmallPartCorners); ++v) {
      const int begin = all.start[static_cast<size_t>(v)], end = all.start[static_cast<size_t>(v) + 1];
      if (begin == end) continue;
      // Each list is in face order: its first and last corners bound it.
      part.first_face = std::min(part.first_face, all.corners[static_cast<size_t>(begin)].face());
      part.end_face = std::max(part.end_face, all.corners[static_cast<size_t>(end) - 1].face() + 1);
      listed += end - begin;
    }
    part.end_vertex = v;
    if (part.end_face < part.first_face) part.end_face = part.first_face;
    scanned += part.end_face - part.first_face;
    small.push_back(part);
  }
  if (scanned <= kScansOfSmallParts * object.fnum) return small;
  const int half = vnum / 2 + 1;
  return {FillPart{0, half, 0, object.fnum}, FillPart{half, vnum, 0, object.fnum}};
}

void SmoothWeldObject(WObject& object, const MaterialCosine& material_cosine) {
  if (object.vnum <= 0) {
    // Nothing to smooth: the corners' own normals become the records.
    ExpandNormals(object);
    return;
  }
  RemoveNormalRecords(object);
  const int vnum = object.vnum;
  WithCornerType(object, WidestFace(object), [&](auto corner_type) {
    using Corner = decltype(corner_type);
    // Per vertex, its number of distinct normals; each listed corner names,
    // for now, which of them it has (0, 1, ... in the order that they first
    // come in its vertex's list).
    std::vector<int> distinct(static_cast<size_t>(vnum), 0);
    std::vector<FillPart> parts;
    {
      VertexCorners<Corner> lists;
      ListVertexCorners(object, 0, vnum, lists, 0, object.fnum);
      parts = PlanFillParts(object, lists);
      const auto name_distinct = [&](int v, int begin, int n, const WVector* normals, VertexScratch& scratch) {
        std::vector<int>& first = scratch.first;
        first.resize(static_cast<size_t>(n));
        FirstEqual(normals, n, scratch.order, first.data());
        // A first of its value counts the next number; a later one takes the
        // number its first took (already renumbered, as it lies before).
        int d = 0;
        for (int i = 0; i < n; ++i) {
          int& slot = first[static_cast<size_t>(i)];
          slot = slot == i ? d++ : first[static_cast<size_t>(slot)];
        }
        distinct[static_cast<size_t>(v)] = d;
        for (int i = 0; i < n; ++i) {
          const Corner c = lists.corners[static_cast<size_t>(begin + i)];
          object.faces[c.face()].vn()[c.corner()] = first[static_cast<size_t>(i)];
        }
      };
      ForEachSmoothedVertex(object, lists, material_cosine, name_distinct);
    }
    // Records are numbered in face and corner order, as each first corner
    // of its value at its vertex comes (a vertex's list is in that order
    // too); a corner outside every list has a record of its own. The
    // distinct values of all vertices lie side by side in record_of.
    size_t values = 0;
    for (int& d : distinct) {
      if (values > static_cast<size_t>(INT32_MAX)) throw std::bad_alloc();
      const int here = d;
      d = static_cast<int>(values);
      values += static_cast<size_t>(here);
    }
    std::vector<int> record_of(values, -1);
    int count = 0;
    bool unlisted = false;
    for (int f = 0; f < object.fnum; ++f) {
      WFace& face = object.faces[f];
      const int* const v = face.v;
      int* const vn = face.vn();
      for (int k = 0; k < face.num; ++k) {
        if (count == INT32_MAX) throw std::bad_alloc();
        if (!ValidVertex(object, v[k])) {
          vn[k] = count++;
          unlisted = true;
          continue;
        }
        int& record = record_of[static_cast<size_t>(distinct[static_cast<size_t>(v[k])] + vn[k])];
        if (record == -1) record = count++;
        vn[k] = record;
      }
    }
    std::vector<int>().swap(record_of);
    std::vector<int>().swap(distinct);
    if (!ReserveRecords(object.normals, object.nnum, object.nmax, count)) throw std::bad_alloc();
    object.nnum = count;
    for (int r = 0; r < count; ++r) object.normals[r].remap = r;
    // The values, smoothed once more (the same sums, in the same order), a
    // part of the vertices at a time. The corners of a record all belong to
    // one vertex; written last to first, the record ends with its first
    // corner's value (equal values may still differ in the sign of a zero).
    VertexCorners<Corner> lists;
    const auto fill_records = [&](int, int begin, int n, const WVector* normals, VertexScratch&) {
      for (int i = n - 1; i >= 0; --i) {
        const Corner c = lists.corners[static_cast<size_t>(begin + i)];
        object.normals[object.faces[c.face()].vn()[c.corner()]].normal = normals[i];
      }
    };
    for (const FillPart& part : parts) {
      if (part.first_vertex >= part.end_vertex) continue;
      ListVertexCorners(object, part.first_vertex, part.end_vertex, lists, part.first_face, part.end_face);
      ForEachSmoothedVertex(object, lists, material_cosine, fill_records);
    }
    if (unlisted) {
      for (int f = 0; f < object.fnum; ++f) {
        const WFace& face = object.faces[f];
        for (int k = 0; k < face.num; ++k)
          if (!ValidVertex(object, face.v[k])) object.normals[face.vn()[k]].normal = face.normal.Normalized();
      }
    }
  });
}

// The cosine of each material's angle, in double precision as the test
// compares it.
std::vector<double> MaterialCosines(const WScene& scene) {
  std::vector<double> cosine(static_cast<size_t>(scene.mnum > 0 ? scene.mnum : 0));
  for (size_t m = 0; m < cosine.size(); ++m)
    cosine[m] = std::cos(static_cast<double>(scene.materials[m].smoothing_angle));
  return cosine;
}

}  // namespace

void SmoothCornerNormals(WScene& scene) {
  const std::vector<double> cosine = MaterialCosines(scene);
  for (int o = 0; o < scene.onum; ++o) SmoothObject(scene.objects[o], MaterialCosine(cosine));
}

void SmoothWeldNormals(WScene& scene) {
  const std::vector<double> cosine = MaterialCosines(scene);
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    SmoothWeldObject(object, MaterialCosine(cosine));
    for (int f = 0; f < object.fnum; ++f) object.faces[f].ReleaseCornerNormals();
  }
}

void SmoothCornerNormals(const WScene& scene, WObject& object) {
  const std::vector<double> cosine = MaterialCosines(scene);
  SmoothObject(object, MaterialCosine(cosine));
}

void SmoothWeldNormals(const WScene& scene, WObject& object) {
  const std::vector<double> cosine = MaterialCosines(scene);
  SmoothWeldObject(object, MaterialCosine(cosine));
  for (int f = 0; f < object.fnum; ++f) object.faces[f].ReleaseCornerNormals();
}

void ReleaseCornerNormals(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    for (int f = 0; f < object.fnum; ++f) object.faces[f].ReleaseCornerNormals();
  }
#if defined(__GLIBC__)
  // The blocks were made in one run after the document was read, so they
  // free whole pages; give those back rather than keep them unused.
  malloc_trim(0);
#endif
}
