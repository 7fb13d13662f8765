// The dotXSI writer against hand-written files, and its behaviour at the
// edges: names and paths, polygon-list order, deep and wide hierarchies,
// envelopes, bad indices and failed writes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "test_scenes.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

namespace {

// 2026-12-08 00:33:07 UTC, the time of the stamps in the golden files.
constexpr std::time_t kGoldenTime = 1796689987;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

std::string Golden(const char* name) {
  const std::string text = ReadFile(std::string(VELLMAR_TEST_DATA_DIR) + "/xsi/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

std::string TempPath(const char* name) {
  return std::string(::testing::TempDir()) + name + "_" + std::to_string(::getpid()) + ".xsi";
}

// The whole file text of scene, stamped with kGoldenTime.
std::string Written(const WScene& scene) {
  TextOutput out;
  WriteXsiScene(out, scene, kGoldenTime);
  return std::string(out.text());
}

// The model text of one object with its descendants.
std::string Model(const WScene& scene, int object) {
  XsiModelContext context(scene);
  TextOutput out;
  EXPECT_TRUE(WriteXsiModel(out, scene, context, object, 0));
  return std::string(out.text());
}

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Replaces the time-stamp line (the sixth) of a written file with the one
// of the golden files, after checking its shape: TAB, quote, 24 characters
// "Www Mmm DD hh:mm:ss YYYY", quote, comma.
std::string MaskTimeStamp(std::string text) {
  size_t begin = 0;
  for (int line = 0; line < 5; ++line) begin = text.find('\n', begin) + 1;
  const size_t end = text.find('\n', begin);
  const std::string stamp = text.substr(begin, end - begin);
  EXPECT_EQ(stamp.size(), 28u) << stamp;
  if (stamp.size() == 28) {
    EXPECT_EQ(stamp.substr(0, 2), "\t\"");
    EXPECT_EQ(stamp.substr(26), "\",");
    for (size_t i : {5u, 9u, 12u, 21u}) EXPECT_EQ(stamp[i], ' ') << stamp;
    for (size_t i : {15u, 18u}) EXPECT_EQ(stamp[i], ':') << stamp;
    for (size_t i : {10u, 11u, 13u, 14u, 16u, 17u, 19u, 20u, 22u, 23u, 24u, 25u})
      EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << stamp;
  }
  return text.replace(begin, end - begin, "\t\"Tue Dec 08 09:33:07 2026\",");
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
    const std::string golden = Golden(c.golden);
    EXPECT_EQ(Written(scene), golden);

    // The same bytes through a file, with the current time.
    const std::string path = TempPath("golden");
    ASSERT_TRUE(WriteXsiFile(path.c_str(), scene));
    EXPECT_EQ(MaskTimeStamp(ReadFile(path)), golden);
    std::remove(path.c_str());
  }
}

TEST(XsiFile, EmptySceneEndsAfterTheLibrary) {
  // The head and library of the scene without materials, up to its models.
  const std::string golden = Golden("no_material.xsi");
  const std::string expected = golden.substr(0, golden.find("SI_Model"));
  ASSERT_TRUE(EndsWith(expected, "}\n\n"));
  EXPECT_EQ(Written(WScene()), expected);
}

TEST(XsiFile, TimeStampIsUtcPlusNine) {
  EXPECT_EQ(XsiTimeStamp(kGoldenTime), "Tue Dec 08 09:33:07 2026");
  EXPECT_EQ(XsiTimeStamp(0), "Thu Jan 01 09:00:00 1970");
  // The day changes nine hours before UTC midnight.
  EXPECT_EQ(XsiTimeStamp(1796655599), "Mon Dec 07 23:59:59 2026");
  EXPECT_EQ(XsiTimeStamp(1796655600), "Tue Dec 08 00:00:00 2026");
  EXPECT_EQ(XsiTimeStamp(1709132400), "Thu Feb 29 00:00:00 2024");  // leap year
  EXPECT_EQ(XsiTimeStamp(4107510000LL), "Mon Mar 01 00:00:00 2100");  // 2100 is no leap year
  EXPECT_EQ(XsiTimeStamp(-32401), "Wed Dec 31 23:59:59 1969");
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
  scene.scene_flags = 0x20000;
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
}

TEST(XsiModel, PolygonListsByMaterialThenGroup) {
  WScene scene;
  scene.AddMaterial("a");
  scene.AddMaterial("b");
  scene.AddMaterial("c");
  const int o = scene.AddObject("o");
  WObject& obj = scene.objects[o];
  for (int i = 0; i < 8; ++i) {
    AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
    obj.AddUv();
  }
  // Face i runs over vertices i, i+1, i+2; a textured face's corners all
  // use uv i.
  const int material[] = {2, 0, 2, 0, 2, -1, -2, 3};
  const bool textured[] = {true, false, false, true, true, false, true, true};
  for (int i = 0; i < 8; ++i) {
    const int f = AddFaceOver(obj, {i, (i + 1) % 8, (i + 2) % 8}, material[i]);
    if (textured[i]) obj.faces[f].vt[0] = obj.faces[f].vt[1] = obj.faces[f].vt[2] = i;
  }
  obj.faces[2].vt[0] = obj.faces[2].vt[2] = 2;  // one corner short of textured

  const std::string expected =
      "\t\tSI_PolygonList {\n\t\t\t1,\n\t\t\t\"TEX_COORD_UV\",\n\t\t\t\"MAT-a\",\n\t\t\t3,\n\t\t\t3,\n\n"
      "\t\t\t3,4,5,\n\n"
      "\t\t\t3,3,3,\n\n"
      "\t\t}\n"
      "\t\tSI_PolygonList {\n\t\t\t2,\n\t\t\t\"\",\n\t\t\t\"MAT-a\",\n\t\t\t6,\n\t\t\t3,\n\t\t\t3,\n\n"
      "\t\t\t1,2,3,\n\t\t\t5,6,7,\n\n"
      "\t\t}\n"
      "\t\tSI_PolygonList {\n\t\t\t2,\n\t\t\t\"TEX_COORD_UV\",\n\t\t\t\"MAT-c\",\n\t\t\t6,\n\t\t\t3,\n\t\t\t3,\n\n"
      "\t\t\t0,1,2,\n\t\t\t4,5,6,\n\n"
      "\t\t\t0,0,0,\n\t\t\t4,4,4,\n\n"
      "\t\t}\n"
      "\t\tSI_PolygonList {\n\t\t\t1,\n\t\t\t\"\",\n\t\t\t\"MAT-c\",\n\t\t\t3,\n\t\t\t3,\n\n"
      "\t\t\t2,3,4,\n\n"
      "\t\t}\n"
      "\t}\n"
      "}\n";
  const std::string text = Model(scene, o);
  EXPECT_TRUE(EndsWith(text, "\t\t}\n\n" + expected)) << text;
  EXPECT_EQ(Count(text, "SI_PolygonList"), 4);
}

TEST(XsiModel, CornerIndicesAreWrittenAsStoredWithoutReadingThrough) {
  WScene scene = MakeTexturedTriangle();
  WFace& face = scene.objects[0].faces[0];
  const int v[] = {0, 99, -7};
  const int vn[] = {5, 0, -1};
  const int vc[] = {2, 2, 2};
  const int vt[] = {42, 0, 0};
  for (int k = 0; k < 3; ++k) {
    face.v[k] = v[k];
    face.vn[k] = vn[k];
    face.vc[k] = vc[k];
    face.vt[k] = vt[k];
  }
  const std::string text = Model(scene, 0);
  EXPECT_EQ(Count(text, "\n\n\t\t\t0,99,-7,\n\n\t\t\t5,0,-1,\n\n\t\t\t2,2,2,\n\n\t\t\t42,0,0,\n\n\t\t}\n"), 1) << text;
}

TEST(XsiModel, DeepChainsCapTheIndentAndUseNoRecursion) {
  const auto chain = [](int n) {
    WScene scene;
    scene.ReserveObjects(n);
    for (int i = 0; i < n; ++i) {
      const int o = scene.AddObject(("o" + std::to_string(i)).c_str());
      scene.objects[o].parent = i - 1;
    }
    return scene;
  };
  const std::string tabs254(254, '\t');
  const std::string tabs255(255, '\t');

  const WScene scene = chain(300);
  const std::string text = Model(scene, 0);
  EXPECT_EQ(Count(text, "SI_Model MDL-"), 300);
  EXPECT_EQ(Count(text, "\n" + tabs254 + "SI_Model MDL-o254 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "SI_Model MDL-o255 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "SI_Model MDL-o299 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "\tSI_Null o299 {\n"), 1);  // inner lines too
  // Lines of 255 TABs and a brace: the closings of the 45 models at the cap
  // and the five block closings inside o254 (254 TABs of indent and one).
  EXPECT_EQ(Count(text, "\n" + tabs255 + "}\n"), 50);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "}\n" + tabs254 + "}\n"), 1);
  EXPECT_TRUE(EndsWith(text, "\n\t\t}\n\t}\n}\n"));

  // A hundred thousand levels: a recursive writer would run out of stack.
  const WScene deep = chain(100000);
  EXPECT_TRUE(WriteXsiFile("/dev/null", deep));
}

TEST(XsiModel, ParentCyclesEndAtTheStart) {
  const WScene scene = MakeHierarchy();
  // "loop" is its own parent: written on request, once, and not as a child.
  const std::string text = Model(scene, 5);
  EXPECT_EQ(Count(text, "SI_Model"), 1);
  EXPECT_TRUE(EndsWith(text, "\tSI_Null loop {\n\t}\n\n}\n"));
}

TEST(XsiFile, EnvelopesScaleWithObjects) {
  // Twenty thousand objects: a table of onum x onum counters would need
  // 1.6 GB; rows and columns still come in index order.
  const int n = 20000;
  WScene scene;
  scene.ReserveObjects(n);
  for (int i = 0; i < n; ++i) scene.AddObject(("b" + std::to_string(i)).c_str());
  for (int owner : {n - 1, 0}) {
    WObject& obj = scene.objects[owner];
    AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
    AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
  }
  auto weigh = [](WVertex& v, int bone, float w) {
    const int i = v.AddWeight();
    v.weights[i].bone = bone;
    v.weights[i].weight = w;
  };
  weigh(scene.objects[0].vertices[1], n - 1, 0.5f);
  weigh(scene.objects[0].vertices[0], 5, 0.25f);
  weigh(scene.objects[0].vertices[1], 5, 0.125f);
  weigh(scene.objects[n - 1].vertices[0], 0, 1.0f);

  const std::string text = Written(scene);
  const size_t list = text.find("SI_EnvelopeList {\n");
  ASSERT_NE(list, std::string::npos);
  EXPECT_EQ(text.substr(list),
            "SI_EnvelopeList {\n"
            "\t3;\n"
            "\tSI_Envelope {\n\t\t\"MDL-b0\";\n\t\t\"MDL-b5\";\n\t\t2;\n\t\t0,25.000000;,\n\t\t1,12.500000;,\n\t}\n"
            "\tSI_Envelope {\n\t\t\"MDL-b0\";\n\t\t\"MDL-b19999\";\n\t\t1;\n\t\t1,50.000000;,\n\t}\n"
            "\tSI_Envelope {\n\t\t\"MDL-b19999\";\n\t\t\"MDL-b0\";\n\t\t1;\n\t\t0,100.000000;,\n\t}\n"
            "}\n");

  // Weights at or below the threshold only: no list at all.
  WScene faint = MakeWeightedSkin();
  for (int v = 0; v < 3; ++v)
    for (int w = 0; w < faint.objects[0].vertices[v].wnum; ++w) faint.objects[0].vertices[v].weights[w].weight = 0.00001f;
  EXPECT_EQ(Count(Written(faint), "SI_Envelope"), 0);
}

TEST(XsiFile, LeavesTheSceneUnchanged) {
  const WScene scene = MakeUnassignedFaces();
  const std::string path = TempPath("unchanged");
  ASSERT_TRUE(WriteXsiFile(path.c_str(), scene));
  std::remove(path.c_str());
  EXPECT_EQ(scene.mnum, 0);
  const WObject& quad = scene.objects[0];
  EXPECT_EQ(quad.faces[0].material, -1);
  EXPECT_EQ(quad.faces[1].material, 5);
  for (int f = 0; f < quad.fnum; ++f) EXPECT_EQ(quad.faces[f].remap, -1);
}

TEST(XsiFile, ReplacesAnExistingFile) {
  const std::string path = TempPath("replace");
  {
    std::ofstream old(path, std::ios::binary);
    old << std::string(100000, 'x');
  }
  ASSERT_TRUE(WriteXsiFile(path.c_str(), MakeTexturedTriangle()));
  EXPECT_EQ(MaskTimeStamp(ReadFile(path)), Golden("textured_triangle.xsi"));
  std::remove(path.c_str());
}

TEST(XsiFile, FailuresReturnFalseAndLeaveNoFile) {
  const WScene scene = MakeTexturedTriangle();
  const std::string missing = std::string(::testing::TempDir()) + "no-such-dir-" + std::to_string(::getpid()) + "/a.xsi";
  EXPECT_FALSE(WriteXsiFile(missing.c_str(), scene));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(WriteXsiFile(::testing::TempDir().c_str(), scene));  // a directory

  // A device that fails every write: false, and the device stays.
  if (FileExists("/dev/full")) {
    EXPECT_FALSE(WriteXsiFile("/dev/full", scene));
    EXPECT_TRUE(FileExists("/dev/full"));
  }

  // A regular file that cannot grow past 1024 bytes (a full disk): false,
  // and the partial file is removed. The big scene is several blocks long,
  // so its writes fail on the way; the triangle's one block fails at the
  // close.
  WScene big;
  const int o = big.AddObject("big");
  big.objects[o].ReserveVertices(100000);
  for (int i = 0; i < 100000; ++i) AddVertexAt(big.objects[o], static_cast<float>(i), 0.5f, -0.25f);
  const std::string path = TempPath("full");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool big_written = WriteXsiFile(path.c_str(), big);
  const bool small_written = WriteXsiFile((path + "2").c_str(), scene);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(big_written);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(small_written);
  EXPECT_FALSE(FileExists(path + "2"));
}
