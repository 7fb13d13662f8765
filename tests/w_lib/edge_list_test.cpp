// Edge list: one line per undirected vertex pair, lowest index first, sides
// naming their lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "test_scenes.h"

namespace {

WScene OneObject(int vertices) {
  WScene scene;
  const int o = scene.AddObject("edges");
  for (int i = 0; i < vertices; ++i) AddVertexAt(scene.objects[o], static_cast<float>(i), 0, 0);
  return scene;
}

void ExpectLine(const WObject& obj, int i, int a, int b) {
  ASSERT_LT(i, obj.lnum);
  EXPECT_EQ(obj.lines[i].v[0], a) << "line " << i;
  EXPECT_EQ(obj.lines[i].v[1], b) << "line " << i;
}

}  // namespace

TEST(BuildEdges, SharedSidesShareALineInOrderOfFirstAppearance) {
  WScene scene = OneObject(4);
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0, 1, 2});
  AddFaceOver(obj, {2, 1, 3});
  BuildEdges(scene);
  ASSERT_EQ(obj.lnum, 5);
  EXPECT_EQ(obj.lmax, 5);
  ExpectLine(obj, 0, 0, 1);
  ExpectLine(obj, 1, 1, 2);
  ExpectLine(obj, 2, 2, 0);
  ExpectLine(obj, 3, 1, 3);
  ExpectLine(obj, 4, 3, 2);
  EXPECT_EQ(obj.faces[0].e[2], 2);
  EXPECT_EQ(obj.faces[1].e[0], 1);
  EXPECT_EQ(obj.faces[1].e[1], 3);
  EXPECT_EQ(obj.faces[1].e[2], 4);
  EXPECT_EQ(obj.lines[4].remap, 4);
}

TEST(BuildEdges, QuadsRepeatsSameWindingAndPolygons) {
  WScene scene = OneObject(8);
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0, 1, 2, 3});
  AddFaceOver(obj, {1, 2, 4});        // shares 1 -> 2 in the same direction
  AddFaceOver(obj, {5, 5, 6});        // a side of length zero
  AddFaceOver(obj, {6, 7});           // two corners: both sides one line
  AddFaceOver(obj, {0, 4, 7, 6, 5});  // five corners
  BuildEdges(scene);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(obj.faces[0].e[k], k);
  EXPECT_EQ(obj.faces[1].e[0], 1);
  EXPECT_EQ(obj.faces[1].e[1], 4);  // 2 4
  EXPECT_EQ(obj.faces[1].e[2], 5);  // 4 1
  EXPECT_EQ(obj.faces[2].e[0], -1);
  EXPECT_EQ(obj.faces[2].e[1], 6);  // 5 6
  EXPECT_EQ(obj.faces[2].e[2], 6);  // 6 5, the same pair
  EXPECT_EQ(obj.faces[3].e[0], 7);  // 6 7
  EXPECT_EQ(obj.faces[3].e[1], 7);
  const int pentagon[5] = {8, 9, 7, 6, 10};  // 0 4, 4 7, 7 6, 6 5, 5 0
  for (int k = 0; k < 5; ++k) EXPECT_EQ(obj.faces[4].e[k], pentagon[k]);
  ASSERT_EQ(obj.lnum, 11);
  ExpectLine(obj, 5, 4, 1);
  ExpectLine(obj, 6, 5, 6);
  ExpectLine(obj, 7, 6, 7);
  ExpectLine(obj, 10, 5, 0);
}

TEST(BuildEdges, EarlierLinesComeFirstAndAbsorbEqualOnes) {
  WScene scene = OneObject(4);
  WObject& obj = scene.objects[0];
  const int pairs[5][2] = {{2, 1}, {3, 3}, {1, 2}, {3, 3}, {0, 9}};
  for (const auto& p : pairs) {
    const int i = obj.AddLine();
    obj.lines[i].v[0] = p[0];
    obj.lines[i].v[1] = p[1];
  }
  AddFaceOver(obj, {0, 1, 2});
  BuildEdges(scene);
  // (2, 1) absorbs (1, 2) and the side 1 -> 2. A line from a vertex to
  // itself is merged with nothing, not even an equal one; a line to a vertex
  // that does not exist stays as it is.
  ASSERT_EQ(obj.lnum, 6);
  ExpectLine(obj, 0, 2, 1);
  ExpectLine(obj, 1, 3, 3);
  ExpectLine(obj, 2, 3, 3);
  ExpectLine(obj, 3, 0, 9);
  ExpectLine(obj, 4, 0, 1);
  ExpectLine(obj, 5, 2, 0);
  EXPECT_EQ(obj.faces[0].e[0], 4);
  EXPECT_EQ(obj.faces[0].e[1], 0);
  EXPECT_EQ(obj.faces[0].e[2], 5);
}

TEST(BuildEdges, AFanCentreWithThousandsOfLines) {
  const int spokes = 4000;
  WScene scene = OneObject(spokes + 1);
  WObject& obj = scene.objects[0];
  // A closed fan around vertex 0: triangle t is (0, t + 1, t + 2), the last
  // wrapping round to vertex 1.
  for (int t = 0; t < spokes; ++t) AddFaceOver(obj, {0, t + 1, (t + 1) % spokes + 1});
  BuildEdges(scene);
  // Triangle 0 makes 3 lines, every later one 2 (its rim side and its
  // second spoke), the last only its rim side.
  ASSERT_EQ(obj.lnum, 2 * spokes);
  for (int t = 1; t < spokes - 1; ++t) {
    const WFace& face = obj.faces[t];
    EXPECT_EQ(face.e[0], obj.faces[t - 1].e[2]);  // the spoke to t + 1
    ExpectLine(obj, face.e[1], t + 1, t + 2);
    ExpectLine(obj, face.e[2], t + 2, 0);
  }
  EXPECT_EQ(obj.faces[spokes - 1].e[2], obj.faces[0].e[0]);
}

