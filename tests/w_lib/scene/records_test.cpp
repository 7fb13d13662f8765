// Face sizing and copies, names, channels and weights.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"

// A face holds the four index arrays of up to four corners itself and one
// pointer to its optional values: a quad needs no other block. Faces are the
// scene's largest array, so this size counts.
static_assert(sizeof(WFace) <= 48 + 16 * sizeof(int) + sizeof(void*), "WFace has grown");
// A vertex is its position, three numbers and one pointer to whatever else
// it holds: vertices come by the million, and nearly all hold nothing else.
static_assert(sizeof(WVertex) <= 24 + sizeof(void*), "WVertex has grown");

TEST(Records, VertexHoldsItsNormalColourAndCoordinateOnlyOnceWritten) {
  WVertex vertex;
  EXPECT_FALSE(vertex.HoldsExtras());
  EXPECT_EQ(vertex.normal(), WVector());
  vertex.SetNormal(WVector(0, 1, 0));
  EXPECT_TRUE(vertex.HoldsExtras());
  EXPECT_EQ(vertex.normal(), WVector(0, 1, 0));
  EXPECT_EQ(vertex.col(), WColor());  // the others keep their defaults
  WVertex copy = vertex;  // a copy holds its own
  copy.SetNormal(WVector(1, 0, 0));
  EXPECT_EQ(vertex.normal(), WVector(0, 1, 0));
  EXPECT_EQ(copy.normal(), WVector(1, 0, 0));
}

TEST(Records, FaceSizingResetsAndFillsCorners) {
  WFace face;
  face.Size(0);
  EXPECT_EQ(face.num, 0);
  EXPECT_EQ(face.v, nullptr);
  EXPECT_EQ(face.e(), nullptr);
  EXPECT_EQ(face.vc(), nullptr);
  EXPECT_EQ(face.corner_colors2(), nullptr);

  face.Size(3);
  face.material = 4;
  face.col = WColor(0.5f, 0, 0, 1);
  face.v[2] = 9;
  face.CornerColors()[1] = WColor();
  face.CornerNormals()[0] = WVector(1, 0, 0);
  face.Size(5);
  EXPECT_EQ(face.num, 5);
  EXPECT_EQ(face.corner_colors(), nullptr);  // default colours take no block
  EXPECT_EQ(face.corner_normals(), nullptr);  // nor zero normals
  EXPECT_EQ(face.material, -1);
  EXPECT_EQ(face.col, WColor(1, 1, 1, 1));
  EXPECT_EQ(Corners(face), std::vector<int>(5, -1));
  for (CornerArray array : {CornerArray(&WFace::e), &WFace::vt, &WFace::vn, &WFace::vc})
    EXPECT_EQ(Corners(face, array), std::vector<int>(5, -1));
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(face.CornerColor(k), WColor(1, 1, 1, 1));
    EXPECT_EQ(face.CornerColor2(k), WColor(0, 0, 0, 1));
    EXPECT_EQ(face.CornerNormal(k), WVector());
  }
}

