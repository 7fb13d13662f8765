// The export's pass sequences from start to end: that every pass runs, each
// seen by its own mark on a small scene, in order; what each pass does in
// full is checked in its own test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Vellmar/export_passes.h"
#include "tools/output_formats.h"
#include "test_files.h"
#include "test_scenes.h"
#include "w_lib/writers/w_writers.h"

namespace {

// The DirectX text of a scene prepared by passes.
// The bytes that a writer makes of a copy of scene after the passes.
template <class Write>
std::string WrittenAfter(WScene scene, void (*passes)(WScene&), Write write) {
  passes(scene);
  // Per process: the suite runs again with one thread, alongside.
  const std::string path = TempPath("passes.out");
  EXPECT_TRUE(write(path.c_str(), std::move(scene)));
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::remove(path.c_str());
  return text.str();
}

// Two textured quads side by side (vertices 0 1 2 along y = 0, 3 4 5 along
// y = 1, uvs equal where they meet) and a triangle (3, 4, 6) of an
// untextured material that nonetheless has uvs of its own. Every face lies
// in z = 0, counter-clockwise seen from +z. With deleted, one more vertex,
// marked deleted, which no face names.
WScene MakeMarkedScene(bool deleted) {
  WScene scene = MakeTexturedQuads(false);
  const int plain = scene.AddMaterial("plain");
  WObject& obj = scene.objects[0];
  AddVertexAt(obj, 1, 2, 0);
  SetFaceUvs(obj, AddFaceOver(obj, {3, 4, 6}, plain), {0.9f, 0.9f, 0.8f, 0.8f, 0.7f, 0.7f});
  if (deleted) obj.vertices[AddVertexAt(obj, 5, 5, 5)].flags |= kDeleted;
  return scene;
}

// The marks that every sequence leaves on MakeMarkedScene, whatever its
// first pass; faces_up tells which way the faces end up facing.
void ExpectEveryPassAfterTheFirst(const WScene& scene, float faces_up) {
  const WObject& obj = scene.objects[0];
  ASSERT_EQ(obj.vnum, 7);  // the deleted vertex, if any, compacted away
  ASSERT_EQ(obj.fnum, 3);
  // Face normals.
  for (int f = 0; f < 3; ++f) EXPECT_EQ(obj.faces[f].normal, WVector(0, 0, faces_up)) << f;
  // Smoothed corner normals, made into records: zero corner normals would
  // give zero records.
  ASSERT_EQ(obj.nnum, 7);  // flat: one per vertex
  for (int n = 0; n < obj.nnum; ++n) EXPECT_EQ(obj.normals[n].normal, WVector(0, 0, faces_up)) << n;
  EXPECT_EQ(obj.faces[0].corner_normals(), nullptr);  // released, or never stored
  // The untextured triangle's uvs dropped and their records purged; the
  // quads' eight corners share six records.
  EXPECT_EQ(Corners(obj.faces[2], &WFace::vt), (std::vector<int>{-1, -1, -1}));
  EXPECT_EQ(obj.unum, 6);
  // White corner colours: one record per vertex.
  EXPECT_EQ(obj.cnum, 7);
  EXPECT_EQ(obj.faces[2].vc()[2], obj.faces[0].vc()[0]);  // both at vertex 3
  // Lengths scaled to hundredths.
  EXPECT_EQ(obj.vertices[6].pos.y, 0.02f);
}

// The marks of a whole sequence, with the corner records smoothed apart and
// at the weld: the winding that its first pass sets (x of vertex 2 after
// it, the normal's sign), every later pass, and the nine edges (seven sides
// of the quads and two more of the triangle).
void ExpectMarksOfSequence(void (*run)(WScene&), float x_of_vertex_2, float normal_sign) {
  for (bool deleted : {false, true}) {
    SCOPED_TRACE(deleted ? "smoothed apart" : "smoothed at the weld");
    WScene scene = MakeMarkedScene(deleted);
    run(scene);
    const WObject& obj = scene.objects[0];
    EXPECT_EQ(obj.vertices[2].pos, WVector(x_of_vertex_2, 0, 0));
    EXPECT_EQ(Corners(obj.faces[0]), (std::vector<int>{3, 4, 1, 0}));
    ExpectEveryPassAfterTheFirst(scene, normal_sign);
    EXPECT_EQ(obj.lnum, 9);
    EXPECT_NE(obj.faces[2].SideLine(1), -1);
  }
}

}  // namespace

TEST(ExportPasses, EveryPassLeavesItsMark) {
  // The mirror in x: x negated, every face reversed, still facing +z.
  ExpectMarksOfSequence(RunExportPasses, -0.02f, 1);
  WScene scene = MakeMarkedScene(false);
  RunExportPassesWithoutEdges(scene);
  ExpectEveryPassAfterTheFirst(scene, 1);
  EXPECT_EQ(scene.objects[0].lnum, 0);
}

