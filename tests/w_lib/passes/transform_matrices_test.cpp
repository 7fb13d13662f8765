// Object matrices: local from the transform, world through the parents, and
// the bounded walk round parent cycles.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>

#include "test_scenes.h"

namespace {

// The update as a plain recursion, as the matrices are defined (the local
// matrix itself is checked by hand below): this object's matrices, then
// (budget allowing) the parent's update, then this world matrix times the
// parent's. It rewrites ancestors as it goes.
void ReferenceUpdate(WScene& scene, WObject& object, unsigned depth) {
  object.transform.local_matrix = LocalMatrix(object.transform);
  object.transform.world_matrix = object.transform.local_matrix;
  if (depth != 0 && object.parent >= 0 && object.parent < scene.onum) {
    WObject& parent = scene.objects[object.parent];
    ReferenceUpdate(scene, parent, depth - 1);
    object.transform.world_matrix = Multiply(object.transform.world_matrix, parent.transform.world_matrix);
  }
}

// n objects with transforms that do not commute, so that any change in the
// order of products shows.
WScene Objects(int n, std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  WScene scene;
  for (int i = 0; i < n; ++i) {
    WTransform& t = AddObjectAt(scene, "").transform;
    t.translate = WVector(u(rng), u(rng), u(rng));
    t.rotate = WVector(u(rng), u(rng), u(rng));
    t.scale = WVector(1 + 0.1f * u(rng), 1 + 0.1f * u(rng), 1 + 0.1f * u(rng));
  }
  return scene;
}

void ExpectSameMatrices(const WScene& a, const WScene& b, const char* what) {
  for (int i = 0; i < a.onum; ++i) {
    EXPECT_EQ(a.objects[i].transform.local_matrix, b.objects[i].transform.local_matrix) << what << " object " << i;
    EXPECT_EQ(a.objects[i].transform.world_matrix, b.objects[i].transform.world_matrix) << what << " object " << i;
  }
}

// Each entry of m within 1e-5 of the rows written out (a quarter turn's
// cosine is not exactly 0 in floats).
void ExpectMatrix(const WMatrix& m, std::initializer_list<std::initializer_list<float>> rows, const char* what) {
  int i = 0;
  for (const auto& row : rows) {
    int j = 0;
    for (float value : row) {
      EXPECT_NEAR(m.m[i][j], value, 1e-5f) << what << " [" << i << "][" << j << "]";
      ++j;
    }
    ++i;
  }
}

}  // namespace

