// The side test of the ear clipper for large polygons: whether a diagonal
// strictly crosses a side of the polygon, answered from a tree of boxes
// around runs of consecutive sides instead of a walk over all of them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "w_lib/w_scene.h"

// Whether the segment from pa to pb strictly crosses the side p..q, seen in
// the plane of normal: one side of DiagonalCrossesSide, computed exactly as
// it computes it.
bool SegmentCrossesSide(const WVector& normal, const WVector& pa, const WVector& pb, const WVector& p,
                        const WVector& q);
// The normal m of the plane that stands on the side p..q across the face,
// as SegmentCrossesSide computes it, and the rest of that test given m: a
// side tested against many segments needs m once.
WVector SidePlaneNormal(const WVector& normal, const WVector& p, const WVector& q);
bool SegmentCrossesSidePlane(const WVector& m, const WVector& pa, const WVector& pb, const WVector& p,
                             const WVector& q);

// Built once per polygon; Crosses(a, b) gives DiagonalCrossesSide(object,
// f, a, b) for every a and b. The tree only narrows down which sides are
// tested: a side can only be crossed inside the ball over the side as its
// diameter, near the plane that the side test puts through it, so a run of
// sides whose box (around those discs, generously widened) the segment
// misses is passed over, and every other side is tested with
// SegmentCrossesSide. Consecutive sides lie close together, so the boxes
// of runs stay small; short runs also get a box turned along them. Sides
// whose two corners lie on one point, which nothing crosses, are left out
// of the tree, sides between the same two points are tested once, and a
// diagonal of no length is answered at once. The
// face's corners, its normal and the vertex positions must not change while
// the index is in use; the faces array may move (the face is looked up by
// index).
class SideCrossingIndex {
 public:
  // Builds the tree when it pays and can be trusted (finite coordinates of
  // a bounded size); otherwise Crosses walks every side.
  SideCrossingIndex(const WObject& object, int f);
  // A second index of the same face over the tree of `built`, which it
  // shares instead of building its own: it answers and counts as a new
  // index would, from nothing asked, and each may be used on a thread of
  // its own, since what they share no longer changes once built.
  enum SharingTree { kSharingTree };
  SideCrossingIndex(const SideCrossingIndex& built, SharingTree);
  SideCrossingIndex(const SideCrossingIndex&) = delete;
  SideCrossingIndex& operator=(const SideCrossingIndex&) = delete;

  bool Crosses(int a, int b) const;

  // About how many sides the queries so far have tested that touch the
  // diagonal only (see below), counted from a sample. A few a diagonal are
  // the sides at its ends; more means that passing over them would pay.
  long long TouchingWork() const { return touching_work_; }
  // About how many sides the queries so far have tested that one of the
  // diagonal's ends lies on, between the side's own ends, and that do not
  // touch it as above: sides piled through one point, whose tests passing
  // over cannot spare. Counted from the same sample, before passing over;
  // while passing over, Crosses adds those it tests (see
  // PassingPiledWork).
  long long PiledWork() const { return piled_work_ + passing_piled_; }
  // Whether the tree is built: without it every query walks every side.
  bool Indexed() const { return indexed_; }
  // Whether the tree's groups were laid in an order along space rather
  // than round the outline, which winds round and round (see Build).
  bool LaidAlongSpace() const { return laid_along_space_; }
  // How many sides the queries so far have walked for want of the tree.
  long long WalkedSides() const { return walked_sides_; }

  // From now on Crosses passes over the sides that can meet a diagonal only
  // where they touch it: a side with an end on one of the diagonal's ends,
  // and a side that lies on the diagonal's line (within the rounding of
  // float coordinates, 2e-7 of the polygon's largest). Neither can cross
  // the diagonal strictly, so the answers differ from DiagonalCrossesSide
  // only where its float rounding finds such a crossing; a diagonal along a long straight
  // run of sides, or from a point that many sides come back to, then costs
  // a few nodes of the tree instead of a test of every side there.
  void PassOverTouchingSides();
  bool PassesOverTouchingSides() const { return passing_over_; }

