// The ear clipper's fallback corner test through the tree of corners,
// against the walk over every remaining corner: the tree may only pass over
// corners that the inside-or-on test would not accept.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "test_scenes.h"
#include "w_lib/triangulation/corner_tree.h"

namespace {

uint32_t Next(uint32_t& seed) { return (seed = seed * 1664525u + 1013904223u) >> 8; }

// The fallback's test, as the clipper computes it: p on the inner side of,
// or on, each of the triangle's edges, seen along the normal.
bool InsideOrOn(const WVector& n, const WVector& a, const WVector& b, const WVector& c, const WVector& p) {
  const auto side = [&n](const WVector& s, const WVector& e, const WVector& q) {
    const double ux = double(e.x) - s.x, uy = double(e.y) - s.y, uz = double(e.z) - s.z;
    const double vx = double(q.x) - s.x, vy = double(q.y) - s.y, vz = double(q.z) - s.z;
    return n.x * (uy * vz - uz * vy) + n.y * (uz * vx - ux * vz) + n.z * (ux * vy - uy * vx);
  };
  return side(a, b, p) >= 0.0 && side(b, c, p) >= 0.0 && side(c, a, p) >= 0.0;
}

}  // namespace

TEST(CornerTree, FindsWhatTheWalkOverEveryCornerFinds) {
  uint32_t seed = 5;
  int bounded = 0, declined = 0, blocked = 0;
  for (int shape = 0; shape < 8; ++shape) {
    WScene scene;
    WObject& obj = AddObjectAt(scene, "poly");
    const int n = 300 + 200 * (shape % 2);
    const int f = obj.AddFace(n);
    for (int k = 0; k < n; ++k) {
      // Shape 5 is a circle of 20 points, each repeated in a run of corners.
      const double a = 6.283185307179586 * (shape == 5 ? k / 25 * 25 : k) / n;
      double r = 100.0, x, y, z = 0.0;
      if (shape == 1) r = k % 2 ? 20.0 : 100.0;           // a star of thin spikes
      if (shape == 2) r = 100.0 + Next(seed) % 50;         // noise, tilted below
      x = r * std::cos(a), y = r * std::sin(a);
      if (shape == 2) z = 0.4 * x + 0.1 * y;
      if (shape == 3) x = Next(seed) % 9, y = Next(seed) % 9;  // a coarse grid: repeats, collinear runs
      if (shape == 4) z = Next(seed) % 60;                 // off any plane
      if (shape >= 6) {  // a strip along a slanted run, straight or bowed: slivers
        const double i = k < n - 2 ? k : k == n - 2 ? n - 3 : 0;
        const double h = k >= n - 2 ? 300.0 : shape == 7 ? 4.0 * i * (n - 3 - i) / (double(n) * n) : 0.0;
        x = 500.0 * i * std::cos(0.3) - h * std::sin(0.3);
        y = 500.0 * i * std::sin(0.3) + h * std::cos(0.3);
      }
      obj.faces[f].v[k] = AddVertexAt(obj, float(x), float(y), float(z));
    }
    ComputeFaceNormals(scene);
    // The normal comes from the first corners, which a run puts on one point.
    if (shape == 5) obj.faces[f].normal = WVector(0, 0, 1);
    for (int flip = 0; flip < 2; ++flip) {
      if (flip) obj.faces[f].normal = -obj.faces[f].normal;
      const WFace& face = obj.faces[f];
      const auto pos = [&](int k) { return obj.vertices[face.v[k]].pos; };
      CornerTree tree(obj, face);
      tree.Reset();
      std::vector<char> removed(n, 0);
      for (int round = 0; round < 3 * n; ++round) {
        if (round % 3 == 0) {  // clip a corner now and then
          const int k = static_cast<int>(Next(seed) % n);
          removed[k] = 1;
          tree.Remove(k);
        }
        // Neighbours, as an ear is, or any three corners, or three with two
        // or all on one point.
        const int i = static_cast<int>(Next(seed) % n);
        const int step = round % 2 ? 1 : 1 + static_cast<int>(Next(seed) % (n / 2));
        int j = (i + step) % n, l = (j + step) % n;
        if (round % 5 == 2) j = i;
        if (round % 10 == 4) j = l = i;
        const WVector a = pos(i), b = pos(j), c = pos(l);
        // As the clipper asks: a corner on one of the triangle's points does
        // not block it.
        const auto blocks = [&](int k) {
          const WVector p = pos(k);
          return !(p == a || p == b || p == c) && InsideOrOn(face.normal, a, b, c, p);
        };
        bool expected = false;
        for (int k = 0; k < n && !expected; ++k) expected = !removed[k] && blocks(k);
        bool found = false;
        if (!tree.FindCorner(a, b, c, blocks, &found)) {
          ++declined;
          continue;
        }
        ++bounded;
        blocked += expected;
        ASSERT_EQ(found, expected) << "shape " << shape << ", corners " << i << " " << j << " " << l;
      }
    }
  }
  // Both answers came up, and triangles too thin to bound were rare.
  EXPECT_GT(blocked, 500);
  EXPECT_GT(bounded - blocked, 500);
  EXPECT_LT(declined, bounded / 20);
}

TEST(CornerTree, SmallOrUnboundedPolygonsAreLeftToTheWalk) {
  for (const int n : {10, 200}) {
    WScene scene;
    WObject& obj = AddObjectAt(scene, "poly");
    const int f = obj.AddFace(n);
    for (int k = 0; k < n; ++k) obj.faces[f].v[k] = AddVertexAt(obj, float(k % 7), float(k / 7), 0.0f);
    ComputeFaceNormals(scene);
    const auto never = [](int) { return true; };
    bool found = false;
    const WVector a(0, 0, 0), b(5, 0, 0), c(0, 5, 0);
    if (n == 10) {
      CornerTree tree(obj, obj.faces[f]);
      EXPECT_FALSE(tree.FindCorner(a, b, c, never, &found));  // too few corners
      continue;
    }
    obj.faces[f].normal = WVector();  // no plane to see the corners in
    CornerTree flat(obj, obj.faces[f]);
    EXPECT_FALSE(flat.FindCorner(a, b, c, never, &found));
    obj.faces[f].normal = WVector(0, 0, 1);
    obj.vertices[obj.faces[f].v[3]].pos.x = std::nanf("");
    CornerTree broken(obj, obj.faces[f]);
    EXPECT_FALSE(broken.FindCorner(a, b, c, never, &found));
    EXPECT_FALSE(found);
  }
}
