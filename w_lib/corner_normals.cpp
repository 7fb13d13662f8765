// Smoothed corner normals: every corner starts from its face normal and adds
// the normals of the other faces around its vertex that lie within its
// material's smoothing angle.
#include <cmath>
#include <utility>
#include <vector>

#include "w_lib/w_scene.h"

namespace {

// The corners that use one vertex, as (face, corner) pairs in face order,
// then corner order.
struct VertexCorners {
  std::vector<int> start;  // vnum + 1 offsets into corners
  std::vector<std::pair<int, int>> corners;
};

void ListVertexCorners(const WObject& object, VertexCorners& lists) {
  const int vnum = object.vnum;
  std::vector<int>& start = lists.start;
  start.assign(static_cast<size_t>(vnum) + 1, 0);
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k)
      if (face.v[k] >= 0 && face.v[k] < vnum) ++start[static_cast<size_t>(face.v[k])];
  }
  // Running ends; filling backwards then leaves each entry at its start and
  // every list in face order.
  int total = 0;
  for (int v = 0; v < vnum; ++v) start[static_cast<size_t>(v)] = total += start[static_cast<size_t>(v)];
  start[static_cast<size_t>(vnum)] = total;
  lists.corners.resize(static_cast<size_t>(total));
  for (int f = object.fnum - 1; f >= 0; --f) {
    const WFace& face = object.faces[f];
    for (int k = face.num - 1; k >= 0; --k)
      if (face.v[k] >= 0 && face.v[k] < vnum)
        lists.corners[static_cast<size_t>(--start[static_cast<size_t>(face.v[k])])] = {f, k};
  }
}

void SmoothObject(WObject& object, const std::vector<double>& cosine) {
  if (object.vnum <= 0) return;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    for (int k = 0; k < face.num; ++k) face.corner_normals[k] = face.normal;
  }

  VertexCorners lists;
  ListVertexCorners(object, lists);
  // A material index outside the scene's materials counts as no material.
  const auto material_cosine = [&](const WFace& face, double& c) {
    if (face.material < 0 || static_cast<size_t>(face.material) >= cosine.size()) return false;
    c = cosine[static_cast<size_t>(face.material)];
    return true;
  };
  // Pairwise by nature: each corner's sum depends on an angle test against
  // every other corner of its vertex, added in list order.
  for (int v = 0; v < object.vnum; ++v) {
    const int begin = lists.start[static_cast<size_t>(v)];
    const int end = lists.start[static_cast<size_t>(v) + 1];
    for (int i = begin; i < end; ++i) {
      const auto [f1, k1] = lists.corners[static_cast<size_t>(i)];
      WFace& face1 = object.faces[f1];
      double cos1;
      if (!material_cosine(face1, cos1)) continue;
      for (int j = i + 1; j < end; ++j) {
        const auto [f2, k2] = lists.corners[static_cast<size_t>(j)];
        WFace& face2 = object.faces[f2];
        double cos2;
        if (!material_cosine(face2, cos2)) continue;
        const float d = Dot(face1.normal, face2.normal);
        if (cos1 <= d) face1.corner_normals[k1] += face2.normal;
        if (cos2 <= d) face2.corner_normals[k2] += face1.normal;
      }
    }
  }

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
