// Documents as the host shows them: lathe, mirror and subdivision frozen
// into plain faces, and hidden objects left out.
#include "host/document_freeze.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "host_documents.h"

namespace {

MQDocumentRecord ReadTestDocument(const std::string& path) {
  MQDocumentRecord doc;
  std::string error;
  EXPECT_TRUE(ReadMqoDocument(path.c_str(), doc, error)) << error;
  return doc;
}

MQDocumentRecord HalfCube() { return ReadTestDocument(std::string(VELLMAR_TEST_DATA_DIR) + "/mqo/half_cube_mirror.mqo"); }

// Every edge of the faces from first_face on is used once in each direction:
// the surface is closed and its faces agree on which side is outside.
bool ClosedAndOriented(const MQObjectRecord& obj, int32_t first_face = 0) {
  std::map<std::pair<int32_t, int32_t>, int> uses;
  for (int32_t f = first_face; f < obj.FaceCount(); ++f)
    for (int32_t c = obj.face_start[f]; c < obj.face_start[f + 1]; ++c) {
      const int32_t next = c + 1 == obj.face_start[f + 1] ? obj.face_start[f] : c + 1;
      ++uses[{obj.corner_vertex[c], obj.corner_vertex[next]}];
    }
  for (const auto& [edge, count] : uses)
    if (count != 1 || uses.count({edge.second, edge.first}) == 0) return false;
  return !uses.empty();
}

// The enclosed volume, for faces whose corners run clockwise seen from
// outside, as the host's do.
double Volume(const MQObjectRecord& obj, int32_t first_face = 0) {
  double volume = 0.0;
  for (int32_t f = first_face; f < obj.FaceCount(); ++f) {
    const MQPoint& a = obj.vertices[obj.corner_vertex[obj.face_start[f]]];
    for (int32_t c = obj.face_start[f] + 1; c + 1 < obj.face_start[f + 1]; ++c) {
      const MQPoint& b = obj.vertices[obj.corner_vertex[c + 1]];
      const MQPoint& d = obj.vertices[obj.corner_vertex[c]];
      volume += (double{a.x} * (double{b.y} * d.z - double{b.z} * d.y) -
                 double{a.y} * (double{b.x} * d.z - double{b.z} * d.x) +
                 double{a.z} * (double{b.x} * d.y - double{b.y} * d.x)) / 6.0;
    }
  }
  return volume;
}

}  // namespace

TEST(DocumentFreeze, MirrorGivesTheWholeCube) {
  MQDocumentRecord doc = HalfCube();
  MQObjectRecord& half = *doc.objects[0];
  MQObjectRecord separate = half;
  separate.mirror_type = 1;

  std::string error;
  ASSERT_TRUE(FreezeMirror(half, error)) << error;
  EXPECT_EQ(half.FaceCount(), 10);
  // Connected: the four vertices on the seam (one 0.25 off it, within the
  // distance) are shared and lie on the plane.
  EXPECT_EQ(half.VertexCount(), 12);
  EXPECT_EQ(half.vertices[1].x, 0.0f);
  EXPECT_TRUE(ClosedAndOriented(half));
  EXPECT_DOUBLE_EQ(Volume(half), 200.0 * 200.0 * 200.0);
  EXPECT_EQ(half.mirror_type, 0);
  // A copied face keeps material and UVs, corner by corner with its vertices.
  EXPECT_EQ(half.face_material[5], 0);
  EXPECT_EQ(half.CornerCount(5), 4);
  EXPECT_EQ(half.corner_vertex[20], 1);  // face 0 reversed: 1 3' 2' 0
  EXPECT_EQ(half.CornerUv(20).u, 0.0f);
  EXPECT_EQ(half.CornerUv(20).v, 1.0f);

  // Separate: no vertex is shared and none moves; the halves stay open.
  ASSERT_TRUE(FreezeMirror(separate, error)) << error;
  EXPECT_EQ(separate.FaceCount(), 10);
  EXPECT_EQ(separate.VertexCount(), 16);
  EXPECT_EQ(separate.vertices[1].x, 0.25f);
  EXPECT_EQ(separate.vertices[9].x, -0.25f);
  EXPECT_FALSE(ClosedAndOriented(separate));
}

