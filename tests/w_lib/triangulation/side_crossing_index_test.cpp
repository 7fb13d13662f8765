// The ear clipper's indexed side test against the walk over every side, on
// polygons whose sides are long, slanted, dense, collinear or off the plane:
// the index may only pass over sides that cannot be crossed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "test_scenes.h"
#include "w_lib/triangulation/side_crossing_index.h"

namespace {

struct Shape {
  std::string name;
  std::vector<WVector> corners;
};

uint32_t Next(uint32_t& seed) { return (seed = seed * 1664525u + 1013904223u) >> 8; }

std::vector<Shape> Shapes() {
  std::vector<Shape> shapes;
  const double kTurn = 6.283185307179586;
  const auto ring = [&](const std::string& name, int n, auto radius, auto height) {
    Shape s{name, {}};
    for (int k = 0; k < n; ++k) {
      const double a = kTurn * k / n, r = radius(k);
      const float x = float(r * std::cos(a)), y = float(r * std::sin(a));
      s.corners.emplace_back(x, y, float(height(k, x, y)));
    }
    shapes.push_back(s);
  };
  const auto flat = [](int, float, float) { return 0.0; };
  // Spikes far longer than their spacing, pointing every way.
  ring("star", 1200, [](int k) { return k % 2 ? 10.0 : 100.0; }, flat);
  ring("shallow star", 1200, [](int k) { return k % 2 ? 99.0 : 100.0; }, flat);
  // A sawtooth of radii, and the same on a tilted plane.
  ring("wobble", 1000, [](int k) { return 100.0 + (k * 2 % 13); }, flat);
  ring("tilted wobble", 1000, [](int k) { return 100.0 + (k * 2 % 13); },
       [](int, float x, float y) { return 0.3 * x - 0.2 * y; });
  // Sides that climb almost along the normal: a fence around a ring.
  ring("fence", 1000, [](int k) { return 100.0 + (k % 4 == 1 ? 3.0 : 0.0); },
       [](int k, float, float) { return k % 2 ? 60.0 : 0.0; });
  uint32_t seed = 7;
  // Off any plane: the stored normal is only roughly square to the sides.
  ring("bumpy", 800, [&](int) { return 100.0 + Next(seed) % 40; }, [&](int, float, float) { return Next(seed) % 30; });
  // Small sides far from the origin, where the coordinates' rounding is coarse.
  ring("far", 600, [](int k) { return 0.01 + (k % 3) * 0.004; },
       [](int, float, float) { return 0.0; });
  for (WVector& p : shapes.back().corners) p = p + WVector(40000.0f, -25000.0f, 0.0f);
  // Teeth over a straight run back: diagonals lie along whole rows of sides.
  Shape comb{"comb", {}};
  for (int k = 0; k < 300; ++k) comb.corners.emplace_back(float(k), k % 2 ? 50.0f : 0.0f, 0.0f);
  for (int k = 299; k >= 0; --k) comb.corners.emplace_back(float(k), -1.0f, 0.0f);
  shapes.push_back(comb);
  // Corners on a coarse grid: repeated points, collinear runs, sides that
  // cross each other.
  Shape grid{"grid", {}};
  for (int k = 0; k < 500; ++k) grid.corners.emplace_back(float(Next(seed) % 12), float(Next(seed) % 12), 0.0f);
  shapes.push_back(grid);
  // Runs of corners on one point: every side of a run has no length, and
  // diagonals start and end on the runs.
  Shape runs{"runs", {}};
  for (int k = 0; k < 40; ++k) {
    const double a = kTurn * k / 40, r = k % 2 ? 40.0 : 100.0;
    const WVector p(float(r * std::cos(a)), float(r * std::sin(a)), 0.0f);
    for (int i = 0, repeats = 1 + static_cast<int>(Next(seed) % 25); i < repeats; ++i) runs.corners.push_back(p);
  }
  shapes.push_back(runs);
  // Corners in turn on two points, then a star around them: hundreds of
  // sides lie on one segment, both ways round.
  Shape zigzag{"zigzag", {}};
  for (int k = 0; k < 200; ++k) zigzag.corners.push_back(k % 2 ? WVector(40, 10, 0) : WVector(0, 0, 0));
  for (int k = 0; k < 100; ++k) {
    const double a = kTurn * k / 100, r = k % 2 ? 60.0 : 150.0;
    zigzag.corners.emplace_back(float(r * std::cos(a)), float(r * std::sin(a)), 0.0f);
  }
  shapes.push_back(zigzag);
  return shapes;
}

// The shape as the one face of a new object "poly", with its computed
// normal; returns the face's index.
int AddShapeFace(WScene& scene, const Shape& shape) {
  WObject& obj = AddObjectAt(scene, "poly");
  const int n = static_cast<int>(shape.corners.size());
  const int f = obj.AddFace(n);
  for (int k = 0; k < n; ++k) {
    const WVector& p = shape.corners[static_cast<size_t>(k)];
    obj.faces[f].v[k] = AddVertexAt(obj, p.x, p.y, p.z);
  }
  ComputeFaceNormals(scene);
  return f;
}

}  // namespace

