// Preparing a scene read from a dotXSI file for the writers: what the file
// gave stays, what it did not give is made as for a host document.
#include <gtest/gtest.h>

#include <cmath>

#include "test_scenes.h"
#include "vector_expectations.h"
#include "w_lib/w_scene.h"

namespace {

constexpr float kHalfPi = 1.5707964f;

}  // namespace

TEST(PrepareReadScene, KeepsTheFilesNormalsAndColoursAndMakesTheMissingOnes) {
  // Two quads in the plane z = 0 facing +z, and a cube beside them.
  WScene scene = MakeCube();
  const int untextured = scene.AddMaterial("plain");
  const int textured = scene.AddMaterial("wood");
  scene.materials[textured].tex = scene.AddTexture("wood.png");
  WObject& quads = AddObjectAt(scene, "quads", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}});
  AddFaceOver(quads, {0, 1, 2, 3}, textured);
  AddFaceOver(quads, {1, 4, 5, 2}, untextured);
  // The first quad has the file's normals (tilted, to tell them from any
  // that could be made) and colours; the second has neither.
  const int n = AddNormalAlong(quads, WVector(0.6f, 0, 0.8f));
  const int c = AddColorOf(quads, WColor(1, 0, 0, 1));
  SetCorners(quads, 0, &WFace::vn, {n, n, n, n});
  SetCorners(quads, 0, &WFace::vc, {c, c, c, c});
  SetFaceUvs(quads, 0, {0, 0, 1, 0, 1, 1, 0, 1});
  SetFaceUvs(quads, 1, {0, 0, 1, 0, 1, 1, 0, 1});
  // Every corner of the cube has a normal of its own, straight up.
  WObject& cube = scene.objects[0];
  const int up = AddNormalAlong(cube, WVector(0, 1, 0));
  for (int f = 0; f < cube.fnum; ++f) SetCorners(cube, f, &WFace::vn, {up, up, up, up});

  PrepareReadScene(scene);
  const WObject& q = scene.objects[1];
  for (int k = 0; k < 4; ++k) {
    const WFace& first = q.faces[0];
    const WFace& second = q.faces[1];
    ExpectNear(q.normals[first.vn()[k]].normal, WVector(0.6f, 0, 0.8f));
    EXPECT_EQ(q.colors[first.vc()[k]].col, WColor(1, 0, 0, 1));
    // Made as the export makes them: the face's own normal (its
    // neighbour's tilted normal is not a face normal), and white.
    ExpectNear(q.normals[second.vn()[k]].normal, WVector(0, 0, 1));
    EXPECT_EQ(q.colors[second.vc()[k]].col, WColor(1, 1, 1, 1));
    // Texture coordinates stay on the textured face only.
    EXPECT_GE(first.vt()[k], 0);
    EXPECT_EQ(second.vt()[k], -1);
  }
  EXPECT_EQ(q.unum, 4);
  EXPECT_NEAR(q.faces[1].normal.z, 1.0f, 1e-6f);
  // The cube's normals are all the file's, untouched; its corners get white.
  const WObject& prepared_cube = scene.objects[0];
  ASSERT_EQ(prepared_cube.nnum, 1);
  EXPECT_EQ(prepared_cube.normals[0].normal, WVector(0, 1, 0));
  EXPECT_GE(prepared_cube.faces[3].vc()[2], 0);
  // Nothing was mirrored or scaled.
  EXPECT_EQ(prepared_cube.vertices[7].pos, WVector(1, 1, 1));
}

TEST(RotationsToXsiOrder, GivesTheAnglesThatDotXsiTurnsBy) {
  WScene scene;
  AddObjectAt(scene, "turned");
  AddObjectAt(scene, "about z only");
  scene.objects[0].transform.rotate = WVector(0, kHalfPi, kHalfPi);
  scene.objects[1].transform.rotate = WVector(0, 0, 0.3f);
  RotationsToXsiOrder(scene);
  // Z then Y by a quarter turn each is X then Z (see the math test).
  ExpectNear(scene.objects[0].transform.rotate, WVector(kHalfPi, 0, kHalfPi));
  EXPECT_EQ(scene.objects[1].transform.rotate, WVector(0, 0, 0.3f));
}
