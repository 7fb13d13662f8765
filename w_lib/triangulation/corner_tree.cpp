// A tree of boxes over a polygon's corners in its plane, so that the ear
// clipper's fallback test looks only at the corners near a candidate ear.
#include "w_lib/triangulation/corner_tree.h"

#include <algorithm>
#include <cmath>

#include "w_lib/triangulation/polygon_plane.h"

namespace {

// Polygons below this size walk their corners: the tree does not pay.
constexpr int kMinTreeCorners = 64;
// Corners per leaf of the tree.
constexpr int kLeafCorners = 8;
// Room around every box, relative to the polygon's largest coordinate.
constexpr double kMarginScale = 1e-5;
// How far the inside-or-on test's double rounding can move an edge's line
// at a point, relative to the polygon's largest coordinate, for an edge that
// lies in the plane: a few roundings of products of the edge and the
// point's offset, each under 2^-52 of them, with room to spare.
constexpr double kSideRounding = 1e-13;
// Room for the rounding of where points and a band lie in the plane,
// relative to the polygon's largest coordinate: a band along a long run of
// corners almost on one line would otherwise hold every corner within the
// margin of the line.
constexpr double kBandRounding = 1e-11;

double Length2(double x, double y) { return std::sqrt(x * x + y * y); }

}  // namespace

CornerTree::CornerTree(const WObject& object, const WFace& face) {
  const int n = face.num;
  if (n < kMinTreeCorners) return;
  if (!LargestCornerCoordinate(object, face, &largest_)) return;
  const double normal[3] = {face.normal.x, face.normal.y, face.normal.z};
  double unit[3];
  UnitOrZero(normal, unit);
  // The plane's first axis from the coordinate axis least along the normal.
  int least = 0;
  for (int c = 1; c < 3; ++c)
    if (std::fabs(unit[c]) < std::fabs(unit[least])) least = c;
  double along[3] = {0.0, 0.0, 0.0};
  along[least] = 1.0;
  double axis[3][3];
  // No normal: the test accepts every point, and no box can bound that.
  if (!AxesAlong(unit, along, axis)) return;
  std::copy(&axis[0][0], &axis[0][0] + 6, &axis_[0][0]);
  margin_ = std::max(largest_ * kMarginScale, 1e-30);

  // Corners sorted by their coordinates, so that those on one point come
  // together and become one point of the tree.
  const auto pos = [&](int k) -> const WVector& { return object.vertices[face.v[k]].pos; };
  std::vector<int> sorted(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) sorted[static_cast<size_t>(k)] = k;
  std::sort(sorted.begin(), sorted.end(), [&](int x, int y) {
    const WVector &p = pos(x), &q = pos(y);
    return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.z < q.z;
  });
  point_of_.resize(static_cast<size_t>(n));
  removed_.assign(static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    const int k = sorted[static_cast<size_t>(i)];
    if (i == 0 || !(pos(k) == pos(corner_.back()))) {
      corner_.push_back(k);
      corners_.push_back(0);
    }
    point_of_[static_cast<size_t>(k)] = static_cast<int>(corner_.size()) - 1;
    ++corners_.back();
  }
  const int points = static_cast<int>(corner_.size());
  live_ = corners_;
  uv_.resize(2 * static_cast<size_t>(points));
  order_.resize(static_cast<size_t>(points));
  position_.resize(static_cast<size_t>(points));
  for (int i = 0; i < points; ++i) {
    Project(pos(corner_[static_cast<size_t>(i)]), &uv_[2 * static_cast<size_t>(i)]);
    order_[static_cast<size_t>(i)] = i;
  }
  nodes_.reserve(2 * static_cast<size_t>(points / kLeafCorners + 1));
  BuildNode(0, points);
  for (int i = 0; i < points; ++i) position_[static_cast<size_t>(order_[static_cast<size_t>(i)])] = i;
  usable_ = true;
}

void CornerTree::Project(const WVector& p, double out[2]) const {
  const double q[3] = {p.x, p.y, p.z};
  out[0] = Dot3(q, axis_[0]);
  out[1] = Dot3(q, axis_[1]);
}