TEST(SideCrossingIndex, AnswersAsTheWalkOverEverySide) {
  for (const Shape& shape : Shapes()) {
    // The computed normal, its reverse, one tipped out of the plane and none.
    for (int variant = 0; variant < 4; ++variant) {
      WScene scene;
      const int f = AddShapeFace(scene, shape);
      WObject& obj = scene.objects[0];
      const int n = obj.faces[f].num;
      WVector& normal = obj.faces[f].normal;
      if (variant == 1) normal = -normal;
      if (variant == 2) normal = (normal + WVector(0.6f, 0.0f, 0.0f)).Normalized();
      if (variant == 3) normal = WVector();

      const SideCrossingIndex index(obj, f);
      // Bound tightly from the start: also off the plane, with a normal
      // tipped out of it, or none.
      SideCrossingIndex tight(obj, f);
      tight.BoundTightly();
      uint32_t seed = 99;
      int crossing = 0, clear = 0;
      const auto check = [&](int a, int b) {
        const bool expected = DiagonalCrossesSide(obj, f, a, b);
        ASSERT_EQ(index.Crosses(a, b), expected) << shape.name << " variant " << variant << ": " << a << "-" << b;
        ASSERT_EQ(tight.Crosses(a, b), expected) << shape.name << " variant " << variant << ": " << a << "-" << b;
        ASSERT_EQ(tight.Settle(a, b, false), expected) << shape.name << " variant " << variant << ": " << a << "-" << b;
        ++(expected ? crossing : clear);
      };
      for (int a = 0; a < n; ++a)
        for (int step : {2, 3}) check(a, (a + step) % n);
      for (int i = 0; i < n; ++i) check(static_cast<int>(Next(seed) % n), static_cast<int>(Next(seed) % n));
      if (variant == 3) {
        EXPECT_EQ(crossing, 0) << shape.name;  // no normal: no plane to cross in
      } else {
        EXPECT_GT(crossing, n / 20) << shape.name << " variant " << variant;
        EXPECT_GT(clear, n / 20) << shape.name << " variant " << variant;
      }
    }
  }
}

