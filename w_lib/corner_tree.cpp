// A tree of boxes over a polygon's corners in its plane, so that the ear
// clipper's fallback test looks only at the corners near a candidate ear.
#include "w_lib/corner_tree.h"

#include <algorithm>
#include <cmath>

#include "w_lib/polygon_plane.h"

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

  uv_.resize(2 * static_cast<size_t>(n));
  order_.resize(static_cast<size_t>(n));
  position_.resize(static_cast<size_t>(n));
  removed_.assign(static_cast<size_t>(n), 0);
  for (int i = 0; i < n; ++i) {
    Project(object.vertices[face.v[i]].pos, &uv_[2 * static_cast<size_t>(i)]);
    order_[static_cast<size_t>(i)] = i;
  }
  nodes_.reserve(2 * static_cast<size_t>(n / kLeafCorners + 1));
  BuildNode(0, n);
  for (int i = 0; i < n; ++i) position_[static_cast<size_t>(order_[static_cast<size_t>(i)])] = i;
  usable_ = true;
}

void CornerTree::Project(const WVector& p, double out[2]) const {
  const double q[3] = {p.x, p.y, p.z};
  out[0] = Dot3(q, axis_[0]);
  out[1] = Dot3(q, axis_[1]);
}

// Splits the corners at the median of the wider side of their box, down to
// leaves of a few corners.
int CornerTree::BuildNode(int begin, int end) {
  const int index = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{{HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL}, begin, end, -1, -1, end - begin});
  Node box = nodes_.back();
  for (int i = begin; i < end; ++i) {
    const double* uv = &uv_[2 * static_cast<size_t>(order_[static_cast<size_t>(i)])];
    for (int c = 0; c < 2; ++c) {
      box.lo[c] = std::min(box.lo[c], uv[c]);
      box.hi[c] = std::max(box.hi[c], uv[c]);
    }
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
  for (Node& node : nodes_) node.live = node.end - node.begin;
}

void CornerTree::Remove(int k) {
  if (!usable_ || k < 0 || k >= static_cast<int>(removed_.size()) || removed_[static_cast<size_t>(k)]) return;
  removed_[static_cast<size_t>(k)] = 1;
  const int at = position_[static_cast<size_t>(k)];
  int index = 0;
  for (;;) {
    Node& node = nodes_[static_cast<size_t>(index)];
    --node.live;
    if (node.left < 0) return;
    index = at < nodes_[static_cast<size_t>(node.left)].end ? node.left : node.right;
  }
}

// The triangle in the plane, with its outward edge normals, when the
// inside-or-on test can accept points only within a quarter margin of it.
//
// That test accepts p when p's signed distance from each edge's line, seen
// along the normal, is at least minus its rounding there: at most
// kSideRounding times the largest coordinate, times how much longer the
// edge is than its shadow in the plane. A point that passes all three lies
// within twice that over the sine of the triangle's smallest angle of the
// triangle. A sliver whose smallest angle is too small for that to stay
// under the margin is declined.
bool CornerTree::Bound(const WVector& a, const WVector& b, const WVector& c, Triangle& t) const {
  const WVector* corner[3] = {&a, &b, &c};
  double shadow[3], stretch = 1.0;
  for (int i = 0; i < 3; ++i) Project(*corner[i], t.p[i]);
  for (int i = 0; i < 3; ++i) {
    const WVector& p = *corner[i];
    const WVector& q = *corner[(i + 1) % 3];
    const double dx = static_cast<double>(q.x) - p.x, dy = static_cast<double>(q.y) - p.y,
                 dz = static_cast<double>(q.z) - p.z;
    shadow[i] = Length2(t.p[(i + 1) % 3][0] - t.p[i][0], t.p[(i + 1) % 3][1] - t.p[i][1]);
    if (!(shadow[i] > 0.0)) return false;
    stretch = std::max(stretch, std::sqrt(dx * dx + dy * dy + dz * dz) / shadow[i]);
  }
  const double area = std::fabs((t.p[1][0] - t.p[0][0]) * (t.p[2][1] - t.p[0][1]) -
                                (t.p[1][1] - t.p[0][1]) * (t.p[2][0] - t.p[0][0]));
  // The sine at corner i is the area over its two edges' product.
  double smallest_sine = HUGE_VAL;
  for (int i = 0; i < 3; ++i) smallest_sine = std::min(smallest_sine, area / (shadow[i] * shadow[(i + 2) % 3]));
  const double slack = kSideRounding * stretch * largest_;
  if (!(8.0 * slack <= margin_ * smallest_sine)) return false;

  for (int i = 0; i < 3; ++i) {
    const double* p = t.p[i];
    const double* q = t.p[(i + 1) % 3];
    const double* r = t.p[(i + 2) % 3];
    double nx = q[1] - p[1], ny = p[0] - q[0];
    if (nx * (r[0] - p[0]) + ny * (r[1] - p[1]) > 0.0) nx = -nx, ny = -ny;  // away from the third corner
    const double length = Length2(nx, ny);
    t.normal[i][0] = nx / length;
    t.normal[i][1] = ny / length;
    t.reach[i] = t.normal[i][0] * p[0] + t.normal[i][1] * p[1];
  }
  return true;
}

// Whether the node's box, widened by the margin, may meet the triangle: no
// axis of the box and no edge normal of the triangle separates them.
bool CornerTree::Meets(const Node& node, const Triangle& t) const {
  for (int c = 0; c < 2; ++c) {
    const double lo = node.lo[c] - margin_, hi = node.hi[c] + margin_;
    if (std::max({t.p[0][c], t.p[1][c], t.p[2][c]}) < lo) return false;
    if (std::min({t.p[0][c], t.p[1][c], t.p[2][c]}) > hi) return false;
  }
  const double cu = (node.lo[0] + node.hi[0]) / 2.0, cv = (node.lo[1] + node.hi[1]) / 2.0;
  const double hu = (node.hi[0] - node.lo[0]) / 2.0 + margin_, hv = (node.hi[1] - node.lo[1]) / 2.0 + margin_;
  for (int i = 0; i < 3; ++i) {
    const double nearest = t.normal[i][0] * cu + t.normal[i][1] * cv - hu * std::fabs(t.normal[i][0]) -
                           hv * std::fabs(t.normal[i][1]);
    if (nearest > t.reach[i]) return false;
  }
  return true;
}
