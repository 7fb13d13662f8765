// The glTF writers: the meshes they make of objects (vertex splits,
// primitives by material, lines, defaults), the JSON and the binary layout
// of the files, and failures that keep the old files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../test_images.h"
#include "w_lib/writers/gltf/gltf_images.h"
#include "w_lib/writers/gltf/gltf_mesh.h"
#include "w_lib/writers/w_writers.h"
#include "../writer_checks.h"

namespace {

using nlohmann::json;

// Materials "plain" (alpha 0.5) and "brick" (textured with a file whose
// name needs escaping in a URI). Object "shape", moved by (0, 0, 10):
// - a quad of "brick" and a triangle of "plain" over vertices 0 1 2 3;
// - a pentagon without material over vertices 4 .. 8;
// - a triangle of material 7 (not in the list) over 0 4 2;
// - an edge (two-corner face) from 0 to 4, and a loose line from 5 to 7.
// The quad's corners have uv records; corner 0 of the triangle of "plain"
// has a normal record of no length. Object "empty" has no geometry.
WScene MakeGltfScene() {
  WScene scene;
  const int plain = scene.AddMaterial("plain");
  scene.materials[plain].col = WColor(0.25f, 0.5f, 1.0f, 0.5f);
  const int brick = scene.AddMaterial("brick");
  scene.materials[brick].tex = scene.AddTexture("C:\\maps\\brick #1.bmp");

  WObject& o = AddObjectAt(scene, "shape", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0},
                                             {3, 1, 0}, {2.5f, 2, 0}, {2, 1, 0}});
  const int quad = AddFaceOver(o, {0, 1, 2, 3}, brick);
  SetFaceUvs(o, quad, {0, 0, 1, 0, 1, 1, 0, 1});
  const int tri = AddFaceOver(o, {0, 2, 3}, plain);
  SetCorners(o, tri, &WFace::vn, {AddNormalAlong(o, WVector(0, 0, 0)), -1, -1});
  AddFaceOver(o, {4, 5, 6, 7, 8});
  AddFaceOver(o, {0, 4, 2}, 7);
  AddFaceOver(o, {0, 4});
  AddLineBetween(o, 5, 7);
  o.transform.translate = WVector(0.0f, 0.0f, 10.0f);
  ComputeFaceNormals(scene);
  AddObjectAt(scene, "empty");
  UpdateMatrices(scene);
  return scene;
}

// A folder that holds the image of MakeGltfScene's texture: a BMP of 2 x 2
// pixels (a path of another machine, found by its file name).
std::string BrickFolder() {
  const std::string dir = TempFolder("gltf_brick");
  std::ofstream(dir + "brick #1.bmp", std::ios::binary)
      << BmpBytes(2, 2, {{200, 60, 40}, {180, 50, 30}, {190, 70, 50}, {170, 40, 20}});
  return dir;
}

// The options that look for texture images in source's folder.
WriterOptions WithTextures(TextureSource source) {
  WriterOptions options;
  options.textures = std::move(source);
  return options;
}

// The bytes of an image as the writer stores it.
std::string StoredImage(const std::string& path) {
  GltfImage image;
  std::string why;
  EXPECT_TRUE(ReadGltfImage(path, image, why)) << why;
  return std::string(image.bytes.begin(), image.bytes.end());
}

// The bytes of buffer view v.
std::string ViewBytes(const json& doc, const std::string& bin, int v) {
  const json& view = doc["bufferViews"][v];
  return bin.substr(view.value("byteOffset", size_t{0}), view["byteLength"].get<size_t>());
}

// The JSON chunk and the binary chunk of a .glb file.
struct Glb {
  json document;
  std::string bin;
};

uint32_t Word(const std::string& bytes, size_t at) {
  uint32_t w = 0;
  std::memcpy(&w, bytes.data() + at, 4);
  return w;
}

Glb ReadGlb(const std::string& path) {
  const std::string bytes = ReadFile(path);
  Glb glb;
  EXPECT_GE(bytes.size(), 20u);
  if (bytes.size() < 20) return glb;
  EXPECT_EQ(bytes.substr(0, 4), "glTF");
  EXPECT_EQ(Word(bytes, 4), 2u);
  EXPECT_EQ(Word(bytes, 8), bytes.size());
  const uint32_t json_length = Word(bytes, 12);
  EXPECT_EQ(Word(bytes, 16), 0x4E4F534Au);  // "JSON"
  glb.document = json::parse(bytes.substr(20, json_length));
  const size_t bin_at = 20 + json_length;
  if (bin_at + 8 <= bytes.size()) {
    EXPECT_EQ(Word(bytes, bin_at + 4), 0x004E4942u);  // "BIN"
    glb.bin = bytes.substr(bin_at + 8, Word(bytes, bin_at));
  }
  return glb;
}

// Accessor a's floats or indices, read from the buffer.
std::vector<double> AccessorValues(const json& doc, const std::string& bin, int a) {
  const json& accessor = doc["accessors"][a];
  const json& view = doc["bufferViews"][accessor["bufferView"].get<int>()];
  const int type = accessor["componentType"];
  const std::string kind = accessor["type"];
  const size_t width = kind == "SCALAR" ? 1 : kind == "VEC2" ? 2 : kind == "VEC3" ? 3 : 4;
  const size_t n = accessor["count"].get<size_t>() * width;
  const size_t at = view.value("byteOffset", size_t{0});
  std::vector<double> values;
  for (size_t i = 0; i < n; ++i) {
    if (type == 5126) {
      float f;
      std::memcpy(&f, bin.data() + at + 4 * i, 4);
      values.push_back(f);
    } else if (type == 5123) {
      uint16_t u;
      std::memcpy(&u, bin.data() + at + 2 * i, 2);
      values.push_back(u);
    } else {
      uint32_t u;
      std::memcpy(&u, bin.data() + at + 4 * i, 4);
      values.push_back(u);
    }
  }
  return values;
}

}  // namespace

