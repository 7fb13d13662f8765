// The .mqo writer's output read back by the stand-in host's reader: the
// same materials, objects, positions (to four decimals), faces with their
// materials, texture coordinates and colours, and the lines as two-point
// faces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/mqo_reader.h"
#include "test_scenes.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

namespace {

constexpr uint32_t kOrange = 4278222847u;  // (1, 0.5, 0, 1)
constexpr uint32_t kBlue = 4294901760u;    // (0, 0, 1, 1)

// Materials red (textured) and blue. Object "shape": an L hexagon of
// material 0 with a texture coordinate and a colour per corner, a triangle
// of material 1 with colours, a quad without either that names a line as
// its side, a loose line. Object
// "plain": a triangle with texture coordinates at two corners only.
WScene MakeRoundTripScene() {
  WScene scene;
  const int red = AddMaterialOf(scene, "red", WColor(1.0f, 0.5f, 0.0f, 1.0f), "C:\\maps\\red.bmp");
  const int blue = AddMaterialOf(scene, "blue", WColor(0.0f, 0.0f, 1.0f, 0.5f));

  WObject& obj = AddObjectAt(scene, "shape");
  const float l[6][2] = {{2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}, {0, 0}};
  for (const auto& p : l) AddVertexAt(obj, p[0] * 0.013f, p[1] * 0.017f, 0.0042f);
  AddVertexAt(obj, 0.05f, -0.01f, 0.02f);
  AddVertexAt(obj, 0.06f, 0.0f, 0.03f);
  const int orange = AddColorOf(obj, WColor(1.0f, 0.5f, 0.0f, 1.0f));
  const int cyan = AddColorOf(obj, WColor(0.0f, 0.0f, 1.0f, 1.0f));

  const int hexagon = AddFaceOver(obj, {0, 1, 2, 3, 4, 5}, red);
  for (int k = 0; k < 6; ++k) {
    obj.faces[hexagon].vt()[k] = AddUvAt(obj, 0.125f * static_cast<float>(k), 0.0625f * static_cast<float>(k));
    obj.faces[hexagon].vc()[k] = k % 2 == 0 ? orange : cyan;
  }
  SetCorners(obj, AddFaceOver(obj, {0, 6, 7}, blue), &WFace::vc, {orange, orange, cyan});
  const int quad = AddFaceOver(obj, {6, 7, 1, 0});
  AddLineBetween(obj, 6, 3);
  obj.faces[quad].SideLines()[0] = AddLineBetween(obj, 6, 7);  // a face's side: not written

  WObject& plain = AddObjectAt(scene, "plain", {{0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}});
  const int f = AddFaceOver(plain, {0, 1, 2});
  SetFaceUvs(plain, f, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f});
  plain.faces[f].vt()[2] = -1;

  ComputeFaceNormals(scene);
  return scene;
}

}  // namespace

TEST(MqoRoundTrip, ReaderGetsBackTheWrittenScene) {
  const WScene scene = MakeRoundTripScene();
  TextOutput out;
  WriteMqoScene(out, scene);
  const std::string text(out.text());
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(ParseMqoDocument(text.data(), text.size(), "written.mqo", doc, error)) << error;

  ASSERT_EQ(doc.MaterialCount(), 2);
  EXPECT_EQ(doc.materials[0]->name, "red");
  EXPECT_FLOAT_EQ(doc.materials[0]->color.g, 0.5f);
  EXPECT_EQ(doc.materials[0]->texture, "C:\\maps\\red.bmp");
  EXPECT_EQ(doc.materials[1]->name, "blue");
  EXPECT_FLOAT_EQ(doc.materials[1]->alpha, 0.5f);
  EXPECT_EQ(doc.materials[1]->texture, "");

  ASSERT_EQ(doc.ObjectCount(), 2);
  EXPECT_EQ(doc.objects[0]->name, "shape");
  EXPECT_EQ(doc.objects[1]->name, "plain");
  for (int o = 0; o < 2; ++o) {
    const WObject& from = scene.objects[o];
    const MQObjectRecord& to = *doc.objects[static_cast<size_t>(o)];
    ASSERT_EQ(to.VertexCount(), from.vnum);
    for (int i = 0; i < from.vnum; ++i) {
      const WVector& p = from.vertices[i].pos;
      const MQPoint& q = to.vertices[static_cast<size_t>(i)];
      // Four decimals of the position times 100.
      EXPECT_NEAR(q.x, static_cast<double>(p.x) * 100.0, 0.00006) << i;
      EXPECT_NEAR(q.y, static_cast<double>(p.y) * 100.0, 0.00006) << i;
      EXPECT_NEAR(q.z, static_cast<double>(p.z) * 100.0, 0.00006) << i;
    }
  }

  // The loose line first, and no diagonal of the hexagon's ears. Reversed,
  // the hexagon runs 5 4 3 2 1 0 with its normal turned, and is cut as a
  // fan from vertex 5; its triangles follow the faces that stay.
  const MQObjectRecord& shape = *doc.objects[0];
  EXPECT_EQ(shape.face_start.ToVector(), (std::vector<int32_t>{0, 2, 5, 9, 12, 15, 18, 21}));
  EXPECT_EQ(shape.corner_vertex,
            (std::vector<int32_t>{6, 3, 7, 6, 0, 0, 1, 7, 6, 5, 4, 3, 5, 3, 2, 5, 2, 1, 5, 1, 0}));
  EXPECT_EQ(shape.face_material.ToVector(), (std::vector<int32_t>{-1, 1, -1, 0, 0, 0, 0}));
  // The triangle's corners (2-4) and the hexagon's (9 on) are coloured
  // orange or blue by vertex parity; the hexagon's have the uv of their
  // vertex. Other corners, and those of the object without a UV part, read
  // as (0, 0) and white.
  for (const MQObjectRecord* obj : {&shape, static_cast<const MQObjectRecord*>(doc.objects[1].get())}) {
    for (size_t c = 0; c < obj->corner_vertex.size(); ++c) {
      const int32_t v = obj->corner_vertex[c];
      const bool textured = obj == &shape && c >= 9;
      const bool coloured = textured || (obj == &shape && c >= 2 && c < 5);
      EXPECT_FLOAT_EQ(obj->CornerUv(c).u, textured ? 0.125f * static_cast<float>(v) : 0.0f) << c;
      EXPECT_FLOAT_EQ(obj->CornerUv(c).v, textured ? 0.0625f * static_cast<float>(v) : 0.0f) << c;
      EXPECT_EQ(obj->corner_color[c], coloured ? (v % 2 == 0 ? kOrange : kBlue) : 0xFFFFFFFFu) << c;
    }
  }
  EXPECT_EQ(doc.objects[1]->corner_vertex, (std::vector<int32_t>{2, 1, 0}));
  EXPECT_EQ(doc.objects[1]->face_material.ToVector(), (std::vector<int32_t>{-1}));
}