TEST(SideCrossingIndex, PassingOverTouchingSidesDropsNoRealCrossing) {
  // Once it passes over touching sides, the index may answer "clear" only
  // where every side that the walk finds crossed touches the diagonal: has
  // an end on one of its ends, or lies on its line.
  for (const Shape& shape : Shapes()) {
    WScene scene;
    const int f = AddShapeFace(scene, shape);
    const WObject& obj = scene.objects[0];
    const int n = obj.faces[f].num;
    SideCrossingIndex index(obj, f);
    index.PassOverTouchingSides();
    const WFace& face = obj.faces[f];
    const auto at = [&](int k) { return obj.vertices[face.v[k % n]].pos; };
    double largest = 0.0;
    for (const WVector& p : shape.corners) largest = std::max({largest, double(std::fabs(p.x)), double(std::fabs(p.y)), double(std::fabs(p.z))});
    const auto off_line = [&](const WVector& p, const WVector& a, const WVector& b) {
      const WVector d = b - a, w = p - a;
      return Cross(d, w).Length() / d.Length() > 1e-6 * largest;
    };
    uint32_t seed = 5;
    int dropped = 0;
    const int queries = 4 * n;
    for (int i = 0; i < queries; ++i) {
      const int a = static_cast<int>(Next(seed) % n), b = static_cast<int>(Next(seed) % n);
      const bool exact = DiagonalCrossesSide(obj, f, a, b);
      const bool passing = index.Crosses(a, b);
      ASSERT_TRUE(exact || !passing) << shape.name << ": " << a << "-" << b << " crosses nothing";
      if (exact == passing) continue;
      ++dropped;
      const WVector pa = at(a), pb = at(b);
      for (int s = 0; s < n; ++s) {
        if (s == a || s == b || (s + 1) % n == a || (s + 1) % n == b) continue;
        const WVector p = at(s), q = at(s + 1);
        if (!SegmentCrossesSide(face.normal, pa, pb, p, q)) continue;
        const bool shares_end = p == pa || p == pb || q == pa || q == pb;
        EXPECT_TRUE(shares_end || (!off_line(p, pa, pb) && !off_line(q, pa, pb)))
            << shape.name << ": side " << s << " really crosses " << a << "-" << b;
      }
    }
    // Only the rounding finds the crossings that were passed over; the far
    // shape's sides are but a few units of rounding long, so within
    // rounding of one another's lines.
    if (shape.name != "far") {
      EXPECT_LT(dropped, queries / 20) << shape.name;
    }
  }
}

TEST(SideCrossingIndex, CountsTheTouchingSidesOfLongRuns) {
  // A long straight side of many corners, and a circle: diagonals along the
  // run test every side of it, those of the circle only the sides at their
  // ends.
  for (const bool run : {true, false}) {
    WScene scene;
    WObject& obj = AddObjectAt(scene, "poly");
    const int n = 2000;
    const int f = obj.AddFace(n);
    for (int k = 0; k < n; ++k) {
      const double a = 6.283185307179586 * k / n;
      const WVector p = run ? (k < n - 1 ? WVector(float(k), 0.5f * float(k), 0.0f) : WVector(0.0f, 900.0f, 0.0f))
                            : WVector(float(100.0 * std::cos(a)), float(100.0 * std::sin(a)), 0.0f);
      obj.faces[f].v[k] = AddVertexAt(obj, p.x, p.y, p.z);
    }
    obj.faces[f].normal = WVector(0.0f, 0.0f, 1.0f);
    SideCrossingIndex index(obj, f);
    for (int k = 2; k < n - 1; ++k) index.Crosses(0, k);
    if (run) {
      EXPECT_GT(index.TouchingWork(), 100LL * n);
      const long long before = index.TouchingWork();
      index.PassOverTouchingSides();
      for (int k = 2; k < n - 1; ++k) EXPECT_FALSE(index.Crosses(0, k)) << k;
      EXPECT_EQ(index.TouchingWork(), before);  // passed over, not tested
    } else {
      EXPECT_LT(index.TouchingWork(), 8LL * n);
    }
  }
}

TEST(SideCrossingIndex, CountsSidesPiledThroughTheEndsOfDiagonals) {
  // A flower of petals along the axes and the diagonals between them: a
  // diagonal between the tips of two neighbouring petals ends on every
  // longer petal in their two directions. Those are counted as piled, both
  // before and while passing over touching sides, which does not pass them
  // over; sides that share an end with it are touching, not piled; and the
  // diagonals of a circle end on no side.
  for (const bool flower : {true, false}) {
    WScene scene;
    const int n = 2000;
    if (flower) {
      AddAxisFlowerAt(scene, n, false);
    } else {
      WObject& obj = AddObjectAt(scene, "circle");
      const int f = obj.AddFace(n);
      for (int k = 0; k < n; ++k) {
        const double a = 6.283185307179586 * k / n;
        obj.faces[f].v[k] = AddVertexAt(obj, float(100.0 * std::cos(a)), float(100.0 * std::sin(a)), 0.0f);
      }
    }
    WObject& obj = scene.objects[0];
    obj.faces[0].normal = WVector(0.0f, 0.0f, 1.0f);
    SideCrossingIndex index(obj, 0);
    const int tips = 64;  // the tips of the shortest petals: 1 to 17 units
    for (int pass = 0; pass < 2; ++pass) {
      const long long piled = index.PiledWork(), touching = index.TouchingWork();
      for (int k = 1; k + 2 < 2 * tips; k += 2) EXPECT_FALSE(index.Crosses(k, k + 2)) << k;
      if (!flower) {
        EXPECT_EQ(index.PiledWork(), 0);
      } else {
        // Each of those diagonals ends on some n / 16 - 17 longer petals
        // at each end.
        EXPECT_GT(index.PiledWork() - piled, 30LL * (n / 16 - 17) * tips / 16) << pass;
        EXPECT_LT(index.TouchingWork() - touching, 16LL * tips) << pass;
      }
      index.PassOverTouchingSides();
    }
  }
}

