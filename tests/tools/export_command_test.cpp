// vellmar export and convert on host documents: the bytes of the examples,
// the dialog options, every real document, freezes, scaling, hostile input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "host_documents.h"
#include "tool_runs.h"
#include "zip_files.h"

TEST(VellmarCli, ExportsTheExamplesAndConvertWritesTheSameBytes) {
  for (const char* name : {"cube.mqo", "textured_seam.mqo", "ngon.mqo", "untextured_and_no_material.mqo"}) {
    SCOPED_TRACE(name);
    const std::string exported = TempPath(std::string(name) + ".export.xsi");
    const std::string converted = TempPath(std::string(name) + ".convert.xsi");
    const ToolRun run = Vellmar("export " + Example(name) + " " + Quoted(exported));
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(Vellmar("convert " + Example(name) + " " + Quoted(converted)).status, 0);
    const std::string a = ReadFile(exported), b = ReadFile(converted);
    EXPECT_EQ(a.rfind("xsi 0300txt 0032\n", 0), 0u);
    EXPECT_EQ(MaskTimeStamp(a), MaskTimeStamp(b));
  }
}

TEST(VellmarCli, DialogOptionsReachTheFile) {
  const std::string plain = TempPath("plain.xsi"), turned = TempPath("turned.xsi"), cancelled = TempPath("c.xsi");
  ASSERT_EQ(Vellmar("export " + Example("ngon.mqo") + " " + Quoted(plain)).status, 0);
  ASSERT_EQ(Vellmar("export " + Example("ngon.mqo") + " " + Quoted(turned) + " --scale 2 --axes y,-x,z").status, 0);
  ASSERT_EQ(Vellmar("export " + Example("ngon.mqo") + " " + Quoted(cancelled) +
                    " --scale 2 --axes y,-x,z --cancel").status, 0);
  // Vertex 1 of the document is (200, 0, 0): mirrored and scaled it is (-2, 0, 0);
  // taken as (y, -x, z) and doubled it is (0, -400, 0) before the export's own steps.
  EXPECT_NE(ReadFile(plain).find("\t\t\t-2.000000, 0.000000, 0.000000,\n"), std::string::npos);
  EXPECT_NE(ReadFile(turned).find("\t\t\t-0.000000, -4.000000, 0.000000,\n"), std::string::npos);
  EXPECT_EQ(MaskTimeStamp(ReadFile(cancelled)), MaskTimeStamp(ReadFile(plain)));
}

TEST(VellmarCli, EveryRealDocumentExportsWhole) {
  const std::vector<std::filesystem::path> documents = SampleDocuments();
  if (documents.empty()) GTEST_SKIP() << "no samples folder beside the project";
  std::string args = "export";
  for (const auto& d : documents) args += " " + Quoted(d.string());
  const std::string dir = TempPath("samples");
  const ToolRun run = Vellmar(args + " --out-dir " + Quoted(dir));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const auto& path : documents) {
    SCOPED_TRACE(path.string());
    MQDocumentRecord doc;
    std::string error;
    ASSERT_TRUE(ReadMqoDocument(path.string().c_str(), doc, error)) << error;
    long faces = 0;
    for (const auto& obj : doc.objects) faces += obj->FaceCount();
    const std::string xsi = ReadFile(dir + "/" + path.stem().string() + ".xsi");
    EXPECT_EQ(Count(xsi, "SI_Model MDL-"), doc.ObjectCount());
    // No face of a document that reads cleanly is dropped on the way.
    EXPECT_EQ(PolygonListFaces(xsi), faces);
  }
}

TEST(VellmarCli, FreezeSweepsALatheOfTenMillionStepsInTheMostThereAre) {
  const std::string doc = TempPath("vase.mqo"), out = TempPath("vase.xsi");
  std::ofstream(doc, std::ios::binary) << "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"vase\" {\n"
                                          "\tlathe 3\n\tlathe_axis 1\n\tlathe_seg 10000000\n\tvertex 2 {\n"
                                          "\t\t10 0 0\n\t\t20 10 0\n\t}\n\tface 1 {\n\t\t2 V(0 1)\n\t}\n}\nEof\n";
  ToolRun run = Vellmar("export " + Quoted(doc) + " " + Quoted(out) + " --freeze -q");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "vellmar: warning: " + doc +
                         ": object \"vase\": 10000000 lathe steps cut to 256, the most a lathe is swept in\n");
  EXPECT_EQ(PolygonListFaces(ReadFile(out)), 256);
  // Without --freeze the lathe is not swept, and nothing is cut.
  run = Vellmar("export " + Quoted(doc) + " " + Quoted(out) + " -q");
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
}

