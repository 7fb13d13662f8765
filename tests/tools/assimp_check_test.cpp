// A reader that no one here wrote: Debian's assimp command line must load
// every .obj, .x and .dxf that vellmar convert writes for the examples and
// the real documents, with the face and vertex counts that the prepared
// scene implies. Skipped where assimp is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "host_documents.h"
#include "test_files.h"

namespace {

struct Counts {
  long faces = 0;
  long vertices = 0;
};

// What `assimp info -r` reports: a raw import, without the post-processing
// that would triangulate polygons and join vertices. A raw import keeps one
// vertex per face corner, and counts a line entity as a two-vertex face.
bool AssimpCounts(const std::string& file, Counts& counts) {
  const std::string report = TempPath("assimp.txt");
  const std::string command = "assimp info \"" + file + "\" -r >\"" + report + "\" 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  const std::string text = ReadFile(report);
  const size_t faces = text.find("\nFaces:"), vertices = text.find("\nVertices:");
  if (faces == std::string::npos || vertices == std::string::npos) return false;
  counts.faces = std::strtol(text.c_str() + faces + 7, nullptr, 10);
  counts.vertices = std::strtol(text.c_str() + vertices + 10, nullptr, 10);
  return true;
}

bool AssimpInstalled() { return std::system("command -v assimp >/dev/null 2>&1") == 0; }

// Faces and their corners, and with lines_count also every line as a face
// of two corners, over the objects that count.
Counts SceneCounts(const WScene& scene, bool objects_without_vertices_count, bool lines_count) {
  Counts c;
  for (int o = 0; o < scene.onum; ++o) {
    const WObject& obj = scene.objects[o];
    if (obj.vnum == 0 && !objects_without_vertices_count) continue;
    const long lines = lines_count ? obj.lnum : 0;
    c.faces += obj.fnum + lines;
    c.vertices += obj.CornerCount() + 2 * lines;
  }
  return c;
}

// The scene each writer writes from: the export's prepared scene, with the
// writer's own preparation of its copy.
Counts ExpectedCounts(const WScene& prepared, const std::string& format) {
  WScene copy(prepared);
  if (format == "obj") {
    DropFaceEdges(copy);
    LinesToFaces(copy);
    return SceneCounts(copy, false, true);
  }
  if (format == "x") return SceneCounts(copy, true, false);
  DropFaceEdges(copy);
  FreezeTransforms(copy);
  TriangulateScene(copy, 1);
  return SceneCounts(copy, true, true);
}

std::vector<std::string> Documents() {
  std::vector<std::string> documents;
  for (const char* name : {"cube.mqo", "textured_seam.mqo", "ngon.mqo", "untextured_and_no_material.mqo"})
    documents.push_back(std::string(VELLMAR_EXAMPLES) + "/" + name);
  const std::string samples = VELLMAR_MQO_SAMPLES;
  if (!samples.empty())
    for (const char* name : {"binzume_autocsg_sample.mqo", "dsan_chan3_bvertex.mqo", "dsan_shodai_noeof.mqo",
                             "dsan_wild.mqo", "mqoio_case5_utf8.mqoz", "nutti_bvertex.mqo", "nutti_edge.mqo",
                             "nutti_materialex2.mqo", "nutti_normal.mqo", "nutti_single_object.mqoz",
                             "nutti_texture.mqo", "shrinkwrap_test.mqo"})
      documents.push_back(samples + "/" + name);
  return documents;
}

}  // namespace

TEST(AssimpReadsOurFiles, ObjXAndDxfOfExamplesAndRealDocuments) {
  if (!AssimpInstalled()) GTEST_SKIP() << "assimp is not installed (Debian package assimp-utils)";
  void* host = OpenLibrary(VELLMAR_HOST_MODULE);
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(BindHost(VELLMAR_HOST_MODULE, BoundHost()), 1);
  for (const std::string& document : Documents()) {
    char error[512] = {};
    MQDocument doc = VHost_LoadDocument(document.c_str(), error, sizeof error);
    if (!doc && document.find(VELLMAR_MQO_SAMPLES) == 0) continue;  // a sample left out of the folder
    ASSERT_NE(doc, nullptr) << error;
    WScene prepared;
    PrepareExportScene(doc, prepared);
    VHost_DestroyDocument(doc);

    for (const std::string format : {"obj", "x", "dxf", "dxf-polyface"}) {
      SCOPED_TRACE(document + " as " + format);
      const std::string out = TempPath("assimp." + format + (format == "obj" ? ".obj" : format == "x" ? ".x" : ".dxf"));
      const std::string command = std::string("\"") + VELLMAR_TOOL + "\" convert \"" + document + "\" \"" + out +
                                  "\" --format " + format + " >/dev/null";
      ASSERT_EQ(std::system(command.c_str()), 0);
      Counts read;
      ASSERT_TRUE(AssimpCounts(out, read)) << "assimp could not load " << out;
      const Counts expected = ExpectedCounts(prepared, format);
      EXPECT_EQ(read.faces, expected.faces);
      EXPECT_EQ(read.vertices, expected.vertices);
    }
  }
  CloseLibrary(host);
}
