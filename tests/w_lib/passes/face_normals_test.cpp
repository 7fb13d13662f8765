// Face normals: the corner closest to a right angle, the direction vote,
// degenerate faces.
#include <gtest/gtest.h>

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

TEST(ComputeFaceNormals, TheCornerIsChosenByItsCosineNotItsSideLengths) {
  // A non-planar quad A B C D. C's sides (-10, 0, 0) and (1, 10, 0) are
  // long and nearly square (cosine 0.0995); B's (0.6, 0, 0.8) and
  // (10, 0, 0) have cosine 0.6, D's 0.76 and A's 0.39, though A's and B's
  // dot products (5.6 and 6) are below C's (10). C's triangle (B - C) x
  // (C - D) = (0, 0, 100) is taken; of the other corners' triangles D's
  // (8, -0.8, 94) agrees, A's (8, -8.8, -6) disagrees and B's (0, -8, 0)
  // votes for neither side.
  EXPECT_EQ(NormalOf({{0.6f, 0, 0.8f}, {0, 0, 0}, {10, 0, 0}, {11, 10, 0}}), WVector(0, 0, 1));
}

TEST(ComputeFaceNormals, ATiedVoteKeepsTheChosenCorner) {
  // A bow tie: all four corners have cosine 0.7071, so B's comes first with
  // its triangle (0, 0, 4); the triangles of C and D face -z, A's +z: two
  // against two turn nothing round.
  EXPECT_EQ(NormalOf({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {2, 2, 0}}), WVector(0, 0, 1));
}

TEST(ComputeFaceNormals, SidesTooLongOrShortToSquareCountAsRepeatedPoints) {
  // The square of a side 1e20 long overflows, of one 1e-25 long
  // underflows: either normalises to zero, like a side between repeated
  // points, so the corners at it are passed over.
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1e20f, 0, 0}, {0, 1e20f, 0}}), WVector());
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1e-25f, 0, 0}, {0, 1e-25f, 0}}), WVector());
  // A square of side 2 with a corner 1e-25 past its first: that corner and
  // the first are passed over, the second corner along (2, 0, 0) is a right
  // angle, (P1 - P2) x (P2 - P3) = (0, 0, 4), and the other triangles agree
  // or, the one of the three points in a row, vote for neither side.
  EXPECT_EQ(NormalOf({{0, 0, 0}, {1e-25f, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}), WVector(0, 0, 1));
  // -3e19 beside two points 7e-23 from the origin: the two long sides
  // overflow, and every corner touches one of them.
  EXPECT_EQ(NormalOf({{-3e19f, 0, 0}, {0, 7e-23f, 0}, {0, 0, 7e-23f}}), WVector());
}
