// Polygon triangulation: polygons with more corners than a format takes are
// cut into triangles by ear clipping in their own plane, each triangle
// keeping the polygon's attributes and those of its three corners.
#include <climits>
#include <cstddef>
#include <new>
#include <vector>

#include "w_lib/triangulation/corner_tree.h"
#include "w_lib/triangulation/side_crossing_index.h"
#include "w_lib/w_scene.h"

namespace {

double DotDouble(const WVector& a, const WVector& b) {
  return static_cast<double>(a.x) * static_cast<double>(b.x) + static_cast<double>(a.y) * static_cast<double>(b.y) +
         static_cast<double>(a.z) * static_cast<double>(b.z);
}

// dot(n, (b - a) x (p - a)) in double precision: positive when p lies to the
// left of the run from a to b, seen from the side that n points to.
double SideOf(const WVector& n, const WVector& a, const WVector& b, const WVector& p) {
  const double ux = static_cast<double>(b.x) - a.x, uy = static_cast<double>(b.y) - a.y,
               uz = static_cast<double>(b.z) - a.z;
  const double vx = static_cast<double>(p.x) - a.x, vy = static_cast<double>(p.y) - a.y,
               vz = static_cast<double>(p.z) - a.z;
  return n.x * (uy * vz - uz * vy) + n.y * (uz * vx - ux * vz) + n.z * (ux * vy - uy * vx);
}

// Whether p lies inside or on the triangle a, b, c that turns about n.
bool InsideOrOn(const WVector& n, const WVector& a, const WVector& b, const WVector& c, const WVector& p) {
  return SideOf(n, a, b, p) >= 0.0 && SideOf(n, b, c, p) >= 0.0 && SideOf(n, c, a, p) >= 0.0;
}

bool NamesVertex(const WObject& object, int v) { return v >= 0 && v < object.vnum; }

bool AllCornersNameVertices(const WObject& object, const WFace& face) {
  for (int k = 0; k < face.num; ++k)
    if (!NamesVertex(object, face.v[k])) return false;
  return true;
}

// How many tests of sides that only touch a diagonal (see
// SideCrossingIndex) a polygon's cut may take with every diagonal answered
// exactly: 32 a corner, and 65,536 besides. Outlines met in practice test
// about four a corner (the sides at a diagonal's ends; eight for a star of
// long spikes). A long straight run of corners, or a point that many
// corners come back to, makes every diagonal there test every side there,
// which grows with the square of the corners.
long long ExactCutBudget(int n) { return 32 * static_cast<long long>(n) + 65536; }

// How many sides or corners a polygon's cut may walk one by one, where a
// tree cannot be trusted (coordinates beyond kMaxTreeCoordinate) or cannot
// bound a candidate ear: 64 a corner, and four million besides, which a
// polygon of a couple of thousand corners can pass only by walking them
// all for every diagonal. Past it the polygon becomes the fan from its
// first corner: coordinates that large round the side tests to noise
// anyway, and the fan costs a step a triangle.
long long WalkBudget(int n) { return 64 * static_cast<long long>(n) + (1LL << 22); }

void MarkDeleted(WFace& face) {
  face.flags |= kDeleted;
  face.remap = -1;
}

// Working state of one polygon, kept across the polygons of an object so
// that its storage is allocated rarely.
//
// The remaining corners form a ring (prev_, next_), so that the corners
// around a candidate and the next candidate are found in constant time
// however many corners have been clipped; the side test asks a tree of boxes over the
// polygon's sides, and the fallback's corner test a tree of its corners. All
// give exactly what scanning the corners and sides in order gives, for every
// polygon that stays within the two budgets above; past them it is cut by
// the cheaper tests that they name.
class EarClipper {
 public:
  // Cuts face f of the object, which has n corners that all name vertices.
  // True when its n - 2 triangles were added.
  bool CutFace(WObject& object, int f, int n) {
    // The faces array does not move while the polygon is cut: its room was
    // reserved, and the index reads the stored face.
    SideCrossingIndex sides(object, f);
    budget_ = ExactCutBudget(n);
    walk_budget_ = WalkBudget(n);
    walked_ = 0;
    // The second try of each kind is for a stored normal that faces against
    // the winding of the corners.
    for (int attempt = 0; attempt < 2; ++attempt) {
      Load(object.faces[f], attempt == 1);
      const Outcome outcome = Cut(object, sides, n);
      if (outcome == kCut) return true;
      if (outcome == kOverBudget) {
        if (!sides.Indexed()) return CutFan(object, f, n);
        // Too costly to answer every diagonal exactly: start over, passing
        // over the sides that merely touch a diagonal.
        sides.PassOverTouchingSides();
        attempt = -1;
      }
    }
    // The test above takes for an ear a corner whose triangle holds another
    // corner of the polygon, as long as no side crosses the diagonal; the
    // rest of the polygon then turns the wrong way and the cut fails. A
    // polygon that can be cut is not to be lost for that.
    CornerTree corners(object, object.faces[f]);
    for (int attempt = 0; attempt < 2; ++attempt) {
      Load(object.faces[f], attempt == 1);
      const Outcome outcome = CutSimple(object, corners, n);
      if (outcome == kCut) return true;
      if (outcome == kOverBudget) return CutFan(object, f, n);
    }
    return false;
  }

