// A tree of boxes around runs of a polygon's sides, so that the ear
// clipper's side test looks only at the sides near a diagonal.
#include "w_lib/side_crossing_index.h"

#include <algorithm>
#include <cmath>

namespace {

// Polygons below this size walk their sides: the tree does not pay.
constexpr int kMinIndexedCorners = 64;
// Sides per leaf of the tree.
constexpr int kLeafSides = 4;
// Coordinates beyond this size could overflow the side test's products;
// such polygons walk their sides.
constexpr double kMaxCoordinate = 1e15;
// Room around every box, relative to the polygon's largest coordinate. The
// side test's float rounding moves its intersection point by a few units in
// 1e-7 of that size at most, so this is far on the safe side.
constexpr double kMarginScale = 1e-5;
// Half the thickness of a side's slab, in margins: the crossing point's
// distance from the plane comes from the rounding of two dot products, the
// division and the point itself, well under one margin.
constexpr double kSlabMargins = 4.0;

double Coordinate(const WVector& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

}  // namespace

bool SegmentCrossesSide(const WVector& normal, const WVector& pa, const WVector& pb, const WVector& p,
                        const WVector& q) {
  // m is the normal of the plane that stands on the side, across the face.
  const WVector m = Cross(q - p, normal).Normalized();
  const float d1 = Dot(m, pa - p);
  const float d2 = Dot(m, pb - p);
  if (static_cast<double>(d1) * static_cast<double>(d2) < 0.0) {
    const double d1d = d1;
    const float s = static_cast<float>(d1d / (d1d - static_cast<double>(d2)));
    const WVector x = pa + (pb - pa) * s;
    // x lies strictly inside the side when p and q lie on opposite sides of it.
    if (Dot(Cross(p - x, m), Cross(q - x, m)) < 0.0f) return true;
  }
  return false;
}

SideCrossingIndex::SideCrossingIndex(const WObject& object, int f)
    : object_(object), f_(f), n_(object.faces[f].num) {
  indexed_ = n_ >= kMinIndexedCorners && Build();
}

bool SideCrossingIndex::Build() {
  const WFace& face = Face();
  double largest = 0.0;
  for (int k = 0; k < n_; ++k) {
    if (face.v[k] < 0 || face.v[k] >= object_.vnum) return false;
    const WVector& p = object_.vertices[face.v[k]].pos;
    for (int axis = 0; axis < 3; ++axis) {
      const double c = std::fabs(Coordinate(p, axis));
      if (!(c <= kMaxCoordinate)) return false;  // also NaN and infinity
      largest = std::max(largest, c);
    }
  }
  margin_ = std::max(largest * kMarginScale, 1e-30);

  side_box_.resize(static_cast<size_t>(n_));
  for (int i = 0; i < n_; ++i)
    side_box_[static_cast<size_t>(i)] =
        SideBox(face.normal, object_.vertices[face.v[i]].pos, object_.vertices[face.v[(i + 1) % n_]].pos);
  int nodes = 1;
  while (nodes * kLeafSides < n_) nodes *= 2;
  node_box_.resize(2 * static_cast<size_t>(nodes));
  BuildNode(1, 0, n_);
  return true;
}

// Where SegmentCrossesSide can find a crossing of the side p..q, in a box.
// Its crossing point lies strictly between p and q, so inside the ball over
// the side as its diameter; and it lies on the segment where that crosses
// the plane through p across the face (normal m), so within rounding of
// that plane. Ball and slab meet in a thin disc around the side, whose box
// is much smaller than the ball's for a long slanted side; such sides
// (spikes, fans of slivers) would otherwise have boxes that overlap
// hundreds of their neighbours.
SideCrossingIndex::Box SideCrossingIndex::SideBox(const WVector& normal, const WVector& p, const WVector& q) const {
  const double dx = static_cast<double>(q.x) - p.x, dy = static_cast<double>(q.y) - p.y,
               dz = static_cast<double>(q.z) - p.z;
  const double radius = std::sqrt(dx * dx + dy * dy + dz * dz) / 2.0;
  double reach[3] = {radius, radius, radius};
  // The plane's normal exactly as the side test computes it.
  const WVector m = Cross(q - p, normal).Normalized();
  const double mx = m.x, my = m.y, mz = m.z;
  const double length = std::sqrt(mx * mx + my * my + mz * mz);
  if (std::isfinite(length) && length > 0.5) {
    const double unit[3] = {mx / length, my / length, mz / length};
    // q's own distance from the plane (the float normal is not quite square
    // to the side), and the rounding of the crossing point, with room.
    const double offset = (dx * mx + dy * my + dz * mz) / length;
    const double thickness = std::fabs(offset) / 2.0 + kSlabMargins * margin_;
    for (int axis = 0; axis < 3; ++axis) {
      const double across = std::sqrt(std::max(0.0, 1.0 - unit[axis] * unit[axis]));
      reach[axis] = std::min(radius, radius * across + thickness * std::fabs(unit[axis]));
    }
  }
  Box box;
  for (int axis = 0; axis < 3; ++axis) {
    const double centre = (Coordinate(p, axis) + Coordinate(q, axis)) / 2.0;
    box.lo[axis] = centre - reach[axis] - margin_;
    box.hi[axis] = centre + reach[axis] + margin_;
  }
  return box;
}

void SideCrossingIndex::BuildNode(int node, int begin, int end) {
  Box& box = node_box_[static_cast<size_t>(node)];
  if (end - begin <= kLeafSides) {
    box = side_box_[static_cast<size_t>(begin)];
    for (int i = begin + 1; i < end; ++i)
      for (int axis = 0; axis < 3; ++axis) {
        box.lo[axis] = std::min(box.lo[axis], side_box_[static_cast<size_t>(i)].lo[axis]);
        box.hi[axis] = std::max(box.hi[axis], side_box_[static_cast<size_t>(i)].hi[axis]);
      }
    return;
  }
  const int middle = begin + (end - begin) / 2;
  BuildNode(2 * node, begin, middle);
  BuildNode(2 * node + 1, middle, end);
  const Box& l = node_box_[static_cast<size_t>(2 * node)];
  const Box& r = node_box_[static_cast<size_t>(2 * node + 1)];
  for (int axis = 0; axis < 3; ++axis) {
    box.lo[axis] = std::min(l.lo[axis], r.lo[axis]);
    box.hi[axis] = std::max(l.hi[axis], r.hi[axis]);
  }
}

// Whether the segment comes within the margin of the box: the slabs of the
// box, widened once more by the margin so that rounding here cannot drop a
// box that the segment touches.
bool SideCrossingIndex::SegmentMeets(const Box& box, const double from[3], const double to[3]) const {
  double t0 = 0.0, t1 = 1.0;
  for (int axis = 0; axis < 3; ++axis) {
    const double lo = box.lo[axis] - margin_, hi = box.hi[axis] + margin_;
    const double d = to[axis] - from[axis];
    if (d == 0.0) {
      if (from[axis] < lo || from[axis] > hi) return false;
      continue;
    }
    double ta = (lo - from[axis]) / d, tb = (hi - from[axis]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

bool SideCrossingIndex::TestSide(int i, int a, int b, const WVector& pa, const WVector& pb) const {
  const WFace& face = Face();
  const int j = (i + 1) % n_;
  if (i == a || j == a || i == b || j == b) return false;
  const int vi = face.v[i], vj = face.v[j];
  if (vi < 0 || vi >= object_.vnum || vj < 0 || vj >= object_.vnum) return false;
  return SegmentCrossesSide(face.normal, pa, pb, object_.vertices[vi].pos, object_.vertices[vj].pos);
}

bool SideCrossingIndex::Crosses(int a, int b) const {
  if (a < 0 || a >= n_ || b < 0 || b >= n_) return false;
  const WFace& face = Face();
  const int va = face.v[a], vb = face.v[b];
  if (va < 0 || va >= object_.vnum || vb < 0 || vb >= object_.vnum) return false;
  const WVector pa = object_.vertices[va].pos;
  const WVector pb = object_.vertices[vb].pos;
  if (!indexed_) {
    for (int i = 0; i < n_; ++i)
      if (TestSide(i, a, b, pa, pb)) return true;
    return false;
  }

  const double from[3] = {pa.x, pa.y, pa.z}, to[3] = {pb.x, pb.y, pb.z};
  // Nodes with their run of sides, depth first.
  struct Visit {
    int node, begin, end;
  };
  Visit stack[128];  // two entries per level of a tree at most 31 deep
  int top = 0;
  stack[top++] = {1, 0, n_};
  while (top > 0) {
    const Visit v = stack[--top];
    if (!SegmentMeets(node_box_[static_cast<size_t>(v.node)], from, to)) continue;
    if (v.end - v.begin <= kLeafSides) {
      for (int i = v.begin; i < v.end; ++i)
        if (SegmentMeets(side_box_[static_cast<size_t>(i)], from, to) && TestSide(i, a, b, pa, pb)) return true;
      continue;
    }
    const int middle = v.begin + (v.end - v.begin) / 2;
    stack[top++] = {2 * v.node + 1, middle, v.end};
    stack[top++] = {2 * v.node, v.begin, middle};
  }
  return false;
}
