// dotXSI files as the tool's input: described, converted, and refused where
// a dotXSI file cannot do what is asked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "host_documents.h"
#include "tool_runs.h"

namespace {

// A tetrahedron whose faces turn counter-clockwise seen from outside, in a
// model scaled by its parent; two materials, one with an image that is
// there beside the file and one with an image that is not; a camera.
const char kTetrahedron[] =
    "xsi 0300txt 0032\n\n"
    "SI_MaterialLibrary MATLIB-Scene {\n\t2,\n"
    "\tSI_Material MAT-stone {\n\t\t0.5,0.5,0.5,1,\n\t\t50,\n\t\t1,1,1,\n\t\t0,0,0,\n\t\t1,\n\t\t0.5,0.5,0.5,\n"
    "\t\tSI_Texture2D TEX-stone {\n\t\t\t\"stone.png\";\n\t\t\t4;\n\t\t}\n\t}\n"
    "\tSI_Material MAT-moss {\n\t\t0,1,0,1,\n"
    "\t\tSI_Texture2D TEX-moss {\n\t\t\t\"moss.png\";\n\t\t}\n\t}\n"
    "}\n\n"
    "SI_Model MDL-group {\n"
    "\tSI_Transform SRT-group {\n\t\t2,2,2,\n\t\t0,0,0,\n\t\t0,0,0,\n\t}\n"
    "\tSI_Camera view {\n\t\t0,\n\t}\n"
    "\tSI_Model MDL-tet {\n"
    "\t\tSI_Mesh MSH-tet {\n"
    "\t\t\tSI_Shape SHP-tet-ORG {\n\t\t\t\t1,\n\t\t\t\t\"ORDERED\",\n"
    "\t\t\t\t4,\n\t\t\t\t\"POSITION\",\n\t\t\t\t0, 0, 0,\n\t\t\t\t1, 0, 0,\n\t\t\t\t0, 1, 0,\n\t\t\t\t0, 0, 1,\n"
    "\t\t\t}\n"
    "\t\t\tSI_TriangleList {\n\t\t\t\t4,\n\t\t\t\t\"\",\n\t\t\t\t\"MAT-stone\",\n"
    "\t\t\t\t0,2,1,\n\t\t\t\t0,1,3,\n\t\t\t\t0,3,2,\n\t\t\t\t1,2,3,\n\t\t\t}\n"
    "\t\t}\n"
    "\t}\n"
    "}\n";

// What a run's peak of memory is counted above: 0, and under the
// sanitizers the peak of describing the cube, as they raise every run's
// peak (and a child forked from a test program that has grown in a whole
// run starts from its size).
long BaselineMib() {
#if defined(__SANITIZE_ADDRESS__)
  return Finish(StartVellmar({"info", std::string(VELLMAR_EXAMPLES) + "/cube.mqo"})).second;
#else
  return 0;
#endif
}

}  // namespace

