// A tree of boxes around runs of a polygon's sides, so that the ear
// clipper's side test looks only at the sides near a diagonal.
#include "w_lib/triangulation/side_crossing_index.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "w_lib/triangulation/polygon_plane.h"

namespace {

// Polygons below this size walk their sides: the tree does not pay.
constexpr int kMinIndexedCorners = 64;
// Sides per leaf of the tree.
constexpr int kLeafSides = 8;
// Runs of up to this many sides get a box turned along them as well. Runs of
// slanted sides are thin only when short; above this the box along the
// coordinate axes is about as good, and the turned box of every run would
// make building the tree take n log n steps.
constexpr int kMaxTurnedSides = 256;
// Trees of fewer groups are never laid again along space: a walk over all
// of them costs little.
constexpr int kMinTangledGroups = 1024;
// Room around every box, relative to the polygon's largest coordinate. The
// side test's float rounding moves its intersection point by a few units in
// 1e-7 of that size along each axis, and off the side's plane by at most
// about 1.04e-6 of it (see kSlabMargins): every crossing lies well inside a
// side's box and its slab. More room costs in proportion: a diagonal that
// runs into a long straight run of sides at a slant s meets the boxes of the
// sides within room / s of its end, which across a strip grows with the
// square of its corners.
constexpr double kMarginScale = 2e-6;
// Half the thickness of a side's slab, in margins: the crossing point's
// distance from the plane comes from the rounding of two dot products, the
// division and the point itself, at most 5.01 units of 2^-24 times the sum
// over the axes of |m_j| |pa_j - p_j| / |m| (see kPlaneUnits below), which
// is at most twice the square root of 3 times the largest coordinate: under
// 1.04e-6 of it, about half a margin.
constexpr double kSlabMargins = 4.0;
// How far from a diagonal's line, relative to the polygon's largest
// coordinate, a side still lies on it once the index passes over touching
// sides: float points meant to lie on one line miss it by their rounding,
// up to about 8.5e-8 of that size.
constexpr double kLineScale = 2e-7;

// The rounding of SegmentCrossesSide, in units of 2^-24 (one rounding of
// a float): see SideCrossingIndex::BoundsOf.
constexpr double kFloatUnit = 0x1p-24;
// Its distances d1 and d2 from the side's plane err by at most 4.0001 units
// times the sum S of |m_j| |pa_j - p_j| over the axes (one rounding of each
// difference, three of the dot product); where they differ in sign, the
// point on the diagonal at the fraction s that it finds (rounded by one
// unit and two of a double) then lies within 5.01 units times the larger S
// of the plane (m . (X - p) = -beta d1 + (1 - s) e1 + s e2).
constexpr double kPlaneUnits = 5.01;
// The crossing point x it computes, pa + (pb - pa) s in floats, lies
// within 2.02 units of |pb_j - pa_j| and 1.02 units of the larger |pa_j|,
// |pb_j| of that point, on each axis j.
constexpr double kStepUnits = 2.02;
constexpr double kStartUnits = 1.02;
// Its test that x lies between p and q, (p - x) x m . (q - x) x m < 0 in
// floats, errs by at most 27.03 units of |p - x| |q - x| |m|^2 (three
// units for each cross product's components, three for the dot product,
// with |K(U)| <= sqrt(3) |U| |m| for the cross products' sums of
// absolute terms). So x, projected along m, lies within
// (h + sqrt(2 * 27.03 units) (Z + h)) (1 + 2e-5) of the side's middle
// projected alike, where h is half the side and Z bounds x's distance along
// m from the middle: within 1.0019 h + 0.0019 Z.
constexpr double kBallGrowth = 1.0019;
constexpr double kBallSlab = 0.0019;

double Coordinate(const WVector& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

const double kCoordinateAxes[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};

}  // namespace

WVector SidePlaneNormal(const WVector& normal, const WVector& p, const WVector& q) {
  return Cross(q - p, normal).Normalized();
}

bool SegmentCrossesSide(const WVector& normal, const WVector& pa, const WVector& pb, const WVector& p,
                        const WVector& q) {
  return SegmentCrossesSidePlane(SidePlaneNormal(normal, p, q), pa, pb, p, q);
}

bool SegmentCrossesSidePlane(const WVector& m, const WVector& pa, const WVector& pb, const WVector& p,
                             const WVector& q) {
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
    : object_(object), f_(f), n_(object.faces[f].num), tree_(std::make_shared<Tree>()),
      bounds_(std::make_shared<Bounds>()) {
  indexed_ = n_ >= kMinIndexedCorners && Build();
  // With a normal of no direction the side test's plane normal m is zero
  // (or NaN, from a NaN component), so its distances are zero or NaN, whose
  // product is never below zero: no side can be crossed. The normal of a
  // fine outline can come out so, when no corner turns by more than float
  // rounding; walks there would still test every side that a diagonal
  // touches, as many as a point that every other corner comes back to has.
  const WVector& normal = object.faces[f].normal;
  crossable_ = !(normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f) &&
               !(std::isnan(normal.x) || std::isnan(normal.y) || std::isnan(normal.z));
}

SideCrossingIndex::SideCrossingIndex(const SideCrossingIndex& built, SharingTree)
    : object_(built.object_),
      f_(built.f_),
      n_(built.n_),
      tree_(built.tree_),
      bounds_(built.BoundsShared() ? built.bounds_ : std::make_shared<Bounds>()) {
  // Bound from the start where the bounds are shared: the answers and the
  // counts are the same either way, and building them again would cost
  // as much as the walks of many diagonals.
  bounded_ = built.BoundsShared();
  indexed_ = built.indexed_;
  laid_along_space_ = built.laid_along_space_;
  crossable_ = built.crossable_;
  margin_ = built.margin_;
  for (int j = 0; j < 3; ++j) face_normal_[j] = built.face_normal_[j];
  boundable_ = built.boundable_;
  mean_side_ = built.mean_side_;
  rounding_ = built.rounding_;
  line_tolerance_ = built.line_tolerance_;
  count_whole_ = built.count_whole_;
}

// A side's two points, to the bit.
std::array<uint32_t, 6> SideCrossingIndex::PointBits(int i) const {
  std::array<uint32_t, 6> bits;
  std::memcpy(&bits[0], &Corner(i), sizeof(WVector));
  std::memcpy(&bits[3], &Corner(i + 1), sizeof(WVector));
  return bits;
}

bool SideCrossingIndex::Build() {
  const WFace& face = Face();
  double largest = 0.0;
  if (!LargestCornerCoordinate(object_, face, &largest)) return false;
  margin_ = std::max(largest * kMarginScale, 1e-30);
  line_tolerance_ = largest * kLineScale;
  const double normal[3] = {face.normal.x, face.normal.y, face.normal.z};
  UnitOrZero(normal, face_normal_);

  // A side whose ends coincide has no direction to cross, whatever the
  // segment: it stays out of the tree, so that a long run of corners on
  // one point costs nothing to pass. Sides between the same two points, to
  // the bit, give the same answer: they are one entry of the tree, at the
  // place of the first of them. Sides are sorted by a hash of their points,
  // which brings equal sides together at the cost of comparing one number;
  // sides of one hash are then put in order by their points.
  std::vector<std::pair<uint64_t, int>> sorted;
  sorted.reserve(static_cast<size_t>(n_));
  for (int i = 0; i < n_; ++i) {
    if (Corner(i) == Corner(i + 1)) continue;
    uint64_t h = 0x9e3779b97f4a7c15u;
    for (const uint32_t word : PointBits(i)) {
      h = (h ^ word) * 0xff51afd7ed558ccdu;
      h ^= h >> 32;
    }
    sorted.emplace_back(h, i);
  }
  std::sort(sorted.begin(), sorted.end());
  for (size_t begin = 0, end = 0; begin < sorted.size(); begin = end) {
    while (end < sorted.size() && sorted[end].first == sorted[begin].first) ++end;
    if (end - begin > 1) {
      std::sort(sorted.begin() + static_cast<std::ptrdiff_t>(begin), sorted.begin() + static_cast<std::ptrdiff_t>(end),
                [this](const auto& x, const auto& y) {
                  return std::make_pair(PointBits(x.second), x.second) < std::make_pair(PointBits(y.second), y.second);
                });
    }
  }
  // Each group at the place of its first side, with its sides in order.
  std::vector<std::pair<size_t, size_t>> group_at(static_cast<size_t>(n_), {0, 0});
  for (size_t begin = 0, end = 0; begin < sorted.size(); begin = end) {
    const std::array<uint32_t, 6> bits = PointBits(sorted[begin].second);
    for (++end; end < sorted.size() && PointBits(sorted[end].second) == bits;) ++end;
    group_at[static_cast<size_t>(sorted[begin].second)] = {begin, end};
  }
  std::vector<std::pair<size_t, size_t>> groups;
  groups.reserve(sorted.size());
  for (const auto& group : group_at)
    if (group.first != group.second) groups.push_back(group);
  std::vector<std::pair<size_t, size_t>>().swap(group_at);
  if (groups.empty()) {
    group_start_.assign(1, 0);
    group_sides_.clear();
    group_of_.assign(static_cast<size_t>(n_), -1);
    return true;
  }
  LayGroups(sorted, groups);
  // Runs of consecutive sides lie close together on an outline, so their
  // boxes stay small, and a point lies in about as many boxes as the tree
  // is deep; but where the outline winds round and round (a spiral), each
  // turn's boxes hold every turn inside it, and a diagonal near the middle
  // meets the boxes of every turn. Past 32 boxes a level, the tree is laid
  // again with its groups in the order of a curve through space, and that
  // order is kept where its tree is not tangled itself (16 boxes a level)
  // and holds a side's middle in at most a quarter as many boxes. Petals
  // that all start at one centre stay tangled either way, and keep their
  // order round the outline. The answers are the same in either order;
  // only which sides a walk meets, and so its count, can differ.
  const double held = BoxesHoldingSides();
  if (held > 32.0 * TreeDepth()) {
    std::vector<std::pair<size_t, size_t>> along = groups;
    SortAlongSpace(sorted, along);
    LayGroups(sorted, along);
    const double held_along = BoxesHoldingSides();
    laid_along_space_ = held_along <= 16.0 * TreeDepth() && 4.0 * held_along < held;
    if (!laid_along_space_) LayGroups(sorted, groups);
  }
  const int m = static_cast<int>(group_start_.size()) - 1;
  // Below some 1e-20 the floats of the side test can leave the normal range,
  // whose rounding the bounds do not hold.
  boundable_ = largest >= 1e-20;
  double length = 0.0;
  for (int g = 0; g < m; ++g) length += discs_[static_cast<size_t>(g)].radius;
  mean_side_ = 2.0 * length / m;
  rounding_ = 1e-12 * largest + 1e-30;
  std::vector<Disc>().swap(discs_);
  return true;
}

void SideCrossingIndex::LayGroups(const std::vector<std::pair<uint64_t, int>>& sorted,
                                  const std::vector<std::pair<size_t, size_t>>& groups) {
  const WFace& face = Face();
  group_start_.assign(1, 0);
  group_start_.reserve(groups.size() + 1);
  group_sides_.clear();
  group_sides_.reserve(sorted.size());
  group_of_.assign(static_cast<size_t>(n_), -1);
  for (const auto& [begin, end] : groups) {
    for (size_t k = begin; k < end; ++k) {
      group_sides_.push_back(sorted[k].second);
      group_of_[static_cast<size_t>(sorted[k].second)] = static_cast<int>(group_start_.size()) - 1;
    }
    group_start_.push_back(static_cast<int>(group_sides_.size()));
  }
  const int m = static_cast<int>(group_start_.size()) - 1;
  discs_.resize(static_cast<size_t>(m));
  side_box_.resize(static_cast<size_t>(m));
  side_plane_.resize(static_cast<size_t>(m));
  for (int g = 0; g < m; ++g) {
    const int i = FirstSide(g);
    side_plane_[static_cast<size_t>(g)] = SidePlaneNormal(face.normal, Corner(i), Corner(i + 1));
    discs_[static_cast<size_t>(g)] = DiscOf(Corner(i), Corner(i + 1));
    BoundDiscs(g, g + 1, kCoordinateAxes, side_box_[static_cast<size_t>(g)]);
  }
  int nodes = 1;
  while (nodes * kLeafSides < m) nodes *= 2;
  nodes_.assign(2 * static_cast<size_t>(nodes), Node());
  BuildNode(1, 0, m);
}

bool SideCrossingIndex::BoxHolds(const Box& box, const double at[3]) {
  for (int j = 0; j < 3; ++j)
    if (!(at[j] >= box.lo[j] && at[j] <= box.hi[j])) return false;
  return true;
}

void SideCrossingIndex::SideMiddle(int i, double at[3]) const {
  const WVector& p = Corner(i);
  const WVector& q = Corner(i + 1);
  at[0] = 0.5 * (static_cast<double>(p.x) + q.x);
  at[1] = 0.5 * (static_cast<double>(p.y) + q.y);
  at[2] = 0.5 * (static_cast<double>(p.z) + q.z);
}

int SideCrossingIndex::TreeDepth() const {
  int depth = 0;
  while ((size_t{1} << depth) < nodes_.size()) ++depth;
  return depth;
}

double SideCrossingIndex::BoxesHoldingSides() const {
  const int m = static_cast<int>(group_start_.size()) - 1;
  if (m < kMinTangledGroups) return 0.0;
  // How many boxes of the tree hold the middle of a side, over a sample of
  // the sides: about the tree's depth on an outline, some of the boxes of
  // every turn on a spiral.
  long long held = 0;
  const int samples = 64;
  std::vector<int> stack;
  for (int k = 0; k < samples; ++k) {
    const int i = FirstSide(static_cast<int>(static_cast<long long>(m) * k / samples));
    double at[3];
    SideMiddle(i, at);
    stack.assign(1, 1);
    while (!stack.empty()) {
      const int node = stack.back();
      stack.pop_back();
      const Node& box = nodes_[static_cast<size_t>(node)];
      if (!BoxHolds(box.aligned, at)) continue;
      if (box.has_turned) {
        const double along[3] = {Dot3(at, box.axis[0]), Dot3(at, box.axis[1]), Dot3(at, box.axis[2])};
        if (!BoxHolds(box.turned, along)) continue;
      }
      ++held;
      if (2 * static_cast<size_t>(node) + 1 < nodes_.size()) {
        stack.push_back(2 * node);
        stack.push_back(2 * node + 1);
      }
    }
  }
  return static_cast<double>(held) / samples;
}

// The groups in the order of a Z-shaped curve through the box around the
// middles of their first sides, and by the first side where that is the same.
void SideCrossingIndex::SortAlongSpace(const std::vector<std::pair<uint64_t, int>>& sorted,
                                       std::vector<std::pair<size_t, size_t>>& groups) const {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  const auto middle = [&](const std::pair<size_t, size_t>& group, double at[3]) {
    SideMiddle(sorted[group.first].second, at);
  };
  for (const auto& group : groups) {
    double at[3];
    middle(group, at);
    for (int j = 0; j < 3; ++j) lo[j] = std::min(lo[j], at[j]), hi[j] = std::max(hi[j], at[j]);
  }
  std::vector<std::pair<uint64_t, size_t>> keyed;
  keyed.reserve(groups.size());
  for (size_t g = 0; g < groups.size(); ++g) {
    double at[3];
    middle(groups[g], at);
    uint64_t code = 0;
    uint32_t cell[3];
    for (int j = 0; j < 3; ++j) {
      const double extent = hi[j] - lo[j];
      const double t = extent > 0.0 ? (at[j] - lo[j]) / extent : 0.0;
      cell[j] = static_cast<uint32_t>(std::min(2097151.0, std::max(0.0, t * 2097152.0)));
    }
    for (int bit = 20; bit >= 0; --bit)
      for (int j = 0; j < 3; ++j) code = code << 1 | ((cell[j] >> bit) & 1u);
    keyed.emplace_back(code, g);
  }
  std::sort(keyed.begin(), keyed.end());  // equal codes keep the order of their first sides
  std::vector<std::pair<size_t, size_t>> reordered;
  reordered.reserve(groups.size());
  for (const auto& key : keyed) reordered.push_back(groups[key.second]);
  groups.swap(reordered);
}

void SideCrossingIndex::BoundTightly() const {
  if (bounded_ || !boundable_ || !indexed_ || group_start_.size() < 2) return;
  const int m = static_cast<int>(group_start_.size()) - 1;
  discs_.resize(static_cast<size_t>(m));
  node_bound_.resize(nodes_.size());
  frames_.resize(nodes_.size());
  BoundNode(1, 0, m);
  std::vector<Disc>().swap(discs_);
  bounded_ = true;
}

// The tight bounds pay where the tree's margin is what makes the diagonals
// meet so many side boxes: when its sides are short beside the margin (a
// hundredth of their mean length or more) and, over the last 64 diagonals,
// each met more than eight leaves' worth. Outlines met in practice meet a
// few (a fan of chords almost along a fine circle some dozens); the long
// spikes of a star meet dozens however tight the bounds; a diagonal along
// a strip of short sides meets hundreds.
void SideCrossingIndex::Note(long long reached) const {
  reached_ += reached;
  if ((++noted_ & 63) != 0) return;
  if (!bounded_ && margin_ >= 0.01 * mean_side_ && reached_ > 64 * 8 * kLeafSides) BoundTightly();
  reached_ = 0;
}

// Every box of the tree around a disc holds the ball of min(radius,
// thickness) plus the margin around its centre: a Reach along any axis is
// at least the smaller of the two (it runs from the radius, square to the
// disc's normal, to the thickness along it, and is concave between).
// SegmentMeets widens by another margin.
void SideCrossingIndex::BoundForCounting() const {
  BoundTightly();
  if (bounded_) EnsureCovers();
}

void SideCrossingIndex::EnsureCovers() const {
  if (!cover_.empty() || group_start_.size() < 2) return;
  cover_.resize(nodes_.size());
  CoverNode(1, 0, static_cast<int>(group_start_.size()) - 1);
}

void SideCrossingIndex::CoverNode(int node, int begin, int end) const {
  Cover& cover = cover_[static_cast<size_t>(node)];
  const Node& box = nodes_[static_cast<size_t>(node)];
  cover.radius = HUGE_VAL;
  for (int j = 0; j < 3; ++j) {
    cover.centres.lo[j] = cover.turned.lo[j] = HUGE_VAL;
    cover.centres.hi[j] = cover.turned.hi[j] = -HUGE_VAL;
  }
  // A leaf from its discs (as Build made them), a node above from its
  // halves, but for its turned box.
  if (end - begin <= kLeafSides) {
    for (int g = begin; g < end; ++g) {
      const Disc disc = DiscOf(Corner(FirstSide(g)), Corner(FirstSide(g) + 1));
      cover.radius = std::min(cover.radius, std::min(disc.radius, disc.thickness));
      for (int j = 0; j < 3; ++j) {
        cover.centres.lo[j] = std::min(cover.centres.lo[j], disc.centre[j]);
        cover.centres.hi[j] = std::max(cover.centres.hi[j], disc.centre[j]);
      }
    }
    cover.radius = std::max(0.0, cover.radius) + 2.0 * margin_;
  } else {
    const int middle = begin + (end - begin) / 2;
    CoverNode(2 * node, begin, middle);
    CoverNode(2 * node + 1, middle, end);
    for (const int child : {2 * node, 2 * node + 1}) {
      const Cover& half = cover_[static_cast<size_t>(child)];
      cover.radius = std::min(cover.radius, half.radius);
      for (int j = 0; j < 3; ++j) {
        cover.centres.lo[j] = std::min(cover.centres.lo[j], half.centres.lo[j]);
        cover.centres.hi[j] = std::max(cover.centres.hi[j], half.centres.hi[j]);
      }
    }
  }
  if (!box.has_turned) return;
  for (int g = begin; g < end; ++g) {
    const WVector& p = Corner(FirstSide(g));
    const WVector& q = Corner(FirstSide(g) + 1);
    double centre[3];
    for (int j = 0; j < 3; ++j) centre[j] = (Coordinate(p, j) + Coordinate(q, j)) / 2.0;
    for (int j = 0; j < 3; ++j) {
      const double along = Dot3(centre, box.axis[j]);
      cover.turned.lo[j] = std::min(cover.turned.lo[j], along);
      cover.turned.hi[j] = std::max(cover.turned.hi[j], along);
    }
  }
}

// Whether the segment lies within the cover's radius of every disc centre
// of the node, less a millionth for the rounding here and in SegmentMeets:
// then every box below meets it. The distance from a segment is convex, so
// the corners of a box around the centres bound it.
bool SideCrossingIndex::Covers(int node, const double from[3], const double to[3], const Along& along) const {
  if (frames_[static_cast<size_t>(node)].axis_line_below) return false;
  EnsureCovers();
  const Cover& cover = cover_[static_cast<size_t>(node)];
  // Along the node's turned axes (its frame's, orthonormal, so distances
  // are kept) where it has them, else along the coordinate axes.
  const bool turned = nodes_[static_cast<size_t>(node)].has_turned;
  const Box& around = turned ? cover.turned : cover.centres;
  const double* a = turned ? along.from : from;
  const double* b = turned ? along.to : to;
  const double limit = cover.radius * (1.0 - 1e-6);
  const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double dd = Dot3(d, d);
  // A flat box (the corners of a plane polygon, along its normal) has four.
  const int corners = around.lo[2] == around.hi[2] ? 4 : 8;
  for (int corner = 0; corner < corners; ++corner) {
    double w[3];
    for (int j = 0; j < 3; ++j) w[j] = (corner >> j & 1 ? around.hi[j] : around.lo[j]) - a[j];
    const double t = dd > 0.0 ? std::min(1.0, std::max(0.0, Dot3(w, d) / dd)) : 0.0;
    for (int j = 0; j < 3; ++j) w[j] -= t * d[j];
    if (!(Dot3(w, w) <= limit * limit)) return false;
  }
  return true;
}

// The first group of the node's groups begin..end - 1 whose side the
// segment crosses, or -1: as Settle looks for one, within the node.
int SideCrossingIndex::FirstCrossing(int node, int begin, int end, int a, int b, const WVector& pa,
                                     const WVector& pb, const Slack& slack) const {
  struct Visit {
    int node, begin, end;
  };
  Visit stack[128];
  int top = 0;
  stack[top++] = {node, begin, end};
  while (top > 0) {
    const Visit v = stack[--top];
    if (!MeetsNode(v.node, slack)) continue;
    if (v.end - v.begin <= kLeafSides) {
      for (int g = v.begin; g < v.end; ++g)
        if (TestGroup(g, a, b, pa, pb)) return g;
      continue;
    }
    const int middle = v.begin + (v.end - v.begin) / 2;
    stack[top++] = {2 * v.node + 1, middle, v.end};
    stack[top++] = {2 * v.node, v.begin, middle};
  }
  return -1;
}

// Counts the groups begin..end - 1 as tested one by one before passing
// over, in order: a touching side among the tests that the sample takes
// (one in eight) adds eight.
//
// A side touches the diagonal only with a corner within the line tolerance
// of its line (both, or one on an end of the diagonal, which lies on it):
// where the node's bound holds every corner of its sides and the line keeps
// farther from it, none of them touches, and none needs to be looked at.
void SideCrossingIndex::CountTested(int node, int begin, int end, const WVector& pa, const WVector& pb,
                                    const Along& along, long long& tests, long long& touching,
                                    long long& piled) const {
  const long long first = tests;
  tests += end - begin;
  const Bound& bound = node_bound_[static_cast<size_t>(node)];
  if (!bound.loose && !bound.some_none) {
    const double room = line_tolerance_ * 1.001 + rounding_;
    const double widen[3] = {room, room, room};
    if (!LineMeets(bound.turned, along.from, along.to, widen)) return;
  }
  for (long long t = (first + 7) & ~7LL; t < first + (end - begin); t += 8) {
    const int i = FirstSide(begin + static_cast<int>(t - first));
    Sample(Corner(i), Corner(i + 1), pa, pb, touching, piled);
  }
}

// Whether the line through from and to (which differ) comes within the
// widened box: the slab test over every parameter, not only 0 to 1.
bool SideCrossingIndex::LineMeets(const Box& box, const double from[3], const double to[3],
                                  const double widen[3]) const {
  double t0 = -HUGE_VAL, t1 = HUGE_VAL;
  for (int j = 0; j < 3; ++j) {
    const double lo = box.lo[j] - widen[j], hi = box.hi[j] + widen[j];
    if (!(lo <= hi)) return false;
    const double d = to[j] - from[j];
    if (d == 0.0) {
      if (from[j] < lo || from[j] > hi) return false;
      continue;
    }
    double ta = (lo - from[j]) / d, tb = (hi - from[j]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

// The crossing region of the group's side p..q, as SegmentCrossesSide
// finds crossings, without what depends on the diagonal (its disc, for
// the boxes of the nodes), and what the rest scales with. With m the
// float normal of the side's plane that it computes, n = m / |m|, c the
// side's middle and h half its length: a crossing point x, projected along
// n, lies within 1.0019 h + 0.0019 Z of c projected alike, and
// |n . (x - c)| <= Z, where
// Z = |n . (q - p)| / 2 + T and T is the rounding that depends on the
// diagonal (see Meets). Along a unit axis a, with k = n . a, that reaches
// (1.0019 h sqrt(1 - k^2) + 0.0019 Z) + Z |k| from c: here without T, which
// adds at most 1.0019 T.
SideCrossingIndex::Bound SideCrossingIndex::BoundGroup(int g, const WVector& p, const WVector& q) const {
  Bound bound{};
  Disc& disc = discs_[static_cast<size_t>(g)];
  disc.radius = -1.0;  // none or loose: out of the nodes' boxes
  const WVector m = Cross(q - p, Face().normal).Normalized();
  const double mm[3] = {m.x, m.y, m.z};
  const double length = std::sqrt(Dot3(mm, mm));
  // A zero normal gives distances of zero, a NaN one comparisons that fail:
  // neither finds a crossing. A length far from one comes from floats out of
  // their normal range: such a side is always tested.
  bound.none = !(length > 0.0);
  bound.some_none = bound.none;
  bound.loose = !bound.none && !(length >= 0.5 && length <= 2.0);
  for (int j = 0; j < 3; ++j) {
    bound.corner_lo[j] = std::min(Coordinate(p, j), Coordinate(q, j));
    bound.corner_hi[j] = std::max(Coordinate(p, j), Coordinate(q, j));
    bound.m[j] = std::fabs(mm[j]);
    bound.unit[j] = 0.0;
  }
  bound.stretch = 0.0;
  if (bound.none || bound.loose) return bound;
  bound.stretch = 1.0 / length;
  const double d[3] = {static_cast<double>(q.x) - p.x, static_cast<double>(q.y) - p.y,
                       static_cast<double>(q.z) - p.z};
  for (int j = 0; j < 3; ++j) {
    disc.normal[j] = mm[j] / length;
    bound.unit[j] = std::fabs(disc.normal[j]);
    disc.centre[j] = (Coordinate(p, j) + Coordinate(q, j)) / 2.0;
  }
  disc.radius = std::sqrt(Dot3(d, d)) / 2.0;
  disc.thickness = std::fabs(Dot3(disc.normal, d)) / 2.0;
  return bound;
}

// How far the crossing region of a side (its disc as BoundGroup leaves it:
// normal n, half-length as radius, |n . h| as thickness) reaches from its
// middle along the unit axis u, apart from the diagonal's rounding. The
// 1e-7 covers the double rounding of sqrt(1 - k^2) where k is near one.
double SideCrossingIndex::TightReach(const Disc& disc, const double u[3]) {
  const double k = Dot3(disc.normal, u);
  return kBallGrowth * disc.radius * (std::sqrt(std::max(0.0, 1.0 - k * k)) + 1e-7) +
         disc.thickness * (std::fabs(k) + kBallSlab);
}

void SideCrossingIndex::Widen(const Bound& from, Bound& to) {
  for (int j = 0; j < 3; ++j) {
    to.corner_lo[j] = std::min(to.corner_lo[j], from.corner_lo[j]);
    to.corner_hi[j] = std::max(to.corner_hi[j], from.corner_hi[j]);
    to.m[j] = std::max(to.m[j], from.m[j]);
    to.unit[j] = std::max(to.unit[j], from.unit[j]);
  }
  to.stretch = std::max(to.stretch, from.stretch);
  to.none = to.none && from.none;
  to.some_none = to.some_none || from.some_none;
  to.loose = to.loose || from.loose;
}

// The node's bound over the groups begin..end - 1, as BuildNode splits them,
// with a turned box where the node has one.
void SideCrossingIndex::BoundNode(int node, int begin, int end) const {
  Bound& bound = node_bound_[static_cast<size_t>(node)];
  for (int j = 0; j < 3; ++j) {
    bound.turned.lo[j] = bound.corner_lo[j] = HUGE_VAL;
    bound.turned.hi[j] = bound.corner_hi[j] = -HUGE_VAL;
    bound.m[j] = bound.unit[j] = 0.0;
  }
  bound.stretch = 0.0;
  bound.none = true;
  bound.some_none = false;
  bound.loose = false;
  if (end - begin <= kLeafSides) {
    for (int g = begin; g < end; ++g) Widen(BoundGroup(g, Corner(FirstSide(g)), Corner(FirstSide(g) + 1)), bound);
  } else {
    const int middle = begin + (end - begin) / 2;
    BoundNode(2 * node, begin, middle);
    BoundNode(2 * node + 1, middle, end);
    Widen(node_bound_[static_cast<size_t>(2 * node)], bound);
    Widen(node_bound_[static_cast<size_t>(2 * node + 1)], bound);
  }
  // The frame: the node's turned axes where it has them, else the same
  // taken from its chord, else the coordinate axes.
  const Node& box = nodes_[static_cast<size_t>(node)];
  Frame& frame = frames_[static_cast<size_t>(node)];
  const WVector& first = Corner(FirstSide(begin));
  const WVector& last = Corner(FirstSide(end - 1) + 1);
  const double chord[3] = {static_cast<double>(last.x) - first.x, static_cast<double>(last.y) - first.y,
                           static_cast<double>(last.z) - first.z};
  if (box.has_turned) {
    std::copy(&box.axis[0][0], &box.axis[0][0] + 9, &frame.axis[0][0]);
  } else if (!AxesAlong(face_normal_, chord, frame.axis)) {
    std::copy(&kCoordinateAxes[0][0], &kCoordinateAxes[0][0] + 9, &frame.axis[0][0]);
  }
  for (int j = 0; j < 3; ++j) {
    frame.outer.lo[j] = HUGE_VAL;
    frame.outer.hi[j] = -HUGE_VAL;
  }
  frame.axis_line_below = (box.fixed[0] ? 1 : 0) + (box.fixed[1] ? 1 : 0) + (box.fixed[2] ? 1 : 0) >= 2;
  if (end - begin > kLeafSides) {
    frame.axis_line_below = frame.axis_line_below || frames_[static_cast<size_t>(2 * node)].axis_line_below ||
                            frames_[static_cast<size_t>(2 * node + 1)].axis_line_below;
  }
  // A leaf is bound side by side; a node above around the boxes of its two
  // halves, which costs a step a node (along a straight run their frames
  // agree, and the box grows by little).
  if (end - begin <= kLeafSides) {
    for (int g = begin; g < end; ++g) {
      const Disc& disc = discs_[static_cast<size_t>(g)];
      if (disc.radius < 0.0) continue;  // none or loose
      for (int j = 0; j < 3; ++j) {
        const double centre = Dot3(disc.centre, frame.axis[j]);
        const double reach = TightReach(disc, frame.axis[j]);
        bound.turned.lo[j] = std::min(bound.turned.lo[j], centre - reach - rounding_);
        bound.turned.hi[j] = std::max(bound.turned.hi[j], centre + reach + rounding_);
      }
    }
  } else {
    for (const int child : {2 * node, 2 * node + 1})
      Enclose(frames_[static_cast<size_t>(child)].axis, node_bound_[static_cast<size_t>(child)].turned, frame.axis,
              bound.turned);
  }
  if (end - begin <= kLeafSides) {
    for (int g = begin; g < end; ++g) {
      Box side = side_box_[static_cast<size_t>(g)];
      for (int j = 0; j < 3; ++j) {
        side.lo[j] -= margin_;
        side.hi[j] += margin_;
      }
      Enclose(kCoordinateAxes, side, frame.axis, frame.outer);
    }
  } else {
    for (const int child : {2 * node, 2 * node + 1})
      Enclose(frames_[static_cast<size_t>(child)].axis, frames_[static_cast<size_t>(child)].outer, frame.axis,
              frame.outer);
  }
}

// Widens out, along axis, to hold the box along from_axis (both sets
// orthonormal), with room for the rounding.
void SideCrossingIndex::Enclose(const double from_axis[3][3], const Box& box, const double axis[3][3], Box& out) const {
  if (!(box.lo[0] <= box.hi[0] && box.lo[1] <= box.hi[1] && box.lo[2] <= box.hi[2])) return;
  double centre[3] = {0.0, 0.0, 0.0};
  for (int a = 0; a < 3; ++a) {
    const double middle = (box.lo[a] + box.hi[a]) / 2.0;
    for (int j = 0; j < 3; ++j) centre[j] += middle * from_axis[a][j];
  }
  for (int b = 0; b < 3; ++b) {
    double half = 0.0;
    for (int a = 0; a < 3; ++a) half += std::fabs(Dot3(from_axis[a], axis[b])) * (box.hi[a] - box.lo[a]) / 2.0;
    const double at = Dot3(centre, axis[b]);
    half = half * (1.0 + 1e-12) + rounding_;
    out.lo[b] = std::min(out.lo[b], at - half);
    out.hi[b] = std::max(out.hi[b], at + half);
  }
}

// Whether the segment misses every box of the node's sides, and so every
// side that a walk would test there. Not where a run on an axis line lies
// below, which the walk may pass over and note.
bool SideCrossingIndex::OutOfReach(int node, const Along& along) const {
  if (!bounded_ || frames_[static_cast<size_t>(node)].axis_line_below) return false;
  const double none[3] = {rounding_, rounding_, rounding_};
  return !SegmentMeets(frames_[static_cast<size_t>(node)].outer, along.from, along.to, none);
}

void SideCrossingIndex::AlongNode(int node, const double from[3], const double to[3], Along& along) const {
  const double(*axis)[3] = bounded_ ? frames_[static_cast<size_t>(node)].axis : nodes_[static_cast<size_t>(node)].axis;
  for (int j = 0; j < 3; ++j) {
    along.from[j] = Dot3(from, axis[j]);
    along.to[j] = Dot3(to, axis[j]);
  }
}

SideCrossingIndex::Slack SideCrossingIndex::SlackOf(const WVector& pa, const WVector& pb) const {
  Slack slack;
  for (int j = 0; j < 3; ++j) {
    const double a = Coordinate(pa, j), b = Coordinate(pb, j);
    slack.from[j] = a;
    slack.to[j] = b;
    slack.along[j] = kFloatUnit * (kStepUnits * std::fabs(b - a) + kStartUnits * std::max(std::fabs(a), std::fabs(b)));
  }
  return slack;
}

// Whether the diagonal can reach the crossing region of a side bound here.
// The side test's distances for it err by at most T = 5.01 units of S / |m|
// plus the sum of |n_j| times the crossing point's rounding along j (see the
// constants above), with S bound over the corners here; the region then
// reaches 1.0019 T further along any axis, and the crossing point lies
// within its rounding of the diagonal along each coordinate axis.
bool SideCrossingIndex::Meets(const Bound& bound, const Frame* frame, const Slack& slack, const Along* ends) const {
  if (bound.none) return false;
  if (bound.loose) return true;
  double sum = 0.0, along = 0.0;
  for (int j = 0; j < 3; ++j) {
    const double lo = bound.corner_lo[j], hi = bound.corner_hi[j];
    const double far = std::max({std::fabs(slack.from[j] - lo), std::fabs(slack.from[j] - hi),
                                 std::fabs(slack.to[j] - lo), std::fabs(slack.to[j] - hi)});
    sum += bound.m[j] * far;
    along += bound.unit[j] * slack.along[j];
  }
  const double across = kBallGrowth * (kPlaneUnits * kFloatUnit * sum * bound.stretch + along) + rounding_;
  double widen[3];
  Along own;
  if (ends == nullptr) {
    for (int j = 0; j < 3; ++j) {
      own.from[j] = Dot3(slack.from, frame->axis[j]);
      own.to[j] = Dot3(slack.to, frame->axis[j]);
    }
    ends = &own;
  }
  for (int j = 0; j < 3; ++j) {
    widen[j] = across + std::fabs(frame->axis[j][0]) * slack.along[0] + std::fabs(frame->axis[j][1]) * slack.along[1] +
               std::fabs(frame->axis[j][2]) * slack.along[2];
  }
  return SegmentMeets(bound.turned, ends->from, ends->to, widen);
}

// The boxes given here hold room for their rounding, so the one division
// of the test by the segment's run along an axis can be a multiplication.
bool SideCrossingIndex::SegmentMeets(const Box& box, const double from[3], const double to[3],
                                     const double widen[3]) const {
  double t0 = 0.0, t1 = 1.0;
  for (int j = 0; j < 3; ++j) {
    const double lo = box.lo[j] - widen[j], hi = box.hi[j] + widen[j];
    if (!(lo <= hi)) return false;
    const double d = to[j] - from[j];
    if (d == 0.0) {
      if (from[j] < lo || from[j] > hi) return false;
      continue;
    }
    const double inverse = 1.0 / d;
    double ta = (lo - from[j]) * inverse, tb = (hi - from[j]) * inverse;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::max(t0, ta);
    t1 = std::min(t1, tb);
    if (t0 > t1) return false;
  }
  return true;
}

// Where SegmentCrossesSide can find a crossing of the side p..q. Its
// crossing point lies strictly between p and q, so inside the ball over the
// side as its diameter; and it lies on the segment where that crosses the
// plane through p across the face (normal m), so within rounding of that
// plane. Ball and slab meet in a thin disc around the side.
SideCrossingIndex::Disc SideCrossingIndex::DiscOf(const WVector& p, const WVector& q) const {
  Disc disc;
  const double d[3] = {static_cast<double>(q.x) - p.x, static_cast<double>(q.y) - p.y,
                       static_cast<double>(q.z) - p.z};
  disc.radius = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) / 2.0;
  for (int axis = 0; axis < 3; ++axis) disc.centre[axis] = (Coordinate(p, axis) + Coordinate(q, axis)) / 2.0;
  // The plane's normal exactly as the side test computes it. Without one
  // (a side along the face's normal, or no normal) it finds no crossing; the
  // ball alone is kept all the same.
  const WVector m = Cross(q - p, Face().normal).Normalized();
  const double mm[3] = {m.x, m.y, m.z};
  UnitOrZero(mm, disc.normal);
  // q's own distance from the plane (the float normal is not quite square
  // to the side), and the rounding of the crossing point, with room.
  const double offset = d[0] * disc.normal[0] + d[1] * disc.normal[1] + d[2] * disc.normal[2];
  disc.thickness = std::fabs(offset) / 2.0 + kSlabMargins * margin_;
  return disc;
}

// How far the disc reaches from its centre along the unit direction u.
double SideCrossingIndex::Reach(const Disc& disc, const double u[3]) const {
  const double k = Dot3(disc.normal, u);
  if (k == 0.0 && disc.normal[0] == 0.0 && disc.normal[1] == 0.0 && disc.normal[2] == 0.0) return disc.radius;
  return std::min(disc.radius, disc.radius * std::sqrt(std::max(0.0, 1.0 - k * k)) + disc.thickness * std::fabs(k));
}

// The box with the given axes around the discs of the tree's sides
// begin..end - 1.
void SideCrossingIndex::BoundDiscs(int begin, int end, const double axis[3][3], Box& box) const {
  for (int j = 0; j < 3; ++j) {
    box.lo[j] = HUGE_VAL;
    box.hi[j] = -HUGE_VAL;
    for (int i = begin; i < end; ++i) {
      const Disc& disc = discs_[static_cast<size_t>(i)];
      const double centre = Dot3(disc.centre, axis[j]);
      const double reach = Reach(disc, axis[j]) + margin_;
      box.lo[j] = std::min(box.lo[j], centre - reach);
      box.hi[j] = std::max(box.hi[j], centre + reach);
    }
  }
}

// A node's two boxes around its run of sides. The one along the coordinate
// axes is cheap to test; the one turned along the run (its first axis from
// the run's first corner to the corner after its last, in the face's plane,
// its last the face's normal) stays thin where the run is slanted.
void SideCrossingIndex::BuildNode(int node, int begin, int end) {
  Node& box = nodes_[static_cast<size_t>(node)];
  const WVector& first = Corner(FirstSide(begin));
  const WVector& last = Corner(FirstSide(end - 1) + 1);
  const double chord[3] = {static_cast<double>(last.x) - first.x, static_cast<double>(last.y) - first.y,
                           static_cast<double>(last.z) - first.z};
  box.has_turned = end - begin <= kMaxTurnedSides && AxesAlong(face_normal_, chord, box.axis);
  if (box.has_turned) BoundDiscs(begin, end, box.axis, box.turned);
  if (end - begin <= kLeafSides) {
    BoundDiscs(begin, end, kCoordinateAxes, box.aligned);
    FixNode(box, begin, end);
    return;
  }
  const int middle = begin + (end - begin) / 2;
  BuildNode(2 * node, begin, middle);
  BuildNode(2 * node + 1, middle, end);
  const Node& l = nodes_[static_cast<size_t>(2 * node)];
  const Node& r = nodes_[static_cast<size_t>(2 * node + 1)];
  for (int j = 0; j < 3; ++j) {
    box.aligned.lo[j] = std::min(l.aligned.lo[j], r.aligned.lo[j]);
    box.aligned.hi[j] = std::max(l.aligned.hi[j], r.aligned.hi[j]);
    box.fixed[j] = l.fixed[j] && r.fixed[j] && l.value[j] == r.value[j];
    box.value[j] = l.value[j];
  }
}

// Which coordinates all corners of the tree's sides begin..end - 1 share.
void SideCrossingIndex::FixNode(Node& node, int begin, int end) const {
  const WVector& first = Corner(FirstSide(begin));
  for (int j = 0; j < 3; ++j) {
    node.value[j] = j == 0 ? first.x : j == 1 ? first.y : first.z;
    node.fixed[j] = true;
  }
  for (int g = begin; g < end; ++g) {
    const int i = FirstSide(g);
    for (const WVector* p : {&Corner(i), &Corner(i + 1)}) {
      node.fixed[0] = node.fixed[0] && p->x == node.value[0];
      node.fixed[1] = node.fixed[1] && p->y == node.value[1];
      node.fixed[2] = node.fixed[2] && p->z == node.value[2];
    }
  }
}

// Whether the node's sides all lie on one line along a coordinate axis,
// and p on that line. Each side p0..q0 there then has q0 - p0 along the
// axis, so the side test's m = (q0 - p0) x normal, scaled, has a zero (or,
// where the scaling fails, a NaN) on that axis, and p - p0 zeros on the two
// others: m . (p - p0) is zero or NaN, and so the product of the two
// distances, which is not below zero.
bool SideCrossingIndex::OnAxisLine(const Node& node, const WVector& p) const {
  const float at[3] = {p.x, p.y, p.z};
  int fixed = 0;
  for (int j = 0; j < 3; ++j) {
    if (!node.fixed[j]) continue;
    if (at[j] != node.value[j]) return false;
    ++fixed;
  }
  return fixed >= 2;
}

// Whether the segment comes within the margin of the box: the slabs of the
// box, widened once more by the margin so that rounding here cannot drop a
// box that the segment touches. The segment is given by its ends' positions
// along the box's axes.
bool SideCrossingIndex::SegmentMeets(const Box& box, const double from[3], const double to[3]) const {
  double t0 = 0.0, t1 = 1.0;
  for (int j = 0; j < 3; ++j) {
    const double lo = box.lo[j] - margin_, hi = box.hi[j] + margin_;
    const double d = to[j] - from[j];
    if (d == 0.0) {
      if (from[j] < lo || from[j] > hi) return false;
      continue;
    }
    double ta = (lo - from[j]) / d, tb = (hi - from[j]) / d;
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

// One side of the group that does not end at corner a or b (at most four
// sides do), tested for them all.
bool SideCrossingIndex::TestGroup(int g, int a, int b, const WVector& pa, const WVector& pb) const {
  const int end = group_start_[static_cast<size_t>(g) + 1];
  for (int k = group_start_[static_cast<size_t>(g)]; k < end; ++k) {
    const int i = group_sides_[static_cast<size_t>(k)], j = (i + 1) % n_;
    if (i == a || j == a || i == b || j == b) continue;
    return SegmentCrossesSidePlane(side_plane_[static_cast<size_t>(g)], pa, pb, Corner(i), Corner(j));
  }
  return false;
}

void SideCrossingIndex::PassOverTouchingSides() {
  if (passing_over_) return;
  passing_over_ = true;
  if (!indexed_ || group_start_.size() < 2) return;
  shared_.assign(nodes_.size(), Shared());
  ShareNode(1, 0, static_cast<int>(group_start_.size()) - 1);
}

// Within the tolerance of the line through a and b (which differ).
bool SideCrossingIndex::OnLine(const WVector& p, const WVector& a, const WVector& b) const {
  const double d[3] = {static_cast<double>(b.x) - a.x, static_cast<double>(b.y) - a.y,
                       static_cast<double>(b.z) - a.z};
  const double w[3] = {static_cast<double>(p.x) - a.x, static_cast<double>(p.y) - a.y,
                       static_cast<double>(p.z) - a.z};
  const double c[3] = {d[1] * w[2] - d[2] * w[1], d[2] * w[0] - d[0] * w[2], d[0] * w[1] - d[1] * w[0]};
  return Dot3(c, c) <= line_tolerance_ * line_tolerance_ * Dot3(d, d);
}

// Whether the side p..q touches the diagonal pa..pb only: an end in common,
// or all four points on the diagonal's line.
bool SideCrossingIndex::Touches(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb) const {
  return p == pa || p == pb || q == pa || q == pb || (OnLine(p, pa, pb) && OnLine(q, pa, pb));
}

// Whether x lies on the side p..q (which differ): within the tolerance of
// its line, and strictly between its ends along it.
bool SideCrossingIndex::Holds(const WVector& p, const WVector& q, const WVector& x) const {
  const double d[3] = {static_cast<double>(q.x) - p.x, static_cast<double>(q.y) - p.y,
                       static_cast<double>(q.z) - p.z};
  const double w[3] = {static_cast<double>(x.x) - p.x, static_cast<double>(x.y) - p.y,
                       static_cast<double>(x.z) - p.z};
  const double along = Dot3(d, w);
  return along > 0.0 && along < Dot3(d, d) && OnLine(x, p, q);
}

void SideCrossingIndex::Sample(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb,
                               long long& touching, long long& piled) const {
  if (Touches(p, q, pa, pb)) touching += 8;
  else if (Piled(p, q, pa, pb)) piled += 8;
}

// Whether to pass over the side p..q rather than test it. Until the index
// passes over touching sides it tests them all, and counts those that touch
// from one test in eight (which costs an eighth of looking at every one).
bool SideCrossingIndex::PassOver(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb) const {
  if (passing_over_) return Touches(p, q, pa, pb);
  if ((tests_++ & 7) == 0) Sample(p, q, pa, pb, touching_work_, piled_work_);
  return false;
}

bool SideCrossingIndex::TouchesNode(const Shared& shared, const WVector& pa, const WVector& pb) const {
  if (shared.point >= 0 && (Corner(shared.point) == pa || Corner(shared.point) == pb)) return true;
  if (shared.line < 0) return false;
  const WVector& a = Corner(shared.line);
  const WVector& b = Corner(shared.line + 1);
  return OnLine(pa, a, b) && OnLine(pb, a, b);
}

// The tree's sides begin..end - 1 are those of node, as BuildNode splits
// them. A group's sides all join the same two points, so its first stands
// for it.
void SideCrossingIndex::ShareNode(int node, int begin, int end) {
  const int first = FirstSide(begin);
  const WVector& p0 = Corner(first);
  const WVector& q0 = Corner(first + 1);
  bool at_p0 = true, at_q0 = true, on_line = true;
  for (int g = begin; g < end && (at_p0 || at_q0 || on_line); ++g) {
    const int i = FirstSide(g);
    const WVector& p = Corner(i);
    const WVector& q = Corner(i + 1);
    at_p0 = at_p0 && (p == p0 || q == p0);
    at_q0 = at_q0 && (p == q0 || q == q0);
    on_line = on_line && OnLine(p, p0, q0) && OnLine(q, p0, q0);
  }
  Shared& shared = shared_[static_cast<size_t>(node)];
  shared.point = at_p0 ? first : at_q0 ? (first + 1) % n_ : -1;
  shared.line = on_line ? first : -1;
  if (end - begin <= kLeafSides) return;
  const int middle = begin + (end - begin) / 2;
  ShareNode(2 * node, begin, middle);
  ShareNode(2 * node + 1, middle, end);
}

bool SideCrossingIndex::Answer(int a, int b, bool passing_over, bool axis_lines) {
  // Passing over, nothing is counted: the answer is settled.
  if (passing_over && axis_lines) return Settle(a, b, true);
  if (!indexed_ || a < 0 || a >= n_ || b < 0 || b >= n_) return false;
  const WFace& face = Face();
  const int va = face.v[a], vb = face.v[b];
  if (va < 0 || va >= object_.vnum || vb < 0 || vb >= object_.vnum) return false;
  const WVector pa = object_.vertices[va].pos;
  const WVector pb = object_.vertices[vb].pos;
  if (pa == pb || group_start_.size() < 2 || !crossable_) return false;
  if (passing_over && shared_.size() != nodes_.size()) {
    shared_.assign(nodes_.size(), Shared());
    ShareNode(1, 0, static_cast<int>(group_start_.size()) - 1);
  }

  // As Crosses walks the tree, and counting as it counts before passing over.
  const double from[3] = {pa.x, pa.y, pa.z}, to[3] = {pb.x, pb.y, pb.z};
  const Slack slack = SlackOf(pa, pb);
  const Ends ends = EndsOf(a, b);
  struct Visit {
    int node, begin, end;
  };
  Noting noting{*this};
  Visit stack[128];
  int top = 0;
  stack[top++] = {1, 0, static_cast<int>(group_start_.size()) - 1};
  while (top > 0) {
    const Visit v = stack[--top];
    const Node& node = nodes_[static_cast<size_t>(v.node)];
    // Out of reach of every side box first: it is the cheaper to pass.
    // The tree's own boxes first, as the walk has always asked them (the
    // one along the axes costs least); then the box around the side boxes.
    if (!SegmentMeets(node.aligned, from, to)) continue;
    Along along;
    if (bounded_ || node.has_turned) AlongNode(v.node, from, to, along);
    if ((node.has_turned && !SegmentMeets(node.turned, along.from, along.to)) ||
        (bounded_ && !ends.Within(v.begin, v.end) && OutOfReach(v.node, along)))
      continue;
    if (passing_over && TouchesNode(shared_[static_cast<size_t>(v.node)], pa, pb)) continue;
    if (axis_lines && (OnAxisLine(node, pa) || OnAxisLine(node, pb))) {
      passed_axis_lines_ = passed_axis_lines_ || !passing_over;
      continue;
    }
    // A node whose every box meets the segment is counted whole, up to the
    // first side that the segment crosses there.
    if (!passing_over && count_whole_ && bounded_ && v.end - v.begin > kLeafSides && Covers(v.node, from, to, along)) {
      const int crossing = FirstCrossing(v.node, v.begin, v.end, a, b, pa, pb, slack);
      CountTested(v.node, v.begin, crossing < 0 ? v.end : crossing + 1, pa, pb, along, answered_tests_,
                  answered_touching_, answered_piled_);
      noting.reached += v.end - v.begin;
      if (crossing >= 0) return true;
      continue;
    }
    if (v.end - v.begin <= kLeafSides) {
      for (int g = v.begin; g < v.end; ++g) {
        if (!SegmentMeets(side_box_[static_cast<size_t>(g)], from, to)) continue;
        ++noting.reached;
        const int i = FirstSide(g);
        if (passing_over) {
          if (Touches(Corner(i), Corner(i + 1), pa, pb)) continue;
        } else if ((answered_tests_++ & 7) == 0) {
          Sample(Corner(i), Corner(i + 1), pa, pb, answered_touching_, answered_piled_);
        }
        if (TestGroup(g, a, b, pa, pb)) return true;
      }
      continue;
    }
    const int middle = v.begin + (v.end - v.begin) / 2;
    stack[top++] = {2 * v.node + 1, middle, v.end};
    stack[top++] = {2 * v.node, v.begin, middle};
  }
  return false;
}

bool SideCrossingIndex::Settle(int a, int b, bool passing_over) { return SettleCounting(a, b, passing_over, false); }

bool SideCrossingIndex::AnswerPassingOver(int a, int b) { return SettleCounting(a, b, true, true); }

bool SideCrossingIndex::SettleCounting(int a, int b, bool passing_over, bool count_piled) {
  if (!indexed_ || a < 0 || a >= n_ || b < 0 || b >= n_) return false;
  const WFace& face = Face();
  const int va = face.v[a], vb = face.v[b];
  if (va < 0 || va >= object_.vnum || vb < 0 || vb >= object_.vnum) return false;
  const WVector pa = object_.vertices[va].pos;
  const WVector pb = object_.vertices[vb].pos;
  if (pa == pb || group_start_.size() < 2 || !crossable_) return false;
  if (passing_over && shared_.size() != nodes_.size()) {
    shared_.assign(nodes_.size(), Shared());
    ShareNode(1, 0, static_cast<int>(group_start_.size()) - 1);
  }

  return SettleWalk(a, b, pa, pb, passing_over, true, count_piled);
}

// As Answer walks the tree, passing over also the nodes and sides whose
// bounds the diagonal misses: no side there can be crossed.
bool SideCrossingIndex::SettleWalk(int a, int b, const WVector& pa, const WVector& pb, bool passing_over,
                                   bool axis_lines, bool count_piled) const {
  const double from[3] = {pa.x, pa.y, pa.z}, to[3] = {pb.x, pb.y, pb.z};
  const Slack slack = SlackOf(pa, pb);
  const Ends ends = EndsOf(a, b);
  struct Visit {
    int node, begin, end;
  };
  Noting noting{*this};
  Visit stack[128];
  int top = 0;
  stack[top++] = {1, 0, static_cast<int>(group_start_.size()) - 1};
  while (top > 0) {
    const Visit v = stack[--top];
    const Node& node = nodes_[static_cast<size_t>(v.node)];
    if (!SegmentMeets(node.aligned, from, to)) continue;
    Along along;
    if (bounded_ || node.has_turned) AlongNode(v.node, from, to, along);
    if (node.has_turned && !SegmentMeets(node.turned, along.from, along.to)) continue;
    if (bounded_ && !ends.Within(v.begin, v.end) && !MeetsNode(v.node, slack, &along)) continue;
    if (passing_over && TouchesNode(shared_[static_cast<size_t>(v.node)], pa, pb)) continue;
    if (axis_lines && (OnAxisLine(node, pa) || OnAxisLine(node, pb))) continue;
    if (v.end - v.begin <= kLeafSides) {
      for (int g = v.begin; g < v.end; ++g) {
        if (!SegmentMeets(side_box_[static_cast<size_t>(g)], from, to)) continue;
        ++noting.reached;
        const int i = FirstSide(g);
        if (passing_over) {
          if (Touches(Corner(i), Corner(i + 1), pa, pb)) continue;
          if (count_piled && (passing_tests_++ & 7) == 0 && Piled(Corner(i), Corner(i + 1), pa, pb))
            passing_piled_ += 8;
        } else if ((settled_tests_++ & 7) == 0) {
          Sample(Corner(i), Corner(i + 1), pa, pb, settled_touching_, settled_piled_);
        }
        if (TestGroup(g, a, b, pa, pb)) return true;
      }
      continue;
    }
    const int middle = v.begin + (v.end - v.begin) / 2;
    stack[top++] = {2 * v.node + 1, middle, v.end};
    stack[top++] = {2 * v.node, v.begin, middle};
  }
  return false;
}

bool SideCrossingIndex::Crosses(int a, int b) const {
  if (a < 0 || a >= n_ || b < 0 || b >= n_) return false;
  const WFace& face = Face();
  const int va = face.v[a], vb = face.v[b];
  if (va < 0 || va >= object_.vnum || vb < 0 || vb >= object_.vnum) return false;
  const WVector pa = object_.vertices[va].pos;
  const WVector pb = object_.vertices[vb].pos;
  // Both ends of a segment of no length lie on the same side of any plane
  // (the side test computes one distance twice): it crosses nothing. Every
  // corner of a polygon on one point asks only this.
  if (pa == pb) return false;
  if (!indexed_) {
    walked_sides_ += n_;
    for (int i = 0; i < n_; ++i) {
      if (PassOver(Corner(i), Corner(i + 1), pa, pb)) continue;
      if (TestSide(i, a, b, pa, pb)) return true;
    }
    return false;
  }
  if (group_start_.size() < 2 || !crossable_) return false;
  // Passing over, only the piled sides tested are counted: the answer is
  // settled, and runs on axis lines are passed over as Answer passes them,
  // which answers alike and walks as the answers after passing over do.
  if (passing_over_) return SettleWalk(a, b, pa, pb, true, true, true);

  const double from[3] = {pa.x, pa.y, pa.z}, to[3] = {pb.x, pb.y, pb.z};
  const Slack slack = SlackOf(pa, pb);
  const Ends ends = EndsOf(a, b);
  // Nodes with their run of the tree's sides, depth first.
  struct Visit {
    int node, begin, end;
  };
  Noting noting{*this};
  Visit stack[128];  // two entries per level of a tree at most 31 deep
  int top = 0;
  stack[top++] = {1, 0, static_cast<int>(group_start_.size()) - 1};
  while (top > 0) {
    const Visit v = stack[--top];
    const Node& node = nodes_[static_cast<size_t>(v.node)];
    if (!SegmentMeets(node.aligned, from, to)) continue;
    Along along;
    if (bounded_ || node.has_turned) AlongNode(v.node, from, to, along);
    if ((node.has_turned && !SegmentMeets(node.turned, along.from, along.to)) ||
        (bounded_ && !ends.Within(v.begin, v.end) && OutOfReach(v.node, along)))
      continue;
    // Counted whole where every box meets the segment, as in Answer.
    if (count_whole_ && bounded_ && v.end - v.begin > kLeafSides && Covers(v.node, from, to, along)) {
      const int crossing = FirstCrossing(v.node, v.begin, v.end, a, b, pa, pb, slack);
      CountTested(v.node, v.begin, crossing < 0 ? v.end : crossing + 1, pa, pb, along, tests_, touching_work_,
                  piled_work_);
      noting.reached += v.end - v.begin;
      if (crossing >= 0) return true;
      continue;
    }
    if (v.end - v.begin <= kLeafSides) {
      for (int g = v.begin; g < v.end; ++g) {
        if (!SegmentMeets(side_box_[static_cast<size_t>(g)], from, to)) continue;
        ++noting.reached;
        const int i = FirstSide(g);
        if (PassOver(Corner(i), Corner(i + 1), pa, pb)) continue;
        if (TestGroup(g, a, b, pa, pb)) return true;
      }
      continue;
    }
    const int middle = v.begin + (v.end - v.begin) / 2;
    stack[top++] = {2 * v.node + 1, middle, v.end};
    stack[top++] = {2 * v.node, v.begin, middle};
  }
  return false;
}