 private:
  void Load(const WFace& face, bool negate) {
    w_ = face;
    if (negate) w_.normal = -w_.normal;
  }

  WVector Pos(const WObject& object, int k) const { return object.vertices[w_.v[k]].pos; }

  void Start(const WObject& object, int n) {
    prev_.resize(static_cast<size_t>(n));
    next_.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      prev_[static_cast<size_t>(k)] = (k + n - 1) % n;
      next_[static_cast<size_t>(k)] = (k + 1) % n;
    }
    first_face_ = object.fnum;
    first_line_ = object.lnum;
  }

  int Prev(int k) const { return prev_[static_cast<size_t>(k)]; }
  // The remaining corner after position k. For a removed k this is the one
  // that followed it when it was removed; the clipper only asks that of the
  // corner it has just clipped.
  int Next(int k) const { return next_[static_cast<size_t>(k)]; }

  // One attempt with the polygon's own ear test: convex for the normal of
  // W, and a diagonal that crosses no side of the stored face. It gives up
  // after n - 2 candidate positions in a row without an ear.
  //
  // Every position stepped over counts as a miss, clipped corners included;
  // the ring steps over a run of clipped corners at once and counts them.
  //
  // While the index answers every diagonal exactly, the attempt stops
  // (kOverBudget) once the polygon's work passes its budget.
  enum Outcome { kCut, kMissed, kOverBudget };
  Outcome Cut(WObject& object, SideCrossingIndex& sides, int n) {
    Start(object, n);
    int made = 0;
    int misses = 0;
    int cur = 0;
    for (;;) {
      if (made >= n - 2) return kCut;
      const int next_live = Next(cur);
      const int steps = (next_live - cur + n) % n;
      if (misses + steps >= n - 2) break;  // the miss count runs out on the way
      misses += steps;
      cur = next_live;
      if (sides.WalkedSides() > walk_budget_ ||
          (sides.TouchingWork() > budget_ && !sides.PassesOverTouchingSides())) {
        Undo(object);
        return kOverBudget;
      }
      const int prev = Prev(cur), next = Next(cur);
      // A reflex corner for this orientation; a degenerate one (dot 0) passes.
      const WVector t = TriangleNormal(Pos(object, prev), Pos(object, cur), Pos(object, next));
      if (DotDouble(w_.normal, t) < 0.0) continue;
      if (sides.Crosses(prev, next)) continue;
      Clip(object, prev, cur, next);
      ++made;
      misses = 0;
    }
    Undo(object);
    return kMissed;
  }

  // One attempt with the ear test of a simple polygon: convex for the
  // normal of W, and no other remaining corner inside or on the triangle.
  // Every remaining corner is tried before it gives up; it stops
  // (kOverBudget) once the corners it has walked one by one, where the
  // tree could not answer, pass the polygon's walk budget.
  Outcome CutSimple(WObject& object, CornerTree& corners, int n) {
    Start(object, n);
    corners.Reset();
    int remaining = n;
    int misses = 0;
    int cur = 0;
    while (remaining > 2) {
      if (misses >= remaining) {
        Undo(object);
        return kMissed;
      }
      if (walked_ > walk_budget_) {
        Undo(object);
        return kOverBudget;
      }
      cur = Next(cur);
      const int prev = Prev(cur), next = Next(cur);
      const WVector a = Pos(object, prev), b = Pos(object, cur), c = Pos(object, next);
      bool ear = DotDouble(w_.normal, TriangleNormal(a, b, c)) >= 0.0;
      // Whether corner k lies inside or on the triangle; a corner repeating
      // one of the triangle's points does not block it.
      const auto blocks = [&](int k) {
        if (k == prev || k == cur || k == next) return false;
        const WVector p = Pos(object, k);
        return !(p == a || p == b || p == c) && InsideOrOn(w_.normal, a, b, c, p);
      };
      bool found = false;
      if (ear && corners.FindCorner(a, b, c, blocks, &found)) {
        ear = !found;
      } else {
        for (int k = Next(next); ear && k != prev; k = Next(k)) {
          ++walked_;
          ear = !blocks(k);
        }
      }
      if (!ear) {
        ++misses;
        // The answer depends only on the three points and on what remains:
        // the candidates that follow with all three corners on this same
        // point miss alike, and are stepped over without asking again.
        if (a == b && b == c) {
          for (int after = Next(cur); misses < remaining && Pos(object, after) == b &&
                                      Pos(object, Next(after)) == b;
               after = Next(after)) {
            cur = after;
            ++misses;
          }
        }
        continue;
      }
      Clip(object, prev, cur, next);
      corners.Remove(cur);
      --remaining;
      misses = 0;
    }
    return kCut;
  }

