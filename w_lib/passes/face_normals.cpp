// Face normals: faces may have any number of corners and need be neither
// planar nor convex, so the normal comes from the corner whose sides are
// closest to a right angle and is then turned to the side that most of the
// face's corner triangles face.
#include <cmath>
#include <vector>

#include "w_lib/util/parallel.h"
#include "w_lib/w_scene.h"

namespace {

// Working room for one face, kept across faces so that it grows rarely.
struct Scratch {
  std::vector<WVector> side;  // side j: unit vector from corner j to j + 1
  std::vector<WVector> tri;   // corner i: normal of corners i, i + 1, i + 2
};

void ComputeFaceNormal(const WObject& object, WFace& face, Scratch& scratch) {
  const int n = face.num;
  face.normal = WVector();
  if (n < 3) return;
  // A corner naming no vertex makes the face unusable.
  for (int k = 0; k < n; ++k)
    if (face.v[k] < 0 || face.v[k] >= object.vnum) return;
  const auto pos = [&](int k) { return object.vertices[face.v[k]].pos; };

  const size_t size = static_cast<size_t>(n);
  if (scratch.side.size() < size) {
    scratch.side.resize(size);
    scratch.tri.resize(size);
  }
  // The two sides at corner i + 1 are normalised(P(i) - P(i + 1)) and
  // normalised(P(i + 2) - P(i + 1)): the negated unit side i and the unit
  // side i + 1. Negation is exact, so each side is normalised once, and the
  // absolute cosine between the two is that of the sides as they run.
  for (int j = 0; j < n; ++j) scratch.side[static_cast<size_t>(j)] = (pos((j + 1) % n) - pos(j)).Normalized();

  WVector best;
  float smallest = 1.0f;
  for (int i = 0; i < n; ++i) {
    const WVector cur = TriangleNormal(pos(i), pos((i + 1) % n), pos((i + 2) % n));
    scratch.tri[static_cast<size_t>(i)] = cur;
    const WVector& d1 = scratch.side[static_cast<size_t>(i)];
    const WVector& d2 = scratch.side[static_cast<size_t>((i + 1) % n)];
    // A repeated point: a normalised vector has length 0 exactly when it
    // is the zero vector.
    if (d1 == WVector() || d2 == WVector()) continue;
    // The first corner wins a tie; collinear sides (cosine 1) never win.
    const float cosine = std::fabs(Dot(d1, d2));
    if (cosine < smallest) {
      smallest = cosine;
      best = cur.Normalized();
    }
  }
  if (best.Length() == 0.0f) return;

  // Concave faces: the majority of the corner triangles decides the side.
  int agree = 0, disagree = 0;
  for (int i = 0; i < n; ++i) {
    const float s = Dot(scratch.tri[static_cast<size_t>(i)], best);
    if (s > 0.0f) ++agree;
    if (s < 0.0f) ++disagree;
  }
  if (disagree > agree) best = -best;
  face.normal = best;
}

}  // namespace

WVector TriangleNormal(WVector p0, WVector p1, WVector p2) {
  return Cross(p0 - p1, p1 - p2).Normalized();
}

void ComputeFaceNormals(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    // Each face's normal depends on that face alone.
    ParallelFor(object.fnum > 0 ? static_cast<size_t>(object.fnum) : 0, 4096, [&object](size_t begin, size_t end) {
      Scratch scratch;
      for (size_t f = begin; f < end; ++f) ComputeFaceNormal(object, object.faces[f], scratch);
    });
  }
}
