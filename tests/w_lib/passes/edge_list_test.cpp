// Edge list: one line per undirected vertex pair, lowest index first, sides
// naming their lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "test_scenes.h"

namespace {

using Ints = std::vector<int>;
using Pairs = std::vector<std::pair<int, int>>;

WScene OneObject(int vertices) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "edges");
  for (int i = 0; i < vertices; ++i) AddVertexAt(obj, static_cast<float>(i), 0, 0);
  return scene;
}

}  // namespace

TEST(BuildEdges, SharedSidesShareALineInOrderOfFirstAppearance) {
  // Sides met again in the same direction (1 -> 2) or the other (6 -> 5),
  // a side of length zero, a face of two corners and a pentagon.
  WScene scene = OneObject(8);
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0, 1, 2, 3});
  AddFaceOver(obj, {1, 2, 4});
  AddFaceOver(obj, {5, 5, 6});
  AddFaceOver(obj, {6, 7});  // both sides one line
  AddFaceOver(obj, {0, 4, 7, 6, 5});
  BuildEdges(scene);
  EXPECT_EQ(Corners(obj.faces[0], &WFace::e), (Ints{0, 1, 2, 3}));
  EXPECT_EQ(Corners(obj.faces[1], &WFace::e), (Ints{1, 4, 5}));
  EXPECT_EQ(Corners(obj.faces[2], &WFace::e), (Ints{-1, 6, 6}));
  EXPECT_EQ(Corners(obj.faces[3], &WFace::e), (Ints{7, 7}));
  EXPECT_EQ(Corners(obj.faces[4], &WFace::e), (Ints{8, 9, 7, 6, 10}));
  EXPECT_EQ(LinesOf(obj), (Pairs{{0, 1}, {1, 2}, {2, 3}, {3, 0}, {2, 4}, {4, 1}, {5, 6}, {6, 7}, {0, 4}, {4, 7}, {5, 0}}));
  EXPECT_EQ(obj.lmax, 11);
}

TEST(BuildEdges, EarlierLinesComeFirstAndAbsorbEqualOnes) {
  WScene scene = OneObject(4);
  WObject& obj = scene.objects[0];
  for (const auto& p : Pairs{{2, 1}, {3, 3}, {1, 2}, {3, 3}, {0, 9}}) AddLineBetween(obj, p.first, p.second);
  AddFaceOver(obj, {0, 1, 2});
  BuildEdges(scene);
  // (2, 1) absorbs (1, 2) and the side 1 -> 2. A line from a vertex to
  // itself is merged with nothing, not even an equal one; a line to a vertex
  // that does not exist stays as it is.
  EXPECT_EQ(LinesOf(obj), (Pairs{{2, 1}, {3, 3}, {3, 3}, {0, 9}, {0, 1}, {2, 0}}));
  EXPECT_EQ(Corners(obj.faces[0], &WFace::e), (Ints{4, 0, 5}));
}

TEST(BuildEdges, NothingToDoAndBadIndices) {
  // No vertices: lines and sides stay as they are.
  WScene scene = OneObject(0);
  WObject& obj = scene.objects[0];
  AddLineBetween(obj, 0, 3);
  AddFaceOver(obj, {0, 1, 2});
  obj.faces[0].SideLines()[1] = 7;
  BuildEdges(scene);
  EXPECT_EQ(obj.lnum, 1);
  EXPECT_EQ(Corners(obj.faces[0], &WFace::e), (Ints{-1, 7, -1}));

  // Sides touching a vertex index out of range get no line.
  WScene bad = OneObject(3);
  AddFaceOver(bad.objects[0], {0, 1, 5, -2, 2});
  BuildEdges(bad);
  EXPECT_EQ(Corners(bad.objects[0].faces[0], &WFace::e), (Ints{0, -1, -1, -1, 1}));
  EXPECT_EQ(bad.objects[0].lnum, 2);
}

TEST(BuildEdges, SameAsMergingEverySide) {
  // Random objects, against the edge list built the long way: a line for
  // every side, then at each vertex every later line with the same far end
  // merged into the earlier. Lines from a vertex to itself take no part.
  // Up to 16 vertices, so that some vertex meets more distinct neighbours
  // than a short list holds.
  std::mt19937 rng(11);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  for (int round = 0; round < 300; ++round) {
    WScene scene = OneObject(1 + below(16));
    WObject& obj = scene.objects[0];
    for (int i = below(5); i > 0; --i) {
      const int l = AddLineBetween(obj, below(obj.vnum), below(obj.vnum));
      if (below(6) == 0) obj.lines[l].flags |= kDeleted;
    }
    for (int f = below(16); f > 0; --f) {
      const int face = obj.AddFace(1 + below(6));
      for (int k = 0; k < obj.faces[face].num; ++k) obj.faces[face].v[k] = below(obj.vnum);
    }

    WObject expected = obj;
    for (int f = 0; f < expected.fnum; ++f) {
      WFace& face = expected.faces[f];
      for (int k = 0; k < face.num; ++k) {
        const int a = face.v[k], b = face.v[(k + 1) % face.num];
        face.SideLines()[k] = a == b ? -1 : AddLineBetween(expected, a, b);
      }
    }
    std::vector<std::vector<std::pair<int, int>>> ends(static_cast<size_t>(expected.vnum));  // line, far end
    for (int i = 0; i < expected.lnum; ++i) {
      const WLine& line = expected.lines[i];
      if ((line.flags & kDeleted) || line.v[0] == line.v[1]) continue;
      ends[static_cast<size_t>(line.v[0])].push_back({i, line.v[1]});
      ends[static_cast<size_t>(line.v[1])].push_back({i, line.v[0]});
    }
    for (const auto& list : ends)
      for (size_t i = 0; i < list.size(); ++i)
        for (size_t j = i + 1; j < list.size(); ++j) {
          WLine& later = expected.lines[list[j].first];
          if (!(expected.lines[list[i].first].flags & kDeleted) && !(later.flags & kDeleted) &&
              list[j].second == list[i].second) {
            later.flags |= kDeleted;
            later.remap = list[i].first;
          }
        }
    expected.Compact();

    BuildEdges(scene);
    ASSERT_EQ(obj.lnum, expected.lnum) << "round " << round;
    EXPECT_EQ(obj.lmax, expected.lmax);
    EXPECT_EQ(LinesOf(obj), LinesOf(expected)) << "round " << round;
    for (int i = 0; i < obj.lnum; ++i) {
      EXPECT_EQ(obj.lines[i].flags, expected.lines[i].flags) << "round " << round;
      EXPECT_EQ(obj.lines[i].remap, expected.lines[i].remap) << "round " << round;
    }
    for (int f = 0; f < obj.fnum; ++f)
      ASSERT_EQ(Corners(obj.faces[f], &WFace::e), Corners(expected.faces[f], &WFace::e)) << "round " << round;
  }
}
