// The side test of the ear clipper for large polygons: whether a diagonal
// strictly crosses a side of the polygon, answered from a tree of boxes
// around runs of consecutive sides instead of a walk over all of them.
#pragma once

#include <vector>

#include "w_lib/w_scene.h"

// Whether the segment from pa to pb strictly crosses the side p..q, seen in
// the plane of normal: one side of DiagonalCrossesSide, computed exactly as
// it computes it.
bool SegmentCrossesSide(const WVector& normal, const WVector& pa, const WVector& pb, const WVector& p,
                        const WVector& q);

// Built once per polygon; Crosses(a, b) gives DiagonalCrossesSide(object,
// f, a, b) for every a and b. The tree only narrows down which sides are
// tested: a side can only be crossed near the segment, inside the ball over
// the side as its diameter, so a run of sides whose box (around those
// balls, generously widened) the segment misses is passed over, and every
// other side is tested with SegmentCrossesSide. Consecutive sides lie close
// together, so the boxes of runs stay small. The face's corners, its normal
// and the vertex positions must not change while the index is in use; the
// faces array may move (the face is looked up by index).
class SideCrossingIndex {
 public:
  // Builds the tree when it pays and can be trusted (finite coordinates of
  // a bounded size); otherwise Crosses walks every side.
  SideCrossingIndex(const WObject& object, int f);

  bool Crosses(int a, int b) const;

 private:
  struct Box {
    double lo[3];
    double hi[3];
  };
  const WFace& Face() const { return object_.faces[f_]; }
  bool Build();
  Box SideBox(const WVector& normal, const WVector& p, const WVector& q) const;
  void BuildNode(int node, int begin, int end);
  bool TestSide(int i, int a, int b, const WVector& pa, const WVector& pb) const;
  bool SegmentMeets(const Box& box, const double from[3], const double to[3]) const;

  const WObject& object_;
  int f_;
  int n_;
  bool indexed_ = false;
  double margin_ = 0.0;
  std::vector<Box> side_box_;  // per side
  std::vector<Box> node_box_;  // node 1 holds all sides, node k the halves 2k and 2k + 1
};