TEST(VellmarCli, NamesAndTexturePathsCutToWhatTheInterfaceCarriesAreReported) {
  // The interface carries 259 bytes of each. A texture path cut there names
  // a file that exists (not the one meant) or none.
  const std::string dir = TempPath("cut") + "/", folder(250, 'f');
  std::filesystem::create_directories(dir + folder);
  std::ofstream(dir + folder + "/" + std::string(8, 'x'), std::ios::binary) << "another image";
  const std::string object(300, 'o'), fits(259, 'm'), material(260, 'n');
  const std::string found = folder + "/" + std::string(40, 'x') + ".png", missing = std::string(270, 'p') + ".png";
  std::ofstream(dir + "cut.mqo", std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 3 {\n\t\"" << fits << "\" tex(\"" << found
      << "\")\n\t\"" << material << "\" tex(\"" << missing << "\")\n\t\"short\" tex(\"" << fits
      << "\")\n}\nObject \"" << object << "\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n"
      << "\t\t3 V(0 1 2) M(0)\n\t}\n}\nObject \"" << fits << "\" {\n}\nEof\n";
  const std::string head = "vellmar: warning: " + dir + "cut.mqo: ";
  const std::string expected =
      head + "object name cut to 259 of its 300 bytes: \"" + object.substr(0, 259) + "\"\n" + head +
      "texture path of material \"" + fits + "\" cut to 259 of its 295 bytes: \"" + found.substr(0, 259) +
      "\", which names another file\n" + head + "material name cut to 259 of its 260 bytes: \"" +
      material.substr(0, 259) + "\"\n" + head + "texture path of material \"" + material.substr(0, 259) +
      "\" cut to 259 of its 274 bytes: \"" + missing.substr(0, 259) + "\", which names no file beside the document\n";
  for (const char* command : {"export", "convert"}) {
    const ToolRun run = Vellmar(std::string(command) + " " + Quoted(dir + "cut.mqo") + " " + Quoted(dir + "cut.x") +
                                (command[0] == 'e' ? "si" : "") + " -q");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, expected) << command;
  }
}

TEST(VellmarCli, FreezeAndVisibleOnlyExportTheDocumentAsTheHostShowsIt) {
  const std::string half = std::string(VELLMAR_TEST_DATA_DIR) + "/mqo/half_cube_mirror.mqo";
  const std::string stored = TempPath("half.xsi"), shown = TempPath("half-shown.xsi");
  ToolRun run = Vellmar("export " + Quoted(half) + " " + Quoted(stored));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "vellmar: note: " + half +
                         ": 1 object is hidden and 1 is mirrored; --visible-only and --freeze export the document "
                         "as the host shows it\n");
  EXPECT_EQ(Count(ReadFile(stored), "SI_Model MDL-"), 2);
  EXPECT_EQ(PolygonListFaces(ReadFile(stored)), 5 + 1);

  run = Vellmar("export " + Quoted(half) + " " + Quoted(shown) + " --freeze --visible-only");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Count(ReadFile(shown), "SI_Model MDL-"), 1);
  EXPECT_EQ(PolygonListFaces(ReadFile(shown)), 10);
  run = Vellmar("convert " + Quoted(half) + " " + Quoted(TempPath("half.obj")) + " --freeze");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find(": 1 object is hidden; --visible-only exports the document"), std::string::npos) << run.err;

  // The real character: a mirrored body and subdivided parts.
  const std::string sample = std::string(VELLMAR_MQO_SAMPLES) + "/dsan_shodai_noeof.mqo";
  if (std::string(VELLMAR_MQO_SAMPLES).empty() || !std::filesystem::exists(sample))
    GTEST_SKIP() << "no samples folder beside the project";
  const std::string frozen = TempPath("shodai.mqo");
  run = Vellmar("convert " + Quoted(sample) + " " + Quoted(frozen) + " --freeze");
#if !defined(VHOST_SUBDIVISION)
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("which this build cannot freeze"), std::string::npos) << run.err;
  GTEST_SKIP() << "built without OpenSubdiv";