TEST(DocumentFreeze, LatheSweepsAProfileIntoAClosedSolid) {
  // At least 3 steps, and at most 256, with a warning.
  for (const auto& [segments, steps] : {std::pair{4, 4}, std::pair{1, 3}, std::pair{256, 256}, std::pair{300, 256}}) {
    MQDocument doc = VHost_CreateDocument();
    // A profile from the axis out, up and back to the axis; and a triangle.
    MQObject obj = AddHostObject(doc, "vase",
                                 {{0, -100, 0}, {100, -100, 0}, {100, 100, 0}, {0, 100, 0}, {0, 0, 500}, {9, 0, 500}});
    AddHostFace(obj, {3, 4, 5}, -1);
    AddHostFace(obj, {0, 1}, 0);
    AddHostFace(obj, {1, 2}, 0);
    AddHostFace(obj, {2, 3}, 0);
    MQObj_SetLatheType(obj, 1);
    MQObj_SetLatheAxis(obj, 1);
    MQObj_SetLatheSegment(obj, segments);
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(FreezeLathe(*obj, error, &warnings)) << error;
    SCOPED_TRACE(segments);
    EXPECT_EQ(warnings, segments > 256 ? std::vector<std::string>{"object \"vase\": 300 lathe steps cut to 256, "
                                                                  "the most a lathe is swept in"}
                                       : std::vector<std::string>{});
    ASSERT_EQ(obj->FaceCount(), 1 + 3 * steps);
    EXPECT_EQ(obj->CornerCount(0), 3);
    EXPECT_EQ(obj->face_material[1], 0);
    // The ends on the axis close the solid with triangles.
    EXPECT_EQ(obj->VertexCount(), 6 + 2 * (steps - 1));
    EXPECT_TRUE(ClosedAndOriented(*obj, 1));
    // A prism over the regular polygon of radius 100, height 200.
    EXPECT_NEAR(Volume(*obj, 1), steps / 2.0 * 100 * 100 * std::sin(2 * M_PI / steps) * 200, 1.0);
    VHost_DestroyDocument(doc);
  }
}

TEST(DocumentFreeze, SubdivisionRefinesTheMirroredCubePerLevel) {
  MQDocumentRecord doc = HalfCube();
  MQObjectRecord& half = *doc.objects[0];
  half.patch_type = 3;
  if (!SubdivisionAvailable()) {
    std::string error;
    EXPECT_FALSE(FreezeDocument(doc, false, error));
    EXPECT_NE(error.find("\"half\" is a subdivision surface"), std::string::npos) << error;
    EXPECT_EQ(doc.objects[0]->FaceCount(), 5) << "left as it was";
    GTEST_SKIP() << "built without OpenSubdiv";
  }
  half.face_material.Set(0, -1);
  const int32_t line[2] = {0, 6};  // on the mirror plane: it appears once
  half.AddFace(2, line);
  for (const auto& [segment, level] : {std::pair{0, 1}, std::pair{2, 2}, std::pair{3, 3}, std::pair{9, 4}}) {
    SCOPED_TRACE(segment);
    MQObjectRecord obj = half;
    obj.patch_segment = segment;
    std::string error;
    ASSERT_TRUE(FreezeObject(obj, error)) << error;
    const int32_t quads = 10 << (2 * level);
    ASSERT_EQ(obj.FaceCount(), quads + 1);
    // The mirror's seam is smoothed with the rest: one closed surface,
    // inside the cage.
    obj.DeleteFace(quads);
    EXPECT_TRUE(ClosedAndOriented(obj));
    EXPECT_GT(Volume(obj), 0.3 * 200 * 200 * 200);
    EXPECT_LT(Volume(obj), 200.0 * 200 * 200);
    // Each new face keeps its parent's material: face 0 and its copy had none.
    int unpainted = 0;
    for (int32_t m : obj.face_material.ToVector()) unpainted += m == -1;
    EXPECT_EQ(unpainted, 2 << (2 * level));
    EXPECT_EQ(obj.patch_type, 0);
  }
  // The line stays, on its vertices' refined places.
  std::string error;
  ASSERT_TRUE(FreezeObject(half, error)) << error;
  const int32_t last = half.FaceCount() - 1;
  ASSERT_EQ(half.CornerCount(last), 2);
  EXPECT_TRUE(half.HasVertex(half.corner_vertex[half.face_start[last]]));
}

TEST(DocumentFreeze, SubdivisionKeepsUvSeamsAndSmoothsAcrossTheRest) {
  if (!SubdivisionAvailable()) GTEST_SKIP() << "built without OpenSubdiv";
  for (const float offset : {0.0f, 10.0f}) {
    SCOPED_TRACE(offset);
    // Two quads side by side over x = 0 .. 2; with an offset the right one's
    // UVs are a separate island, a seam along x = 1.
    MQDocument doc = VHost_CreateDocument();
    MQObject obj = AddHostObject(doc, "strip", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}});
    AddHostFace(obj, {0, 3, 4, 1}, -1, {{0.0f, 0.0f}, {0.0f, 1.0f}, {0.8f, 1.0f}, {0.8f, 0.0f}});
    AddHostFace(obj, {1, 4, 5, 2}, -1,
                {{0.8f + offset, 0.0f}, {0.8f + offset, 1.0f}, {1.0f + offset, 1.0f}, {1.0f + offset, 0.0f}});
    MQObj_SetPatchType(obj, 3);
    std::string error;
    ASSERT_TRUE(FreezeSubdivision(*obj, error)) << error;
    // Corners on the middle line: u of the left faces' and the right faces'.
    std::map<int32_t, std::pair<float, float>> middle;
    for (int32_t f = 0; f < obj->FaceCount(); ++f) {
      bool right = false;
      for (int32_t c = obj->face_start[f]; c < obj->face_start[f + 1]; ++c)
        right = right || obj->vertices[obj->corner_vertex[c]].x > 1.0f;
      for (int32_t c = obj->face_start[f]; c < obj->face_start[f + 1]; ++c)
        if (obj->vertices[obj->corner_vertex[c]].x == 1.0f)
          (right ? middle[obj->corner_vertex[c]].second : middle[obj->corner_vertex[c]].first) = obj->CornerUv(c).u;
    }
    ASSERT_EQ(middle.size(), 3u);
    for (const auto& [vertex, u] : middle) {
      EXPECT_FLOAT_EQ(u.second - u.first, offset);
      EXPECT_EQ(u.first < 0.79f, offset == 0.0f) << "smoothed across the middle, unless it is a seam";
    }
    VHost_DestroyDocument(doc);
  }
}