TEST(GltfMesh, PrimitivesByMaterialWithSplitVerticesAndLines) {
  const WScene scene = MakeGltfScene();
  GltfMesh mesh;
  ASSERT_TRUE(BuildGltfMesh(scene, scene.objects[0], mesh));
  // No material (the pentagon's 3 triangles and the triangle of material
  // 7), "plain", "brick", then the lines.
  ASSERT_EQ(mesh.primitives.size(), 4u);
  const int materials[4] = {-1, 0, 1, -1};
  const size_t counts[4] = {12, 3, 6, 4};
  for (size_t p = 0; p < 4; ++p) {
    EXPECT_EQ(mesh.primitives[p].material, materials[p]) << p;
    EXPECT_EQ(mesh.primitives[p].indices.size(), counts[p]) << p;
    EXPECT_EQ(mesh.primitives[p].mode, p == 3 ? kGltfLines : kGltfTriangles) << p;
  }
  // Vertex 0 carries two kinds of corner: the quad's (uv) and the plain
  // ones, among them the triangle's, whose normal of no length is written
  // as the (0, 1, 0) of corners that name none; 2 and 3 two, 1 one; the
  // pentagon's five one each.
  EXPECT_EQ(mesh.VertexCount(), 12u);
  ASSERT_NE(mesh.Normals(), nullptr);
  ASSERT_NE(mesh.Uvs(), nullptr);
  EXPECT_EQ(mesh.Colors(), nullptr);  // no colour records: all white
  EXPECT_EQ(mesh.attributes.size(), 12u * (3 + 3 + 2));
  // Every normal is a unit vector: the one of no length became (0, 1, 0).
  int up = 0;
  for (size_t v = 0; v < mesh.VertexCount(); ++v) {
    const float* n = mesh.Normals() + 3 * v;
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-6f);
    up += n[0] == 0.0f && n[1] == 1.0f && n[2] == 0.0f;
  }
  EXPECT_GT(up, 0);
  // The translation is in the positions; each triangle keeps the winding of
  // its polygon (all face +z).
  const float* positions = mesh.Positions();
  for (size_t v = 0; v < mesh.VertexCount(); ++v) EXPECT_EQ(positions[3 * v + 2], 10.0f);
  for (size_t p = 0; p < 3; ++p) {
    const std::vector<uint32_t>& ix = mesh.primitives[p].indices;
    for (size_t t = 0; t < ix.size(); t += 3) {
      const float* a = positions + 3 * ix[t];
      const float* b = positions + 3 * ix[t + 1];
      const float* c = positions + 3 * ix[t + 2];
      EXPECT_GT((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]), 0.0f) << p << " " << t;
    }
  }
  // The lines run 0-4 and 5-7, on vertices that the triangles use.
  const std::vector<uint32_t>& lines = mesh.primitives[3].indices;
  const float ends[4] = {0, 2, 3, 2.5f};
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(positions[3 * lines[k]], ends[k]) << k;

  // One coloured corner: COLOR_0 for all, white where no colour is named,
  // clamped to 0..1; the corner's vertex is split from its plain corners.
  WScene colored = scene;
  WObject& shape = colored.objects[0];
  shape.faces[2].vc()[0] = AddColorOf(shape, WColor(2.0f, 0.5f, -1.0f, 1.0f));
  ASSERT_TRUE(BuildGltfMesh(colored, shape, mesh));
  ASSERT_EQ(mesh.VertexCount(), 13u);
  ASSERT_NE(mesh.Colors(), nullptr);
  int red = 0, white = 0;
  for (size_t v = 0; v < 13; ++v) {
    const std::vector<float> c(mesh.Colors() + 4 * v, mesh.Colors() + 4 * v + 4);
    red += c == std::vector<float>{1.0f, 0.5f, 0.0f, 1.0f};
    white += c == std::vector<float>{1.0f, 1.0f, 1.0f, 1.0f};
  }
  EXPECT_EQ(red, 1);
  EXPECT_EQ(white, 12);

  // In a scene of many more materials than the object has faces, the
  // object's materials are looked up among the few it uses: material 7 is
  // now in the list, and the order is the same.
  WScene many = scene;
  while (many.mnum < 1000) many.AddMaterial("more");
  ASSERT_TRUE(BuildGltfMesh(many, many.objects[0], mesh));
  ASSERT_EQ(mesh.primitives.size(), 5u);
  const int many_materials[5] = {-1, 0, 1, 7, -1};
  const size_t many_counts[5] = {9, 3, 6, 3, 4};
  for (size_t p = 0; p < 5; ++p) {
    EXPECT_EQ(mesh.primitives[p].material, many_materials[p]) << p;
    EXPECT_EQ(mesh.primitives[p].indices.size(), many_counts[p]) << p;
  }

  GltfMesh empty;
  EXPECT_TRUE(BuildGltfMesh(scene, scene.objects[1], empty));
  EXPECT_TRUE(empty.primitives.empty());

  WScene bad = scene;
  bad.objects[0].vertices[5].pos.y = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(BuildGltfMesh(bad, bad.objects[0], mesh));
}