#endif
  ASSERT_EQ(run.status, 0) << run.err;
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(ReadMqoDocument(frozen.c_str(), doc, error)) << error;
  float low = 0.0f, high = 0.0f;
  for (const MQPoint& p : doc.objects[0]->vertices) {
    low = std::min(low, p.z);
    high = std::max(high, p.z);
  }
  EXPECT_GT(high, 0.15f);
  EXPECT_EQ(low, -high) << "both halves of the body";
  EXPECT_GT(doc.objects[1]->FaceCount(), 64 * 192);
}

TEST(VellmarCli, RefusesHostileInputWithBoundedMemory) {
  // Endless devices, a zip bomb whose entry says how large it is, and one
  // whose entry lies about it.
  const std::string bomb = TempPath("bomb.mqoz"), liar = TempPath("liar.mqoz"), zeros = TempPath("zeros.mqoz");
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n";
  ZipEntryData entry = DeflatedEntry("bomb.mqo", head, uint64_t{128} << 20);
  std::ofstream(bomb, std::ios::binary) << ZipArchive({entry});
  // A first line, then zeros, well within the size limit.
  std::ofstream(zeros, std::ios::binary) << ZipArchive({DeflatedEntry("zeros.mqo", head, uint64_t{256} << 20)});
  ZipEntryData lying = entry;
  lying.size = 4096;
  std::ofstream(liar, std::ios::binary) << ZipArchive({lying});
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"export", "/dev/zero", TempPath("zero.xsi")}, "/dev/zero:1: expected"},
      {{"export", "/dev/urandom", TempPath("random.xsi")}, "/dev/urandom:1: expected"},
      {{"export", bomb, TempPath("bomb.xsi"), "--max-document-size", "100M"}, "limit"},
      {{"export", liar, TempPath("liar.xsi")}, "more than its stated size"},
      {{"export", zeros, TempPath("zeros.xsi")}, "zeros.mqoz(zeros.mqo):3: expected a word or number of at most"},
  };
  // The sanitizers' shadow memory and quarantine raise every run's peak:
  // there the bound is counted above the peak of exporting the cube.
#if defined(__SANITIZE_ADDRESS__)
  const long baseline_mib = Finish(StartVellmar({"export", std::string(VELLMAR_EXAMPLES) + "/cube.mqo", TempPath("cube.xsi")})).second;
#else
  const long baseline_mib = 0;
#endif
  const std::string err = TempPath("hostile.err");
  for (const auto& [args, message] : cases) {
    const auto [status, peak_mib] = Finish(StartVellmar(args, err));
    EXPECT_EQ(status, 2) << args[1];
    EXPECT_LT(peak_mib, baseline_mib + 100) << args[1];
    EXPECT_NE(ReadFile(err).find(message), std::string::npos) << ReadFile(err);
  }
  ToolRun run = Vellmar("export " + Quoted(bomb) + " " + Quoted(TempPath("x.xsi")) + " --max-document-size 1M");
  EXPECT_NE(run.err.find("more than the document size limit of 1048576 bytes"), std::string::npos) << run.err;
  // A pipe is read only up to the limit.
  const std::string big = TempPath("big.mqo");
  std::ofstream(big, std::ios::binary) << GridDocument(30);
  const std::string through_pipe = "export /dev/stdin " + Quoted(TempPath("pipe.xsi")) + " --max-document-size ";
  run = Vellmar(through_pipe + "1M", "cat " + Quoted(big) + " | ");
  EXPECT_EQ(run.status, 0) << run.err;
  run = Vellmar(through_pipe + "2K", "cat " + Quoted(big) + " | ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("/dev/stdin: the document is larger than the document size limit of 2048 bytes"),
            std::string::npos)
      << run.err;
  // An endless stream after a first line, and a name without end: refused
  // at the first token too long, not at the size limit.
  run = Vellmar("export /dev/stdin " + Quoted(TempPath("endless.xsi")), "(printf '" + head + "'; cat /dev/zero) | ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("/dev/stdin:3: expected a word or number of at most 65536 bytes, found a longer one"),
            std::string::npos)
      << run.err;
  run = Vellmar("export /dev/stdin " + Quoted(TempPath("endless.xsi")),
                "(printf '" + head + "Object \"'; tr '\\0' n < /dev/zero) | ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("/dev/stdin:3: expected a name of at most 65536 bytes, found a longer one"),
            std::string::npos)
      << run.err;
}

