// The driver's copy of a host document into a scene, before any pass.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Vellmar/export_driver.h"
#include "Vellmar/export_passes.h"
#include "Vellmar/host_binding.h"
#include "host/host_document.h"
#include "w_lib/writers/w_writers.h"
#include "host_documents.h"
#include "test_files.h"
#include "test_scenes.h"

namespace {

// The stand-in host's functions as this program links them, in a table of
// their own: no module is loaded or bound.
HostTable StandInHost() {
  HostTable table;
#define MQ_HOST_FUNCTION(name)
#define MQ_EXPORT_FUNCTION(result, name, parameters) table.SetFunction<kHost_##name>(&name);
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
  return table;
}

class DriverTest : public testing::Test {
 protected:
  void SetUp() override { doc_ = VHost_CreateDocument(); }
  void TearDown() override { VHost_DestroyDocument(doc_); }

  WScene Read() {
    ExportDialogRecord record = MakeExportDialogRecord();
    WScene scene;
    ReadDocumentIntoScene(StandInHost(), doc_, record, scene);
    return scene;
  }

  MQDocument doc_ = nullptr;
};

// A host that misbehaves in each way the driver guards against: null
// handles, a negative corner count, a corner naming a vertex the object
// lacks, a face material past the list, and names that fill the whole
// buffer without a terminating zero. Its one object has three vertices and
// three faces; its axis conversion doubles x.
namespace careless_host {

// Handles the driver only passes back: any distinct addresses do.
char g_handles[2];
MQObject const kObject = reinterpret_cast<MQObject>(&g_handles[0]);
MQMaterial const kMaterial = reinterpret_cast<MQMaterial>(&g_handles[1]);
const char* g_axis_format = nullptr;

int32_t MQ_HOSTAPI Two(MQDocument) { return 2; }
MQObject MQ_HOSTAPI SecondObject(MQDocument, int32_t i) { return i == 1 ? kObject : nullptr; }
MQMaterial MQ_HOSTAPI SecondMaterial(MQDocument, int32_t i) { return i == 1 ? kMaterial : nullptr; }
void MQ_HOSTAPI FullObjectName(MQObject, char* buffer, int32_t size) { std::memset(buffer, 'o', size); }
void MQ_HOSTAPI FullMaterialName(MQMaterial, char* buffer, int32_t size) { std::memset(buffer, 'm', size); }
void MQ_HOSTAPI NoTexture(MQMaterial, char* buffer, int32_t) { buffer[0] = '\0'; }
void MQ_HOSTAPI Green(MQMaterial, MQColor* color) { *color = MQColor{0.0f, 1.0f, 0.0f}; }
float MQ_HOSTAPI Half(MQMaterial) { return 0.5f; }
int32_t MQ_HOSTAPI Three(MQObject) { return 3; }
void MQ_HOSTAPI Triangle(MQObject, MQPoint* points) {
  points[0] = MQPoint{1, 0, 0};
  points[1] = MQPoint{0, 1, 0};
  points[2] = MQPoint{0, 0, 1};
}
void MQ_HOSTAPI DoubleX(ExportDialogRecord* record, MQPoint* points, int32_t count) {
  g_axis_format = record->format_name;
  for (int32_t i = 0; i < count; ++i) points[i].x *= 2.0f;
}
int32_t MQ_HOSTAPI CornerCount(MQObject, int32_t face) { return face == 0 ? -4 : 3; }
void MQ_HOSTAPI CornerPoints(MQObject, int32_t face, int32_t* points) {
  points[0] = 2;
  points[1] = 1;
  points[2] = face == 1 ? 3 : 0;
}
void MQ_HOSTAPI Uvs(MQObject, int32_t face, MQCoordinate* uvs) {
  for (int k = 0; k < 3; ++k) uvs[k] = MQCoordinate{static_cast<float>(face), static_cast<float>(k)};
}
int32_t MQ_HOSTAPI FaceMaterial(MQObject, int32_t face) { return face == 2 ? 2 : 1; }

HostTable Table() {
  HostTable table;
  table.SetFunction<kHost_MQ_ExportAxis>(DoubleX);
  table.SetFunction<kHost_MQDoc_GetObjectCount>(Two);
  table.SetFunction<kHost_MQDoc_GetObject>(SecondObject);
  table.SetFunction<kHost_MQDoc_GetMaterialCount>(Two);
  table.SetFunction<kHost_MQDoc_GetMaterial>(SecondMaterial);
  table.SetFunction<kHost_MQObj_GetName>(FullObjectName);
  table.SetFunction<kHost_MQObj_GetVertexCount>(Three);
  table.SetFunction<kHost_MQObj_GetVertexArray>(Triangle);
  table.SetFunction<kHost_MQObj_GetFaceCount>(Three);
  table.SetFunction<kHost_MQObj_GetFacePointCount>(CornerCount);
  table.SetFunction<kHost_MQObj_GetFacePointArray>(CornerPoints);
  table.SetFunction<kHost_MQObj_GetFaceCoordinateArray>(Uvs);
  table.SetFunction<kHost_MQObj_GetFaceMaterial>(FaceMaterial);
  table.SetFunction<kHost_MQMat_GetName>(FullMaterialName);
  table.SetFunction<kHost_MQMat_GetColor>(Green);
  table.SetFunction<kHost_MQMat_GetAlpha>(Half);
  table.SetFunction<kHost_MQMat_GetTextureName>(NoTexture);
  return table;
}

}  // namespace careless_host

}  // namespace

