// The scene dump against hand-written listings, and its failures.
#include <gtest/gtest.h>

#include <string>

#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

// Object "body" with a base transform, a triangle of material 1 with
// normals out of order, a side line and a loose line, keys on three
// channels and two weights; object "bone" below it.
WScene MakeBodyAndBone() {
  WScene scene;
  scene.start_frame = 1;
  scene.end_frame = 90;
  scene.frame = 3;
  scene.fps = 24.0f;
  AddMaterialOf(scene, "red", WColor(0.8f, 0.4f, 0.2f, 1.0f), "C:\\maps\\brick.bmp");
  const int plain = scene.AddMaterial("plain");

  WObject& o = AddObjectAt(scene, "body", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  o.flags |= kHasBaseTransform;
  o.transform.translate = WVector(1.0f, 2.0f, 3.0f);
  o.transform.rotate = WVector(0.0f, 0.5f, 0.0f);
  o.btransform.translate = WVector(0.0f, 1.0f, 0.0f);
  o.btransform.scale = WVector(2.0f, 2.0f, 2.0f);
  const int f = AddFaceOver(o, {0, 1, 2}, plain);
  SetFaceUvs(o, f, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f});
  AddNormalAlong(o, WVector(0.0f, 0.0f, 1.0f));
  AddNormalAlong(o, WVector(0.0f, 1.0f, 0.0f));
  SetCorners(o, f, &WFace::vn, {1, 1, 0});
  AddColorOf(o, WColor(1.0f, 0.5f, 0.25f, 1.0f));
  o.faces[f].SideLines()[0] = AddLineBetween(o, 0, 1);
  AddLineBetween(o, 1, 2);

  const int k10 = o.FindOrAddKey(10);
  o.keys[k10].SetChannel(kTranslateX, 1.5f);
  o.keys[k10].SetChannel(kRotateX, 0.25f);
  const int k20 = o.FindOrAddKey(20);
  o.keys[k20].SetChannel(kScaleY, 2.0f);
  const int k30 = o.FindOrAddKey(30);
  o.keys[k30].channels = 0;  // no channel: not listed

  const int bone = 1;
  AddWeight(o.vertices[0], bone, 0.5f);
  AddWeight(o.vertices[2], bone, 0.25f);
  AddObjectAt(scene, "bone").parent = 0;
  return scene;
}

std::string Dump(const WScene& scene) { return FileTextOf(WriteSceneDump, scene); }

}  // namespace

TEST(SceneDump, MatchesHandWrittenListings) {
  EXPECT_EQ(Dump(WScene()),
            "Dump\n\n"
            "# Created by Tesseron v0.17 (05/08/13)\n\n"
            "scene 0 60 0 30.000000\n\n"
            "onum 0\nmnum 0\ntnum 0\n\n");

  const WScene scene = MakeBodyAndBone();
  EXPECT_EQ(Dump(scene), Golden("dump/body_and_bone.txt"));
  // Lines stay lines in the scene itself.
  EXPECT_EQ(scene.objects[0].lnum, 2);
  EXPECT_EQ(scene.objects[0].fnum, 1);
}

TEST(SceneDump, FailuresReturnFalseAndLeaveNoFile) {
  ExpectFailedWritesLeaveNoFile(WriteSceneDump, MakeBodyAndBone());
}
