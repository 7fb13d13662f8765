// The signed volume of a mesh, and whether it closes: which way its faces
// turn, as a number. Corners are joined by their position, so that a mesh
// whose vertices are split along seams still counts as closed.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "w_lib/w_scene.h"

namespace {

struct PositionKey {
  uint32_t bits[3];
  bool operator==(const PositionKey& o) const {
    return bits[0] == o.bits[0] && bits[1] == o.bits[1] && bits[2] == o.bits[2];
  }
};

struct PositionHash {
  size_t operator()(const PositionKey& k) const {
    return (k.bits[0] * 0x9e3779b1u) ^ (k.bits[1] * 0x85ebca77u) ^ (k.bits[2] * 0xc2b2ae3du);
  }
};

PositionKey KeyOf(const WVector& p) {
  // -0 and +0 are one place.
  const float c[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
  PositionKey k;
  std::memcpy(k.bits, c, sizeof k.bits);
  return k;
}

// p0 . (p1 x p2) / 6: the signed volume of the tetrahedron of the origin and
// a triangle.
double TetrahedronVolume(const WVector& a, const WVector& b, const WVector& c) {
  const double ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z, cx = c.x, cy = c.y, cz = c.z;
  return (ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)) / 6.0;
}

}  // namespace

WMeshVolume MeasureMeshVolume(const WObject& object, const WMatrix& matrix) {
  WMeshVolume measure;
  // One place per distinct position of the object's vertices.
  std::unordered_map<PositionKey, uint32_t, PositionHash> ids;
  std::vector<uint32_t> place(static_cast<size_t>(object.vnum > 0 ? object.vnum : 0));
  for (int v = 0; v < object.vnum; ++v)
    place[static_cast<size_t>(v)] =
        ids.emplace(KeyOf(object.vertices[v].pos), static_cast<uint32_t>(ids.size())).first->second;

  std::vector<uint64_t> sides;  // (from << 32) | to
  std::vector<uint32_t> corners;
  for (int f = 0; f < object.fnum; ++f) {
    const WFace& face = object.faces[f];
    if (face.num < 3) continue;  // a line, which bounds nothing
    corners.clear();
    for (int k = 0; k < face.num; ++k) {
      const int v = face.v[k];
      if (v < 0 || v >= object.vnum) return WMeshVolume();
      const uint32_t id = place[static_cast<size_t>(v)];
      if (corners.empty() || corners.back() != id) corners.push_back(id);
    }
    while (corners.size() > 1 && corners.front() == corners.back()) corners.pop_back();
    if (corners.size() < 3) continue;  // no area
    for (size_t k = 0; k < corners.size(); ++k)
      sides.push_back(uint64_t{corners[k]} << 32 | corners[(k + 1) % corners.size()]);
    // The fan of the face from its first corner, in the matrix's space.
    const auto at = [&](int k) { return TransformPoint(object.vertices[face.v[k]].pos, matrix); };
    const WVector a = at(0);
    for (int k = 1; k + 1 < face.num; ++k) measure.volume += TetrahedronVolume(a, at(k), at(k + 1));
  }
  // A side is open unless it is there once and its reverse once.
  std::sort(sides.begin(), sides.end());
  measure.sides = static_cast<long long>(sides.size());
  for (size_t i = 0; i < sides.size(); ++i) {
    const bool twice = (i > 0 && sides[i - 1] == sides[i]) || (i + 1 < sides.size() && sides[i + 1] == sides[i]);
    const uint64_t reverse = (sides[i] << 32) | (sides[i] >> 32);
    const auto met = std::equal_range(sides.begin(), sides.end(), reverse);
    if (twice || met.second - met.first != 1) ++measure.open_sides;
  }
  return measure;
}
