// Double-precision geometry that the ear clipper's two trees share.
#include "w_lib/triangulation/polygon_plane.h"

#include <algorithm>
#include <cmath>

bool LargestCornerCoordinate(const WObject& object, const WFace& face, double* largest) {
  *largest = 0.0;
  for (int k = 0; k < face.num; ++k) {
    if (face.v[k] < 0 || face.v[k] >= object.vnum) return false;
    const WVector& p = object.vertices[face.v[k]].pos;
    for (const float c : {p.x, p.y, p.z}) {
      const double size = std::fabs(static_cast<double>(c));
      if (!(size <= kMaxTreeCoordinate)) return false;  // also NaN and infinity
      *largest = std::max(*largest, size);
    }
  }
  return true;
}

void UnitOrZero(const double v[3], double out[3]) {
  const double length = std::sqrt(Dot3(v, v));
  const bool usable = std::isfinite(length) && length > 0.0;
  for (int c = 0; c < 3; ++c) out[c] = usable ? v[c] / length : 0.0;
}

bool AxesAlong(const double normal[3], const double along[3], double axis[3][3]) {
  if (Dot3(normal, normal) == 0.0) return false;
  double first[3] = {along[0], along[1], along[2]};
  // Taken square to the normal twice: once leaves too much of it when along
  // nearly runs with the normal.
  for (int pass = 0; pass < 2; ++pass) {
    const double k = Dot3(first, normal);
    for (int c = 0; c < 3; ++c) first[c] -= k * normal[c];
  }
  if (!(std::sqrt(Dot3(first, first)) > 1e-6 * std::sqrt(Dot3(along, along)))) return false;
  UnitOrZero(first, axis[0]);
  axis[1][0] = normal[1] * axis[0][2] - normal[2] * axis[0][1];
  axis[1][1] = normal[2] * axis[0][0] - normal[0] * axis[0][2];
  axis[1][2] = normal[0] * axis[0][1] - normal[1] * axis[0][0];
  for (int c = 0; c < 3; ++c) axis[2][c] = normal[c];
  return true;
}
