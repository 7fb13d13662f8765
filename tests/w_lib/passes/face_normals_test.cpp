// Face normals: the corner closest to a right angle, the direction vote,
// degenerate faces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "test_scenes.h"

namespace {

// The normal of one face over the given points, in order.
WVector NormalOf(const std::vector<WVector>& points) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "face");
  const int f = obj.AddFace(static_cast<int>(points.size()));
  for (size_t k = 0; k < points.size(); ++k) obj.faces[f].v[k] = AddVertexAt(obj, points[k].x, points[k].y, points[k].z);
  ComputeFaceNormals(scene);
  return scene.objects[0].faces[0].normal;
}

}  // namespace

TEST(TriangleNormal, CounterClockwiseFacesTheViewer) {
  EXPECT_EQ(TriangleNormal(WVector(0, 0, 0), WVector(1, 0, 0), WVector(0, 1, 0)), WVector(0, 0, 1));
  EXPECT_EQ(TriangleNormal(WVector(0, 1, 0), WVector(1, 0, 0), WVector(0, 0, 0)), WVector(0, 0, -1));
  EXPECT_EQ(TriangleNormal(WVector(0, 0, 0), WVector(0, 0, 2), WVector(0, 0, 5)), WVector());
}

TEST(ComputeFaceNormals, TriangleRectangleAndPolygons) {
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), WVector(0, 0, 1));
  EXPECT_EQ(NormalOf({{0, 0, 0}, {2, 0, 0}, {2, 0, 1}, {0, 0, 1}}), WVector(0, -1, 0));
  // Eight corners, four of them on straight sides (cosine 1, never taken;
  // their triangles vote for neither side).
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 2, 0}, {1, 2, 0}, {0, 2, 0}, {0, 1, 0}}),
            WVector(0, 0, 1));
}

TEST(ComputeFaceNormals, FirstRightAngleWinsOnANonPlanarQuad) {
  // Right angles at B (the first corner looked at, sides to A and C) and at
  // A (the last), whose triangle leans: (D - A) x (A - B) = (0, -2, 6). B's
  // triangle (0, 0, 1) is kept.
  EXPECT_EQ(NormalOf({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 3, 1}}), WVector(0, 0, 1));
  // Rotated so that A's corner comes first: its triangle wins the tie.
  const WVector n = NormalOf({{0, 3, 1}, {0, 0, 0}, {2, 0, 0}, {2, 2, 0}});
  const WVector leaning = WVector(0, -2, 6).Normalized();
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_NEAR(n.y, leaning.y, 1e-6f);
  EXPECT_NEAR(n.z, leaning.z, 1e-6f);
}

TEST(ComputeFaceNormals, ConcaveFacesFollowTheMajority) {
  // An L-shaped hexagon, counter-clockwise seen from +z, listed from the
  // corner before the reflex one: every corner is a right angle, so the
  // reflex corner's triangle (0, 0, -1) is taken first; the five convex
  // corners outvote it.
  EXPECT_EQ(NormalOf({{2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {0, 0, 0}, {2, 0, 0}}), WVector(0, 0, 1));
  // Clockwise it is the other way round.
  EXPECT_EQ(NormalOf({{2, 0, 0}, {0, 0, 0}, {0, 2, 0}, {1, 2, 0}, {1, 1, 0}, {2, 1, 0}}), WVector(0, 0, -1));
}

TEST(ComputeFaceNormals, DegenerateFacesGetZero) {
  EXPECT_EQ(NormalOf({}), WVector());
  EXPECT_EQ(NormalOf({{0, 0, 0}}), WVector());
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1, 0, 0}}), WVector());
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}), WVector());
  EXPECT_EQ(NormalOf({{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}), WVector());
  // A point repeated next to itself: the other corners still give one.
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}}), WVector(0, 0, 1));
}

TEST(ComputeFaceNormals, BadVertexIndicesGiveZeroAndNeverReadOutside) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "face", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  const int f = AddFaceOver(obj, {0, 3, 2});
  obj.faces[f].normal = WVector(5, 5, 5);
  const int g = AddFaceOver(obj, {0, -1, 2});
  const int h = AddFaceOver(obj, {0, 1, 2});  // still fine
  ComputeFaceNormals(scene);
  EXPECT_EQ(obj.faces[f].normal, WVector());
  EXPECT_EQ(obj.faces[g].normal, WVector());
  EXPECT_EQ(obj.faces[h].normal, WVector(0, 0, 1));
}

namespace {

// The face normal exactly as the rule reads, corner by corner.
WVector RuleFaceNormal(const std::vector<WVector>& p) {
  const int n = static_cast<int>(p.size());
  if (n < 3) return WVector();
  WVector best;
  float smallest = 1.0f;
  for (int i = 0; i < n; ++i) {
    const WVector &a = p[i], &b = p[(i + 1) % n], &c = p[(i + 2) % n];
    const WVector cur = TriangleNormal(a, b, c);
    const WVector d1 = (a - b).Normalized();
    const WVector d2 = (c - b).Normalized();
    if (d1.Length() == 0.0f || d2.Length() == 0.0f) continue;
    const float cosine = std::fabs(Dot(d1, d2));
    if (cosine < smallest) {
      smallest = cosine;
      best = cur.Normalized();
    }
  }
  if (best.Length() == 0.0f) return WVector();
  int agree = 0, disagree = 0;
  for (int i = 0; i < n; ++i) {
    const float s = Dot(TriangleNormal(p[i], p[(i + 1) % n], p[(i + 2) % n]), best);
    if (s > 0) ++agree;
    if (s < 0) ++disagree;
  }
  return disagree > agree ? -best : best;
}

}  // namespace

TEST(ComputeFaceNormals, BitForBitTheRuleOnRandomPolygons) {
  // Coordinates from a few repeating values (repeated points, collinear and
  // right-angled corners), arbitrary ones, and extremes whose squares
  // overflow or underflow.
  const float picks[] = {0, 1, -1, 2, 0.5f, 1e20f, 1e-25f, -3e19f, 7e-23f};
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> any(-10, 10);
  for (int round = 0; round < 3000; ++round) {
    const int n = 3 + static_cast<int>(rng() % 6);
    std::vector<WVector> points;
    for (int k = 0; k < n; ++k) {
      WVector p;
      for (float* c : {&p.x, &p.y, &p.z}) *c = rng() % 3 == 0 ? any(rng) : picks[rng() % 9];
      if (k > 0 && rng() % 5 == 0) p = points.back();
      points.push_back(p);
    }
    const WVector normal = NormalOf(points);
    const WVector expected = RuleFaceNormal(points);
    ASSERT_EQ(std::memcmp(&normal, &expected, sizeof expected), 0) << "round " << round;
  }
}