  // What Crosses(a, b) answers before PassOverTouchingSides (passing_over
  // false) or after it (true), whichever mode the index is in, counting
  // apart from Crosses. With axis_lines, runs of sides on one line along a
  // coordinate axis are passed over at once where the diagonal has an end
  // on that line: every side there finds the end at a distance of exactly
  // zero from its line, which is no crossing. Only with the tree.
  bool Answer(int a, int b, bool passing_over, bool axis_lines = true);
  // What TouchingWork would be had Crosses been asked instead of the
  // answers before passing over so far, unless one of them passed over
  // runs on axis lines.
  long long AnsweredTouchingWork() const { return answered_touching_; }
  long long AnsweredPiledWork() const { return answered_piled_ + passing_piled_; }
  bool AnswersPassedOverAxisLines() const { return passed_axis_lines_; }

  // What the answers before passing over have counted: another index of
  // the same face that was asked the same diagonals in the same order can
  // hand its count over, and this one goes on counting as if it had been
  // asked them itself.
  struct AnsweredCount {
    long long tests = 0;
    long long touching = 0;
    long long piled = 0;
    bool passed_axis_lines = false;
  };
  AnsweredCount Answered() const {
    return {answered_tests_, answered_touching_, answered_piled_, passed_axis_lines_};
  }
  void TakeAnswered(const AnsweredCount& count) {
    answered_tests_ = count.tests;
    answered_touching_ = count.touching;
    answered_piled_ = count.piled;
    passed_axis_lines_ = count.passed_axis_lines;
  }

  // What Answer(a, b, passing_over) gives, with axis lines passed over,
  // found without counting anything: the sides it tests are only those
  // whose crossing regions the diagonal can reach once the rounding of the
  // side test for this diagonal is bound (see Bound), which for a diagonal
  // that runs close along a long run of sides are a few near its ends
  // instead of every side within the margin. Only with the tree.
  bool Settle(int a, int b, bool passing_over);

  // What Answer(a, b, true) gives, for the tries that have passed their
  // budget and go on passing over: they count the piled sides they test
  // (PassingPiledWork), as Crosses does while passing over.
  bool AnswerPassingOver(int a, int b);
  // The piled sides that the walks passing over have tested, counted from
  // one test in eight: Crosses once passing over, and AnswerPassingOver.
  long long PassingPiledWork() const { return passing_piled_; }

  // About how many sides that touch their diagonals Settle has tested
  // before passing over, counted as the walks that count do, from one test
  // in eight (of its own tests, which are fewer): the work that its
  // answers, kept exact, take.
  long long SettledTouchingWork() const { return settled_touching_; }
  long long SettledPiledWork() const { return settled_piled_; }

  // Whether the walks that count (Crosses before passing over, and Answer)
  // take a node whose every box meets the diagonal as tested whole, which
  // they do unless told otherwise: the count is the same either way, and
  // side by side is what checks it.
  void CountNodesWhole(bool whole) { count_whole_ = whole; }

  // Builds the bounds of Settle and the boxes that pass over whole nodes,
  // and uses them from then on. The walks do so by themselves once their
  // diagonals reach many sides through the tree's margins; below that the
  // tree's boxes alone are cheaper to ask.
  void BoundTightly() const;
  bool TightlyBound() const { return bounded_; }
  // Builds, with the tight bounds, what the walks that count need to take
  // whole nodes (otherwise made for the first of them). An index that
  // shares this one's tree, made after that, shares these too and starts
  // bound, instead of building its own.
  void BoundForCounting() const;

