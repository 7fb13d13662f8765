// Dropping the texture coordinates of faces that show no texture.
#include <gtest/gtest.h>

#include <vector>

#include "test_scenes.h"

namespace {
using Ints = std::vector<int>;
}  // namespace

TEST(CornerUvs, UntexturedFacesLoseTheirs) {
  // Quad 0 keeps its uvs; quad 1 loses its material; four more faces have
  // no material, a material without texture, a material index and a texture
  // index out of range.
  WScene scene = MakeTexturedQuads(false);
  const int plain = scene.AddMaterial("plain");
  const int broken = scene.AddMaterial("broken");
  scene.materials[broken].tex = 5;
  WObject& obj = scene.objects[0];
  for (int m : {-1, plain, 9, broken}) SetFaceUvs(obj, AddFaceOver(obj, {0, 1, 2}, m), {7, 7, 8, 8, 9, 9});
  obj.faces[1].material = -1;
  DropUntexturedUvs(scene);
  EXPECT_EQ(obj.unum, 4);
  EXPECT_EQ(Corners(obj.faces[0], &WFace::vt), (Ints{0, 1, 2, 3}));
  for (int f = 1; f < obj.fnum; ++f) EXPECT_EQ(Corners(obj.faces[f], &WFace::vt), Ints(obj.faces[f].num, -1));
}
