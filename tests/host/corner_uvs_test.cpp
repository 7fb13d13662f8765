// Texture coordinates shared per vertex once an object is read.
#include "host/corner_uvs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "host/host_document.h"

namespace {

std::vector<uint32_t> Bits(const MQObjectRecord& obj) {
  std::vector<uint32_t> bits;
  for (size_t c = 0; c < obj.corner_uvs.size(); ++c) {
    const MQCoordinate uv = obj.CornerUv(c);
    uint32_t b[2];
    std::memcpy(b, &uv, sizeof b);
    bits.push_back(b[0]);
    bits.push_back(b[1]);
  }
  return bits;
}

// A strip of n quads over 2 (n + 1) vertices, each corner's coordinate
// from its vertex, except a seam: the last quad's right side takes u = 1
// where its vertices already had u = 0 from the first quad.
MQObjectRecord Strip(int n) {
  MQObjectRecord obj;
  for (int i = 0; i <= n; ++i) {
    obj.AddVertex(MQPoint{static_cast<float>(i), 0.0f, 0.0f});
    obj.AddVertex(MQPoint{static_cast<float>(i), 1.0f, 0.0f});
  }
  std::vector<MQCoordinate>& uvs = obj.CornerUvsPerCorner();
  for (int i = 0; i < n; ++i) {
    const int32_t points[4] = {2 * i, 2 * i + 1, 2 * i + 3, 2 * i + 2};
    const int32_t f = obj.AddFace(4, points);
    for (int k = 0; k < 4; ++k) {
      const int32_t v = points[k];
      uvs[static_cast<size_t>(obj.face_start[f] + k)] = MQCoordinate{static_cast<float>(v / 2) / static_cast<float>(n),
                                                                      static_cast<float>(v % 2)};
    }
  }
  return obj;
}

TEST(CornerUvs, SharedCoordinatesReadBackBitForBit) {
  MQObjectRecord obj = Strip(100);
  // A seam, a -0 beside a +0 on one vertex, a NaN, and corners whose vertex
  // index is out of range: each must come back exactly as it went in.
  std::vector<MQCoordinate>& uvs = obj.CornerUvsPerCorner();
  uvs[396].u = 1.0f;
  uvs[397].u = 1.0f;
  uvs[4].u = -0.0f;
  uvs[9].v = std::numeric_limits<float>::quiet_NaN();
  obj.corner_vertex[20] = -1;
  obj.corner_vertex[21] = 5000;
  const std::vector<uint32_t> before = Bits(obj);

  obj.ShareCornerUvs();
  ASSERT_TRUE(obj.corner_uvs.IsShared());
  EXPECT_EQ(obj.corner_uvs.size(), 400u);
  EXPECT_EQ(Bits(obj), before);
  EXPECT_TRUE(std::signbit(obj.CornerUv(4).u));
  EXPECT_TRUE(std::isnan(obj.CornerUv(9).v));

  // Back to one per corner, for editing: the same values.
  obj.CornerUvsPerCorner();
  EXPECT_FALSE(obj.corner_uvs.IsShared());
  EXPECT_EQ(Bits(obj), before);
}

TEST(CornerUvs, KeptPerCornerWhenSharingSavesNothing) {
  MQObjectRecord obj = Strip(10);
  std::vector<MQCoordinate>& uvs = obj.CornerUvsPerCorner();
  for (size_t c = 0; c < uvs.size(); ++c) uvs[c].u = static_cast<float>(c);
  const std::vector<uint32_t> before = Bits(obj);
  obj.ShareCornerUvs();
  EXPECT_FALSE(obj.corner_uvs.IsShared());
  EXPECT_EQ(Bits(obj), before);
}

// Every edit of an object gives the same coordinates whether they were
// shared before it or not.
TEST(CornerUvs, EditsAfterSharingSeeTheSameCoordinates) {
  using Edit = void (*)(MQObjectRecord&);
  const Edit edits[] = {
      [](MQObjectRecord& o) { o.DeleteVertex(7, false); },
      [](MQObjectRecord& o) { o.DeleteVertex(7, true); },
      [](MQObjectRecord& o) { o.DeleteFace(3); },
      [](MQObjectRecord& o) { o.InvertFace(5); },
      [](MQObjectRecord& o) { o.MergeCloseVertices(1.5f); },
      [](MQObjectRecord& o) {
        const int32_t points[3] = {0, 1, 2};
        o.AddFace(3, points);
      },
      [](MQObjectRecord& o) { o.Append(Strip(4)); },
      [](MQObjectRecord& o) {
        MQObjectRecord other = Strip(4);
        other.ShareCornerUvs();
        o.Append(other);
      },
  };
  for (size_t e = 0; e < sizeof edits / sizeof edits[0]; ++e) {
    MQObjectRecord plain = Strip(40);
    plain.CornerUvsPerCorner()[150].u = 1.0f;
    MQObjectRecord shared = plain;
    shared.ShareCornerUvs();
    ASSERT_TRUE(shared.corner_uvs.IsShared());
    edits[e](plain);
    edits[e](shared);
    EXPECT_EQ(shared.corner_vertex, plain.corner_vertex) << e;
    EXPECT_EQ(Bits(shared), Bits(plain)) << e;
  }
}

TEST(CornerUvs, ReleasedObjectHoldsNone) {
  MQObjectRecord obj = Strip(20);
  obj.ShareCornerUvs();
  obj.ReleaseFaces();
  EXPECT_EQ(obj.corner_uvs.size(), 0u);
  EXPECT_FALSE(obj.corner_uvs.IsShared());
}

}  // namespace
