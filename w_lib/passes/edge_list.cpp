// Edge list: one line per distinct undirected edge of an object's faces,
// with every face side naming its line.
//
// Of the lines that join the same two vertices the lowest index survives:
// the lines the object already held come first, then the face sides in face
// order, then corner order. Sides are matched with the earlier line of
// their vertex pair as they are met, so a line is made only for a pair's
// first side, not one per side to be merged afterwards.
#include <cstdint>
#include <new>
#include <vector>

#include "w_lib/passes/first_equal_per_vertex.h"
#include "w_lib/w_scene.h"

namespace {

// Matches the lines held before and the face sides by vertex pair: marks
// later duplicates of held lines merged into the earlier ones, and points
// every side at its pair's line, numbering the lines still to be made from
// lnum on. Returns the number of lines there will be. Its working arrays are
// freed before the caller makes the lines.
int MatchSides(WObject& object) {
  const int vnum = object.vnum;
  const int old_lines = object.lnum;
  const auto joins_two_vertices = [vnum](int a, int b) { return a != b && a >= 0 && a < vnum && b >= 0 && b < vnum; };

  // Lines are keyed at their lower vertex by their upper one.
  std::vector<int> upper;
  upper.reserve(static_cast<size_t>(old_lines) + static_cast<size_t>(object.CornerCount()));
  FirstEqualPerVertex firsts(vnum, upper.capacity());
  const auto same = [&upper](int a, int b) { return upper[static_cast<size_t>(a)] == upper[static_cast<size_t>(b)]; };
  const auto hash = [&upper](int a) { return static_cast<uint32_t>(upper[static_cast<size_t>(a)]); };

  // Lines held before: a later duplicate merges into the earlier one. Lines
  // already marked deleted, lines from a vertex to itself and lines naming
  // no vertex take no part and stay as they are.
  for (int i = 0; i < old_lines; ++i) {
    WLine& line = object.lines[i];
    const int a = line.v[0], b = line.v[1];
    upper.push_back(a > b ? a : b);
    if ((line.flags & kDeleted) || !joins_two_vertices(a, b)) continue;
    const int first = firsts.FindOrAdd(a < b ? a : b, i, same, hash);
    if (first != i) {
      line.flags |= kDeleted;
      line.remap = first;
    }
  }

  // Face sides. A side of length zero, or one naming no vertex, gets no line.
  int next = old_lines;
  for (int f = 0; f < object.fnum; ++f) {
    WFace& face = object.faces[f];
    const int n = face.num;
    for (int k = 0; k < n; ++k) {
      const int a = face.v[k], b = face.v[k + 1 < n ? k + 1 : 0];
      if (!joins_two_vertices(a, b)) {
        if (int* const e = face.e()) e[k] = -1;
        continue;
      }
      upper.push_back(a > b ? a : b);
      const int line = firsts.FindOrAdd(a < b ? a : b, next, same, hash);
      if (line == next)
        ++next;
      else
        upper.pop_back();
      face.SideLines()[k] = line;
    }
  }
  return next;
}

void BuildObjectEdges(WObject& object) {
  if (object.vnum <= 0) return;
  const int next = MatchSides(object);
  // Make the new lines: a pair's first side is the one whose line index is
  // the next to be added, and it fixes the line's direction. Without room
  // for them all the pass fails as an add that cannot grow would.
  if (!object.ReserveLines(next)) throw std::bad_alloc();
  for (int f = 0; f < object.fnum && object.lnum < next; ++f) {
    const WFace& face = object.faces[f];
    const int n = face.num;
    for (int k = 0; k < n; ++k) {
      if (face.SideLine(k) != object.lnum) continue;
      const int i = object.AddLine();
      object.lines[i].v[0] = face.v[k];
      object.lines[i].v[1] = face.v[k + 1 < n ? k + 1 : 0];
    }
  }
  object.Compact();
}

}  // namespace

void BuildEdges(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o) BuildObjectEdges(scene.objects[o]);
}

void BuildEdgesWhereLinesAre(WScene& scene) {
  for (int o = 0; o < scene.onum; ++o)
    if (scene.objects[o].lnum > 0) BuildObjectEdges(scene.objects[o]);
}