TEST(SideCrossingIndex, SpiralIsLaidAlongSpaceAndAnswersAsTheWalkOverEverySide) {
  // A strip wound round some 240 times, whose tree in the order round the
  // outline holds a side's middle in some boxes of every turn: it is laid
  // along space, a circle's tree is not. Laid so, the index answers as the
  // walk over every side, settling or counting, and counts as the walks
  // that test side by side.
  WScene scene;
  const int n = 30000;
  WObject& obj = AddSpiralAt(scene, n, false);
  ComputeFaceNormals(scene);
  SideCrossingIndex settling(obj, 0), counted(obj, 0), whole(obj, 0), plain(obj, 0), passing(obj, 0);
  EXPECT_TRUE(settling.LaidAlongSpace());
  counted.BoundTightly();
  whole.BoundTightly();
  plain.CountNodesWhole(false);
  passing.PassOverTouchingSides();
  int crossing = 0;
  const auto check = [&](int a, int b) {
    const bool expected = DiagonalCrossesSide(obj, 0, a, b);
    ASSERT_EQ(settling.Settle(a, b, false), expected) << a << "-" << b;
    ASSERT_EQ(settling.Settle(a, b, true), passing.Crosses(a, b)) << a << "-" << b;
    ASSERT_EQ(counted.Answer(a, b, false, false), expected) << a << "-" << b;
    ASSERT_EQ(whole.Crosses(a, b), expected) << a << "-" << b;
    plain.Crosses(a, b);
    ASSERT_EQ(counted.AnsweredTouchingWork(), plain.TouchingWork()) << a << "-" << b;
    ASSERT_EQ(whole.TouchingWork(), plain.TouchingWork()) << a << "-" << b;
    crossing += expected;
  };
  uint32_t seed = 23;
  for (int k = 0; k < n; k += 11) check(k, (k + 2) % n);
  for (int i = 0; i < 400; ++i) check(static_cast<int>(Next(seed) % n), static_cast<int>(Next(seed) % n));
  EXPECT_GT(crossing, 300);

  WScene round;
  WObject& circle = AddObjectAt(round, "circle");
  circle.AddFace(n);
  for (int k = 0; k < n; ++k) {
    const double a = 6.283185307179586 * k / n;
    circle.faces[0].v[k] = AddVertexAt(circle, float(1000.0 * std::cos(a)), float(1000.0 * std::sin(a)), 0.0f);
  }
  ComputeFaceNormals(round);
  EXPECT_FALSE(SideCrossingIndex(circle, 0).LaidAlongSpace());
}

