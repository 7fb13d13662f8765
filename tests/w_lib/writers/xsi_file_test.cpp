// The dotXSI file writer against hand-written files, and its behaviour at
// the edges: names and paths, wide hierarchies, envelopes, failed writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

// 2026-12-08 00:33:07 UTC, the time of the stamps in the golden files.
constexpr std::time_t kGoldenTime = 1796689987;

// The whole file text of scene, stamped with kGoldenTime.
std::string Written(const WScene& scene) {
  TextOutput out;
  WriteXsiScene(out, scene, kGoldenTime);
  return std::string(out.text());
}

}  // namespace

TEST(XsiFile, MatchesHandWrittenFiles) {
  struct Case {
    WScene (*make)();
    const char* golden;
  };
  const Case cases[] = {
      {MakeTexturedTriangle, "textured_triangle.xsi"},
      {MakeUnassignedFaces, "no_material.xsi"},
      {MakeHierarchy, "hierarchy.xsi"},
      {MakeWeightedSkin, "envelopes.xsi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    const WScene scene = c.make();
    const std::string golden = Golden(std::string("xsi/") + c.golden);
    EXPECT_EQ(Written(scene), golden);

    // The same bytes through a file, with the current time, replacing a
    // longer file.
    const std::string path = TempPath("golden.xsi");
    std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
    ASSERT_TRUE(WriteXsiFile(path.c_str(), scene));
    EXPECT_EQ(MaskTimeStamp(ReadFile(path)), MaskTimeStamp(golden));
    std::remove(path.c_str());
  }
}

TEST(XsiFile, EmptySceneEndsAfterTheLibrary) {
  // The head and library of the scene without materials, up to its models.
  const std::string golden = Golden("xsi/no_material.xsi");
  const std::string expected = golden.substr(0, golden.find("SI_Model"));
  ASSERT_TRUE(EndsWith(expected, "}\n\n"));
  EXPECT_EQ(Written(WScene()), expected);
}

TEST(XsiFile, MaterialsTexturesAndNames) {
  WScene scene;
  scene.AddMaterial("my material");
  const int a = scene.AddMaterial("a");
  const int b = scene.AddMaterial("b");
  const int odd = scene.AddMaterial("odd");
  const int sjis = scene.AddMaterial("s");
  const int unnamed = scene.AddMaterial("x");
  scene.materials[unnamed].name.Set(nullptr);
  const int wood = scene.AddTexture("maps.old\\wood");
  scene.textures[wood].width = 256;
  scene.textures[wood].height = 128;
  scene.materials[a].tex = wood;
  scene.materials[b].tex = wood;  // shared: both carry a full block
  scene.materials[odd].tex = 7;   // no such texture: written as untextured
  scene.materials[sjis].tex = scene.AddTexture("C:\\tex\\\x83\x5c.bmp");
  scene.scene_flags = kShadingModel5;
  const int o = scene.AddObject("o");
  scene.objects[o].name.Set(nullptr);

  const std::string text = Written(scene);
  EXPECT_EQ(Count(text, "\tSI_Material MAT-my material {\n"), 1);
  EXPECT_EQ(Count(text, "\tSI_Material MAT- {\n"), 1);
  EXPECT_EQ(Count(text, "\n\t7,\n\tSI_Material Default {\n"), 1);  // six materials and Default
  EXPECT_EQ(Count(text,
                  "\t\tSI_Texture2D TEX-wood {\n"
                  "\t\t\t\"wood\";\n"
                  "\t\t\t4;\n"
                  "\t\t\t256;128;\n"
                  "\t\t\t0;255;0;127;\n"),
            2);
  // The 0x5C of the two-byte character splits nothing.
  EXPECT_EQ(Count(text, "\t\tSI_Texture2D TEX-\x83\x5c {\n\t\t\t\"\x83\x5c.bmp\";\n"), 1);
  EXPECT_EQ(Count(text, "SI_Texture2D"), 3);
  EXPECT_EQ(Count(text, "\tSI_Material MAT-odd {\n\t\t0.700000,0.700000,0.700000,1.000000,\n"
                        "\t\t50.000000,\n\t\t1.000000,1.000000,1.000000,\n\t\t0.000000,0.000000,0.000000,\n"
                        "\t\t5,\n\t\t0.500000,0.500000,0.500000,\n\t}\n"),
            1);
  // Shading model 5 in Default and all six materials.
  EXPECT_EQ(Count(text, "\t\t5,\n"), 7);
  EXPECT_EQ(Count(text, "\n\t\t1,\n"), 1);  // only the visibility of the one model
  EXPECT_EQ(Count(text, "\nSI_Model MDL- {\n\tSI_Transform SRT- {\n"), 1);
  EXPECT_EQ(Count(text, "\tSI_Null  {\n"), 1);

  // Braces, quotes and control bytes in names would end a template head or
  // a quoted string; blanks stay.
  WScene odd_names = MakeTexturedTriangle();
  odd_names.materials[0].SetName("m \"1\"");
  WObject& named = odd_names.objects[0];
  named.SetName("obj one } {\t");
  const int key = named.FindOrAddKey(0);
  named.keys[key].channels = kTranslateX;
  AddWeight(named.vertices[0], 0, 1.0f);
  const std::string odd_text = Written(odd_names);
  // Model, transforms, mesh, shape, curve head and name, envelope twice.
  EXPECT_EQ(Count(odd_text, "obj one _ __"), 9);
  EXPECT_EQ(Count(odd_text, "\tSI_FCurve obj one _ __-TRANSLATION-X\n\t{\n\t\t\"obj one _ __\",\n"), 1);
  EXPECT_EQ(Count(odd_text, "\t\t\"MDL-obj one _ __\";\n"), 2);
  EXPECT_EQ(Count(odd_text, "\tSI_Material MAT-m _1_ {\n"), 1);
  EXPECT_EQ(Count(odd_text, "\t\t\t\"MAT-m _1_\",\n"), 1);
}

TEST(XsiFile, EnvelopesScaleWithObjects) {
  // Twenty thousand objects: a table of onum x onum counters would need
  // 1.6 GB; rows and columns still come in index order.
  const int n = 20000;
  WScene scene;
  ASSERT_TRUE(scene.ReserveObjects(n));
  for (int i = 0; i < n; ++i) scene.AddObject(("b" + std::to_string(i)).c_str());
  for (int owner : {n - 1, 0})
    for (int v = 0; v < 2; ++v) AddVertexAt(scene.objects[owner], 0.0f, 0.0f, 0.0f);
  AddWeight(scene.objects[0].vertices[1], n - 1, 0.5f);
  AddWeight(scene.objects[0].vertices[0], 5, 0.25f);
  AddWeight(scene.objects[0].vertices[1], 5, 0.125f);
  AddWeight(scene.objects[n - 1].vertices[0], 0, 1.0f);

  const std::string text = Written(scene);
  const size_t list = text.find("SI_EnvelopeList {\n");
  ASSERT_NE(list, std::string::npos);
  EXPECT_EQ(text.substr(list), Golden("xsi/envelope_list_tail.xsi"));

  // Weights at or below the threshold only: no list at all.
  WScene faint = MakeWeightedSkin();
  for (int v = 0; v < 3; ++v)
    for (int w = 0; w < faint.objects[0].vertices[v].wnum(); ++w) faint.objects[0].vertices[v].weights()[w].weight = 0.00001f;
  EXPECT_EQ(Count(Written(faint), "SI_Envelope"), 0);
}

TEST(XsiFile, LeavesTheSceneUnchanged) {
  const WScene scene = MakeUnassignedFaces();
  Written(scene);
  EXPECT_EQ(scene.mnum, 0);
  const WObject& quad = scene.objects[0];
  EXPECT_EQ(quad.faces[0].material, -1);
  EXPECT_EQ(quad.faces[1].material, 5);
  for (int f = 0; f < quad.fnum; ++f) EXPECT_EQ(quad.faces[f].remap, -1);
}

TEST(XsiFile, FailuresReturnFalseAndLeaveNoFile) {
  ExpectFailedWritesLeaveNoFile(WriteXsiFile, MakeTexturedTriangle());
}