TEST(LibraryFormatPasses, EveryPassLeavesItsMark) {
  // Every face reversed, now facing -z; x as it was.
  ExpectMarksOfSequence(RunLibraryFormatPasses, 0.02f, -1);
  // For the writers the edges are made only where lines are: a loose line
  // beside the faces brings them.
  WScene bare = MakeMarkedScene(false);
  RunLibraryFormatPassesForWriters(bare);
  ExpectEveryPassAfterTheFirst(bare, -1);
  EXPECT_EQ(bare.objects[0].lnum, 0);
  WScene lined = MakeMarkedScene(false);
  AddLineBetween(lined.objects[0], 2, 6);
  RunLibraryFormatPassesForWriters(lined);
  EXPECT_EQ(lined.objects[0].lnum, 10);
}

TEST(ExportPasses, MirroredScaledAndEveryRecordKindShared) {
  // A point alone: mirrored in x and scaled to hundredths.
  WScene scene;
  AddObjectAt(scene, "point", {{100, 200, 300}});
  RunExportPasses(scene);
  EXPECT_EQ(scene.objects[0].vertices[0].pos, WVector(-1, 2, 3));
  WScene empty;
  RunExportPasses(empty);
  EXPECT_EQ(empty.onum + empty.mnum, 0);

  WScene cube = MakeCube();
  RunExportPasses(cube);
  const WObject& obj = cube.objects[0];
  EXPECT_EQ(obj.nnum, 24);  // 90 degrees everywhere: three per vertex
  EXPECT_EQ(obj.cnum, 8);   // white corners: one per vertex
  EXPECT_EQ(obj.unum, 0);   // untextured
  EXPECT_EQ(obj.lnum, 12);
  // The face at z = 0 was (0, 2, 3, 1), facing -z; reversed after the
  // mirror in x it still faces -z, and its normals come after the mirror.
  const WFace& bottom = obj.faces[0];
  EXPECT_EQ(Corners(bottom), (std::vector<int>{1, 3, 2, 0}));
  EXPECT_EQ(bottom.normal, WVector(0, 0, -1));
  EXPECT_EQ(obj.normals[bottom.vn()[0]].normal, WVector(0, 0, -1));
  EXPECT_EQ(bottom.corner_normals(), nullptr);  // released once the records hold them
  EXPECT_EQ(obj.faces[5].normal, WVector(-1, 0, 0));

  for (bool seam : {false, true}) {
    WScene quads = MakeTexturedQuads(seam);
    RunExportPasses(quads);
    EXPECT_EQ(quads.objects[0].unum, seam ? 8 : 6);
    EXPECT_EQ(quads.objects[0].nnum, 6);  // flat: one per vertex
    EXPECT_EQ(quads.objects[0].lnum, 7);
  }
}

TEST(LibraryFormatPasses, FacesReversedNothingMirrored) {
  // The same passes with the faces reversed instead of mirrored: x stays.
  WScene scene;
  AddObjectAt(scene, "point", {{100, 200, 300}});
  RunLibraryFormatPasses(scene);
  EXPECT_EQ(scene.objects[0].vertices[0].pos, WVector(1, 2, 3));

  // The cube's bottom face, reversed in place, now faces +z, with the
  // normals and records of the other passes made after the reversal.
  WScene cube = MakeCube();
  RunLibraryFormatPasses(cube);
  const WObject& obj = cube.objects[0];
  EXPECT_EQ(Corners(obj.faces[0]), (std::vector<int>{1, 3, 2, 0}));
  EXPECT_EQ(obj.vertices[1].pos, WVector(0.01f, 0, 0));
  EXPECT_EQ(obj.faces[0].normal, WVector(0, 0, 1));
  EXPECT_EQ(obj.normals[obj.faces[0].vn()[0]].normal, WVector(0, 0, 1));
  EXPECT_EQ(obj.nnum, 24);
  EXPECT_EQ(obj.cnum, 8);
  EXPECT_EQ(obj.lnum, 12);
}

