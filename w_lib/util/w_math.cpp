// Vector and matrix arithmetic in 32-bit floats.
#include "w_lib/util/w_math.h"

#include <cmath>

float WSin(float angle) { return static_cast<float>(std::sin(static_cast<double>(angle))); }
float WCos(float angle) { return static_cast<float>(std::cos(static_cast<double>(angle))); }


WMatrix::WMatrix(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                 float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33) {
  Set(m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33);
}

void WMatrix::Set(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                  float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33) {
  m[0][0] = m00; m[0][1] = m01; m[0][2] = m02; m[0][3] = m03;
  m[1][0] = m10; m[1][1] = m11; m[1][2] = m12; m[1][3] = m13;
  m[2][0] = m20; m[2][1] = m21; m[2][2] = m22; m[2][3] = m23;
  m[3][0] = m30; m[3][1] = m31; m[3][2] = m32; m[3][3] = m33;
}

void WMatrix::SetIdentity() { *this = WMatrix(); }

void WMatrix::SetTranslation(float tx, float ty, float tz) {
  SetIdentity();
  m[3][0] = tx; m[3][1] = ty; m[3][2] = tz;
}

void WMatrix::SetScale(float sx, float sy, float sz) {
  SetIdentity();
  m[0][0] = sx; m[1][1] = sy; m[2][2] = sz;
}

namespace {

WMatrix RotationX(float a) {
  float s = WSin(a), c = WCos(a);
  return WMatrix(1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1);
}

WMatrix RotationY(float a) {
  float s = WSin(a), c = WCos(a);
  return WMatrix(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
}

WMatrix RotationZ(float a) {
  float s = WSin(a), c = WCos(a);
  return WMatrix(c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
}

}  // namespace

void WMatrix::SetRotation(float ax, float ay, float az, int order) {
  const WMatrix rx = RotationX(ax), ry = RotationY(ay), rz = RotationZ(az);
  // The product is always formed as (first x second) x third.
  switch (order) {
    case kRotateXYZ: *this = Multiply(Multiply(rx, ry), rz); break;
    case kRotateXZY: *this = Multiply(Multiply(rx, rz), ry); break;
    case kRotateYXZ: *this = Multiply(Multiply(ry, rx), rz); break;
    case kRotateYZX: *this = Multiply(Multiply(ry, rz), rx); break;
    case kRotateZXY: *this = Multiply(Multiply(rz, rx), ry); break;
    default: *this = Multiply(Multiply(rz, ry), rx); break;
  }
}

WVector RotationAngles(const WMatrix& m, int order) {
  // The products of SetRotation, written out: for X, Y, Z the matrix holds
  // -sin y in [0][2], sin x cos y in [1][2], cos x cos y in [2][2], cos y
  // sin z in [0][1] and cos y cos z in [0][0]; for Z, X, Y it holds -sin x
  // in [2][1], cos x sin y in [2][0], cos x cos y in [2][2], sin z cos x in
  // [0][1] and cos z cos x in [1][1].
  const auto at = [&m](int r, int c) { return static_cast<double>(m.m[r][c]); };
  const auto asin_clamped = [](double s) { return std::asin(s < -1.0 ? -1.0 : (s > 1.0 ? 1.0 : s)); };
  constexpr double kLocked = 1e-6;  // the cosine of the middle angle below which the others share an axis
  double x, y, z;
  if (order == kRotateXYZ) {
    y = asin_clamped(-at(0, 2));
    if (std::cos(y) > kLocked) {
      x = std::atan2(at(1, 2), at(2, 2));
      z = std::atan2(at(0, 1), at(0, 0));
    } else {
      // [2][1] = -sin x and [1][1] = cos x once z is 0.
      x = std::atan2(-at(2, 1), at(1, 1));
      z = 0.0;
    }
  } else {
    x = asin_clamped(-at(2, 1));
    if (std::cos(x) > kLocked) {
      y = std::atan2(at(2, 0), at(2, 2));
      z = std::atan2(at(0, 1), at(1, 1));
    } else {
      // [1][0] = -sin z and [0][0] = cos z once y is 0.
      y = 0.0;
      z = std::atan2(-at(1, 0), at(0, 0));
    }
  }
  return WVector(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

WMatrix Multiply(const WMatrix& a, const WMatrix& b) {
  WMatrix r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return r;
}

// p x M for the row vector (x, y, z, 1), divided by its fourth component
// when that is clearly positive.
WVector TransformPoint(const WVector& p, const WMatrix& m) {
  const float (&a)[4][4] = m.m;
  WVector r(p.x * a[0][0] + p.y * a[1][0] + p.z * a[2][0] + a[3][0],
            p.x * a[0][1] + p.y * a[1][1] + p.z * a[2][1] + a[3][1],
            p.x * a[0][2] + p.y * a[1][2] + p.z * a[2][2] + a[3][2]);
  const float w = p.x * a[0][3] + p.y * a[1][3] + p.z * a[2][3] + a[3][3];
  if (static_cast<double>(w) > 0.0001) {
    r.x /= w;
    r.y /= w;
    r.z /= w;
  }
  return r;
}

// d x M without the translation row, normalised (zero stays zero).
WVector TransformDirection(const WVector& d, const WMatrix& m) {
  const float (&a)[4][4] = m.m;
  WVector r(d.x * a[0][0] + d.y * a[1][0] + d.z * a[2][0],
            d.x * a[0][1] + d.y * a[1][1] + d.z * a[2][1],
            d.x * a[0][2] + d.y * a[1][2] + d.z * a[2][2]);
  return r.Normalize();
}

bool operator==(const WMatrix& a, const WMatrix& b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (a.m[i][j] != b.m[i][j]) return false;
  return true;
}

WMatrix& WMatrix::operator*=(const WMatrix& o) { return *this = Multiply(*this, o); }

WMatrix& WMatrix::Translate(float tx, float ty, float tz) {
  WMatrix t;
  t.SetTranslation(tx, ty, tz);
  return *this *= t;
}

WMatrix& WMatrix::Scale(float sx, float sy, float sz) {
  WMatrix s;
  s.SetScale(sx, sy, sz);
  return *this *= s;
}

WMatrix& WMatrix::Rotate(float ax, float ay, float az, int order) {
  WMatrix r;
  r.SetRotation(ax, ay, az, order);
  return *this *= r;
}