TEST(DocumentFreeze, PrepareLeavesOutHiddenObjectsAndReportsWhatIsLeft) {
  MQDocument doc = VHost_CreateDocument();
  *doc = HalfCube();
  char error[256] = {};
  VHostShownOtherwise left = {};
  ASSERT_EQ(VHost_PrepareDocument(doc, 0, &left, error, sizeof error), 1);
  EXPECT_EQ(left.hidden, 1);
  EXPECT_EQ(left.mirrored, 1);
  EXPECT_EQ(doc->ObjectCount(), 2);

  ASSERT_EQ(VHost_PrepareDocument(doc, kPrepareVisibleOnly, &left, error, sizeof error), 1);
  EXPECT_EQ(doc->ObjectCount(), 1);
  EXPECT_EQ(doc->objects[0]->name, "half");
  EXPECT_EQ(left.hidden, 0);
  EXPECT_EQ(left.mirrored, 1);

  // A lathe of more steps than are swept is swept in the most there are,
  // with a warning that names the object, cut to the buffer it is asked
  // into; the warnings are those of the last preparation.
  MQObject huge = AddHostObject(doc, "huge", {{1, 0, 0}, {1, 1, 0}});
  AddHostFace(huge, {0, 1}, -1);
  MQObj_SetLatheType(huge, 1);
  MQObj_SetLatheSegment(huge, INT_MAX);
  ASSERT_EQ(VHost_PrepareDocument(doc, kPrepareFreeze, &left, error, sizeof error), 1);
  const std::string warning = "object \"huge\": 2147483647 lathe steps cut to 256, the most a lathe is swept in";
  char text[16] = {};
  EXPECT_EQ(VHost_GetPrepareWarning(doc, 0, text, sizeof text), static_cast<int32_t>(warning.size()));
  EXPECT_EQ(std::string(text), warning.substr(0, 15));
  EXPECT_EQ(VHost_GetPrepareWarning(doc, 1, text, sizeof text), -1);
  EXPECT_EQ(doc->objects[1]->FaceCount(), 256);
  EXPECT_EQ(doc->objects[0]->FaceCount(), 10);
  EXPECT_EQ(left.mirrored, 0);

  MQDoc_DeleteObject(doc, 1);
  ASSERT_EQ(VHost_PrepareDocument(doc, kPrepareFreeze, &left, error, sizeof error), 1);
  EXPECT_EQ(doc->objects[0]->FaceCount(), 10);
  EXPECT_EQ(VHost_GetPrepareWarning(doc, 0, text, sizeof text), -1);
  VHost_DestroyDocument(doc);
}

TEST(DocumentFreeze, RealSampleShowsBothHalvesAndItsSurfaces) {
  const std::string path = std::string(VELLMAR_MQO_SAMPLES) + "/dsan_shodai_noeof.mqo";
  if (std::string(VELLMAR_MQO_SAMPLES).empty() || !std::filesystem::exists(path))
    GTEST_SKIP() << "no samples folder beside the project";
  if (!SubdivisionAvailable()) GTEST_SKIP() << "built without OpenSubdiv";
  MQDocumentRecord doc = ReadTestDocument(path);
  const int32_t cage_faces = doc.objects[1]->FaceCount();
  std::string error;
  ASSERT_TRUE(FreezeDocument(doc, false, error)) << error;
  // The body is mirrored across y and z: four copies, both sides of z = 0.
  const MQObjectRecord& body = *doc.objects[0];
  EXPECT_EQ(body.FaceCount(), 4 * 15);
  float low = 0.0f, high = 0.0f;
  for (const MQPoint& p : body.vertices) {
    low = std::min(low, p.z);
    high = std::max(high, p.z);
  }
  EXPECT_EQ(low, -16.0f);
  EXPECT_EQ(high, 16.0f);
  // Subdivided at level 4: a closed cage stays closed, with 256 quads per
  // quad and 192 per triangle.
  const MQObjectRecord& eye = *doc.objects[1];
  EXPECT_GT(eye.FaceCount(), 192 * cage_faces);
  EXPECT_TRUE(ClosedAndOriented(eye));
}