// Splits the points at the median of the wider side of their box, down to
// leaves of a few points.
int CornerTree::BuildNode(int begin, int end) {
  const int index = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{{HUGE_VAL, HUGE_VAL},
                        {-HUGE_VAL, -HUGE_VAL},
                        {1.0, 0.0},
                        {HUGE_VAL, HUGE_VAL},
                        {-HUGE_VAL, -HUGE_VAL},
                        begin,
                        end,
                        -1,
                        -1,
                        end - begin});
  Node box = nodes_.back();
  double mean[2] = {0.0, 0.0};
  for (int i = begin; i < end; ++i) {
    const double* uv = &uv_[2 * static_cast<size_t>(order_[static_cast<size_t>(i)])];
    for (int c = 0; c < 2; ++c) {
      box.lo[c] = std::min(box.lo[c], uv[c]);
      box.hi[c] = std::max(box.hi[c], uv[c]);
      mean[c] += uv[c];
    }
  }
  // The main direction from the spread of the points about their mean.
  for (int c = 0; c < 2; ++c) mean[c] /= static_cast<double>(end - begin);
  double xx = 0.0, xy = 0.0, yy = 0.0;
  for (int i = begin; i < end; ++i) {
    const double* uv = &uv_[2 * static_cast<size_t>(order_[static_cast<size_t>(i)])];
    const double x = uv[0] - mean[0], y = uv[1] - mean[1];
    xx += x * x;
    xy += x * y;
    yy += y * y;
  }
  const double angle = 0.5 * std::atan2(2.0 * xy, xx - yy);
  if (std::isfinite(angle)) {
    box.dir[0] = std::cos(angle);
    box.dir[1] = std::sin(angle);
  }
  for (int i = begin; i < end; ++i) {
    const double* uv = &uv_[2 * static_cast<size_t>(order_[static_cast<size_t>(i)])];
    const double along = box.dir[0] * uv[0] + box.dir[1] * uv[1];
    const double across = box.dir[0] * uv[1] - box.dir[1] * uv[0];
    box.turned_lo[0] = std::min(box.turned_lo[0], along);
    box.turned_hi[0] = std::max(box.turned_hi[0], along);
    box.turned_lo[1] = std::min(box.turned_lo[1], across);
    box.turned_hi[1] = std::max(box.turned_hi[1], across);
  }
  if (end - begin > kLeafCorners) {
    const int c = box.hi[0] - box.lo[0] >= box.hi[1] - box.lo[1] ? 0 : 1;
    const int middle = begin + (end - begin) / 2;
    std::nth_element(order_.begin() + begin, order_.begin() + middle, order_.begin() + end, [&](int x, int y) {
      return uv_[2 * static_cast<size_t>(x) + c] < uv_[2 * static_cast<size_t>(y) + c];
    });
    box.left = BuildNode(begin, middle);
    box.right = BuildNode(middle, end);
  }
  nodes_[static_cast<size_t>(index)] = box;  // the vector may have moved
  return index;
}

void CornerTree::Reset() {
  std::fill(removed_.begin(), removed_.end(), 0);
  live_ = corners_;
  for (Node& node : nodes_) node.live = node.end - node.begin;
}

void CornerTree::Remove(int k) {
  if (!usable_ || k < 0 || k >= static_cast<int>(point_of_.size()) || removed_[static_cast<size_t>(k)]) return;
  removed_[static_cast<size_t>(k)] = 1;
  // The point leaves the tree with its last corner.
  if (--live_[static_cast<size_t>(point_of_[static_cast<size_t>(k)])] > 0) return;
  const int point = point_of_[static_cast<size_t>(k)];
  const int at = position_[static_cast<size_t>(point)];
  int index = 0;
  for (;;) {
    Node& node = nodes_[static_cast<size_t>(index)];
    --node.live;
    if (node.left < 0) return;
    index = at < nodes_[static_cast<size_t>(node.left)].end ? node.left : node.right;
  }
}