TEST(LibraryFormatPasses, WritersWriteTheSameWithoutTheFaceSidesLines) {
  // Textured quads with a seam, a two-corner face, and loose lines that
  // repeat one another and a face side, beside an object without lines of
  // its own: the edge list is made only where lines are, and the writers
  // drop the face sides' lines, so every format's bytes stay the same.
  WScene scene = MakeTexturedQuads(true);
  WObject& obj = scene.objects[0];
  AddFaceOver(obj, {0, 2});
  AddLineBetween(obj, 0, 1);
  AddLineBetween(obj, 1, 0);
  AddLineBetween(obj, 0, 5);
  WScene cube = MakeCube();
  scene.objects[scene.AddObject("cube")] = cube.objects[0];
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  for (const OutputFormat& format : std::vector<OutputFormat>(formats, formats + count)) {
    if (!format.write || format.passes == RunExportPassesWithoutEdges) continue;
    const auto write = [&format](const char* path, WScene&& s) { return format.write(path, std::move(s), {}); };
    const std::string with_edges = WrittenAfter(scene, RunLibraryFormatPasses, write);
    EXPECT_GT(with_edges.size(), 200u) << format.name;
    EXPECT_EQ(WrittenAfter(scene, RunLibraryFormatPassesForWriters, write), with_edges) << format.name;
  }

  // The dotXSI writer reads neither lines nor face sides. Its time stamp is
  // held still for the two writes.
  setenv("SOURCE_DATE_EPOCH", "1796655600", 1);
  const auto write_xsi = [](const char* path, WScene&& s) { return WriteXsiFile(path, s); };
  const std::string xsi_with_edges = WrittenAfter(scene, RunExportPasses, write_xsi);
  EXPECT_GT(xsi_with_edges.size(), 500u);
  EXPECT_EQ(WrittenAfter(scene, RunExportPassesWithoutEdges, write_xsi), xsi_with_edges);
  unsetenv("SOURCE_DATE_EPOCH");
}

TEST(ExportPasses, ABrokenDocumentDoesNotCrash) {
  // Material and texture indices out of range, vertex indices out of range,
  // a polygon of seven corners, a line from a vertex to itself and parents
  // that loop or name nothing.
  WScene scene = MakeTexturedQuads(false);
  scene.materials[0].tex = 4;
  WObject& obj = AddObjectAt(scene, "bad");
  for (int i = 0; i < 7; ++i) AddVertexAt(obj, static_cast<float>(i), static_cast<float>(i * i % 5), 0);
  AddFaceOver(obj, {0, 1, 2, 3, 4, 5, 6}, 0);
  SetFaceUvs(obj, AddFaceOver(obj, {0, 9, 2}, 3), {0, 0, 1, 1, 2, 2});
  AddFaceOver(obj, {-4, 1, 2, 3}, -1);
  obj.faces[2].vt()[0] = 77;
  AddLineBetween(obj, 3, 3);
  obj.parent = 0;
  scene.objects[0].parent = 1;
  AddObjectAt(scene, "orphan").parent = 99;
  RunExportPasses(scene);
  const WObject& bad = scene.objects[1];
  EXPECT_EQ(bad.faces[0].num, 7);
  EXPECT_EQ(LinesOf(bad).at(0), std::make_pair(3, 3));
  EXPECT_EQ(bad.faces[1].normal, WVector());
  EXPECT_EQ(bad.faces[1].SideLine(0), -1);
  EXPECT_EQ(scene.objects[0].unum, 0);  // its texture does not exist
}

TEST(LibraryFormatPasses, GltfWritersWriteTheSameWithoutWhiteColorRecords) {
  // Objects side by side: textured quads with a seam and a cube, white at
  // every corner (the cube's corners hold white colours of their own); a
  // cube with one corner of another colour; a cube with a two-corner face,
  // whose ends would find their vertices otherwise without colour records.
  WScene scene = MakeTexturedQuads(true);
  const auto add_cube = [&scene](const char* name) -> WObject& {
    WScene cube = MakeCube();
    WObject& added = scene.objects[scene.AddObject(name)];
    added = cube.objects[0];
    return added;
  };
  WObject& white = add_cube("white");
  for (int f = 0; f < white.fnum; ++f)
    std::fill_n(white.faces[f].CornerColors(), white.faces[f].num, WFaceCorners::kCornerColor);
  add_cube("red").faces[2].CornerColors()[1] = WColor(1.0f, 0.0f, 0.0f, 1.0f);
  AddFaceOver(add_cube("edge"), {0, 6});
  UpdateMatrices(scene);

  WScene passed = scene;
  RunLibraryFormatPassesForGltf(passed);
  const int colors[4] = {0, 0, 9, 8};  // records only where the writers would tell them apart
  for (int o = 0; o < 4; ++o) EXPECT_EQ(passed.objects[o].cnum, colors[o]) << o;

  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  int written = 0;
  for (const OutputFormat& format : std::vector<OutputFormat>(formats, formats + count)) {
    if (!format.write || format.passes != RunLibraryFormatPassesForGltf) continue;
    const auto write = [&format](const char* path, WScene&& s) { return format.write(path, std::move(s), {}); };
    const std::string with_colors = WrittenAfter(scene, RunLibraryFormatPassesForWriters, write);
    EXPECT_GT(with_colors.size(), 500u) << format.name;
    // Compared whole, reported by name: the files are mostly binary.
    EXPECT_TRUE(WrittenAfter(scene, RunLibraryFormatPassesForGltf, write) == with_colors) << format.name;
    ++written;
  }
#if VELLMAR_GLTF
  EXPECT_EQ(written, 2);
#endif
}
