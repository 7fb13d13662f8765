// Vector and matrix arithmetic, rotation orders.
#include <gtest/gtest.h>

#include "vector_expectations.h"
#include "w_lib/util/w_math.h"

namespace {

constexpr float kHalfPi = 1.5707964f;

// Row vector (x, y, z, 1) times m.
WVector Apply(const WVector& p, const WMatrix& m) {
  float r[4];
  for (int j = 0; j < 4; ++j) r[j] = p.x * m.m[0][j] + p.y * m.m[1][j] + p.z * m.m[2][j] + m.m[3][j];
  return WVector(r[0], r[1], r[2]);
}

}  // namespace

TEST(WVector, NormaliseCrossAndDot) {
  EXPECT_EQ(WVector().Normalized(), WVector());
  EXPECT_EQ(WVector(3, 0, 4).Normalized(), WVector(0.6f, 0, 0.8f));
  EXPECT_EQ(Cross(WVector(1, 0, 0), WVector(0, 1, 0)), WVector(0, 0, 1));
  EXPECT_EQ(Dot(WVector(1, 2, 3), WVector(4, 5, 6)), 32.0f);
  EXPECT_EQ(WVector(3, 0, 4).Length(), 5.0f);
  WVector v(1, 2, 3);
  v += WVector(1, 1, 1);
  v *= 2.0f;
  EXPECT_EQ(v, WVector(4, 6, 8));
  EXPECT_EQ(-v, WVector(-4, -6, -8));
  EXPECT_EQ(v - WVector(4, 6, 8), WVector());
}

TEST(WMatrix, RotationOrdersOnKnownVectors) {
  // Quarter turns about all three axes: each order gives its own result,
  // which pins each axis's direction too.
  WMatrix m;
  const WVector p(1, 2, 3);
  const WVector expected[] = {
      WVector(3, 2, -1),   // X, Y, Z
      WVector(2, 1, -3),   // X, Z, Y
      WVector(-1, 3, 2),   // Y, X, Z
      WVector(-2, 1, 3),   // Y, Z, X
      WVector(1, -3, 2),   // Z, X, Y
      WVector(3, -2, 1),   // Z, Y, X
  };
  for (int order = 0; order < 6; ++order) {
    m.SetRotation(kHalfPi, kHalfPi, kHalfPi, order);
    SCOPED_TRACE(order);
    ExpectNear(Apply(p, m), expected[order], 1e-5f);
  }
  WMatrix seven, zyx;
  seven.SetRotation(0.3f, 0.5f, 0.7f, 7);
  zyx.SetRotation(0.3f, 0.5f, 0.7f, kRotateZYX);
  EXPECT_EQ(seven, zyx);
}

TEST(WMatrix, TranslateScaleAndMultiply) {
  WMatrix t;
  t.SetTranslation(1, 2, 3);
  EXPECT_EQ(Apply(WVector(0, 0, 0), t), WVector(1, 2, 3));

  WMatrix m;
  m.Scale(2, 2, 2).Translate(1, 2, 3);
  EXPECT_EQ(Apply(WVector(1, 1, 1), m), WVector(3, 4, 5));

  // Translation then scale differs: a product applies its left factor first.
  WMatrix n;
  n.Translate(WVector(1, 2, 3)).Scale(WVector(2, 2, 2));
  EXPECT_EQ(Apply(WVector(1, 1, 1), n), WVector(4, 6, 8));

  WMatrix s;
  s.SetScale(2, 3, 4);
  EXPECT_EQ(Multiply(s, WMatrix()), s);
  WMatrix r;
  r.Rotate(WVector(0, 0, kHalfPi), kRotateZXY);
  r *= t;
  ExpectNear(Apply(WVector(1, 0, 0), r), WVector(1, 3, 3), 1e-5f);
}

TEST(WMatrix, RotationAnglesTurnOneOrderIntoAnother) {
  // X then Z by a quarter turn each takes (x, y, z) to (z, x, y); so does Z
  // then Y (worked out by hand), which is X, Y, Z (90, 0, 90) read as Z, X,
  // Y (0, 90, 90).
  WMatrix xyz;
  xyz.SetRotation(kHalfPi, 0.0f, kHalfPi, kRotateXYZ);
  ExpectNear(Apply(WVector(1, 2, 3), xyz), WVector(3, 1, 2), 1e-5f);
  ExpectNear(RotationAngles(xyz, kRotateZXY), WVector(0, kHalfPi, kHalfPi), 1e-5f);

  // Angles away from the poles come back as they were, in either order.
  for (int order : {kRotateXYZ, kRotateZXY}) {
    SCOPED_TRACE(order);
    WMatrix m;
    m.SetRotation(0.3f, -0.5f, 2.5f, order);
    ExpectNear(RotationAngles(m, order), WVector(0.3f, -0.5f, 2.5f), 1e-5f);
  }

  // At a pole the first and last angle turn about one axis: the first takes
  // all of it, and the rotation is the same.
  WMatrix pole;
  pole.SetRotation(0.25f, kHalfPi, 0.5f, kRotateXYZ);
  const WVector angles = RotationAngles(pole, kRotateXYZ);
  EXPECT_EQ(angles.z, 0.0f);
  WMatrix again;
  again.SetRotation(angles.x, angles.y, angles.z, kRotateXYZ);
  for (const WVector& p : {WVector(1, 0, 0), WVector(0, 1, 0), WVector(0, 0, 1)})
    ExpectNear(Apply(p, again), Apply(p, pole), 1e-5f);
  pole.SetRotation(kHalfPi, 0.5f, 0.25f, kRotateZXY);
  const WVector zxy = RotationAngles(pole, kRotateZXY);
  EXPECT_EQ(zxy.y, 0.0f);
  again.SetRotation(zxy.x, zxy.y, zxy.z, kRotateZXY);
  for (const WVector& p : {WVector(1, 0, 0), WVector(0, 1, 0), WVector(0, 0, 1)})
    ExpectNear(Apply(p, again), Apply(p, pole), 1e-5f);
}