TEST(GltfMesh, WeldsNormalsThatDifferOnlyInTheirLastBits) {
  // Around vertex 0, 100 directions 1e-4 apart, each named by two corners
  // whose normal records are a unit in the last place apart (for a few of
  // them the unit normals fall either side of a rounding boundary of the
  // grid); one more corner's normal is 1e-4 off: that one has a vertex of
  // its own.
  WScene scene;
  WObject& o = AddObjectAt(scene, "fan", {{0, 0, 0}});
  for (int i = 0; i < 100; ++i) {
    const float a = 1e-4f * static_cast<float>(i);
    const WVector n(0.6f * std::cos(a), 0.6f * std::sin(a), 0.8f);
    WVector next_to_n = n;
    next_to_n.x = std::nextafter(n.x, 2.0f);
    const int b = AddVertexAt(o, std::cos(a), std::sin(a), 0);
    const int c = AddVertexAt(o, std::cos(a + 0.5f), std::sin(a + 0.5f), 1);
    SetCorners(o, AddFaceOver(o, {0, b, c}), &WFace::vn, {AddNormalAlong(o, n), -1, -1});
    SetCorners(o, AddFaceOver(o, {0, c, b}), &WFace::vn, {AddNormalAlong(o, next_to_n), -1, -1});
    if (i == 0) {
      WVector apart = n;
      apart.x += 1e-4f;
      SetCorners(o, AddFaceOver(o, {0, b, c}), &WFace::vn, {AddNormalAlong(o, apart), -1, -1});
    }
  }
  UpdateMatrices(scene);
  GltfMesh mesh;
  ASSERT_TRUE(BuildGltfMesh(scene, o, mesh));
  EXPECT_EQ(mesh.VertexCount(), 100u + 1 + 200);
}

TEST(GltfMesh, ACornerOfAManyTimesSplitVertexTakesTheNewestThatMatches) {
  // Around vertex 0 of a fan, corners whose normals lie on the weld grid:
  // (1, s * 2^-20, 0) is written as a unit normal s steps off the x axis.
  // The first two corners are 2 steps apart (two vertices), then ten more,
  // ten steps apart each, push them far down the list of vertex 0. Then:
  // a corner 1 step from both of the first two takes the newer one; one 1
  // step from the second alone and with another texture coordinate gets a
  // vertex of its own; one 1 step from the third (and 2 from the second)
  // takes the third.
  WScene scene;
  WObject& o = AddObjectAt(scene, "fan", {{0, 0, 0}});
  const int steps[] = {0, 2, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 1, 3, 11};
  const int uv = AddUvAt(o, 0.5f, 0.5f);
  std::vector<int> faces;
  for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
    const float a = 0.1f * static_cast<float>(i);
    const int b = AddVertexAt(o, std::cos(a), std::sin(a), 0);
    const int c = AddVertexAt(o, std::cos(a + 0.05f), std::sin(a + 0.05f), 0);
    const int f = AddFaceOver(o, {0, b, c});
    SetCorners(o, f, &WFace::vn, {AddNormalAlong(o, WVector(1.0f, std::ldexp(float(steps[i]), -20), 0.0f)), -1, -1});
    if (steps[i] == 3) SetCorners(o, f, &WFace::vt, {uv, -1, -1});
    faces.push_back(f);
  }
  UpdateMatrices(scene);
  GltfMesh mesh;
  ASSERT_TRUE(BuildGltfMesh(scene, o, mesh));
  ASSERT_EQ(mesh.primitives.size(), 1u);
  const std::vector<uint32_t>& ix = mesh.primitives[0].indices;
  ASSERT_EQ(ix.size(), 3 * faces.size());
  // The normal that the vertex of face f's first corner carries, in steps.
  const auto steps_of = [&](size_t f) { return std::ldexp(mesh.Normals()[3 * ix[3 * f] + 1], 20); };
  for (size_t f = 0; f < 12; ++f) EXPECT_EQ(steps_of(f), steps[f]) << f;
  EXPECT_EQ(ix[3 * 12], ix[3 * 1]);
  EXPECT_NE(ix[3 * 13], ix[3 * 1]);
  EXPECT_EQ(steps_of(13), 3.0);
  EXPECT_EQ(ix[3 * 14], ix[3 * 2]);
  // Vertex 0 has 13 glTF vertices, each rim vertex one.
  EXPECT_EQ(mesh.VertexCount(), 13u + 2 * faces.size());
}

TEST(GltfMesh, LargeFansSplitInLinearTime) {
  // One centre vertex in 100000 triangles, its corner in each with a normal
  // of its own (every 64th with a texture coordinate of its own as well):
  // matching each corner against the centre's vertices one by one would
  // take hours.
  const int n = 100000;
  WScene scene;
  WObject& o = AddObjectAt(scene, "fan", {{0, 0, 0}});
  ASSERT_TRUE(o.ReserveVertices(n + 1) && o.ReserveFaces(n) && o.ReserveNormals(n));
  for (int i = 0; i < n; ++i) {
    const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(n);
    AddVertexAt(o, std::cos(a), std::sin(a), 0.0f);
  }
  for (int i = 0; i < n; ++i) {
    const float a = 6.2831853f * (static_cast<float>(i) + 0.5f) / static_cast<float>(n);
    const int f = AddFaceOver(o, {0, i + 1, (i + 1) % n + 1});
    SetCorners(o, f, &WFace::vn, {AddNormalAlong(o, WVector(std::cos(a), std::sin(a), 1.0f)), -1, -1});
    if (i % 64 == 0) SetCorners(o, f, &WFace::vt, {AddUvAt(o, 0.0f, static_cast<float>(i)), -1, -1});
  }
  UpdateMatrices(scene);
  GltfMesh mesh;
  ASSERT_TRUE(BuildGltfMesh(scene, o, mesh));
  // The centre makes a vertex per face; each rim vertex one.
  EXPECT_EQ(mesh.VertexCount(), 2u * n);
  ASSERT_EQ(mesh.primitives.size(), 1u);
  EXPECT_EQ(mesh.primitives[0].indices[0], 0u);
  EXPECT_EQ(mesh.primitives[0].indices[3 * (n - 1)], static_cast<uint32_t>(2 * n - 1));
}