TEST(UpdateMatrices, LocalAndWorldThroughParents) {
  // Points are rows (x, y, z, 1) multiplied from the left: a local matrix
  // scales, then turns (about z, then x, then y), then moves; a world matrix
  // is the local one times the parent's world matrix. The matrices below are
  // worked out by hand, and checked on a point each.
  constexpr float kQuarter = 1.5707963f;
  WScene scene;
  // 0's parent is 2, which comes later in the list; 1 is a root.
  for (const char* name : {"leaf", "root", "middle"}) AddObjectAt(scene, name);
  WTransform& t0 = scene.objects[0].transform;
  WTransform& t1 = scene.objects[1].transform;
  WTransform& t2 = scene.objects[2].transform;
  scene.objects[0].parent = 2;
  scene.objects[2].parent = 1;
  t1.scale = WVector(2, 2, 2);
  t1.translate = WVector(10, 0, 0);
  t2.scale = WVector(1, 3, 1);
  t2.rotate = WVector(0, 0, kQuarter);  // x becomes y, y becomes -x
  t2.translate = WVector(0, 5, 0);
  // A quarter turn about x (y becomes z) then about y (z becomes x): y
  // ends as x. Turned about y first, y would stay y.
  t0.rotate = WVector(kQuarter, kQuarter, 0);
  t0.translate = WVector(1, 1, 1);
  UpdateMatrices(scene);

  ExpectMatrix(t1.local_matrix, {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {10, 0, 0, 1}}, "root local");
  ExpectMatrix(t1.world_matrix, {{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {10, 0, 0, 1}}, "root world");
  // (1, 0, 0): scaled (1, 0, 0), turned (0, 1, 0), moved (0, 6, 0); in the
  // root (0, 12, 0) and then (10, 12, 0). Root times middle would move the
  // root's translation through the middle's turn instead: (0, 15, 0) there.
  ExpectMatrix(t2.local_matrix, {{0, 1, 0, 0}, {-3, 0, 0, 0}, {0, 0, 1, 0}, {0, 5, 0, 1}}, "middle local");
  ExpectMatrix(t2.world_matrix, {{0, 2, 0, 0}, {-6, 0, 0, 0}, {0, 0, 2, 0}, {10, 10, 0, 1}}, "middle world");
  // The leaf's origin: (1, 1, 1) in the middle, scaled (1, 3, 1), turned
  // (-3, 1, 1), moved (-3, 6, 1); in the root (-6, 12, 2), then (4, 12, 2).
  ExpectMatrix(t0.local_matrix, {{0, 0, -1, 0}, {1, 0, 0, 0}, {0, -1, 0, 0}, {1, 1, 1, 1}}, "leaf local");
  ExpectMatrix(t0.world_matrix, {{0, 0, -2, 0}, {0, 2, 0, 0}, {6, 0, 0, 0}, {4, 12, 2, 1}}, "leaf world");
}

TEST(UpdateMatrices, SameAsTheRecursionOnAnyHierarchy) {
  // Random parents, self-parents, cycles with tails and parents out of
  // range (no parent), against the plain recursion. Round a cycle the budget runs out,
  // and inner updates rewrite the matrices that outer ones multiply again.
  std::mt19937 rng(4);
  const auto below = [&rng](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + below(9);
    WScene scene = Objects(n, rng);
    for (int i = 0; i < n; ++i) {
      const int pick = below(10);
      scene.objects[i].parent = pick < 2 ? -1 : pick == 2 ? n + 3 : pick == 3 ? -7 : below(n);
    }
    WScene expected = scene;
    for (int i = 0; i < n; ++i) ReferenceUpdate(expected, expected.objects[i], static_cast<unsigned>(n));
    UpdateMatrices(scene);
    ExpectSameMatrices(scene, expected, "all");

    // One object's update alone, with every budget up to the object count.
    const int i = below(n);
    const unsigned depth = static_cast<unsigned>(below(n + 1));
    WScene one = scene;
    WScene one_expected = scene;
    UpdateObjectMatrix(one, one.objects[i], depth);
    ReferenceUpdate(one_expected, one_expected.objects[i], depth);
    ExpectSameMatrices(one, one_expected, "one");

    // An object outside the list, whose parent is in it.
    WObject outside;
    outside.transform.rotate = WVector(0.3f, 0.2f, 0.1f);
    outside.parent = below(n);
    WObject outside_expected = outside;
    UpdateObjectMatrix(one, outside, depth);
    ReferenceUpdate(one_expected, outside_expected, depth);
    ExpectSameMatrices(one, one_expected, "outside");
    EXPECT_EQ(outside.transform.world_matrix, outside_expected.transform.world_matrix);
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      break;
    }
  }
}

TEST(UpdateMatrices, LongChainsAndCyclesStayShallow) {
  // A chain of 50000 objects, each the parent of the one before: the
  // recursion would nest that deep. Here every world matrix is the identity
  // but the root's translation.
  const int n = 50000;
  WScene scene;
  ASSERT_TRUE(scene.ReserveObjects(n));
  for (int i = 0; i < n; ++i) AddObjectAt(scene, "").parent = i + 1 < n ? i + 1 : -1;
  scene.objects[n - 1].transform.translate = WVector(1, 2, 3);
  UpdateMatrices(scene);
  WMatrix moved;
  moved.SetTranslation(1, 2, 3);
  EXPECT_EQ(scene.objects[0].transform.world_matrix, moved);
  EXPECT_EQ(scene.objects[n / 2].transform.world_matrix, moved);

  // Closed into one cycle, and a direct update with an oversized budget.
  scene.objects[n - 1].parent = 0;
  scene.objects[n - 1].transform.translate = WVector();
  UpdateMatrices(scene);
  EXPECT_EQ(scene.objects[0].transform.world_matrix, WMatrix());
  UpdateObjectMatrix(scene, scene.objects[5], 0xffffffffu);
  EXPECT_EQ(scene.objects[5].transform.world_matrix, WMatrix());
}