// Where the inside-or-on test of the triangle a, b, c can accept points,
// when that lies within a quarter margin of the region.
//
// That test accepts p when p's signed distance from each edge's line, seen
// along the normal, is at least minus its rounding there: at most
// kSideRounding times the largest coordinate, times how much longer the
// edge is than its shadow in the plane. A point that passes all three lies
// within twice that over the sine of the triangle's smallest angle of the
// triangle. A sliver whose smallest angle is too small for that is bounded
// by a band along its longest edge instead (see BoundBand).
//
// An edge whose two corners are one point gives a side of exactly 0, which
// passes: with all three corners on one point the test accepts any point.
bool CornerTree::Bound(const WVector& a, const WVector& b, const WVector& c, Region& r) const {
  if (a == b && b == c) {
    r.room = margin_;
    r.bounded = false;
    r.edges = 0;
    return true;
  }
  r.grow = 0.0;
  r.room = margin_;
  const WVector* corner[3] = {&a, &b, &c};
  double shadow[3], stretch = 1.0;
  for (int i = 0; i < 3; ++i) Project(*corner[i], r.p[i]);
  bool flat = true;  // every edge has a shadow
  for (int i = 0; i < 3; ++i) {
    const WVector& p = *corner[i];
    const WVector& q = *corner[(i + 1) % 3];
    shadow[i] = Length2(r.p[(i + 1) % 3][0] - r.p[i][0], r.p[(i + 1) % 3][1] - r.p[i][1]);
    if (!(shadow[i] > 0.0)) {
      flat = false;
      continue;
    }
    const double dx = static_cast<double>(q.x) - p.x, dy = static_cast<double>(q.y) - p.y,
                 dz = static_cast<double>(q.z) - p.z;
    stretch = std::max(stretch, std::sqrt(dx * dx + dy * dy + dz * dz) / shadow[i]);
  }
  const double slack = kSideRounding * stretch * largest_;
  if (!(8.0 * slack <= margin_)) return false;
  if (flat) {
    const double area = std::fabs((r.p[1][0] - r.p[0][0]) * (r.p[2][1] - r.p[0][1]) -
                                  (r.p[1][1] - r.p[0][1]) * (r.p[2][0] - r.p[0][0]));
    // The sine at corner i is the area over its two edges' product.
    double smallest_sine = HUGE_VAL;
    for (int i = 0; i < 3; ++i) smallest_sine = std::min(smallest_sine, area / (shadow[i] * shadow[(i + 2) % 3]));
    if (8.0 * slack <= margin_ * smallest_sine) {
      r.bounded = true;
      r.edges = 3;
      for (int i = 0; i < 3; ++i) {
        const double* p = r.p[i];
        const double* q = r.p[(i + 1) % 3];
        const double* t = r.p[(i + 2) % 3];
        double nx = q[1] - p[1], ny = p[0] - q[0];
        if (nx * (t[0] - p[0]) + ny * (t[1] - p[1]) > 0.0) nx = -nx, ny = -ny;  // away from the third corner
        const double length = Length2(nx, ny);
        r.normal[i][0] = nx / length;
        r.normal[i][1] = ny / length;
        r.reach[i] = r.normal[i][0] * p[0] + r.normal[i][1] * p[1];
      }
      return true;
    }
    // Too thin for the margin, but not for the box around its corners
    // grown by that distance: a sliver whose corners lie almost on one line
    // in a long run of such corners would otherwise find all of them in its
    // band.
    if (!BoundBand(shadow, slack, r)) return false;
    const double grow = 2.0 * slack / smallest_sine;
    if (grow < HUGE_VAL) {
      r.bounded = true;
      r.grow = grow;
    }
    return true;
  }
  return BoundBand(shadow, slack, r);
}