TEST(GltfMesh, QuadsAreCutAsTheTriangulationCutsThem) {
  // A convex quad, darts with the reflex corner at 1 and at 2, a bow tie, a
  // quad with two equal corners and one whose stored normal is reversed.
  WScene scene;
  WObject& o = AddObjectAt(scene, "quads");
  const float shapes[6][8] = {{0, 0, 2, 0, 2, 1, 0, 1},       {2, 0, 0.5f, 0.5f, 0, 2, 0, 0},
                              {0, 0, 2, 0, 0.5f, 0.5f, 0, 2}, {0, 0, 1, 1, 1, 0, 0, 1},
                              {0, 0, 1, 0, 1, 0, 0, 1},       {0, 0, 2, 0, 2, 1, 0, 1}};
  for (int s = 0; s < 6; ++s) {
    const int first = o.vnum;
    const float x = 3.0f * static_cast<float>(s);  // side by side
    for (int k = 0; k < 4; ++k) AddVertexAt(o, shapes[s][2 * k] + x, shapes[s][2 * k + 1], 0);
    AddFaceOver(o, {first, first + 1, first + 2, first + 3});
  }
  ComputeFaceNormals(scene);
  o.faces[5].normal = -o.faces[5].normal;
  UpdateMatrices(scene);

  using Triangle = std::array<float, 9>;
  std::vector<Triangle> expected, made;
  WObject cut = o;
  TriangulateObject(cut, false);
  for (int f = 0; f < cut.fnum; ++f) {
    Triangle t;
    for (size_t k = 0; k < 3; ++k) {
      const WVector& p = cut.vertices[cut.faces[f].v[k]].pos;
      t[3 * k] = p.x, t[3 * k + 1] = p.y, t[3 * k + 2] = p.z;
    }
    expected.push_back(t);
  }
  GltfMesh mesh;
  ASSERT_TRUE(BuildGltfMesh(scene, o, mesh));
  ASSERT_EQ(mesh.primitives.size(), 1u);
  const std::vector<uint32_t>& ix = mesh.primitives[0].indices;
  for (size_t i = 0; i + 2 < ix.size(); i += 3) {
    Triangle t;
    for (size_t k = 0; k < 3; ++k) std::copy_n(mesh.Positions() + 3 * ix[i + k], 3, t.begin() + 3 * k);
    made.push_back(t);
  }
  std::sort(expected.begin(), expected.end());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made, expected);
}

TEST(GltfMesh, TheMeshOfAnObjectLetGoIsTheSame) {
  // The object that the mesh uses up gives the same mesh as one kept: its
  // positions are packed into the vertices' own block, which holds spare
  // room beyond them, and vertices with colours and weights of their own
  // among them end cleanly (the sanitizer builds see a leak or a stray
  // write). The object ends with no geometry and its name.
  WScene scene = MakeGltfScene();
  WObject& shape = scene.objects[0];
  shape.vertices[1].SetCol(WColor(0.5f, 0.5f, 0.5f, 1.0f));
  AddWeight(shape.vertices[3], 1, 0.5f);
  AddWeight(shape.vertices[shape.vnum - 1], 1, 1.0f);
  ASSERT_TRUE(shape.ReserveVertices(shape.vnum + 40));
  GltfMesh kept;
  ASSERT_TRUE(BuildGltfMesh(scene, shape, kept));
  GltfMesh released;
  ASSERT_TRUE(BuildGltfMeshReleasing(scene, shape, released));
  EXPECT_EQ(released.attributes, kept.attributes);
  EXPECT_EQ(released.vertex_count, kept.vertex_count);
  ASSERT_EQ(released.primitives.size(), kept.primitives.size());
  for (size_t p = 0; p < kept.primitives.size(); ++p) {
    EXPECT_EQ(released.primitives[p].material, kept.primitives[p].material) << p;
    EXPECT_EQ(released.primitives[p].indices, kept.primitives[p].indices) << p;
  }
  EXPECT_EQ(shape.vnum + shape.fnum + shape.nnum + shape.unum + shape.lnum, 0);
  EXPECT_EQ(shape.vertices, nullptr);
  EXPECT_STREQ(shape.name.c_str(), "shape");

  // A position that is not finite fails the released build as the kept one.
  WScene bad = MakeGltfScene();
  bad.objects[0].vertices[5].pos.y = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(BuildGltfMeshReleasing(bad, bad.objects[0], released));
}