TEST(SideCrossingIndex, AnswersWithoutCountingAsCrossesInEitherMode) {
  // The shapes above, and outlines whose long runs lie along the
  // coordinate axes: a strip from the far corner above its run, a
  // staircase, and a run along z closed by a slanted return, where
  // diagonals end on the runs' lines. Answer gives what Crosses gives
  // before and after passing over touching sides.
  std::vector<Shape> shapes = Shapes();
  Shape strip{"strip", {{0, 300, 0}}};
  for (int k = 0; k < 400; ++k) strip.corners.emplace_back(float(k), 0.0f, 0.0f);
  strip.corners.emplace_back(399.0f, 300.0f, 0.0f);
  shapes.push_back(strip);
  Shape stairs{"stairs", {}};
  for (int k = 0; k < 20; ++k)
    for (int i = 0; i < 20; ++i) stairs.corners.emplace_back(float(20 * k + (k % 2 ? 20 - i : i)), float(k), 0.0f);
  stairs.corners.emplace_back(-5.0f, 25.0f, 0.0f);
  shapes.push_back(stairs);
  Shape upright{"upright", {}};
  for (int k = 0; k < 300; ++k) upright.corners.emplace_back(7.0f, -3.0f, float(k));
  for (int k = 0; k < 100; ++k) upright.corners.emplace_back(7.0f + 0.5f * float(k % 7), -3.0f - float(k), 299.0f - 3.0f * float(k));
  shapes.push_back(upright);
  for (const Shape& shape : shapes) {
    WScene scene;
    const int f = AddShapeFace(scene, shape);
    WObject& obj = scene.objects[0];
    if (shape.name == "upright") obj.faces[f].normal = WVector(1, 0, 0);
    const int n = obj.faces[f].num;
    const SideCrossingIndex exact(obj, f);
    SideCrossingIndex passing(obj, f);
    passing.PassOverTouchingSides();
    SideCrossingIndex answers(obj, f);
    uint32_t seed = 31;
    int crossing = 0;
    const auto check = [&](int a, int b) {
      const bool expected = exact.Crosses(a, b);
      ASSERT_EQ(answers.Answer(a, b, false), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(answers.Answer(a, b, true), passing.Crosses(a, b)) << shape.name << ": " << a << "-" << b << " passing";
      crossing += expected;
    };
    for (int a = 0; a < n; ++a)
      for (int step : {2, 3, n / 3}) check(a, (a + step) % n);
    for (int i = 0; i < 2 * n; ++i) check(static_cast<int>(Next(seed) % n), static_cast<int>(Next(seed) % n));
    if (shape.name != "strip" && shape.name != "upright") {
      EXPECT_GT(crossing, n / 20) << shape.name;
    }
  }
}

TEST(SideCrossingIndex, SettlesAndCountsAsTheWalksThatTestSideBySide) {
  // Long thin strips: straight along x, bowed into the strip by a unit, and
  // straight but turned off the axes, with diagonals from their two far
  // corners to corners all along the run. These run within the tree's
  // margins of hundreds of sides near their ends, and within the side
  // test's rounding of a few. Settle answers as the walk over every side,
  // before and after passing over touching sides, whether the index bounds
  // tightly or not; Answer and Crosses, which take a node that the
  // diagonal runs close along as tested whole, count the touching sides
  // exactly as Crosses testing them one by one; and so does an index that
  // shares another's tree.
  std::vector<Shape> shapes = Shapes();
  const double c = std::cos(0.3), s = std::sin(0.3);
  for (int kind = 0; kind < 3; ++kind) {
    const int run = 12000;
    const double height = kind == 1 ? 300.0 : 40.0;
    Shape strip{kind == 0 ? "strip" : kind == 1 ? "bowed strip" : "turned strip", {}};
    const auto add = [&](double x, double y) {
      if (kind == 2) strip.corners.emplace_back(float(x * c - y * s), float(x * s + y * c), 0.0f);
      else strip.corners.emplace_back(float(x), float(y), 0.0f);
    };
    for (int i = 0; i < run; ++i) add(i, kind == 1 ? 4.0 * i * (run - 1 - i) / (double(run) * run) : 0.0);
    add(run - 1, height);
    add(0, height);
    shapes.push_back(strip);
  }
  for (const Shape& shape : shapes) {
    WScene scene;
    const int f = AddShapeFace(scene, shape);
    const WObject& obj = scene.objects[0];
    const int n = obj.faces[f].num;
    SideCrossingIndex settling(obj, f), loose(obj, f), counted(obj, f), whole(obj, f), plain(obj, f), passing(obj, f);
    for (const SideCrossingIndex* tight : {&settling, &counted, &whole}) tight->BoundTightly();
    plain.CountNodesWhole(false);
    passing.PassOverTouchingSides();
    const SideCrossingIndex* tree_owner = new SideCrossingIndex(obj, f);
    SideCrossingIndex sharing(*tree_owner, SideCrossingIndex::kSharingTree);
    delete tree_owner;  // the tree lives as long as an index over it
    // One made once the first has built its bounds for counting shares
    // them, and is bound from the start.
    const SideCrossingIndex* bounds_owner = new SideCrossingIndex(obj, f);
    bounds_owner->BoundForCounting();
    SideCrossingIndex sharing_bounds(*bounds_owner, SideCrossingIndex::kSharingTree);
    EXPECT_EQ(sharing_bounds.TightlyBound(), bounds_owner->TightlyBound()) << shape.name;
    delete bounds_owner;
    int crossing = 0;
    const auto check = [&](int a, int b) {
      const bool expected = DiagonalCrossesSide(obj, f, a, b);
      ASSERT_EQ(settling.Settle(a, b, false), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(settling.Settle(a, b, true), passing.Crosses(a, b)) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(loose.Settle(a, b, false), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(counted.Answer(a, b, false, false), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(whole.Crosses(a, b), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing.Answer(a, b, false, false), expected) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing_bounds.Answer(a, b, false, false), expected) << shape.name << ": " << a << "-" << b;
      plain.Crosses(a, b);
      ASSERT_EQ(counted.AnsweredTouchingWork(), plain.TouchingWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing.AnsweredTouchingWork(), plain.TouchingWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing_bounds.AnsweredTouchingWork(), plain.TouchingWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(whole.TouchingWork(), plain.TouchingWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(counted.AnsweredPiledWork(), plain.PiledWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing.AnsweredPiledWork(), plain.PiledWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(sharing_bounds.AnsweredPiledWork(), plain.PiledWork()) << shape.name << ": " << a << "-" << b;
      ASSERT_EQ(whole.PiledWork(), plain.PiledWork()) << shape.name << ": " << a << "-" << b;
      crossing += expected;
    };
    uint32_t seed = 17;
    if (n > 10000) {
      for (int k = 0; k < n - 2; k += 29) {
        check(n - 2, k);
        check(n - 1, (k + 13) % (n - 2));
      }
      for (int i = 0; i < 300; ++i) check(static_cast<int>(Next(seed) % n), static_cast<int>(Next(seed) % n));
      EXPECT_GT(plain.TouchingWork(), 0) << shape.name;
    } else {
      for (int a = 0; a < n; ++a)
        for (int step : {2, 3}) check(a, (a + step) % n);
      for (int i = 0; i < n; ++i) check(static_cast<int>(Next(seed) % n), static_cast<int>(Next(seed) % n));
      EXPECT_GT(crossing, 0) << shape.name;
    }
  }
}

TEST(SideCrossingIndex, NormalOfNoDirectionCrossesNothingAndWalksNothing) {
  // A flower: every other corner on the centre, whose diagonals from there
  // touch a thousand sides. Its computed normal can come out zero when no
  // corner turns by more than float rounding; with a zero or NaN normal the
  // side test finds no crossing, so neither does the index, and it walks
  // no side to learn that.
  const int n = 2000;
  const float nan = std::nanf("");
  for (const WVector normal : {WVector(0.0f, 0.0f, 0.0f), WVector(-0.0f, 0.0f, -0.0f), WVector(0.0f, nan, 1.0f),
                               WVector(0.0f, 0.0f, 1.0f)}) {
    WScene scene;
    WObject& obj = AddFlowerAt(scene, n);
    const int f = 0;
    obj.faces[f].normal = normal;
    SideCrossingIndex index(obj, f);
    ASSERT_TRUE(index.Indexed());
    const bool directed = normal.z == 1.0f && !std::isnan(normal.y);
    for (int k = 2; k < n - 1; ++k) {
      const bool expected = DiagonalCrossesSide(obj, f, 0, k);
      if (!directed) {
        ASSERT_FALSE(expected) << k;
      }
      ASSERT_EQ(index.Crosses(0, k), expected) << k;
      ASSERT_EQ(index.Settle(0, k, false), expected) << k;
      ASSERT_EQ(index.Answer(1, k + 1, false), DiagonalCrossesSide(obj, f, 1, k + 1)) << k;
    }
    if (directed) {
      EXPECT_GT(index.TouchingWork(), 100LL * n);  // the shape is a costly one
    } else {
      EXPECT_EQ(index.TouchingWork(), 0);
      EXPECT_EQ(index.AnsweredTouchingWork(), 0);
    }
  }
}