TEST(Records, FaceCopyIsDeepAndCornerCopyTakesEveryEntry) {
  WFace a;
  a.Size(4);
  for (int k = 0; k < 4; ++k) {
    a.v[k] = k;
    a.SideLines()[k] = 40 + k;
  }
  MarkCorners(a);
  a.material = 3;
  a.tag = 8;

  WFace b = a;
  b.v[0] = 99;
  EXPECT_EQ(a.v[0], 0);
  EXPECT_EQ(b.material, 3);
  EXPECT_EQ(b.tag, 8);
  EXPECT_EQ(b.vc()[3], 33);

  WFace c;
  c.Size(2);
  c.CopyCorner(0, a, 3);
  EXPECT_EQ((std::vector<int>{c.v[0], c.SideLine(0), c.vt()[0], c.vn()[0], c.vc()[0], c.v[1]}),
            (std::vector<int>{3, 43, 13, 23, 33, -1}));
  EXPECT_EQ(c.CornerNormal(0), WVector(3, 0, 0));
  EXPECT_EQ(c.CornerColor(0), WColor(3, 0, 0, 1));
  EXPECT_EQ(c.CornerColor2(0), WColor(0, 3, 0, 1));
  EXPECT_EQ(c.CornerColor(1), WColor(1, 1, 1, 1));  // the default, next to a copied colour

  WFace moved = std::move(b);
  EXPECT_EQ(moved.v[0], 99);
  EXPECT_EQ(moved.num, 4);
  EXPECT_EQ(moved.vc()[3], 33);

  // Released normals read as zero; the corners keep everything else, and
  // copies of them carry no normal block.
  a.ReleaseCornerNormals();
  EXPECT_EQ(a.CornerNormal(3), WVector());
  EXPECT_EQ(a.CornerColor2(3), WColor(0, 3, 0, 1));
  EXPECT_EQ(a.vn()[3], 23);
  c.CopyCorner(1, a, 3);
  EXPECT_EQ(c.CornerNormal(1), WVector());
  EXPECT_EQ(c.CornerNormal(0), WVector(3, 0, 0));
  const WFace d = a;
  EXPECT_EQ(d.corner_normals(), nullptr);
  EXPECT_EQ(d.v[3], 3);
}

namespace {

// Whether the face's vertex indices lie inside the face itself.
bool HeldInside(const WFace& face) {
  const char* const at = reinterpret_cast<const char*>(static_cast<const int*>(face.v));
  const char* const begin = reinterpret_cast<const char*>(&face);
  return at >= begin && at < begin + sizeof(WFace);
}

// Gives the four index arrays of the face the values base + 10 * array + k,
// and returns what they then hold, back to back.
std::vector<int> Number(WFace& face, int base) {
  std::vector<int> all;
  for (int array = 0; array < 4; ++array)
    for (int k = 0; k < face.num; ++k) all.push_back(base + 10 * array + k);
  for (int k = 0; k < face.num; ++k) {
    face.v[k] = all[static_cast<size_t>(k)];
    face.vt()[k] = all[static_cast<size_t>(face.num + k)];
    face.vn()[k] = all[static_cast<size_t>(2 * face.num + k)];
    face.vc()[k] = all[static_cast<size_t>(3 * face.num + k)];
  }
  return all;
}

std::vector<int> IndexArrays(const WFace& face) {
  std::vector<int> all = Corners(face);
  for (CornerArray array : {CornerArray(&WFace::vt), CornerArray(&WFace::vn), CornerArray(&WFace::vc)}) {
    const std::vector<int> one = Corners(face, array);
    all.insert(all.end(), one.begin(), one.end());
  }
  return all;
}

}  // namespace

TEST(Records, SmallFacesHoldTheirIndicesAndLargeOnesABlock) {
  // Each index array keeps its entries apart at every size, on both sides
  // of the four corners that a face holds itself, and a face grown past
  // them or shrunk back starts afresh.
  WFace face;
  for (int n : {1, 4, 5, 7, 3}) {
    face.Size(n);
    EXPECT_EQ(HeldInside(face), n <= 4) << n;
    EXPECT_EQ(IndexArrays(face), std::vector<int>(4 * static_cast<size_t>(n), -1)) << n;
    EXPECT_EQ(face.e(), nullptr) << n;  // no side names a line until one is written
    const std::vector<int> numbered = Number(face, 100);
    EXPECT_EQ(IndexArrays(face), numbered) << n;
    face.SideLines()[n - 1] = 5;
  }

  // Corners copied between a held and a heap face keep all their entries;
  // a face without side lines copies a corner without making them.
  WFace small, large, plain;
  small.Size(4);
  large.Size(9);
  plain.Size(3);
  Number(small, 0);
  Number(large, 200);
  large.SideLines()[8] = 77;
  small.CopyCorner(3, large, 8);
  large.CopyCorner(0, small, 1);
  EXPECT_EQ((std::vector<int>{small.v[3], small.vt()[3], small.vn()[3], small.vc()[3], small.SideLine(3)}),
            (std::vector<int>{208, 218, 228, 238, 77}));
  EXPECT_EQ(small.SideLine(0), -1);
  EXPECT_EQ((std::vector<int>{large.v[0], large.vt()[0], large.vn()[0], large.vc()[0], large.SideLine(0)}),
            (std::vector<int>{1, 11, 21, 31, -1}));
  large.ReleaseSideLines();
  EXPECT_EQ(large.e(), nullptr);
  plain.CopyCorner(0, large, 8);
  EXPECT_EQ(plain.e(), nullptr);
}