// The band along the triangle's longest edge e (in the plane) that holds
// its third corner t, at height h from e's line: a sliver, or a triangle
// with two corners on one point (h = 0), or three corners on one line.
//
// e's own test keeps accepted points above e's line, less one slack. Past t
// they lie under the roof of the two other edges' lines, which fall from t
// to e's ends (the angles at e's ends are at most square), raised by their
// slack over the cosine of their angle with e; required at least 1/2, so
// the band from -slack to h + 2 slack holds every accepted point, and the
// region's room (four slacks, and the rounding) holds that band. An edge
// without a shadow adds nothing: the other short edge then runs along e,
// the other way, and bounds the band alone.
bool CornerTree::BoundBand(const double shadow[3], double slack, Region& r) const {
  int e = 0;
  for (int i = 1; i < 3; ++i)
    if (shadow[i] > shadow[e]) e = i;
  if (!(shadow[e] > 0.0)) return false;
  const double* p = r.p[e];
  const double* q = r.p[(e + 1) % 3];
  const double* t = r.p[(e + 2) % 3];
  const double ex = (q[0] - p[0]) / shadow[e], ey = (q[1] - p[1]) / shadow[e];
  for (int i = 1; i < 3; ++i) {
    const int k = (e + i) % 3;
    if (!(shadow[k] > 0.0)) continue;
    const double* from = r.p[k];
    const double* to = r.p[(k + 1) % 3];
    const double cosine = ((to[0] - from[0]) * ex + (to[1] - from[1]) * ey) / shadow[k];
    if (!(std::fabs(cosine) >= 0.5)) return false;
  }
  // The outward normal of e, away from t.
  double nx = ey, ny = -ex;
  double h = -(nx * (t[0] - p[0]) + ny * (t[1] - p[1]));
  if (h < 0.0) nx = -nx, ny = -ny, h = -h;
  r.bounded = false;
  // The band itself runs from 0 to h; the room holds its slacks and the
  // rounding of the points' and the band's places in the plane (double
  // products of float coordinates, some 1e-15 of the largest).
  r.room = 4.0 * slack + kBandRounding * largest_;
  r.edges = 2;
  r.normal[0][0] = nx;
  r.normal[0][1] = ny;
  r.reach[0] = nx * p[0] + ny * p[1];
  r.normal[1][0] = -nx;
  r.normal[1][1] = -ny;
  r.reach[1] = h - r.reach[0];
  return true;
}

// Whether the node's box, widened by the region's room, may meet the region: no
// axis of the box and no normal of the region separates them.
bool CornerTree::Meets(const Node& node, const Region& r) const {
  if (r.bounded) {
    for (int c = 0; c < 2; ++c) {
      const double lo = node.lo[c] - r.room, hi = node.hi[c] + r.room;
      if (std::max({r.p[0][c], r.p[1][c], r.p[2][c]}) + r.grow < lo) return false;
      if (std::min({r.p[0][c], r.p[1][c], r.p[2][c]}) - r.grow > hi) return false;
    }
  }
  const double cu = (node.lo[0] + node.hi[0]) / 2.0, cv = (node.lo[1] + node.hi[1]) / 2.0;
  const double hu = (node.hi[0] - node.lo[0]) / 2.0 + r.room, hv = (node.hi[1] - node.lo[1]) / 2.0 + r.room;
  for (int i = 0; i < r.edges; ++i) {
    const double nearest = r.normal[i][0] * cu + r.normal[i][1] * cv - hu * std::fabs(r.normal[i][0]) -
                           hv * std::fabs(r.normal[i][1]);
    if (nearest > r.reach[i]) return false;
  }
  // The same along the turned box, whose corners are rounded in turning
  // by some 1e-15 of the largest coordinate: the room holds that many times.
  const double* d = node.dir;
  const double ca = (node.turned_lo[0] + node.turned_hi[0]) / 2.0, cb = (node.turned_lo[1] + node.turned_hi[1]) / 2.0;
  const double ha = (node.turned_hi[0] - node.turned_lo[0]) / 2.0 + r.room,
               hb = (node.turned_hi[1] - node.turned_lo[1]) / 2.0 + r.room;
  const double tu = d[0] * ca - d[1] * cb, tv = d[1] * ca + d[0] * cb;  // its centre
  for (int i = 0; i < r.edges; ++i) {
    const double* n = r.normal[i];
    const double nearest = n[0] * tu + n[1] * tv - ha * std::fabs(n[0] * d[0] + n[1] * d[1]) -
                           hb * std::fabs(n[1] * d[0] - n[0] * d[1]);
    if (nearest > r.reach[i]) return false;
  }
  return true;
}
