// Axis mirror: negated components, reversed faces, mirrored transforms.
#include <gtest/gtest.h>

#include "test_scenes.h"

namespace {

using Ints = std::vector<int>;

// A face over the given vertices, its corners marked, side k naming line
// 40 + k, facing +z.
WFace MarkedFace(std::initializer_list<int> corners) {
  WFace face;
  face.Size(static_cast<int>(corners.size()));
  int k = 0;
  for (int v : corners) {
    face.v[k] = v;
    face.SideLines()[k] = 40 + k;
    ++k;
  }
  MarkCorners(face);
  face.normal = WVector(0, 0, 1);
  return face;
}

}  // namespace

TEST(ReverseFace, CornersKeepTheirAttributesAndSidesFollow) {
  // Side k now runs from the old corner n-1-k to n-2-k, the old side
  // n-2-k; the closing side stays.
  WFace tri = MarkedFace({0, 1, 2});
  ReverseFace(tri);
  EXPECT_EQ(Corners(tri), (Ints{2, 1, 0}));
  EXPECT_EQ(Corners(tri, &WFace::e), (Ints{41, 40, 42}));

  WFace quad = MarkedFace({0, 1, 2, 3});
  ReverseFace(quad);
  EXPECT_EQ(Corners(quad), (Ints{3, 2, 1, 0}));
  EXPECT_EQ(Corners(quad, &WFace::vt), (Ints{13, 12, 11, 10}));
  EXPECT_EQ(Corners(quad, &WFace::vn), (Ints{23, 22, 21, 20}));
  EXPECT_EQ(Corners(quad, &WFace::vc), (Ints{33, 32, 31, 30}));
  EXPECT_EQ(Corners(quad, &WFace::e), (Ints{42, 41, 40, 43}));
  for (int k = 0; k < 4; ++k) {
    const float old = static_cast<float>(3 - k);
    EXPECT_EQ(quad.CornerColor(k), WColor(old, 0, 0, 1));
    EXPECT_EQ(quad.CornerColor2(k), WColor(0, old, 0, 1));
    EXPECT_EQ(quad.CornerNormal(k), WVector(-old, -0.0f, -0.0f));  // moved with its corner, then negated
  }
  EXPECT_EQ(quad.normal, WVector(0, 0, -1));

  WFace pentagon = MarkedFace({0, 1, 2, 3, 4});
  ReverseFace(pentagon);
  EXPECT_EQ(Corners(pentagon), (Ints{4, 3, 2, 1, 0}));
  EXPECT_EQ(Corners(pentagon, &WFace::e), (Ints{43, 42, 41, 40, 44}));

  // Two corners swap and keep their sides; fewer stay as they are.
  WFace two = MarkedFace({7, 8});
  ReverseFace(two);
  EXPECT_EQ(Corners(two), (Ints{8, 7}));
  EXPECT_EQ(Corners(two, &WFace::e), (Ints{40, 41}));
  WFace one = MarkedFace({7});
  ReverseFace(one);
  EXPECT_EQ(one.v[0], 7);
  WFace empty;
  ReverseFace(empty);
}

TEST(MirrorObject, MaskOneNegatesXAndReversesFaces) {
  WObject obj;
  AddVertexAt(obj, 1, 2, 3);
  AddVertexAt(obj, 4, 5, 6);
  AddVertexAt(obj, 7, 8, 9);
  obj.vertices[0].SetNormal(WVector(1, 1, 1));
  const int f = AddFaceOver(obj, {0, 1, 2});
  obj.faces[f].normal = WVector(1, 2, 3);
  obj.faces[f].CornerNormals()[0] = WVector(1, 0, 0);
  obj.faces[f].CornerNormals()[2] = WVector(0, 1, 1);
  obj.transform.translate = WVector(5, 6, 7);
  obj.transform.rotate = WVector(0.1f, 0.2f, 0.3f);
  const int n = AddNormalAlong(obj, WVector(1, 2, 3));

  MirrorObject(obj, 1);
  EXPECT_EQ(obj.vertices[0].pos, WVector(-1, 2, 3));
  EXPECT_EQ(obj.vertices[2].pos, WVector(-7, 8, 9));
  EXPECT_EQ(obj.vertices[0].normal(), WVector(-1, 1, 1));
  const WFace& face = obj.faces[f];
  EXPECT_EQ(Corners(face), (Ints{2, 1, 0}));
  // Only x negated, though the reversal went through them.
  EXPECT_EQ(face.normal, WVector(-1, 2, 3));
  EXPECT_EQ(face.CornerNormal(0), WVector(-0.0f, 1, 1));
  EXPECT_EQ(face.CornerNormal(2), WVector(-1, 0, 0));
  // Normal records are negated whole by the reversal.
  EXPECT_EQ(obj.normals[n].normal, WVector(-1, -2, -3));
  EXPECT_EQ(obj.transform.translate, WVector(5, 6, 7));
  EXPECT_EQ(obj.transform.rotate, WVector(0.1f, 0.2f, 0.3f));

  // Two axes at once reverse the faces once.
  MirrorObject(obj, 3);
  EXPECT_EQ(obj.vertices[0].pos, WVector(1, -2, 3));
  EXPECT_EQ(obj.faces[f].v[0], 0);
  EXPECT_EQ(obj.faces[f].normal, WVector(1, -2, 3));
}

TEST(MirrorObject, TransformBitsLeaveGeometryAlone) {
  WObject obj;
  AddVertexAt(obj, 1, 2, 3);
  AddFaceOver(obj, {0, 5, 0});  // reversal would move the 5
  obj.transform.translate = WVector(1, 2, 3);
  obj.transform.rotate = WVector(0.1f, 0.2f, 0.3f);
  obj.transform.base_translate = WVector(9, 9, 9);
  const int key = obj.FindOrAddKey(10);
  obj.keys[key].translate = WVector(4, 5, 6);
  obj.keys[key].rotate = WVector(0.4f, 0.5f, 0.6f);

  WObject untouched = obj;
  MirrorObject(untouched, 0);
  EXPECT_EQ(untouched.vertices[0].pos, WVector(1, 2, 3));
  EXPECT_EQ(untouched.transform.translate, WVector(1, 2, 3));
  EXPECT_EQ(untouched.faces[0].v[1], 5);

  WObject x = obj;
  MirrorObject(x, 16);
  EXPECT_EQ(x.vertices[0].pos, WVector(1, 2, 3));
  EXPECT_EQ(x.faces[0].v[1], 5);
  EXPECT_EQ(x.transform.translate, WVector(-1, 2, 3));
  EXPECT_EQ(x.transform.rotate, WVector(0.1f, -0.2f, -0.3f));
  EXPECT_EQ(x.transform.base_translate, WVector(9, 9, 9));
  EXPECT_EQ(x.keys[key].translate, WVector(-4, 5, 6));
  EXPECT_EQ(x.keys[key].rotate, WVector(0.4f, -0.5f, -0.6f));

  WObject z = obj;
  MirrorObject(z, 64 | 8 | 128);  // 8 and 128 mean nothing
  EXPECT_EQ(z.vertices[0].pos, WVector(1, 2, 3));
  EXPECT_EQ(z.transform.translate, WVector(1, 2, -3));
  EXPECT_EQ(z.transform.rotate, WVector(-0.1f, -0.2f, 0.3f));
  EXPECT_EQ(z.keys[key].translate, WVector(4, 5, -6));
}
