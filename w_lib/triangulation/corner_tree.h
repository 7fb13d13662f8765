// The ear clipper's fallback test for large polygons: which remaining
// corners can lie inside or on a candidate ear, found through a tree of
// boxes over the corners instead of a walk over all of them.
#pragma once

#include <vector>

#include "w_lib/w_scene.h"

// Built once per polygon over its corners, seen along the face's normal
// (the side tests of the fallback look only at where points lie across that
// direction, so a normal and its negation see the same). The tree only
// narrows down which corners are tested: a triangle's inside-or-on test,
// computed in double precision, can accept a point only within a small
// margin of the triangle, unless the triangle is too thin for that margin
// to hold: there the test can accept points all along the band that holds
// the triangle along its longest edge, and the tree looks along that band
// (a triangle with two corners on one point, or three on one line, is such
// a sliver); a triangle with all three corners on one point accepts any
// point. FindCorner declines only when neither can be bounded, and the
// caller then walks every corner.
//
// Corners on one point (exactly equal coordinates) are one entry of the
// tree, which remains while any of them remains: a long run of corners on
// one point costs no more than one corner.
class CornerTree {
 public:
  CornerTree(const WObject& object, const WFace& face);

  // Every corner remains.
  void Reset();
  // Corner k is clipped: it is no longer a candidate.
  void Remove(int k);

  // Whether test(k) holds for some remaining corner k that may lie inside
  // or on the triangle a, b, c (the tree offers those and perhaps a few
  // more), in *found. test must answer alike for every corner on one point:
  // of those, it is asked about one, which need not be one that remains.
  // False, without calling test, when the tree cannot bound the triangle's
  // inside-or-on test.
  template <class Test>
  bool FindCorner(const WVector& a, const WVector& b, const WVector& c, Test test, bool* found) const;

  // The points of the tree, 0..Points() - 1, and the one that corner k
  // lies on: corners on one point share it. A point remains while any of
  // its corners does. Points() is 0 where FindCorner always declines.
  int Points() const { return usable_ ? static_cast<int>(corner_.size()) : 0; }
  int PointOf(int k) const { return point_of_[static_cast<size_t>(k)]; }

 private:
  struct Node {
    double lo[2];
    double hi[2];
    // The box turned along the main direction of the node's points (unit
    // dir, and its normal turned a quarter): a run of points on a slanted
    // line lies in a thin one, where the box along the axes is wide.
    double dir[2];
    double turned_lo[2];
    double turned_hi[2];
    int begin;  // the node's points in order_
    int end;
    int left;   // children, or -1 for a leaf
    int right;
    int live;   // points of which a corner remains
  };
  // Where the inside-or-on test can accept points, in the plane: within the
  // margin of all its half-planes (three for a triangle, two facing each
  // other for a band, none for the whole plane), and for a triangle also of
  // the box around its corners.
  struct Region {
    bool bounded;
    double grow;  // how far past the box around its corners the region may reach
    double room;  // how far nodes are widened to meet it
    int edges;
    double p[3][2];
    double normal[3][2];  // per half-plane, outward
    double reach[3];      // of the region along each normal
  };

  int BuildNode(int begin, int end);
  void Project(const WVector& p, double out[2]) const;
  bool Bound(const WVector& a, const WVector& b, const WVector& c, Region& r) const;
  bool BoundBand(const double shadow[3], double slack, Region& r) const;
  bool Meets(const Node& node, const Region& r) const;

  bool usable_ = false;
  double axis_[2][3] = {};  // the plane across the normal
  double margin_ = 0.0;
  double largest_ = 0.0;
  std::vector<int> point_of_;  // per corner: its point
  std::vector<char> removed_;  // per corner
  std::vector<int> corner_;    // per point: one of its corners
  std::vector<int> corners_;   // per point: how many corners lie on it
  std::vector<int> live_;      // per point: how many of those remain
  std::vector<int> order_;     // points, grouped by node
  std::vector<int> position_;  // per point: its place in order_
  std::vector<Node> nodes_;    // node 0 is the root
  std::vector<double> uv_;     // per point: its two coordinates in the plane
};

template <class Test>
bool CornerTree::FindCorner(const WVector& a, const WVector& b, const WVector& c, Test test, bool* found) const {
  *found = false;
  Region r;
  if (!usable_ || !Bound(a, b, c, r)) return false;
  int stack[128];  // two entries per level of a tree at most 60 deep
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[static_cast<size_t>(stack[--top])];
    if (node.live == 0 || !Meets(node, r)) continue;
    if (node.left < 0) {
      for (int i = node.begin; i < node.end; ++i) {
        const int point = order_[static_cast<size_t>(i)];
        if (live_[static_cast<size_t>(point)] > 0 && test(corner_[static_cast<size_t>(point)])) {
          *found = true;
          return true;
        }
      }
      continue;
    }
    stack[top++] = node.right;
    stack[top++] = node.left;
  }
  return true;
}
