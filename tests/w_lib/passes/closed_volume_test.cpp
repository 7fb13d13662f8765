// The signed volume of a mesh and whether it closes.
#include <gtest/gtest.h>

#include "test_scenes.h"
#include "w_lib/w_scene.h"

TEST(MeasureMeshVolume, SignShowsWhichWayAClosedMeshFaces) {
  WScene scene = MakeCube();
  WObject& cube = scene.objects[0];
  WMeshVolume m = MeasureMeshVolume(cube, WMatrix());
  EXPECT_TRUE(m.Closed());
  EXPECT_EQ(m.sides, 24);
  EXPECT_DOUBLE_EQ(m.volume, 1.0);

  // The matrix applies: twice the size, moved away from the origin.
  WMatrix grown;
  grown.Scale(2, 2, 2);
  grown.Translate(10, -4, 3);
  EXPECT_DOUBLE_EQ(MeasureMeshVolume(cube, grown).volume, 8.0);

  // Turned inside out.
  ReverseObjectFaces(cube);
  m = MeasureMeshVolume(cube, WMatrix());
  EXPECT_TRUE(m.Closed());
  EXPECT_DOUBLE_EQ(m.volume, -1.0);
}

TEST(MeasureMeshVolume, OpenSidesAreCounted) {
  WScene scene = MakeCube();
  WObject& cube = scene.objects[0];
  // A vertex split in two at one place (as a texture seam does) keeps the
  // mesh closed; a line bounds nothing.
  const int twin = AddVertexAt(cube, 1, 1, 1);
  SetCorners(cube, 5, &WFace::v, {1, 3, twin, 5});
  AddFaceOver(cube, {0, 7});
  WMeshVolume m = MeasureMeshVolume(cube, WMatrix());
  EXPECT_TRUE(m.Closed());
  EXPECT_DOUBLE_EQ(m.volume, 1.0);

  // Without the top face four sides lie open.
  cube.faces[1].flags |= kDeleted;
  cube.Compact();
  m = MeasureMeshVolume(cube, WMatrix());
  EXPECT_FALSE(m.Closed());
  EXPECT_EQ(m.open_sides, 4);

  // A face twice over: its four sides are there twice, and the four sides
  // of its neighbours along it each meet two.
  WScene doubled = MakeCube();
  AddFaceOver(doubled.objects[0], {0, 2, 3, 1});
  EXPECT_EQ(MeasureMeshVolume(doubled.objects[0], WMatrix()).open_sides, 12);

  // Nothing to measure: no faces, or a corner that names no vertex.
  WScene empty;
  AddObjectAt(empty, "points", {{0, 0, 0}});
  EXPECT_FALSE(MeasureMeshVolume(empty.objects[0], WMatrix()).Closed());
  SetCorners(doubled.objects[0], 0, &WFace::v, {0, 2, 3, 99});
  m = MeasureMeshVolume(doubled.objects[0], WMatrix());
  EXPECT_EQ(m.sides, 0);
  EXPECT_FALSE(m.Closed());
}
