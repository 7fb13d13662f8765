// 3-vectors and 4x4 matrices of 32-bit floats: the geometry values of the
// scene model. Matrices take row vectors (p' = p x M), so a translation sits
// in the bottom row and A x B applies A first, then B.
#pragma once

#include <cmath>

// Every float operation below rounds to 32 bits; the build forbids fused
// multiply-add so that results are the same bytes on every platform.

float WSin(float angle);
float WCos(float angle);

struct WVector {
  float x = 0.0f;
  float y = 0.0f;
  float z = 0.0f;

  WVector() = default;
  WVector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  void Set(float x_, float y_, float z_) { x = x_; y = y_; z = z_; }
  void SetZero() { x = y = z = 0.0f; }

  WVector& operator+=(const WVector& o) { x += o.x; y += o.y; z += o.z; return *this; }
  WVector& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  WVector operator-() const { return WVector(-x, -y, -z); }

  // Inline: the normal passes call these millions of times.
  float Length() const { return std::sqrt(x * x + y * y + z * z); }
  // Scales to unit length; a zero vector stays zero. The reciprocal is
  // taken once, in float, and every component scaled by it.
  WVector& Normalize() {
    const float len = Length();
    const float s = len > 0.0f ? 1.0f / len : 0.0f;
    return *this *= s;
  }
  WVector Normalized() const { WVector r = *this; return r.Normalize(); }
};

inline WVector operator+(const WVector& a, const WVector& b) { return WVector(a.x + b.x, a.y + b.y, a.z + b.z); }
inline WVector operator-(const WVector& a, const WVector& b) { return WVector(a.x - b.x, a.y - b.y, a.z - b.z); }
inline WVector operator*(const WVector& a, float s) { return WVector(a.x * s, a.y * s, a.z * s); }
inline bool operator==(const WVector& a, const WVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
inline bool operator!=(const WVector& a, const WVector& b) { return !(a == b); }

inline float Dot(const WVector& a, const WVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline WVector Cross(const WVector& a, const WVector& b) {
  return WVector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// Rotation orders: which elementary rotation a row vector meets first.
enum WRotationOrder : int {
  kRotateXYZ = 0,
  kRotateXZY = 1,
  kRotateYXZ = 2,
  kRotateYZX = 3,
  kRotateZXY = 4,
  kRotateZYX = 5,  // also every code not listed above
};

struct WMatrix {
  float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

  WMatrix() = default;
  WMatrix(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
          float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);

  void Set(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
           float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33);
  void SetIdentity();
  void SetTranslation(float tx, float ty, float tz);
  void SetScale(float sx, float sy, float sz);
  void SetRotation(float ax, float ay, float az, int order);

  WMatrix& operator*=(const WMatrix& o);
  WMatrix& Translate(float tx, float ty, float tz);
  WMatrix& Translate(const WVector& t) { return Translate(t.x, t.y, t.z); }
  WMatrix& Scale(float sx, float sy, float sz);
  WMatrix& Scale(const WVector& s) { return Scale(s.x, s.y, s.z); }
  WMatrix& Rotate(float ax, float ay, float az, int order);
  WMatrix& Rotate(const WVector& a, int order) { return Rotate(a.x, a.y, a.z, order); }
};

// The angles (radians about x, y, z) that SetRotation turns into the
// rotation part (upper 3 x 3) of m for the order kRotateXYZ or kRotateZXY
// (any other order is taken as kRotateZXY): the middle angle within
// [-pi/2, pi/2]. Where the middle angle is a right angle the first and last
// turn about one axis: the first then carries the turn, the last is 0.
WVector RotationAngles(const WMatrix& m, int order);

// r[i][j] = sum over k of a[i][k] * b[k][j].
WMatrix Multiply(const WMatrix& a, const WMatrix& b);
// p x M for the row vector (x, y, z, 1), divided by its fourth component
// when that is above 0.0001: how a matrix moves a position.
WVector TransformPoint(const WVector& p, const WMatrix& m);
// d x M without the translation row, normalised (zero stays zero): how a
// matrix turns a direction.
WVector TransformDirection(const WVector& d, const WMatrix& m);
bool operator==(const WMatrix& a, const WMatrix& b);
inline bool operator!=(const WMatrix& a, const WMatrix& b) { return !(a == b); }