 private:
  // A box: along each of three orthonormal axes, the interval it covers.
  struct Box {
    double lo[3];
    double hi[3];
  };
  // A run of sides in two boxes: one along the coordinate axes, and one
  // turned along the run. Axis-aligned boxes of runs of slanted sides
  // (spikes, the sawtooth of a noisy outline) overlap their neighbours by
  // the hundred; boxes turned along each run stay thin.
  struct Node {
    Box aligned;
    bool has_turned;
    double axis[3][3];
    Box turned;
    // Per coordinate: whether every corner of the node's sides has the
    // same value there, and that value.
    bool fixed[3];
    float value[3];
  };
  // Where a side can be crossed: the disc where the ball over the side
  // meets the slab around the plane that the side test uses.
  struct Disc {
    double centre[3];
    double radius;
    double normal[3];  // unit; all zero when the side test can find no crossing plane
    double thickness;  // half the slab's thickness
  };
  // Where a side can be crossed for a given diagonal, bound by what the
  // side test's rounding can do for it rather than by a margin of the
  // polygon's size (see Meets). Per group and per node of the tree: what
  // that rounding scales with, and for a node the box around its sides'
  // crossing regions without it.
  struct Bound {
    Box turned;          // for a node, along the axes of its frame
    double corner_lo[3];  // the box around the sides' corners
    double corner_hi[3];
    double m[3];         // the largest |component| of the side test's plane normals
    double unit[3];      // and of those normals scaled to unit length
    double stretch;      // the largest 1 / |normal|
    bool none;           // no side here can be crossed at all
    bool some_none;      // some side here cannot, and is left out of `turned`
    bool loose;          // a side here cannot be bound: always tested
  };
  // The rounding of the side test for one diagonal: how far its crossing
  // point can lie from the diagonal along each coordinate axis.
  struct Slack {
    double from[3];
    double to[3];
    double along[3];
  };
  Slack SlackOf(const WVector& pa, const WVector& pb) const;
  // Axes along a node's run, for every node (the coordinate axes where the
  // run has no direction in the plane), and the box along them around the
  // boxes of its sides, widened as SegmentMeets widens them: a segment that
  // misses it meets none of them. A node with a run on an axis line below
  // it is neither passed over by its outer box nor taken whole, since the
  // walk may note that run.
  struct Frame {
    double axis[3][3];
    Box outer;
    bool axis_line_below;
  };
  // A segment's ends along a node's frame (where the tree is bound, else
  // along its turned axes, which are its frame's where it has them),
  // worked out once for the tests of the node.
  struct Along {
    double from[3];
    double to[3];
  };
  void AlongNode(int node, const double from[3], const double to[3], Along& along) const;
  // The groups of the sides at a diagonal's ends (corners a and b), whose
  // crossing regions and boxes hold those ends: a node with one of them
  // meets the diagonal, and no test of its bounds can pass over it.
  struct Ends {
    int group[4];
    bool Within(int begin, int end) const {
      for (const int g : group)
        if (g >= begin && g < end) return true;
      return false;
    }
  };
  Ends EndsOf(int a, int b) const {
    return {{group_of_[static_cast<size_t>((a + n_ - 1) % n_)], group_of_[static_cast<size_t>(a)],
             group_of_[static_cast<size_t>((b + n_ - 1) % n_)], group_of_[static_cast<size_t>(b)]}};
  }
  bool Meets(const Bound& bound, const Frame* frame, const Slack& slack, const Along* along = nullptr) const;
  bool OutOfReach(int node, const Along& along) const;
  void Enclose(const double from_axis[3][3], const Box& box, const double axis[3][3], Box& out) const;
  bool MeetsNode(int node, const Slack& slack, const Along* along = nullptr) const {
    return !bounded_ ||
           Meets(node_bound_[static_cast<size_t>(node)], &frames_[static_cast<size_t>(node)], slack, along);
  }
  // A group's bound, its disc left in discs_ (with a radius below zero
  // where the group is none or loose).
  Bound BoundGroup(int g, const WVector& p, const WVector& q) const;
  void BoundNode(int node, int begin, int end) const;
  // Notes a walk's diagonal and how many side boxes it met, and bounds
  // tightly once those pass eight leaves' worth a diagonal (see Note).
  void Note(long long reached) const;
  struct Noting {
    const SideCrossingIndex& index;
    long long reached = 0;
    ~Noting() { index.Note(reached); }
  };
  static void Widen(const Bound& from, Bound& to);
  static double TightReach(const Disc& disc, const double u[3]);
  bool SegmentMeets(const Box& box, const double from[3], const double to[3], const double widen[3]) const;
  // What lets a walk that counts take a node's groups as tested without
  // asking each: every box of the tree holds the ball of `radius` around
  // each of the node's disc centres, less the margin that SegmentMeets adds,
  // so a segment within that distance of every centre meets them all; the
  // centres lie in the boxes below (the second along the node's turned
  // axes, where it has them). Made for the first walk that counts.
  struct Cover {
    Box centres;
    Box turned;
    double radius;
  };
  void CoverNode(int node, int begin, int end) const;
  void EnsureCovers() const;
  // Whether an index made now to share the tree can share the bounds: they
  // are all built, and no walk changes them any more.
  bool BoundsShared() const { return bounded_ && !cover_.empty(); }
  bool Covers(int node, const double from[3], const double to[3], const Along& along) const;
  int FirstCrossing(int node, int begin, int end, int a, int b, const WVector& pa, const WVector& pb,
                    const Slack& slack) const;
  void CountTested(int node, int begin, int end, const WVector& pa, const WVector& pb, const Along& along,
                   long long& tests, long long& touching, long long& piled) const;
  bool LineMeets(const Box& box, const double from[3], const double to[3], const double widen[3]) const;
  bool SettleCounting(int a, int b, bool passing_over, bool count_piled);
  bool SettleWalk(int a, int b, const WVector& pa, const WVector& pb, bool passing_over, bool axis_lines,
                  bool count_piled = false) const;
  std::array<uint32_t, 6> PointBits(int i) const;
  const WFace& Face() const { return object_.faces[f_]; }
  // The position of corner k, counted round the face.
  const WVector& Corner(int k) const { return object_.vertices[Face().v[k % n_]].pos; }
  bool Build();
  // Build's steps: the tree over the groups of the sides in sorted (by
  // their points) in the given order; whether that tree is tangled; and the
  // groups in an order along space.
  void LayGroups(const std::vector<std::pair<uint64_t, int>>& sorted,
                 const std::vector<std::pair<size_t, size_t>>& groups);
  double BoxesHoldingSides() const;
  int TreeDepth() const;
  // The middle of side i, in double.
  void SideMiddle(int i, double at[3]) const;
  static bool BoxHolds(const Box& box, const double at[3]);
  void SortAlongSpace(const std::vector<std::pair<uint64_t, int>>& sorted,
                      std::vector<std::pair<size_t, size_t>>& groups) const;
  Disc DiscOf(const WVector& p, const WVector& q) const;
  double Reach(const Disc& disc, const double u[3]) const;
  void BoundDiscs(int begin, int end, const double axis[3][3], Box& box) const;
  void BuildNode(int node, int begin, int end);
  bool TestSide(int i, int a, int b, const WVector& pa, const WVector& pb) const;
  bool TestGroup(int g, int a, int b, const WVector& pa, const WVector& pb) const;
  int FirstSide(int g) const { return group_sides_[static_cast<size_t>(group_start_[static_cast<size_t>(g)])]; }
  bool SegmentMeets(const Box& box, const double from[3], const double to[3]) const;
  // What the sides of a node share, for passing over them at once: a
  // corner whose point is an end of every one of them, and a side (by its
  // first corner) on whose line they all lie; -1 for none.
  struct Shared {
    int point = -1;
    int line = -1;
  };
  void ShareNode(int node, int begin, int end);
  bool OnLine(const WVector& p, const WVector& a, const WVector& b) const;
  bool Touches(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb) const;
  bool Holds(const WVector& p, const WVector& q, const WVector& x) const;
  bool Piled(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb) const {
    return Holds(p, q, pa) || Holds(p, q, pb);
  }
  // Adds a sampled test of the side p..q to touching or piled.
  void Sample(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb, long long& touching,
              long long& piled) const;
  bool PassOver(const WVector& p, const WVector& q, const WVector& pa, const WVector& pb) const;
  bool TouchesNode(const Shared& shared, const WVector& pa, const WVector& pb) const;
  void FixNode(Node& node, int begin, int end) const;
  bool OnAxisLine(const Node& node, const WVector& p) const;