TEST(Records, FacesCopyMoveAndRelocateWithTheirIndices) {
  for (int n : {4, 12}) {
    WFace a;
    a.Size(n);
    const std::vector<int> numbered = Number(a, 0);
    a.SideLines()[n - 1] = 9;

    WFace copy = a;  // deep: the copy changes alone
    copy.v[0] = 500;
    copy.SideLines()[n - 1] = 1;
    EXPECT_EQ(IndexArrays(a), numbered) << n;
    EXPECT_EQ(a.SideLine(n - 1), 9) << n;

    WFace assigned;
    assigned.Size(7);
    assigned = a;
    assigned = static_cast<const WFace&>(assigned);  // onto itself
    EXPECT_EQ(IndexArrays(assigned), numbered) << n;
    WFace target;
    target.Size(2);
    target = std::move(assigned);
    EXPECT_EQ(IndexArrays(target), numbered) << n;
    EXPECT_EQ(target.SideLine(n - 1), 9) << n;
  }

  // Record arrays move faces by their bytes as they grow: indices held in
  // the face come along, and a copy of the array copies them.
  WObject obj;
  for (int f = 0; f < 3000; ++f) {
    const int added = obj.AddFace(f % 2 == 0 ? 4 : 6);
    Number(obj.faces[added], f);
  }
  const WObject copied = obj;
  obj.faces[0].v[0] = -5;
  for (int f = 0; f < copied.fnum; ++f) {
    WFace expected;
    expected.Size(f % 2 == 0 ? 4 : 6);
    ASSERT_EQ(IndexArrays(copied.faces[f]), Number(expected, f)) << f;
  }
}

TEST(Records, NamesAreOwnedCopies) {
  WTexture tex;
  char buffer[] = "wood.bmp";
  tex.SetName(buffer);
  buffer[0] = 'g';
  EXPECT_STREQ(tex.name.get(), "wood.bmp");
  tex.SetName("");
  ASSERT_FALSE(tex.name.IsNull());
  EXPECT_STREQ(tex.name.get(), "");
  tex.SetName(nullptr);
  EXPECT_TRUE(tex.name.IsNull());
  EXPECT_FALSE(tex.name.Equals(""));
}

TEST(Records, ChannelGetterAndSetter) {
  WTransform t;
  t.translate = WVector(1, 2, 3);
  t.rotate = WVector(4, 5, 6);
  t.scale = WVector(7, 8, 9);
  EXPECT_EQ(t.GetChannel(0x2), 2.0f);
  EXPECT_EQ(t.GetChannel(0x40), 6.0f);
  EXPECT_EQ(t.GetChannel(0x400), 9.0f);
  EXPECT_EQ(t.GetChannel(0x8), 0.0f);
  EXPECT_EQ(t.GetChannel(0x420), 5.0f);  // rotate y is tested before scale z

  EXPECT_TRUE(t.SetChannel(0x111, -1.0f));
  EXPECT_EQ(t.translate, WVector(-1, 2, 3));
  EXPECT_EQ(t.rotate.x, -1.0f);
  EXPECT_EQ(t.scale.x, -1.0f);
  EXPECT_EQ(t.channels, 0x111);
  t.SetChannel(0x2, 0.0f);
  EXPECT_EQ(t.channels, 0x113);
}