TEST(GltfFile, GlbHoldsTheModel) {
  WScene scene = MakeGltfScene();
  scene.objects[0].SetName("\x83\x65\x83\x58\x83\x67");  // Shift-JIS
  const std::string path = TempPath("model.glb");
  const std::string brick = BrickFolder();
  ASSERT_TRUE(WriteGlbFile(path.c_str(), scene, WithTextures({brick, nullptr})));
  const Glb glb = ReadGlb(path);
  const json& doc = glb.document;
  EXPECT_EQ(doc["asset"]["version"], "2.0");
  EXPECT_EQ(doc["asset"]["generator"].get<std::string>().rfind("Vellmar ", 0), 0u);
  ASSERT_EQ(doc["nodes"].size(), 2u);
  EXPECT_EQ(doc["nodes"][0]["name"], "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
  EXPECT_EQ(doc["meshes"][0]["name"], doc["nodes"][0]["name"]);
  EXPECT_FALSE(doc["nodes"][1].contains("mesh"));
  EXPECT_EQ(doc["scenes"][0]["nodes"], json::array({0, 1}));

  const json& plain = doc["materials"][0];
  EXPECT_EQ(plain["alphaMode"], "BLEND");
  EXPECT_EQ(plain["pbrMetallicRoughness"]["baseColorFactor"], json::array({0.25, 0.5, 1.0, 0.5}));
  EXPECT_EQ(plain["pbrMetallicRoughness"]["metallicFactor"], 0.0);
  EXPECT_NEAR(plain["pbrMetallicRoughness"]["roughnessFactor"].get<double>(), 0.7311, 1e-4);
  const json& textured = doc["materials"][1];
  EXPECT_FALSE(textured.contains("alphaMode"));
  // The BMP is stored as PNG in a view of its own after the meshes', which
  // has no target; the image keeps the texture's file name as its name.
  const int texture = textured["pbrMetallicRoughness"]["baseColorTexture"]["index"];
  const json& image = doc["images"][doc["textures"][texture]["source"].get<int>()];
  EXPECT_EQ(image["name"], "brick #1.bmp");
  EXPECT_EQ(image["mimeType"], "image/png");
  EXPECT_FALSE(image.contains("uri"));
  EXPECT_EQ(image["bufferView"], doc["bufferViews"].size() - 1);
  EXPECT_EQ(doc["accessors"].size(), doc["bufferViews"].size() - 1);
  EXPECT_FALSE(doc["bufferViews"].back().contains("target"));
  EXPECT_EQ(ViewBytes(doc, glb.bin, image["bufferView"]), StoredImage(brick + "brick #1.bmp"));

  // Texture coordinates only on the textured material's triangles; the
  // lines have positions alone.
  const json& primitives = doc["meshes"][0]["primitives"];
  ASSERT_EQ(primitives.size(), 4u);
  for (size_t p = 0; p < 4; ++p) EXPECT_EQ(primitives[p]["attributes"].contains("TEXCOORD_0"), p == 2) << p;
  EXPECT_EQ(primitives[3]["mode"], 1);
  EXPECT_FALSE(primitives[3]["attributes"].contains("NORMAL"));

  // POSITION's bounds are those of its values; 16-bit indices name them.
  const int position = primitives[0]["attributes"]["POSITION"];
  const std::vector<double> p = AccessorValues(doc, glb.bin, position);
  EXPECT_EQ(doc["accessors"][position]["min"], json::array({0.0, 0.0, 10.0}));
  EXPECT_EQ(doc["accessors"][position]["max"], json::array({3.0, 2.0, 10.0}));
  const int indices = primitives[0]["indices"];
  EXPECT_EQ(doc["accessors"][indices]["componentType"], 5123);
  for (double i : AccessorValues(doc, glb.bin, indices)) EXPECT_LT(i, p.size() / 3);
  std::remove(path.c_str());
}

TEST(GltfFile, AConsumedSceneGivesTheSameBytesAndTheTextIsOneDump) {
  // With every face side a line of its own, as the passes leave a scene:
  // the form that drops those lines must keep the edge and the loose line.
  // A mesh's primitives are put in after its other members; a name that
  // looks like where they go must not draw them, and names that need
  // escapes are written as the library escapes them.
  WScene scene = MakeGltfScene();
  AddObjectAt(scene, "@@primitives@@", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  AddFaceOver(scene.objects[2], {0, 1, 2}, scene.AddMaterial("say \"hi\"\t\\"));
  BuildEdges(scene);
  ASSERT_GT(scene.objects[0].lnum, 10);
  const WriterOptions brick = WithTextures({BrickFolder(), nullptr});
  for (const char* name : {"kept.glb", "kept.gltf"}) {
    const std::string path = TempPath(name);
    const bool glb = std::string(name).find(".glb") != std::string::npos;
    ASSERT_TRUE(glb ? WriteGlbFile(path.c_str(), scene, brick) : WriteGltfFile(path.c_str(), scene, brick));
    const std::string copied = ReadFile(path) + (glb ? "" : ReadFile(GltfBufferPath(path.c_str())));
    ASSERT_TRUE(glb ? WriteGlbFile(path.c_str(), WScene(scene), brick)
                    : WriteGltfFile(path.c_str(), WScene(scene), brick));
    EXPECT_EQ(ReadFile(path) + (glb ? "" : ReadFile(GltfBufferPath(path.c_str()))), copied) << name;
    // The text is put together array by array; it must read as the JSON
    // library's own dump of the whole document.
    if (glb) {
      const std::string bytes = ReadFile(path);
      std::string text = bytes.substr(20, Word(bytes, 12));
      text.erase(text.find_last_not_of(' ') + 1);
      const json doc = json::parse(text);
      EXPECT_EQ(doc.dump(), text);
      EXPECT_EQ(doc["meshes"][0]["primitives"].size(), 4u);
      EXPECT_EQ(doc["meshes"][1]["name"], "@@primitives@@");
      EXPECT_EQ(doc["meshes"][1]["primitives"].size(), 1u);
      EXPECT_EQ(doc["materials"][2]["name"], "say \"hi\"\t\\");
      EXPECT_EQ(doc["images"].size(), 1u);
    } else {
      const std::string text = ReadFile(path);
      EXPECT_EQ(json::parse(text).dump(2) + "\n", text);
    }
    std::remove(path.c_str());
    std::remove(GltfBufferPath(path.c_str()).c_str());
  }
}

TEST(GltfFile, IndicesWidenPastSixteenBits) {
  // Separate triangles: 65,535 vertices still fit 16-bit indices (0xFFFF,
  // the restart value, is never needed), 65,538 do not.
  for (const int triangles : {21845, 21846}) {
    WScene scene;
    WObject& o = AddObjectAt(scene, "many");
    for (int t = 0; t < triangles; ++t) {
      const float x = static_cast<float>(t);
      AddVertexAt(o, x, 0, 0);
      AddVertexAt(o, x + 1, 0, 0);
      AddVertexAt(o, x, 1, 0);
      AddFaceOver(o, {3 * t, 3 * t + 1, 3 * t + 2});
    }
    UpdateMatrices(scene);
    const std::string path = TempPath("many.glb");
    ASSERT_TRUE(WriteGlbFile(path.c_str(), scene));
    const Glb glb = ReadGlb(path);
    const json& primitive = glb.document["meshes"][0]["primitives"][0];
    EXPECT_EQ(glb.document["accessors"][primitive["indices"].get<int>()]["componentType"],
              triangles == 21845 ? 5123 : 5125);
    const std::vector<double> indices = AccessorValues(glb.document, glb.bin, primitive["indices"]);
    EXPECT_EQ(indices.back(), 3.0 * triangles - 1);
    std::remove(path.c_str());
  }
}

TEST(GltfFile, GltfAndItsBufferAreReplacedTogether) {
  const WScene scene = MakeGltfScene();
  const std::string dir = TempFolder("gltf");
  const std::string path = dir + "scene.gltf";
  ASSERT_TRUE(WriteGltfFile(path.c_str(), scene));
  const json doc = json::parse(ReadFile(path));
  const std::string bin = ReadFile(dir + "scene.bin");
  EXPECT_EQ(doc["buffers"], json::array({{{"byteLength", bin.size()}, {"uri", "scene.bin"}}}));
  ASSERT_TRUE(WriteGlbFile((dir + "scene.glb").c_str(), scene));
  const Glb glb = ReadGlb(dir + "scene.glb");
  EXPECT_EQ(glb.bin.substr(0, bin.size()), bin);  // the same buffer in both forms

  // A buffer that cannot be written keeps the old .gltf as it was.
  std::ofstream(dir + "old.gltf") << "old";
  ASSERT_EQ(mkdir((dir + "old.bin").c_str(), 0755), 0);
  EXPECT_FALSE(WriteGltfFile((dir + "old.gltf").c_str(), scene));
  EXPECT_EQ(ReadFile(dir + "old.gltf"), "old");
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
  // A name whose buffer would be the file itself is refused.
  EXPECT_EQ(WriteGltfFile((dir + "self.bin").c_str(), scene).error(), EINVAL);
  // A number that is not finite fails the write before anything is written.
  for (int k = 0; k < 2; ++k) {
    WScene bad = scene;
    if (k == 0) bad.materials[0].col.r = std::nanf("");
    if (k == 1) bad.objects[0].uvs[0].u = std::numeric_limits<float>::infinity();
    EXPECT_EQ(WriteGlbFile((dir + "bad.glb").c_str(), bad).error(), ERANGE) << k;
    EXPECT_FALSE(FileExists(dir + "bad.glb"));
  }

  ExpectFailedWritesLeaveNoFile(WriteGlbFile, scene);
  ExpectFailedWritesLeaveNoFile(WriteGltfFile, scene);
}

TEST(GltfFile, ManyObjectsGiveTheSameBytesOnAnyNumberOfThreads) {
  // More objects than one batch of those built together, every seventh
  // without geometry (a node without a mesh shifts the meshes' numbers),
  // every third textured (texture coordinates in its primitive).
  WScene scene;
  const int plain = scene.AddMaterial("plain");
  const int textured = scene.AddMaterial("textured");
  scene.materials[textured].tex = scene.AddTexture("t.bmp");
  const TextureSource folder{TempFolder("gltf_threads"), nullptr};
  std::ofstream(folder.document_folder + "t.bmp", std::ios::binary) << BmpBytes(1, 1, {{1, 2, 3}});
  constexpr int kObjects = 5000;
  for (int i = 0; i < kObjects; ++i) {
    const std::string name = "o" + std::to_string(i);
    if (i % 7 == 3) {
      AddObjectAt(scene, name.c_str());
      continue;
    }
    const float x = float(i);
    WObject& o = AddObjectAt(scene, name.c_str(), {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}});
    const int f = AddFaceOver(o, {0, 1, 2}, i % 3 == 0 ? textured : plain);
    SetFaceUvs(o, f, {0, 0, 1, 0, 0, 1});
  }
  // And a grid of 200 x 200 quads, whose triangles are ordered in runs on
  // the threads.
  WObject& grid = AddObjectAt(scene, "grid");
  for (int y = 0; y <= 200; ++y)
    for (int x = 0; x <= 200; ++x) AddVertexAt(grid, float(x), float(y), float((x * y) % 7));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) AddFaceOver(grid, {y * 201 + x, y * 201 + x + 1, (y + 1) * 201 + x + 1, (y + 1) * 201 + x});
  ComputeFaceNormals(scene);
  UpdateMatrices(scene);

  const char* before = std::getenv("VELLMAR_THREADS");
  const std::string saved = before ? before : "";
  const std::string path = TempPath("threads.glb");
  WriterOptions plain_options = WithTextures(folder);
  WriterOptions compressed = plain_options;
  compressed.compress = true;
  for (const WriterOptions& options : {compressed, plain_options}) {
#if !VELLMAR_MESHOPT
    if (options.compress) continue;
#endif
    std::string first;
    for (const char* threads : {"1", "2", "3"}) {
      setenv("VELLMAR_THREADS", threads, 1);
      ASSERT_TRUE(WriteGlbFile(path.c_str(), scene, options));
      const std::string bytes = ReadFile(path);
      if (first.empty()) first = bytes;
      EXPECT_TRUE(bytes == first) << threads << " threads, compressed " << options.compress;
    }
  }
  if (before) setenv("VELLMAR_THREADS", saved.c_str(), 1);
  else unsetenv("VELLMAR_THREADS");

  // Each node names its own mesh, whose triangle reads back from where its
  // accessors point.
  const Glb glb = ReadGlb(path);
  const json& doc = glb.document;
  ASSERT_EQ(doc["nodes"].size(), size_t{kObjects} + 1);
  int meshes = 0;
  for (int i = 0; i < kObjects; ++i) {
    const json& node = doc["nodes"][i];
    ASSERT_EQ(node["name"], "o" + std::to_string(i));
    ASSERT_EQ(node.contains("mesh"), i % 7 != 3) << i;
    if (i % 7 == 3) continue;
    ASSERT_EQ(node["mesh"], meshes) << i;
    const json& primitive = doc["meshes"][meshes++]["primitives"][0];
    EXPECT_EQ(primitive.contains("attributes") && primitive["attributes"].contains("TEXCOORD_0"), i % 3 == 0) << i;
    const std::vector<double> p = AccessorValues(doc, glb.bin, primitive["attributes"]["POSITION"]);
    const std::vector<double> ix = AccessorValues(doc, glb.bin, primitive["indices"]);
    ASSERT_EQ(ix.size(), 3u);
    EXPECT_EQ(p[3 * size_t(ix[1])], double(i) + 1) << i;
  }
  EXPECT_EQ(doc["accessors"].size() + 1, doc["bufferViews"].size());  // and the image's
  std::remove(path.c_str());
}

