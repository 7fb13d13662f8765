// Face normals: faces may have any number of corners and need be neither
// planar nor convex, so the normal comes from the corner whose sides are
// closest to a right angle and is then turned to the side that most of the
// face's corner triangles face.
#include <cmath>
#include <vector>

#include "w_lib/w_scene.h"

namespace {

// Sets the normal of one face. tri is scratch room for the face's corner
// triangle normals, kept by the caller so that it grows rarely.
void ComputeFaceNormal(const WObject& object, WFace& face, std::vector<WVector>& tri) {
  const int n = face.num;
  face.normal = WVector();
  if (n < 3) return;
  // A corner naming no vertex makes the face unusable.
  for (int k = 0; k < n; ++k)
    if (face.v[k] < 0 || face.v[k] >= object.vnum) return;
  const auto pos = [&](int k) { return object.vertices[face.v[k]].pos; };

  if (tri.size() < static_cast<size_t>(n)) tri.resize(static_cast<size_t>(n));
  WVector best;
  float smallest = 1.0f;
  for (int i = 0; i < n; ++i) {
    const WVector a = pos(i), b = pos((i + 1) % n), c = pos((i + 2) % n);
    const WVector cur = TriangleNormal(a, b, c);
    tri[static_cast<size_t>(i)] = cur;
    const WVector d1 = (a - b).Normalized();
    const WVector d2 = (c - b).Normalized();
    if (d1.Length() == 0.0f || d2.Length() == 0.0f) continue;  // a repeated point
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
    const float s = Dot(tri[static_cast<size_t>(i)], best);
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

bool ComputeFaceNormals(WScene& scene) {
  std::vector<WVector> tri;
  for (int o = 0; o < scene.onum; ++o) {
    WObject& object = scene.objects[o];
    for (int f = 0; f < object.fnum; ++f) ComputeFaceNormal(object, object.faces[f], tri);
  }
  return true;
}
