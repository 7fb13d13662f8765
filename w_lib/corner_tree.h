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
// to hold; FindCorner then declines and the caller walks every corner.
class CornerTree {
 public:
  CornerTree(const WObject& object, const WFace& face);

  // Every corner remains.
  void Reset();
  // Corner k is clipped: it is no longer a candidate.
  void Remove(int k);

  // Whether test(k) holds for some remaining corner k that may lie inside
  // or on the triangle a, b, c (the tree offers those and perhaps a few
  // more), in *found. False, without calling test, when the tree cannot
  // bound the triangle's inside-or-on test.
  template <class Test>
  bool FindCorner(const WVector& a, const WVector& b, const WVector& c, Test test, bool* found) const;

 private:
  struct Node {
    double lo[2];
    double hi[2];
    int begin;  // the node's corners in order_
    int end;
    int left;   // children, or -1 for a leaf
    int right;
    int live;   // remaining corners
  };
  struct Triangle {
    double p[3][2];
    double normal[3][2];  // per edge i (from p[i] to p[i + 1]), outward
    double reach[3];      // of the triangle along each edge normal
  };

  int BuildNode(int begin, int end);
  void Project(const WVector& p, double out[2]) const;
  bool Bound(const WVector& a, const WVector& b, const WVector& c, Triangle& t) const;
  bool Meets(const Node& node, const Triangle& t) const;

  bool usable_ = false;
  double axis_[2][3] = {};  // the plane across the normal
  double margin_ = 0.0;
  double largest_ = 0.0;
  std::vector<int> order_;     // corners, grouped by node
  std::vector<int> position_;  // per corner: its place in order_
  std::vector<char> removed_;  // per corner
  std::vector<Node> nodes_;    // node 0 is the root
  std::vector<double> uv_;     // per corner: its two coordinates in the plane
};

template <class Test>
bool CornerTree::FindCorner(const WVector& a, const WVector& b, const WVector& c, Test test, bool* found) const {
  *found = false;
  Triangle t;
  if (!usable_ || !Bound(a, b, c, t)) return false;
  int stack[128];  // two entries per level of a tree at most 60 deep
  int top = 0;
  stack[top++] = 0;
  while (top > 0) {
    const Node& node = nodes_[static_cast<size_t>(stack[--top])];
    if (node.live == 0 || !Meets(node, t)) continue;
    if (node.left < 0) {
      for (int i = node.begin; i < node.end; ++i) {
        const int k = order_[static_cast<size_t>(i)];
        if (!removed_[static_cast<size_t>(k)] && test(k)) {
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