TEST_F(DriverTest, MaterialsShareTexturesByExactName) {
  AddHostMaterial(doc_, "a", MQColor{1, 0, 0}, 0.5f, "wood.bmp");
  AddHostMaterial(doc_, "", MQColor{0, 1, 0}, 1.0f, "wood.bmp");
  AddHostMaterial(doc_, "c", MQColor{0, 0, 1}, 1.0f, "Wood.bmp");
  AddHostMaterial(doc_, "d", MQColor{0, 0, 0}, 1.0f, "");
  const WScene scene = Read();
  ASSERT_EQ(scene.mnum, 4);
  ASSERT_EQ(scene.tnum, 2);
  EXPECT_STREQ(scene.textures[0].name.get(), "wood.bmp");
  EXPECT_STREQ(scene.textures[1].name.get(), "Wood.bmp");
  const int tex[] = {0, 0, 1, -1};
  for (int m = 0; m < 4; ++m) EXPECT_EQ(scene.materials[m].tex, tex[m]);
  EXPECT_STREQ(scene.materials[1].name.get(), "mat_01");
  EXPECT_EQ(scene.materials[0].col, WColor(1, 0, 0, 0.5f));
}

TEST_F(DriverTest, ObjectsFacesAndOneUvPerCorner) {
  AddHostMaterial(doc_, "half", MQColor{0.2f, 0.4f, 0.6f}, 0.5f, "t.bmp");
  MQObject first = AddHostObject(doc_, "", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
  AddHostFace(first, {0, 1, 2, 3}, 0, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  AddHostFace(first, {1, 4, 2}, -1, {{1, 0}, {2, 0}, {1, 1}});
  AddHostObject(doc_, "same", {});
  AddHostObject(doc_, "same", {});
  const WScene scene = Read();
  ASSERT_EQ(scene.onum, 3);
  EXPECT_STREQ(scene.objects[0].name.get(), "obj_00");
  EXPECT_STREQ(scene.objects[1].name.get(), "same");
  EXPECT_STREQ(scene.objects[2].name.get(), "same");

  const WObject& obj = scene.objects[0];
  // Records: vertices, faces, the uvs of the textured quadrilateral shared
  // per vertex (the untextured triangle has none), no lines, normals or
  // colours.
  EXPECT_EQ((std::vector<int>{obj.vnum, obj.fnum, obj.unum, obj.lnum, obj.nnum, obj.cnum}),
            (std::vector<int>{5, 2, 4, 0, 0, 0}));
  ASSERT_EQ(obj.fnum, 2);
  const WFace& quad = obj.faces[0];
  const WFace& tri = obj.faces[1];
  EXPECT_EQ(quad.num, 4);
  EXPECT_EQ(Corners(tri), (std::vector<int>{1, 4, 2}));
  EXPECT_EQ(Corners(quad, &WFace::vt), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(Corners(tri, &WFace::vt), (std::vector<int>{-1, -1, -1}));
  EXPECT_EQ(obj.uvs[2].u, 1.0f);
  EXPECT_EQ(obj.uvs[3].v, 1.0f);
  // Face colour: the material's colour with alpha 1, or white.
  EXPECT_EQ(quad.col, WColor(0.2f, 0.4f, 0.6f, 1.0f));
  EXPECT_EQ(scene.materials[0].col.a, 0.5f);
  EXPECT_EQ(tri.material, -1);
  EXPECT_EQ(tri.col, WColor(1, 1, 1, 1));
  EXPECT_EQ(quad.CornerColor(0), WColor(1, 1, 1, 1));
  EXPECT_EQ(obj.vertices[2].pos, WVector(1, 1, 0));
}

TEST_F(DriverTest, BadIndicesFromTheHostAreContained) {
  AddHostMaterial(doc_, "m", MQColor{1, 1, 1});
  MQObject obj = AddHostObject(doc_, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddHostFace(obj, {0, 1, 2}, 1);   // material beyond the list
  AddHostFace(obj, {0, 1, 2}, -5);  // and before it
  AddHostFace(obj, {0, 1, 2}, 0);
  // A face over a vertex the object does not have: the stand-in refuses to
  // add one, so reach into its document as a misbehaving host would.
  obj->corner_vertex[obj->face_start[2] + 1] = 3;
  const WScene scene = Read();
  const WObject& o = scene.objects[0];
  ASSERT_EQ(o.fnum, 2);
  EXPECT_EQ(o.faces[0].material, -1);
  EXPECT_EQ(o.faces[1].material, -1);
  EXPECT_EQ(o.unum, 0);  // faces without a material carry no texture coordinates
}

TEST_F(DriverTest, NgonsArriveWhole) {
  AddHostMaterial(doc_, "t", MQColor{1, 1, 1}, 1.0f, "t.bmp");
  MQObject obj = AddHostObject(doc_, "o", {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {2, 2, 0}, {1, 3, 0},
                                           {0, 3, 0}, {-1, 1, 0}});
  AddHostFace(obj, {0, 1, 2, 3, 4, 5, 6}, 0);
  const WScene scene = Read();
  const WFace& face = scene.objects[0].faces[0];
  EXPECT_EQ(Corners(face), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Corners(face, &WFace::vt), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(DriverTest, AFailedExportReturnsItsReason) {
  AddHostObject(doc_, "one", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  const HostTable host = StandInHost();
  // errno holds a decoy before each export: a reason taken from it instead
  // of from the call that failed would show as EDOM.
  errno = EDOM;
  const std::string missing = TempPath("no-such-dir") + "/out.xsi";
  EXPECT_EQ(ExportDocument(host, missing.c_str(), doc_).error(), ENOENT);
  if (FileExists("/dev/full")) {
    errno = EDOM;
    EXPECT_EQ(ExportDocument(host, "/dev/full", doc_).error(), ENOSPC);
  }
  const std::string path = TempPath("driver.xsi");
  const WriteResult written = ExportDocument(host, path.c_str(), doc_);
  EXPECT_TRUE(written.written());
  EXPECT_EQ(written.error(), 0);
  EXPECT_TRUE(FileExists(path));
  std::remove(path.c_str());
}

TEST(DriverOverACarelessHost, WhatTheHostGetsWrongStaysOutOfTheScene) {
  const HostTable host = careless_host::Table();
  // Only the dialog is missing: reading calls nothing else.
  EXPECT_FALSE(ExportFunctionsBound(host));
  ExportDialogRecord record = MakeExportDialogRecord();
  WScene scene;
  ReadDocumentIntoScene(host, nullptr, record, scene);

  // A null material handle keeps its index under the generated name; a
  // name without its zero is cut to the buffer less one byte.
  ASSERT_EQ(scene.mnum, 2);
  EXPECT_STREQ(scene.materials[0].name.get(), "mat_00");
  EXPECT_EQ(std::string(scene.materials[1].name.get()), std::string(kHostNameBufferSize - 1, 'm'));
  EXPECT_EQ(scene.materials[1].col, WColor(0, 1, 0, 0.5f));
  EXPECT_EQ(scene.tnum, 0);

  // A null object handle takes no index.
  ASSERT_EQ(scene.onum, 1);
  const WObject& obj = scene.objects[0];
  EXPECT_EQ(std::string(obj.name.get()), std::string(kHostNameBufferSize - 1, 'o'));
  // The axis conversion ran with the export's record.
  EXPECT_STREQ(careless_host::g_axis_format, "XSI");
  ASSERT_EQ(obj.vnum, 3);
  EXPECT_EQ(obj.vertices[0].pos, WVector(2, 0, 0));

  // The negative count reads as no corners; the face over vertex 3 is left
  // out; the material past the list becomes none, in white.
  ASSERT_EQ(obj.fnum, 2);
  EXPECT_EQ(obj.faces[0].num, 0);
  EXPECT_EQ(Corners(obj.faces[1]), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(obj.faces[0].material, 1);
  EXPECT_EQ(obj.faces[0].col, WColor(0, 1, 0, 1));
  EXPECT_EQ(obj.faces[1].material, -1);
  EXPECT_EQ(obj.faces[1].col, WColor(1, 1, 1, 1));
  // No material has a texture: no texture coordinates are kept.
  EXPECT_EQ(obj.unum, 0);
  EXPECT_EQ(Corners(obj.faces[1], &WFace::vt), (std::vector<int>{-1, -1, -1}));
}

// A conversion over the stand-in: the scene learns the document's code page
// and the document goes back to the stand-in before the passes run, once,
// also when the writer fails; over a host without the stand-in's own
// functions the names stay in the code page and the document stays.
namespace given_back {
int g_destroyed = 0;
MQDocument g_last = nullptr;
void Destroy(MQDocument doc) {
  ++g_destroyed;
  g_last = doc;
}
int32_t Utf8(MQDocument) { return 1; }
int g_destroyed_at_passes = -1;
void Passes(WScene& scene) {
  g_destroyed_at_passes = g_destroyed;
  scene.AddObject("added by the passes");
}
}  // namespace given_back

TEST_F(DriverTest, AConversionGivesTheDocumentBackOnceItIsRead) {
  AddHostObject(doc_, "one", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  HostTable host = StandInHost();
  host.stand_in.VHost_DocumentNamesAreUtf8 = given_back::Utf8;
  host.stand_in.VHost_DestroyDocument = given_back::Destroy;
  WScene written;
  const auto keep = [&](WScene&& scene) {
    written = std::move(scene);
    return WriteResult::Written();
  };
  EXPECT_TRUE(ConvertDocument(host, doc_, given_back::Passes, keep).written());
  EXPECT_EQ(given_back::g_destroyed_at_passes, 1);
  EXPECT_EQ(given_back::g_destroyed, 1);
  EXPECT_EQ(given_back::g_last, doc_);
  EXPECT_TRUE(written.utf8_names);
  ASSERT_EQ(written.onum, 2);
  EXPECT_STREQ(written.objects[0].name.get(), "one");

  const auto refuse = [](WScene&&) { return WriteResult::Failure(ENOSPC); };
  EXPECT_EQ(ConvertDocument(host, doc_, given_back::Passes, refuse).error(), ENOSPC);
  EXPECT_EQ(given_back::g_destroyed, 2);

  const auto throws = [](WScene&&) -> WriteResult { throw std::bad_alloc(); };
  EXPECT_THROW((void)ConvertDocument(host, doc_, given_back::Passes, throws), std::bad_alloc);
  EXPECT_EQ(given_back::g_destroyed, 3);

  // A host of its own code page that keeps its documents.
  const HostTable plain = StandInHost();
  EXPECT_TRUE(ConvertDocument(plain, doc_, given_back::Passes, keep).written());
  EXPECT_EQ(given_back::g_destroyed, 3);
  EXPECT_FALSE(written.utf8_names);
}

// A conversion gives the stand-in's document back object by object as it
// copies it: each object's vertices and faces go before the next object is
// read, the scene is what an export reads from the same document, and an
// export leaves the document whole although the functions are there.
// Every host call is logged in order, by object.
namespace copied {
std::vector<std::string> g_log;
MQDocument g_doc = nullptr;
int Index(MQObject obj) {
  for (int i = 0; i < MQDoc_GetObjectCount(g_doc); ++i)
    if (MQDoc_GetObject(g_doc, i) == obj) return i;
  return -1;
}
void MQ_HOSTAPI GetVertexArray(MQObject obj, MQPoint* points) {
  g_log.push_back("read vertices " + std::to_string(Index(obj)));
  MQObj_GetVertexArray(obj, points);
}
int32_t MQ_HOSTAPI GetFacePointCount(MQObject obj, int32_t face) {
  if (face == 0) g_log.push_back("read faces " + std::to_string(Index(obj)));
  return MQObj_GetFacePointCount(obj, face);
}
int g_fail_at_object = -1;
void MQ_HOSTAPI GetFaceCoordinateArray(MQObject obj, int32_t face, MQCoordinate* uvs) {
  if (Index(obj) == g_fail_at_object) throw std::bad_alloc();
  MQObj_GetFaceCoordinateArray(obj, face, uvs);
}
void ReleaseVertices(MQObject obj) {
  g_log.push_back("release vertices " + std::to_string(Index(obj)));
  VHost_ReleaseObjectVertices(obj);
}
void ReleaseFaces(MQObject obj) {
  g_log.push_back("release faces " + std::to_string(Index(obj)));
  VHost_ReleaseObjectFaces(obj);
}
void ReleaseFacesBefore(MQObject obj, int32_t face) {
  g_log.push_back("release faces " + std::to_string(Index(obj)) + " before " + std::to_string(face));
  VHost_ReleaseObjectFacesBefore(obj, face);
}
int g_destroyed = 0;
void Keep(MQDocument) { ++g_destroyed; }
void NoPasses(WScene&) {}

HostTable LoggingHost() {
  HostTable host = StandInHost();
  host.SetFunction<kHost_MQObj_GetVertexArray>(GetVertexArray);
  host.SetFunction<kHost_MQObj_GetFacePointCount>(GetFacePointCount);
  host.SetFunction<kHost_MQObj_GetFaceCoordinateArray>(GetFaceCoordinateArray);
  host.stand_in.VHost_ReleaseObjectVertices = ReleaseVertices;
  host.stand_in.VHost_ReleaseObjectFaces = ReleaseFaces;
  host.stand_in.VHost_ReleaseObjectFacesBefore = ReleaseFacesBefore;
  host.stand_in.VHost_DestroyDocument = Keep;
  return host;
}
}  // namespace copied

// Three objects: a textured quad and triangle, an empty one, a triangle.
void AddThreeObjects(MQDocument doc) {
  AddHostMaterial(doc, "m", MQColor{0.5f, 0.5f, 0.5f}, 1.0f, "t.png");
  MQObject first = AddHostObject(doc, "first", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}});
  AddHostFace(first, {0, 1, 2, 3}, 0, {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  AddHostFace(first, {1, 4, 2}, 0, {{1, 0}, {0.5f, 0}, {1, 1}});
  AddHostObject(doc, "empty", {});
  MQObject third = AddHostObject(doc, "third", {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}});
  AddHostFace(third, {2, 1, 0}, -1);
}

std::string DumpOf(const WScene& scene) {
  const std::string path = TempPath("given_back.dump");
  EXPECT_TRUE(WriteSceneDump(path.c_str(), scene).written());
  std::string text = ReadFile(path);
  std::remove(path.c_str());
  return text;
}

TEST_F(DriverTest, AConversionGivesEachObjectBackAsItCopiesIt) {
  AddThreeObjects(doc_);
  copied::g_doc = doc_;
  copied::g_log.clear();
  copied::g_destroyed = 0;
  MQDocument kept = VHost_CreateDocument();
  AddThreeObjects(kept);
  const std::string expected = DumpOf(Read());
  WScene converted;
  const auto keep = [&](WScene&& scene) {
    converted = std::move(scene);
    return WriteResult::Written();
  };
  ASSERT_TRUE(ConvertDocument(copied::LoggingHost(), doc_, copied::NoPasses, keep).written());
  EXPECT_EQ(copied::g_log,
            (std::vector<std::string>{"read vertices 0", "release vertices 0", "read faces 0", "release faces 0",
                                      "release vertices 1", "release faces 1", "read vertices 2",
                                      "release vertices 2", "read faces 2", "release faces 2"}));
  EXPECT_EQ(copied::g_destroyed, 1);
  EXPECT_EQ(DumpOf(converted), expected);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(MQObj_GetVertexCount(MQDoc_GetObject(doc_, i)), 0) << i;
    EXPECT_EQ(MQObj_GetFaceCount(MQDoc_GetObject(doc_, i)), 0) << i;
  }

  // The export reads the same through the same table, and gives nothing back.
  copied::g_doc = kept;
  copied::g_log.clear();
  WScene exported;
  PrepareExportScene(copied::LoggingHost(), kept, exported);
  EXPECT_EQ(copied::g_log, (std::vector<std::string>{"read vertices 0", "read faces 0", "read vertices 2",
                                                     "read faces 2"}));
  EXPECT_EQ(MQObj_GetVertexCount(MQDoc_GetObject(kept, 0)), 5);
  EXPECT_EQ(MQObj_GetFaceCount(MQDoc_GetObject(kept, 2)), 1);
  EXPECT_EQ(copied::g_destroyed, 1);
  VHost_DestroyDocument(kept);
}

// A conversion that fails while it copies (here the host runs out of memory
// in the third object's faces) has given back what it copied, gives the
// document back once, and passes the failure on.
TEST_F(DriverTest, AConversionThatFailsWhileCopyingGivesTheDocumentBackOnce) {
  AddThreeObjects(doc_);
  copied::g_doc = doc_;
  copied::g_log.clear();
  copied::g_destroyed = 0;
  copied::g_fail_at_object = 2;
  bool wrote = false;
  const auto write = [&](WScene&&) {
    wrote = true;
    return WriteResult::Written();
  };
  EXPECT_THROW((void)ConvertDocument(copied::LoggingHost(), doc_, copied::NoPasses, write), std::bad_alloc);
  copied::g_fail_at_object = -1;
  EXPECT_FALSE(wrote);
  EXPECT_EQ(copied::g_destroyed, 1);
  EXPECT_EQ(copied::g_log,
            (std::vector<std::string>{"read vertices 0", "release vertices 0", "read faces 0", "release faces 0",
                                      "release vertices 1", "release faces 1", "read vertices 2",
                                      "release vertices 2", "read faces 2"}));
  // The third object keeps its faces, which the stand-in frees with the
  // document.
  EXPECT_EQ(MQObj_GetFaceCount(MQDoc_GetObject(doc_, 2)), 1);
}

// Within a large object the faces go back as the copy passes them, and the
// scene is still what the export reads from the same document.
void AddStrip(MQDocument doc, int quads) {
  AddHostMaterial(doc, "m", MQColor{1, 1, 1}, 1.0f, "t.png");
  MQObject obj = AddHostObject(doc, "strip", {});
  for (int i = 0; i <= quads; ++i)
    for (float y : {0.0f, 1.0f}) {
      const MQPoint p{static_cast<float>(i), y, 0.0f};
      MQObj_AddVertex(obj, &p);
    }
  for (int i = 0; i < quads; ++i) {
    const float u = static_cast<float>(i) / static_cast<float>(quads);
    const float u1 = static_cast<float>(i + 1) / static_cast<float>(quads);
    AddHostFace(obj, {2 * i, 2 * i + 1, 2 * i + 3, 2 * i + 2}, 0, {{u, 0}, {u, 1}, {u1, 1}, {u1, 0}});
  }
}

TEST_F(DriverTest, ALargeObjectsFacesGoBackAsTheCopyPassesThem) {
  const int quads = 40000;
  AddStrip(doc_, quads);
  MQDocument kept = VHost_CreateDocument();
  AddStrip(kept, quads);
  copied::g_doc = kept;
  WScene exported;
  PrepareLibraryFormatScene(copied::LoggingHost(), kept, exported);
  VHost_DestroyDocument(kept);

  copied::g_doc = doc_;
  copied::g_log.clear();
  WScene converted;
  const auto keep = [&](WScene&& scene) {
    converted = std::move(scene);
    return WriteResult::Written();
  };
  ASSERT_TRUE(ConvertDocument(copied::LoggingHost(), doc_, RunLibraryFormatPasses, keep).written());
  EXPECT_EQ(copied::g_log, (std::vector<std::string>{"read vertices 0", "release vertices 0", "read faces 0",
                                                     "release faces 0 before 16384", "release faces 0 before 32768",
                                                     "release faces 0"}));
  EXPECT_EQ(DumpOf(converted), DumpOf(exported));
}