#if VELLMAR_MESHOPT
TEST(GltfFile, CompressedFilesRequireTheExtensionsAndPlaceEveryArray) {
  const WScene scene = MakeGltfScene();
  WriterOptions options = WithTextures({BrickFolder(), nullptr});
  options.compress = true;
  const std::string glb_path = TempPath("packed.glb"), gltf_path = TempPath("packed.gltf");
  ASSERT_TRUE(WriteGlbFile(glb_path.c_str(), scene, options));
  ASSERT_TRUE(WriteGltfFile(gltf_path.c_str(), scene, options));
  const Glb glb = ReadGlb(glb_path);
  const json gltf = json::parse(ReadFile(gltf_path));
  for (const json* doc : {&glb.document, &gltf}) {
    const json extensions = {"EXT_meshopt_compression", "KHR_mesh_quantization", "KHR_texture_transform"};
    EXPECT_EQ((*doc)["extensionsRequired"], extensions);
    EXPECT_EQ((*doc)["extensionsUsed"], extensions);
    // The data, and a buffer that only gives the decoded bytes their places.
    const json& buffers = (*doc)["buffers"];
    ASSERT_EQ(buffers.size(), 2u);
    EXPECT_FALSE(buffers[1].contains("uri"));
    EXPECT_EQ(buffers[1]["extensions"]["EXT_meshopt_compression"]["fallback"], true);
    size_t encoded_end = 0, decoded_end = 0;
    const size_t triangle_views[] = {3, 4, 5};  // after positions, normals, texture coordinates
    // The image's view, last, holds the file's bytes as they are.
    const json& image_view = (*doc)["bufferViews"][(*doc)["images"][0]["bufferView"].get<size_t>()];
    EXPECT_EQ(image_view["buffer"], 0);
    EXPECT_FALSE(image_view.contains("extensions"));
    for (size_t v = 0; v + 1 < (*doc)["bufferViews"].size(); ++v) {
      const json& view = (*doc)["bufferViews"][v];
      const json& packed = view["extensions"]["EXT_meshopt_compression"];
      EXPECT_EQ(view["buffer"], 1);
      EXPECT_EQ(packed["buffer"], 0);
      EXPECT_EQ(view["byteLength"], packed["count"].get<size_t>() * packed["byteStride"].get<size_t>());
      // In order and apart, the encoded bytes in the data, the decoded ones
      // in the fallback buffer.
      EXPECT_GE(packed.value("byteOffset", size_t{0}), encoded_end) << v;
      encoded_end = packed.value("byteOffset", size_t{0}) + packed["byteLength"].get<size_t>();
      EXPECT_GE(view.value("byteOffset", size_t{0}), decoded_end) << v;
      decoded_end = view.value("byteOffset", size_t{0}) + view["byteLength"].get<size_t>();
      const bool vertices = view["target"] == 34962;
      if (vertices) {
        EXPECT_EQ(view["byteStride"].get<int>() % 4, 0) << v;
      }
      const bool triangles = std::find(std::begin(triangle_views), std::end(triangle_views), v) != std::end(triangle_views);
      EXPECT_EQ(packed["mode"], std::string(vertices ? "ATTRIBUTES" : triangles ? "TRIANGLES" : "INDICES")) << v;
    }
    EXPECT_LE(encoded_end, buffers[0]["byteLength"].get<size_t>());
    EXPECT_LE(decoded_end, buffers[1]["byteLength"].get<size_t>());

    // Integer positions that the node's scale and translation restore,
    // octahedral byte normals, texture coordinates on the grid of 2^-12.
    const json& node = (*doc)["nodes"][0];
    ASSERT_EQ(node["scale"].size(), 3u);
    EXPECT_EQ(node["scale"][0], node["scale"][2]);
    EXPECT_EQ(node["translation"], json::array({0.0, 0.0, 10.0}));
    EXPECT_FALSE((*doc)["nodes"][1].contains("scale"));  // no mesh
    const json& attributes = (*doc)["meshes"][0]["primitives"][2]["attributes"];
    const json& position = (*doc)["accessors"][attributes["POSITION"].get<int>()];
    EXPECT_EQ(position["componentType"], 5123);
    EXPECT_EQ(position["min"], json::array({0, 0, 0}));
    EXPECT_EQ(position["max"], json::array({16383, 10922, 0}));  // 3 wide, 2 high: 2/3 of the steps
    EXPECT_EQ((*doc)["bufferViews"][position["bufferView"].get<int>()]["extensions"]["EXT_meshopt_compression"]["byteStride"], 8);
    const json& normal = (*doc)["accessors"][attributes["NORMAL"].get<int>()];
    EXPECT_EQ(normal["componentType"], 5120);
    EXPECT_EQ(normal["normalized"], true);
    EXPECT_EQ((*doc)["bufferViews"][normal["bufferView"].get<int>()]["extensions"]["EXT_meshopt_compression"]["filter"], "OCTAHEDRAL");
    EXPECT_EQ((*doc)["accessors"][attributes["TEXCOORD_0"].get<int>()]["componentType"], 5123);
    const json& brick = (*doc)["materials"][1]["pbrMetallicRoughness"]["baseColorTexture"];
    EXPECT_EQ(brick["extensions"]["KHR_texture_transform"]["scale"], json::array({1.0 / 4096, 1.0 / 4096}));
    EXPECT_EQ(brick["extensions"]["KHR_texture_transform"]["offset"], json::array({0.0, 0.0}));
  }
  const std::string bin = GltfBufferPath(gltf_path.c_str());
  EXPECT_EQ(gltf["buffers"][0]["uri"], bin.substr(bin.rfind('/') + 1));
  EXPECT_EQ(ReadFile(GltfBufferPath(gltf_path.c_str())).size(), gltf["buffers"][0]["byteLength"].get<size_t>());
  // Both forms carry the same JSON but for the buffer's file name.
  json same = gltf;
  same["buffers"][0].erase("uri");
  EXPECT_EQ(same, glb.document);

  // Without a textured material no texture transform is needed, nor named.
  WScene untextured = scene;
  untextured.materials[1].tex = -1;
  ASSERT_TRUE(WriteGlbFile(glb_path.c_str(), untextured, options));
  EXPECT_EQ(ReadGlb(glb_path).document["extensionsRequired"],
            json::array({"EXT_meshopt_compression", "KHR_mesh_quantization"}));
  std::remove(glb_path.c_str());
  std::remove(gltf_path.c_str());
  std::remove(GltfBufferPath(gltf_path.c_str()).c_str());
}
#endif