TEST(Records, WeightsNormaliseAndCompact) {
  WVertex v;
  AddWeight(v, 1, 1.0f);
  AddWeight(v, 2, 3.0f);
  v.NormalizeWeights();
  EXPECT_EQ(v.weights()[0].weight, 0.25f);
  EXPECT_EQ(v.weights()[1].weight, 0.75f);

  WVertex tiny;  // a sum this small is left alone
  AddWeight(tiny, 0, 0.000004f);
  AddWeight(tiny, 0, 0.000004f);
  tiny.NormalizeWeights();
  EXPECT_EQ(tiny.weights()[0].weight, 0.000004f);

  v.weights()[0].flags |= kDeleted;
  v.CompactWeights();
  ASSERT_EQ(v.wnum(), 1);
  EXPECT_EQ(v.wmax(), 1);
  EXPECT_EQ(v.weights()[0].bone, 2);

  WVertex copy = v;
  copy.weights()[0].bone = 5;
  EXPECT_EQ(v.weights()[0].bone, 2);
  EXPECT_EQ(copy.wmax(), v.wmax());
}

TEST(Records, CopiesTakeEveryFieldAndMovesTradeTheArrays) {
  // A par: the keyed fields, its own material, and keys.
  WPar par;
  par.tag = 1;
  par.flags = 2;
  par.remap = 3;
  par.SetName("p");
  par.transform.translate = WVector(1, 2, 3);
  par.material = 4;
  par.AddKey(5);
  par.AddKey(6);
  WPar copy = par;
  EXPECT_EQ((std::vector<int>{copy.tag, copy.flags, copy.remap, copy.material, copy.anum, copy.amax}),
            (std::vector<int>{1, 2, 3, 4, 2, 32}));
  EXPECT_STREQ(copy.name.get(), "p");
  EXPECT_EQ(copy.transform.translate, WVector(1, 2, 3));
  copy.keys[1].frame = 9;
  EXPECT_EQ(par.keys[1].frame, 6);
  const WTransform* keys = par.keys;
  WCamera camera;
  camera.AddKey(7);
  static_cast<WKeyedRecord&>(camera) = std::move(par);
  EXPECT_EQ(camera.keys, keys);
  EXPECT_STREQ(camera.name.get(), "p");
  EXPECT_EQ(par.anum, 1);  // the camera's old key, released with par
  EXPECT_EQ(par.keys[0].frame, 7);

  // A vertex: its fields and its weights.
  WVertex vertex;
  vertex.tag = 1;
  vertex.pos = WVector(1, 2, 3);
  vertex.SetUv(WUv(0.5f, 0.25f));
  AddWeight(vertex, 2, 1.0f);
  WVertex held;
  AddWeight(held, 9, 1.0f);
  held = vertex;
  EXPECT_EQ(held.tag, 1);
  EXPECT_EQ(held.pos, WVector(1, 2, 3));
  EXPECT_EQ(held.uv().v, 0.25f);
  ASSERT_EQ(held.wnum(), 1);
  EXPECT_EQ(held.weights()[0].bone, 2);
  EXPECT_NE(held.weights(), vertex.weights());
  const WWeight* weights = vertex.weights();
  const WVertex moved = std::move(vertex);
  EXPECT_EQ(moved.weights(), weights);
  EXPECT_EQ(vertex.wnum() + vertex.wmax(), 0);

  // A face moved onto another gives that one's corners to the source (the
  // block itself, for faces too large to hold their corners), and a face of
  // no corners copies as one.
  WFace a;
  a.Size(6);
  a.v[0] = 5;
  a.material = 2;
  WFace b;
  b.Size(7);
  b.CornerColors()[0] = WColor(0, 0, 0, 1);
  const int* corners = a.v;
  b = std::move(a);
  EXPECT_EQ(b.v, corners);
  EXPECT_EQ(b.v[0], 5);
  EXPECT_EQ(b.num, 6);
  EXPECT_EQ(b.material, 2);
  EXPECT_EQ(b.corner_colors(), nullptr);
  EXPECT_EQ(a.num, 7);
  EXPECT_EQ(a.CornerColor(0), WColor(0, 0, 0, 1));
  WFace empty;
  empty.Size(0);
  empty.tag = 6;
  b = empty;
  EXPECT_EQ((std::vector<int>{b.num, b.tag, b.material}), (std::vector<int>{0, 6, -1}));
  EXPECT_EQ(b.v, nullptr);
  EXPECT_EQ(b.corner_colors(), nullptr);
}