TEST(VellmarCli, DescribesAndConvertsDotXsiFiles) {
  const std::string dir = TempFolder("xsi");
  std::ofstream(dir + "stone.png") << "png";
  std::ofstream(dir + "tet.xsi", std::ios::binary) << kTetrahedron;
  ToolRun run = Vellmar("info " + Quoted(dir + "tet.xsi"));
  ASSERT_EQ(run.status, 0) << run.err;
  // Its volume of 1/6, scaled twice over in each direction, shows that it
  // faces out.
  for (const char* line :
       {"  format version:  dotXSI 3.0\n", "  objects:         2\n    group (no mesh)\n"
        "      tet: 4 vertices, 4 faces, closed, volume +1.33333\n", "  faces:           4 (4 of 3 corners)\n",
        "  materials:       2\n", "  textures:        2\n    stone.png\n    moss.png (missing)\n",
        "  left out:        1 camera\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

  // A dotXSI file is known by its first bytes too, whatever its name.
  std::ofstream(dir + "tet.data", std::ios::binary) << kTetrahedron;
  run = Vellmar("info --json " + Quoted(dir + "tet.data") + " " + Example("cube.mqo"));
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json documents = nlohmann::json::parse(run.out);
  ASSERT_EQ(documents.size(), 2u);
  const nlohmann::json& xsi = documents[0];
  EXPECT_EQ(xsi["format"], "dotXSI");
  EXPECT_EQ(xsi["format_version"], "3.0");
  ASSERT_EQ(xsi["objects"]["models"].size(), 2u);
  const nlohmann::json& tet = xsi["objects"]["models"][1];
  EXPECT_EQ(tet["name"], "tet");
  EXPECT_EQ(tet["depth"], 1);
  EXPECT_EQ(tet["closed"], true);
  EXPECT_NEAR(tet["volume"].get<double>(), 8.0 / 6.0, 1e-6);
  EXPECT_EQ(xsi["objects"]["models"][0]["volume"], nullptr);
  EXPECT_EQ(xsi["textures"][1], nlohmann::json::parse(R"({"name": "moss.png", "exists": false})"));
  EXPECT_EQ(xsi["left_out"]["cameras"], 1);
  EXPECT_EQ(xsi["left_out"]["envelopes"], 0);
  EXPECT_EQ(documents[1]["code_page"], nullptr) << "the host document is described as before";

  // convert writes every format; what the scene leaves out is noted.
  for (const char* out : {"tet.obj", "tet.x", "tet.mqo", "tet.dxf", "tet.txt", "tet.gltf", "tet.glb", "again.xsi"}) {
    run = Vellmar("convert " + Quoted(dir + "tet.xsi") + " " + Quoted(dir + out));
    EXPECT_EQ(run.status, 0) << out << ": " << run.err;
    EXPECT_TRUE(FileExists(dir + out)) << out;
    EXPECT_NE(run.err.find("tet.xsi: left out: 1 camera"), std::string::npos) << run.err;
  }
  // Quiet, the note goes; the warnings of the textures that glTF cannot
  // store (no image, no file) stay.
  run = Vellmar("convert -q " + Quoted(dir + "tet.xsi") + " " + Quoted(dir + "tet.glb"));
  EXPECT_EQ(Count(run.err, "\n"), 2) << run.err;
  EXPECT_EQ(run.err.find("left out"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("texture \"stone.png\" (material \"stone\") is not stored: " + dir + "stone.png: not an image"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("texture \"moss.png\" (material \"moss\") is not found"), std::string::npos) << run.err;
  // Converted to dotXSI it is read back the same.
  run = Vellmar("info " + Quoted(dir + "again.xsi"));
  EXPECT_NE(run.out.find("      tet: 4 vertices, 4 faces, closed, volume +1.33333\n"), std::string::npos) << run.out;
}

TEST(VellmarCli, RefusesWhatADotXsiFileCannotDo) {
  const std::string dir = TempFolder("xsi-refused");
  std::ofstream(dir + "tet.xsi", std::ios::binary) << kTetrahedron;
  // export exports host documents; the host's options change only them.
  const std::pair<std::string, std::string> cases[] = {
      {"export " + Quoted(dir + "tet.xsi") + " " + Quoted(dir + "out.xsi"),
       "export reads host documents (.mqo, .mqoz), not dotXSI files; convert reads dotXSI"},
      {"convert " + Quoted(dir + "tet.xsi") + " " + Quoted(dir + "out.obj") + " --freeze",
       "--freeze applies to host documents; a dotXSI file is converted as it is"},
      {"convert " + Quoted(dir + "tet.xsi") + " " + Quoted(dir + "out.glb") + " --scale 2",
       "--scale applies to host documents; a dotXSI file is converted as it is"},
  };
  for (const auto& [args, message] : cases) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(run.err, "vellmar: " + dir + "tet.xsi: " + message + "\n");
    EXPECT_FALSE(FileExists(dir + "out.xsi") || FileExists(dir + "out.obj") || FileExists(dir + "out.glb"));
  }
  // A malformed file: its line and what was expected; nothing is written
  // and an old output stays.
  std::string bad = kTetrahedron;
  bad.replace(bad.find("0,3,2,"), 6, "0,3,9,");
  std::ofstream(dir + "bad.xsi", std::ios::binary) << bad;
  std::ofstream(dir + "old.glb") << "old";
  ToolRun run = Vellmar("convert " + Quoted(dir + "bad.xsi") + " " + Quoted(dir + "old.glb"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "vellmar: " + dir + "bad.xsi:52: expected a vertex index from 0 to 3, found 9\n");
  EXPECT_EQ(ReadFile(dir + "old.glb"), "old");
  run = Vellmar("info " + Quoted(dir + "bad.xsi"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");

  // Counts that the file cannot hold allocate nothing; a pipe is read only
  // up to the limit.
  const std::string hostile = dir + "hostile.xsi";
  std::ofstream(hostile, std::ios::binary)
      << "xsi 0360txt 0032\nSI_Model MDL-m {\n SI_Mesh MSH-m {\n  SI_Shape SHP-m {\n   1, \"INDEXED\",\n"
         "   2000000000, \"POSITION\",\n   1999999999, 0, 0, 0,\n  }\n }\n}\n";
  const std::string err = dir + "hostile.err";
  const long baseline_mib = BaselineMib();
  const auto [status, peak_mib] = Finish(StartVellmar({"convert", hostile, dir + "hostile.glb"}, err));
  EXPECT_EQ(status, 2);
  EXPECT_LT(peak_mib, baseline_mib + 100);
  EXPECT_NE(ReadFile(err).find("hostile.xsi:6: expected 2000000000 positions"), std::string::npos) << ReadFile(err);
  const std::string fifo = dir + "piped.xsi";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string big = kTetrahedron;
  big += "SI_Thing {\n" + std::string(8000, ' ') + "}\n";
  std::ofstream(dir + "big.xsi", std::ios::binary) << big;
  const std::string through_pipe = "convert " + Quoted(fifo) + " " + Quoted(dir + "piped.glb") + " --max-document-size ";
  run = Vellmar(through_pipe + "1M", "cat " + Quoted(dir + "big.xsi") + " > " + Quoted(fifo) + " & ");
  EXPECT_EQ(run.status, 0) << run.err;
  run = Vellmar(through_pipe + "4K", "(cat " + Quoted(dir + "big.xsi") + " > " + Quoted(fifo) + " 2>/dev/null &) ; ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("piped.xsi: the document is larger than the document size limit of 4096 bytes"),
            std::string::npos)
      << run.err;
}

TEST(VellmarCli, CountsAreGivenRoomOnlyAsTheirDataArrives) {
  // Counts that the rest of the input could hold, if the input went on: a
  // pipe that stops after a few numbers, and files whose rest is blanks.
  // Each would reserve a few hundred megabytes for its count.
  const std::string dir = TempFolder("xsi-announced");
  const std::string head = "xsi 0300txt 0032\nSI_Model MDL-m {\n SI_Mesh MSH-m {\n  SI_Shape SHP-m {\n   1, \"ORDERED\",\n";
  std::string numbers;
  for (int i = 0; i < 400000; ++i) numbers += "1.5,2,3,\n";  // past the first piece the reader takes
  const std::string fifo = dir + "announced.xsi";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string piped = head + "   5000000, \"POSITION\",\n" + numbers;
  std::ofstream(dir + "blanks.xsi", std::ios::binary)
      << head << "   3000000, \"POSITION\",\n 1,1,1," << std::string(size_t{20} << 20, ' ');
  std::ofstream(dir + "faces.xsi", std::ios::binary)
      << head << "   3, \"POSITION\", 0,0,0, 1,0,0, 0,1,0,\n  }\n"
      << "  SI_TriangleList {\n   1000000, \"\", \"\",\n 0,1,2," << std::string(size_t{8} << 20, ' ');
  const long baseline_mib = BaselineMib();
  const std::string err = dir + "announced.err";
  for (const std::string& input : {fifo, dir + "blanks.xsi", dir + "faces.xsi"}) {
    SCOPED_TRACE(input);
    const pid_t pid = StartVellmar({"info", input}, err);
    if (input == fifo) std::ofstream(fifo, std::ios::binary) << piped;
    const auto [status, peak_mib] = Finish(pid);
    EXPECT_EQ(status, 2);
    EXPECT_LT(peak_mib, baseline_mib + 60);
    EXPECT_NE(ReadFile(err).find(", found the end of the file"), std::string::npos) << ReadFile(err);
  }
}

TEST(VellmarCli, ManySmallModelsCostMemoryInProportion) {
  // 20,000 models of one triangle each (about 3 MB): every object's
  // records get the room its lists ask for, not an array's usual step.
  const std::string dir = TempFolder("xsi-many");
  std::string text = "xsi 0300txt 0032\n";
  for (int k = 0; k < 20000; ++k) {
    const std::string name = "m" + std::to_string(k);
    text += "SI_Model MDL-" + name + " {\n SI_Mesh MSH-" + name + " {\n  SI_Shape SHP-" + name +
            " {\n   1, \"ORDERED\",\n   3, \"POSITION\", 0,0,0, 1,0,0, 0,1,0,\n  }\n"
            "  SI_TriangleList {\n   1, \"\", \"\",\n 0,1,2,\n  }\n }\n}\n";
  }
  std::ofstream(dir + "many.xsi", std::ios::binary) << text;
  const long baseline_mib = BaselineMib();
  const auto [status, peak_mib] = Finish(StartVellmar({"info", dir + "many.xsi"}, dir + "many.err"));
  EXPECT_EQ(status, 0) << ReadFile(dir + "many.err");
  // Under the sanitizers every small block carries guard bytes and freed
  // blocks wait in quarantine: 90 MiB where a release build takes 20; a
  // record array's usual step for each object took 570 MiB in release.
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(peak_mib, baseline_mib + 250);
#else
  EXPECT_LT(peak_mib, baseline_mib + 60);
#endif
}

TEST(VellmarCli, InfoIndentsDeepModelsOnlySoFar) {
  // A chain of 600 nested models: the lines stop growing at 255 levels, so
  // the text grows with the depth, not with its square; JSON keeps each
  // depth as it is.
  const std::string dir = TempFolder("xsi-deep");
  std::string text = "xsi 0300txt 0032\n";
  for (int k = 0; k < 600; ++k) text += "SI_Model MDL-m" + std::to_string(k) + " {\n";
  text += std::string(600, '}') + "\n";
  std::ofstream(dir + "deep.xsi", std::ios::binary) << text;
  ToolRun run = Vellmar("info " + Quoted(dir + "deep.xsi"));
  ASSERT_EQ(run.status, 0) << run.err;
  size_t longest = 0, lines = 0;
  for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1, ++lines)
    longest = std::max(longest, end - at);
  EXPECT_GT(lines, 600u);
  EXPECT_EQ(longest, 4 + 2 * 255 + std::string("m599 (no mesh)").size());
  EXPECT_NE(run.out.find("\n" + std::string(4 + 2 * 255, ' ') + "m599 (no mesh)\n"), std::string::npos);
  run = Vellmar("info --json " + Quoted(dir + "deep.xsi"));
  const nlohmann::json json = nlohmann::json::parse(run.out);
  EXPECT_NE(json.dump().find("\"depth\":599"), std::string::npos);
}
