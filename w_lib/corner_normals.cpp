// Smoothed corner normals: every corner starts from its face normal and adds
// the normals of the other faces around its vertex that lie within its
// material's smoothing angle.
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

// Lists the corners of each vertex in face order, then corner order:
// start[v] .. start[v + 1] in corners. On entry start[v] holds the number
// of corners of vertex v.
template <class Corner>
void ListVertexCorners(const WObject& object, std::vector<int>& start, std::vector<Corner>& corners) {
  // Running ends; filling backwards then leaves each entry at its start and
  // every list in order.
  int total = 0;
  for (int v = 0; v < object.vnum; ++v) start[static_cast<size_t>(v)] = total += start[static_cast<size_t>(v)];
  start[static_cast<size_t>(object.vnum)] = total;
  corners.resize(static_cast<size_t>(total));
  for (int f = object.fnum - 1; f >= 0; --f) {
    const WFace& face = object.faces[f];
    for (int k = face.num - 1; k >= 0; --k)
      if (ValidVertex(object, face.v[k])) corners[static_cast<size_t>(--start[static_cast<size_t>(face.v[k])])] = Corner(f, k);
  }
}

// A vertex whose faces with a material all carry equal normals (a flat fan,
// a flat grid): every pair then has the same dot product, and each corner
// that accepts it sums the normals of all k such corners, its own included.
// The terms are equal, so the order of the additions does not matter: a
// non-zero component adds the same value k times, and a zero component is
// -0 exactly when all k terms are -0. The sum is formed once instead of pair
// by pair. Returns false, touching nothing, when the normals differ (or hold
// a NaN, which equals nothing).
template <class Corner, class MaterialCosine>
bool SumUniformVertex(WObject& object, const std::vector<Corner>& corners, int begin, int end,
                      const MaterialCosine& material_cosine) {
  const WVector* first = nullptr;
  WVector sum;
  int k = 0;
  for (int i = begin; i < end; ++i) {
    const WFace& face = object.faces[corners[static_cast<size_t>(i)].face()];
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
  for (int i = begin; i < end; ++i) {
    const Corner c = corners[static_cast<size_t>(i)];
    WFace& face = object.faces[c.face()];
    double cosine;
    if (material_cosine(face, cosine) && cosine <= d) face.corner_normals[c.corner()] = sum;
  }
  return true;
}

// Adds to each corner the normals of the other corners of its vertex that
// pass its material's angle test. Pairwise by nature: each corner's sum
// depends on a test against every other corner of its vertex, added in
// list order.
template <class Corner>
void SumAroundVertices(WObject& object, std::vector<int>& start, const std::vector<double>& cosine) {
  std::vector<Corner> corners;
  ListVertexCorners(object, start, corners);
  // A material index outside the scene's materials counts as no material.
  const auto material_cosine = [&cosine](const WFace& face, double& c) {
    if (face.material < 0 || static_cast<size_t>(face.material) >= cosine.size()) return false;
    c = cosine[static_cast<size_t>(face.material)];
    return true;
  };
  // A corner belongs to the list of its own vertex only, so the vertices
  // can be summed on several threads, each writing its own corners.
  ParallelFor(static_cast<size_t>(object.vnum), 4096, [&](size_t first, size_t last) {
    for (int v = static_cast<int>(first); v < static_cast<int>(last); ++v) {
      const int begin = start[static_cast<size_t>(v)];
      const int end = start[static_cast<size_t>(v) + 1];
      if (SumUniformVertex(object, corners, begin, end, material_cosine)) continue;
      for (int i = begin; i < end; ++i) {
        const Corner c1 = corners[static_cast<size_t>(i)];
        WFace& face1 = object.faces[c1.face()];
        double cos1;
        if (!material_cosine(face1, cos1)) continue;
        for (int j = i + 1; j < end; ++j) {
          const Corner c2 = corners[static_cast<size_t>(j)];
          WFace& face2 = object.faces[c2.face()];
          double cos2;
          if (!material_cosine(face2, cos2)) continue;
          const float d = Dot(face1.normal, face2.normal);
          if (cos1 <= d) face1.corner_normals[c1.corner()] += face2.normal;
          if (cos2 <= d) face2.corner_normals[c2.corner()] += face1.normal;
        }
      }
    }
  });
}

void SmoothObject(WObject& object, const std::vector<double>& cosine) {
  if (object.vnum <= 0) return;
  // Every corner starts from its face normal; meanwhile count the corners
  // of each vertex.
  std::vector<int> start(static_cast<size_t>(object.vnum) + 1, 0);
  int widest = 0;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    if (face.num > widest) widest = face.num;
    WVector* normals = face.CornerNormals();
    for (int k = 0; k < face.num; ++k) {
      normals[k] = face.normal;
      if (ValidVertex(object, face.v[k])) ++start[static_cast<size_t>(face.v[k])];
    }
  }
  if (object.fnum <= PackedCorner::kMaxFaces && widest <= PackedCorner::kMaxCorners)
    SumAroundVertices<PackedCorner>(object, start, cosine);
  else
    SumAroundVertices<WideCorner>(object, start, cosine);

  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) face.corner_normals[k].Normalize();
  }
}

}  // namespace

bool SmoothCornerNormals(WScene& scene) {
  // The cosine of each material's angle, in double precision as the test
  // compares it.
  std::vector<double> cosine(static_cast<size_t>(scene.mnum > 0 ? scene.mnum : 0));
  for (size_t m = 0; m < cosine.size(); ++m)
    cosine[m] = std::cos(static_cast<double>(scene.materials[m].smoothing_angle));
  for (int o = 0; o < scene.onum; ++o) SmoothObject(scene.objects[o], cosine);
  return true;
}

bool ReleaseCornerNormals(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    for (int f = 0; f < object.fnum; ++f) object.faces[f].ReleaseCornerNormals();
  }
#if defined(__GLIBC__)
  // The blocks were made in one run after the document was read, so they
  // free whole pages; give those back rather than keep them unused.
  malloc_trim(0);
#endif
  return true;
}