TEST(BuildEdges, NothingToDoAndBadIndices) {
  // No vertices: lines and sides stay as they are.
  WScene scene;
  const int o = scene.AddObject("none");
  WObject& obj = scene.objects[o];
  const int l = obj.AddLine();
  obj.lines[l].v[1] = 3;
  AddFaceOver(obj, {0, 1, 2});
  obj.faces[0].e[1] = 7;
  BuildEdges(scene);
  EXPECT_EQ(obj.lnum, 1);
  EXPECT_EQ(obj.faces[0].e[0], -1);
  EXPECT_EQ(obj.faces[0].e[1], 7);

  // Sides touching a vertex index out of range get no line.
  WScene bad = OneObject(3);
  AddFaceOver(bad.objects[0], {0, 1, 5, -2, 2});
  BuildEdges(bad);
  const WFace& face = bad.objects[0].faces[0];
  EXPECT_EQ(face.e[0], 0);
  EXPECT_EQ(face.e[1], -1);
  EXPECT_EQ(face.e[2], -1);
  EXPECT_EQ(face.e[3], -1);
  EXPECT_EQ(face.e[4], 1);
  EXPECT_EQ(bad.objects[0].lnum, 2);
}

namespace {

// The edge list built the long way: a line for every side, then at each
// vertex every later line with the same far end merged into the earlier.
// Lines from a vertex to itself take no part.
void MergingBuildEdges(WObject& obj) {
  for (int f = 0; f < obj.fnum; ++f) {
    const int n = obj.faces[f].num;
    for (int k = 0; k < n; ++k) {
      const int a = obj.faces[f].v[k], b = obj.faces[f].v[(k + 1) % n];
      if (a == b) {
        obj.faces[f].e[k] = -1;
        continue;
      }
      const int i = obj.AddLine();
      obj.lines[i].v[0] = a;
      obj.lines[i].v[1] = b;
      obj.faces[f].e[k] = i;
    }
  }
  std::vector<std::vector<std::pair<int, int>>> lists(static_cast<size_t>(obj.vnum));
  for (int i = 0; i < obj.lnum; ++i)
    for (int end = 0; end < 2; ++end) lists[static_cast<size_t>(obj.lines[i].v[end])].push_back({i, end});
  const auto alive = [&obj](int l) { return !(obj.lines[l].flags & kDeleted) && obj.lines[l].v[0] != obj.lines[l].v[1]; };
  for (const auto& list : lists)
    for (size_t i = 0; i < list.size(); ++i) {
      const int l1 = list[i].first;
      if (!alive(l1)) continue;
      const int o1 = obj.lines[l1].v[1 - list[i].second];
      for (size_t j = i + 1; j < list.size(); ++j) {
        const int l2 = list[j].first;
        if (alive(l2) && obj.lines[l2].v[1 - list[j].second] == o1) {
          obj.lines[l2].flags |= kDeleted;
          obj.lines[l2].remap = l1;
        }
      }
    }
  obj.Compact();
}

}  // namespace

TEST(BuildEdges, SameAsMergingEverySide) {
  std::mt19937 rng(11);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  for (int round = 0; round < 200; ++round) {
    WScene scene = OneObject(1 + below(7));
    WObject& obj = scene.objects[0];
    const int old_lines = below(5);
    for (int i = 0; i < old_lines; ++i) {
      const int l = obj.AddLine();
      obj.lines[l].v[0] = below(obj.vnum);
      obj.lines[l].v[1] = below(obj.vnum);
      if (below(6) == 0) obj.lines[l].flags |= kDeleted;
    }
    const int faces = below(8);
    for (int f = 0; f < faces; ++f) {
      const int n = 1 + below(6);
      const int face = obj.AddFace(n);
      for (int k = 0; k < n; ++k) obj.faces[face].v[k] = below(obj.vnum);
    }
    WObject expected = obj;
    MergingBuildEdges(expected);
    BuildEdges(scene);
    ASSERT_EQ(obj.lnum, expected.lnum) << "round " << round;
    EXPECT_EQ(obj.lmax, expected.lmax);
    for (int i = 0; i < obj.lnum; ++i) {
      EXPECT_EQ(obj.lines[i].v[0], expected.lines[i].v[0]) << "round " << round;
      EXPECT_EQ(obj.lines[i].v[1], expected.lines[i].v[1]) << "round " << round;
      EXPECT_EQ(obj.lines[i].flags, expected.lines[i].flags) << "round " << round;
      EXPECT_EQ(obj.lines[i].remap, expected.lines[i].remap) << "round " << round;
    }
    for (int f = 0; f < obj.fnum; ++f)
      for (int k = 0; k < obj.faces[f].num; ++k) ASSERT_EQ(obj.faces[f].e[k], expected.faces[f].e[k]) << "round " << round;
  }
}
