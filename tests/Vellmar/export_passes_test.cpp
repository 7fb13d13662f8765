// The export's pass sequence from start to end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "Vellmar/export_passes.h"
#include "test_scenes.h"

TEST(ExportPasses, Arguments) {
  uint32_t bits;
  std::memcpy(&bits, &kExportUnitScale, sizeof bits);
  EXPECT_EQ(bits, 0x3C23D70Au);
  EXPECT_EQ(kExportMirrorMask, 1u);
}

TEST(ExportPasses, MirroredInXAndScaledToHundredths) {
  WScene scene;
  const int o = scene.AddObject("point");
  AddVertexAt(scene.objects[o], 100, 200, 300);
  RunExportPasses(scene);
  EXPECT_EQ(scene.objects[o].vertices[0].pos, WVector(-1, 2, 3));

  WScene empty;
  RunExportPasses(empty);
  EXPECT_EQ(empty.onum, 0);
  EXPECT_EQ(empty.mnum, 0);
}

TEST(ExportPasses, CubeEndsWithSharedRecordsAndEdges) {
  WScene scene = MakeCube();
  RunExportPasses(scene);
  const WObject& obj = scene.objects[0];
  EXPECT_EQ(obj.nnum, 24);  // 90 degrees everywhere: three per vertex
  EXPECT_EQ(obj.cnum, 8);   // white corners: one per vertex
  EXPECT_EQ(obj.unum, 0);   // untextured
  EXPECT_EQ(obj.lnum, 12);
  // The face at z = 0 was (0, 2, 3, 1), facing -z; reversed after the
  // mirror in x it still faces -z.
  const WFace& bottom = obj.faces[0];
  EXPECT_EQ(bottom.v[0], 1);
  EXPECT_EQ(bottom.v[3], 0);
  EXPECT_EQ(bottom.normal, WVector(0, 0, -1));
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(obj.normals[bottom.vn[k]].normal, WVector(0, 0, -1));
    EXPECT_EQ(obj.colors[bottom.vc[k]].col, WColor(1, 1, 1, 1));
    EXPECT_NE(bottom.e[k], -1);
    EXPECT_EQ(bottom.vt[k], -1);
  }
  // The face at x = 1 now lies at x = -0.01 and faces -x.
  EXPECT_EQ(obj.faces[5].normal, WVector(-1, 0, 0));
  EXPECT_EQ(obj.vertices[1].pos, WVector(-0.01f, 0, 0));
}

TEST(ExportPasses, TexturedQuadsWeldTheirUvs) {
  WScene scene = MakeTexturedQuads(false);
  RunExportPasses(scene);
  EXPECT_EQ(scene.objects[0].unum, 6);
  EXPECT_EQ(scene.objects[0].nnum, 6);  // flat: one per vertex
  EXPECT_EQ(scene.objects[0].lnum, 7);

  WScene seam = MakeTexturedQuads(true);
  RunExportPasses(seam);
  EXPECT_EQ(seam.objects[0].unum, 8);
}

TEST(ExportPasses, ABrokenDocumentDoesNotCrash) {
  // Material and texture indices out of range, vertex indices out of range,
  // a polygon of seven corners, a line from a vertex to itself and parents
  // that loop or name nothing.
  WScene scene = MakeTexturedQuads(false);
  scene.materials[0].tex = 4;
  const int o = scene.AddObject("bad");
  scene.objects[o].parent = 0;
  scene.objects[0].parent = o;
  const int p = scene.AddObject("orphan");
  scene.objects[p].parent = 99;
  WObject& obj = scene.objects[o];
  for (int i = 0; i < 7; ++i) AddVertexAt(obj, static_cast<float>(i), static_cast<float>(i * i % 5), 0);
  AddFaceOver(obj, {0, 1, 2, 3, 4, 5, 6}, 0);
  AddFaceOver(obj, {0, 9, 2}, 3);
  AddFaceOver(obj, {-4, 1, 2, 3}, -1);
  SetFaceUvs(obj, 1, {0, 0, 1, 1, 2, 2});
  obj.faces[2].vt[0] = 77;
  const int l = obj.AddLine();
  obj.lines[l].v[0] = obj.lines[l].v[1] = 3;
  RunExportPasses(scene);
  EXPECT_EQ(obj.faces[0].num, 7);
  EXPECT_EQ(obj.lines[0].v[0], 3);
  EXPECT_EQ(obj.lines[0].v[1], 3);
  EXPECT_EQ(obj.faces[1].normal, WVector());
  EXPECT_EQ(obj.faces[1].e[0], -1);
  EXPECT_EQ(scene.objects[0].unum, 0);  // its texture does not exist
}