  // What Build makes of the face's sides, shared by the indexes over it.
  struct Tree {
    std::vector<int> group_start;
    std::vector<int> group_sides;
    std::vector<int> group_of;
    std::vector<Box> side_box;
    std::vector<WVector> side_plane;
    std::vector<Node> nodes;
  };

  const WObject& object_;
  int f_;
  int n_;
  std::shared_ptr<Tree> tree_;
  bool indexed_ = false;
  bool laid_along_space_ = false;
  bool crossable_ = true;  // the face's normal lets the side test find crossings
  double margin_ = 0.0;
  double face_normal_[3] = {0.0, 0.0, 0.0};  // unit, or zero
  // The tree's entries are groups of sides between the same two points,
  // in the order of their first sides (or along space, for an outline that
  // winds round and round: see Build); group g holds the sides
  // group_sides_[group_start_[g] .. group_start_[g + 1] - 1], in order.
  std::vector<int>& group_start_ = tree_->group_start;
  std::vector<int>& group_sides_ = tree_->group_sides;
  std::vector<int>& group_of_ = tree_->group_of;  // per side: its group, or -1 for a side of no length
  mutable std::vector<Disc> discs_;  // per group, while the tree or the bounds are built
  std::vector<Box>& side_box_ = tree_->side_box;  // per group, along the coordinate axes
  std::vector<WVector>& side_plane_ = tree_->side_plane;  // per group: SidePlaneNormal of its side
  // Node 1 holds all groups, node k the halves 2k and 2k + 1.
  std::vector<Node>& nodes_ = tree_->nodes;
  bool boundable_ = false;             // the bounds below can be trusted
  mutable bool bounded_ = false;       // and are built and in use
  double mean_side_ = 0.0;             // the mean length of the tree's sides
  mutable long long noted_ = 0;        // diagonals walked
  mutable long long reached_ = 0;      // side boxes they met, since the last look
  double rounding_ = 0.0;              // room for the double rounding of boxes and tests
  // Per node: the bounds, their frames, and what lets the walks that count
  // take a node whole. Built once and from then on only read, so that an
  // index sharing the tree, made once they are all built, shares them too.
  struct Bounds {
    std::vector<Bound> node;
    std::vector<Frame> frames;
    std::vector<Cover> cover;  // once a walk counts
  };
  std::shared_ptr<Bounds> bounds_;
  std::vector<Bound>& node_bound_ = bounds_->node;
  std::vector<Cover>& cover_ = bounds_->cover;
  std::vector<Frame>& frames_ = bounds_->frames;
  bool passing_over_ = false;
  bool count_whole_ = true;
  double line_tolerance_ = 0.0;  // with the tree; without it, lines are exact
  std::vector<Shared> shared_;  // per node, once passing over
  mutable long long tests_ = 0;
  mutable long long touching_work_ = 0;
  mutable long long piled_work_ = 0;
  mutable long long passing_tests_ = 0;
  mutable long long passing_piled_ = 0;
  mutable long long walked_sides_ = 0;
  mutable long long settled_tests_ = 0;
  mutable long long settled_touching_ = 0;
  mutable long long settled_piled_ = 0;
  long long answered_tests_ = 0;
  long long answered_touching_ = 0;
  long long answered_piled_ = 0;
  bool passed_axis_lines_ = false;
};