TEST(VellmarCli, RefusesCoordinatesThatScalingMakesInfinite) {
  const std::string doc = TempPath("huge.mqo"), out = TempPath("huge.xsi");
  std::ofstream(doc, std::ios::binary) << "Metasequoia Document\nFormat Text Ver 1.0\nObject \"far\" {\n\tvertex 3 {\n"
                                          "\t\t3e38 0 0\n\t\t0 1 0\n\t\t0 0 1\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\nEof\n";
  ASSERT_EQ(Vellmar("export " + Quoted(doc) + " " + Quoted(out)).status, 0);
  for (const char* args : {" --scale 10", " --scale 2 --axes y,-x,z", " --format obj --scale -10"}) {
    const bool obj = std::string(args).find("obj") != std::string::npos;
    const ToolRun run =
        Vellmar((obj ? "convert " : "export ") + Quoted(doc) + " " + Quoted(obj ? TempPath("huge.obj") : out) + args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("huge.mqo: object \"far\" has a coordinate that is not a finite number"), std::string::npos)
        << run.err;
  }
}

TEST(VellmarCli, WarnsOfADocumentCutShort) {
  const std::string doc = TempPath("cut.mqo");
  const std::string cube = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  std::ofstream(doc, std::ios::binary) << cube.substr(0, cube.find("Object"));
  const ToolRun run = Vellmar("export " + Quoted(doc) + " " + Quoted(TempPath("cut.xsi")));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "vellmar: warning: " + doc + ": the document ends without \"Eof\" and holds no object; "
                     "it was most likely cut short\n");
}

TEST(VellmarCli, SourceDateEpochFixesTheTimeStamp) {
  // The plug-in's export and convert's writer both follow it; a value that
  // is no count of seconds is ignored.
  for (const std::string command : {"export ", "convert "}) {
    const std::string a = TempPath("epoch-a.xsi"), b = TempPath("epoch-b.xsi"), c = TempPath("epoch-c.xsi");
    ASSERT_EQ(Vellmar(command + Example("ngon.mqo") + " " + Quoted(a), "SOURCE_DATE_EPOCH=1796655600 ").status, 0);
    ASSERT_EQ(Vellmar(command + Example("ngon.mqo") + " " + Quoted(b), "SOURCE_DATE_EPOCH=1796655600 ").status, 0);
    ASSERT_EQ(Vellmar(command + Example("ngon.mqo") + " " + Quoted(c), "SOURCE_DATE_EPOCH=-5 ").status, 0);
    EXPECT_NE(ReadFile(a).find("Tue Dec 08 00:00:00 2026"), std::string::npos) << command;
    EXPECT_EQ(ReadFile(a), ReadFile(b)) << command;
    EXPECT_EQ(ReadFile(c).find("Tue Dec 08 00:00:00 2026"), std::string::npos) << command;
    EXPECT_EQ(MaskTimeStamp(ReadFile(c)), MaskTimeStamp(ReadFile(a))) << command;
  }
}

TEST(VellmarCli, DotXsiIsMirroredInXUnlessTheXAxisIsNegated) {
  // The cube of side 200 around the origin, whose first vertex lies at
  // (-100, 100, 100) in the document. By default the export mirrors x: the
  // faces then run clockwise seen from outside (volume -8 at 1/100 scale).
  // The dialog's X axis set to -X mirrors it back: the document's own x,
  // faces counter-clockwise (+8), as the format's own files have them.
  const std::string dir = TempFolder("orientation");
  ASSERT_EQ(Vellmar("export " + Example("cube.mqo") + " " + Quoted(dir + "default.xsi")).status, 0);
  ASSERT_EQ(Vellmar("export " + Example("cube.mqo") + " " + Quoted(dir + "turned.xsi") + " --axes -x,y,z").status, 0);
  for (const auto& [file, volume, first_x] : {std::make_tuple("default.xsi", -8.0, 1.0),
                                               std::make_tuple("turned.xsi", 8.0, -1.0)}) {
    SCOPED_TRACE(file);
    const XsiMesh mesh = ReadXsiMesh(ReadFile(dir + file));
    ASSERT_EQ(mesh.positions.size(), 8u);
    ASSERT_EQ(mesh.polygons.size(), 6u);
    EXPECT_NEAR(SignedVolume(mesh), volume, 1e-9);
    EXPECT_EQ(mesh.positions[0], (std::array<double, 3>{first_x, 1.0, 1.0}));
    double low = 0.0, high = 0.0;
    for (const auto& p : mesh.positions) {
      low = std::min(low, p[0]);
      high = std::max(high, p[0]);
    }
    EXPECT_EQ(low, -1.0);
    EXPECT_EQ(high, 1.0);
  }
}