TEST(GltfFile, TexturesAreStoredInTheBufferOrLeftOutWithTheirColour) {
  // A second textured material whose image is not there: its faces keep
  // the material's colour and lose their texture coordinates.
  // Both images stand for their materials' diffuse colours: the one found
  // shows untinted (only its alpha is kept), the lost one leaves its colour.
  WScene scene = MakeGltfScene();
  const int lost = scene.AddMaterial("lost");
  scene.materials[lost].col = WColor(0.5f, 0.25f, 1.0f, 1.0f);
  scene.materials[lost].tex = scene.AddTexture("lost.png");
  scene.materials[lost].flags |= kImageIsDiffuse;
  scene.materials[1].col = WColor(0.7f, 0.7f, 0.7f, 0.5f);
  scene.materials[1].flags |= kImageIsDiffuse;
  WObject& o = scene.objects[0];
  SetFaceUvs(o, AddFaceOver(o, {1, 2, 3}, lost), {0, 0, 1, 0, 1, 1});
  const std::string brick = BrickFolder();
  std::vector<std::string> warnings;
  const std::string dir = TempFolder("gltf_textures");
  ASSERT_TRUE(WriteGltfFile((dir + "t.gltf").c_str(), scene, WithTextures({brick, &warnings})));
  EXPECT_EQ(warnings, std::vector<std::string>(
                          {"texture \"lost.png\" (material \"lost\") is not found; the material is written without it"}));
  const json doc = json::parse(ReadFile(dir + "t.gltf"));
  const std::string bin = ReadFile(dir + "t.bin");
  EXPECT_EQ(doc["buffers"][0]["byteLength"], bin.size());
  ASSERT_EQ(doc["images"].size(), 1u);
  EXPECT_EQ(ViewBytes(doc, bin, doc["images"][0]["bufferView"]), StoredImage(brick + "brick #1.bmp"));
  const json& material = doc["materials"][lost];
  EXPECT_FALSE(material["pbrMetallicRoughness"].contains("baseColorTexture"));
  EXPECT_EQ(material["pbrMetallicRoughness"]["baseColorFactor"], json::array({0.5, 0.25, 1.0, 1.0}));
  const json& shown = doc["materials"][1]["pbrMetallicRoughness"];
  EXPECT_TRUE(shown.contains("baseColorTexture"));
  EXPECT_EQ(shown["baseColorFactor"], json::array({1.0, 1.0, 1.0, 0.5}));
  int lost_primitives = 0;
  for (const json& primitive : doc["meshes"][0]["primitives"]) {
    if (primitive.value("material", -1) != lost) continue;
    EXPECT_FALSE(primitive["attributes"].contains("TEXCOORD_0"));
    ++lost_primitives;
  }
  EXPECT_EQ(lost_primitives, 1);

  // A document of materials alone: the buffer holds the image and nothing
  // else, and there are no accessors.
  WScene bare;
  const int only_material = bare.AddMaterial("brick");
  bare.materials[only_material].tex = bare.AddTexture("brick #1.bmp");
  ASSERT_TRUE(WriteGltfFile((dir + "bare.gltf").c_str(), bare, WithTextures({brick, nullptr})));
  const json only = json::parse(ReadFile(dir + "bare.gltf"));
  EXPECT_FALSE(only.contains("accessors"));
  ASSERT_EQ(only["bufferViews"].size(), 1u);
  EXPECT_EQ(ReadFile(dir + "bare.bin"), StoredImage(brick + "brick #1.bmp"));
}