  // The fan from the first corner: n - 2 triangles, a step each, whatever
  // the polygon's shape.
  bool CutFan(WObject& object, int f, int n) {
    Load(object.faces[f], false);
    Start(object, n);
    for (int k = 1; k + 1 < n; ++k) Clip(object, 0, k, k + 1);
    return true;
  }

  // Adds the triangle prev, cur, next with W's attributes and the diagonal
  // from prev to next, which becomes W's side after prev.
  void Clip(WObject& object, int prev, int cur, int next) {
    // The arrays were reserved, but look the records up afresh all the same.
    const int t = object.AddFace(3);
    WFace& tri = object.faces[t];
    tri.material = w_.material;
    tri.tag = w_.tag;
    tri.col = w_.col;
    tri.normal = w_.normal;
    tri.CopyCorner(0, w_, prev);
    tri.CopyCorner(1, w_, cur);
    tri.CopyCorner(2, w_, next);
    const int d = object.AddLine();
    WLine& line = object.lines[d];
    line = WLine();  // an add hands the slot out as it was
    line.v[0] = w_.v[prev];
    line.v[1] = w_.v[next];
    tri.SideLines()[2] = d;
    w_.SideLines()[prev] = d;
    next_[static_cast<size_t>(prev)] = next;
    prev_[static_cast<size_t>(next)] = prev;
  }

  // Takes away what a failed attempt made. It lies at the ends of the arrays
  // and nothing else refers to it, so this leaves what deleting it at the
  // compaction would, without growing the arrays past their reservation.
  void Undo(WObject& object) {
    for (int i = first_face_; i < object.fnum; ++i) object.faces[i] = WFace();
    for (int i = first_line_; i < object.lnum; ++i) object.lines[i] = WLine();
    object.fnum = first_face_;
    object.lnum = first_line_;
  }

  WFace w_;                    // the polygon, its sides updated by the diagonals
  std::vector<int> prev_;      // per remaining corner: the remaining corners
  std::vector<int> next_;      // before and after it
  int first_face_ = 0;
  int first_line_ = 0;
  long long budget_ = 0;       // of the polygon's exact cut
  long long walk_budget_ = 0;  // of its walks, in the fallback
  long long walked_ = 0;       // corners walked one by one, in the fallback
};

}  // namespace

bool DiagonalCrossesSide(const WObject& object, int f, int a, int b) {
  if (f < 0 || f >= object.fnum) return false;
  const WFace& face = object.faces[f];
  const int n = face.num;
  if (a < 0 || a >= n || b < 0 || b >= n) return false;
  if (!NamesVertex(object, face.v[a]) || !NamesVertex(object, face.v[b])) return false;
  const WVector& normal = face.normal;
  const WVector pa = object.vertices[face.v[a]].pos;
  const WVector pb = object.vertices[face.v[b]].pos;
  for (int i = 0; i < n; ++i) {
    const int j = (i + 1) % n;
    if (i == a || j == a || i == b || j == b) continue;
    if (!NamesVertex(object, face.v[i]) || !NamesVertex(object, face.v[j])) continue;
    if (SegmentCrossesSide(normal, pa, pb, object.vertices[face.v[i]].pos, object.vertices[face.v[j]].pos))
      return true;
  }
  return false;
}

void TriangulateObject(WObject& object, bool keep_quads) {
  const int max = keep_quads ? 4 : 3;
  // Room for every triangle and diagonal up front, so that adding them never
  // moves the arrays: a polygon of n corners gives n - 2 of each. Without
  // that room the pass fails as an add that cannot grow would.
  long long extra = 0;
  for (int f = 0; f < object.fnum; ++f)
    if (object.faces[f].num > max) extra += object.faces[f].num - 2;
  if (extra > 0) {
    if (object.fnum + extra > INT_MAX || object.lnum + extra > INT_MAX) throw std::bad_alloc();
    if (!object.ReserveFaces(object.fnum + static_cast<int>(extra)) ||
        !object.ReserveLines(object.lnum + static_cast<int>(extra)))
      throw std::bad_alloc();
  }

  EarClipper clipper;
  const int faces = object.fnum;  // the triangles added below are not visited
  for (int f = 0; f < faces; ++f) {
    WFace& face = object.faces[f];
    const int n = face.num;
    if (n < 3) MarkDeleted(face);
    if (n <= max) continue;
    // Replaced by its triangles, or gone when it cannot be cut.
    MarkDeleted(face);
    // A corner that names no vertex has no position to cut by.
    if (AllCornersNameVertices(object, face)) clipper.CutFace(object, f, n);
  }
  object.Compact();
}

void TriangulateScene(WScene& scene, bool keep_quads) {
  for (int o = 0; o < scene.onum; ++o) TriangulateObject(scene.objects[o], keep_quads);
}
