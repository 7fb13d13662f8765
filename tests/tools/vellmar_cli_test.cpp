// The vellmar command line end to end: the real executable, the real
// plug-in module and the stand-in host, over the bundled examples and the
// real documents of the samples folder when there is one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/mqo_reader.h"
#include "host_documents.h"
#include "zip_files.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs vellmar with the arguments (already quoted for the shell), after
// the shell text before (such as "cat FILE | ").
ToolRun Vellmar(const std::string& args, const std::string& before = "") {
  const std::string out = TempPath("cli.out"), err = TempPath("cli.err");
  const std::string command =
      before + "\"" + VELLMAR_TOOL + "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
  ToolRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  return run;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// The path of a bundled example, quoted.
std::string Example(const std::string& name) { return Quoted(std::string(VELLMAR_EXAMPLES) + "/" + name); }

// The faces of all polygon lists of a dotXSI file.
long PolygonListFaces(const std::string& xsi) {
  long faces = 0;
  const std::string head = "SI_PolygonList {\n";
  for (size_t at = xsi.find(head); at != std::string::npos; at = xsi.find(head, at + 1)) {
    size_t line = at + head.size();
    while (xsi[line] == '\t') ++line;
    faces += std::strtol(xsi.c_str() + line, nullptr, 10);
  }
  return faces;
}

// The positions and the polygons of the one mesh of a dotXSI file, read
// token by token (numbers and names are separated by blanks and commas).
struct XsiMesh {
  std::vector<std::array<double, 3>> positions;
  std::vector<std::vector<int>> polygons;
};

XsiMesh ReadXsiMesh(const std::string& xsi) {
  std::vector<std::string> tokens;
  std::string token;
  for (const char c : xsi + "\n") {
    if (c == ' ' || c == ',' || c == '\n' || c == '\t' || c == '\r') {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
    } else {
      token += c;
    }
  }
  XsiMesh mesh;
  const auto at = [&](const std::string& name) {
    return static_cast<size_t>(std::find(tokens.begin(), tokens.end(), name) - tokens.begin());
  };
  size_t k = at("\"POSITION\"");
  if (k == tokens.size()) return mesh;
  const long vertices = std::stol(tokens[k - 1]);
  for (long v = 0; v < vertices; ++v, k += 3)
    mesh.positions.push_back({std::stod(tokens[k + 1]), std::stod(tokens[k + 2]), std::stod(tokens[k + 3])});
  k = at("SI_PolygonList");
  if (k == tokens.size()) return mesh;
  // {, the polygon count, the attribute list, the material, the corner count,
  // then each polygon's corner count, then the corners' vertices.
  const long count = std::stol(tokens[k + 2]);
  size_t corner = k + 6 + static_cast<size_t>(count);
  for (long f = 0; f < count; ++f) {
    mesh.polygons.emplace_back();
    for (long c = std::stol(tokens[k + 6 + static_cast<size_t>(f)]); c > 0; --c)
      mesh.polygons.back().push_back(std::stoi(tokens[corner++]));
  }
  return mesh;
}

// The signed volume of a closed mesh: positive when its polygons run
// counter-clockwise seen from outside.
double SignedVolume(const XsiMesh& mesh) {
  double volume = 0.0;
  for (const std::vector<int>& polygon : mesh.polygons) {
    const auto& a = mesh.positions[static_cast<size_t>(polygon[0])];
    for (size_t k = 1; k + 1 < polygon.size(); ++k) {
      const auto& b = mesh.positions[static_cast<size_t>(polygon[k])];
      const auto& c = mesh.positions[static_cast<size_t>(polygon[k + 1])];
      volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                 a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    }
  }
  return volume;
}

std::vector<std::filesystem::path> SampleDocuments() {
  std::vector<std::filesystem::path> files;
  if (std::string(VELLMAR_MQO_SAMPLES).empty() || !std::filesystem::is_directory(VELLMAR_MQO_SAMPLES)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(VELLMAR_MQO_SAMPLES))
    if (entry.path().extension() == ".mqo" || entry.path().extension() == ".mqoz") files.push_back(entry.path());
  return files;
}

// Starts vellmar with the arguments, its output discarded and its errors
// written to err_path.
pid_t StartVellmar(const std::vector<std::string>& args, const std::string& err_path = "/dev/null") {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(null, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(VELLMAR_TOOL)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VELLMAR_TOOL, argv.data());
    _exit(127);
  }
  return pid;
}

// Waits for the process: its exit status (-1 when a signal ended it) and
// its peak memory in MiB.
std::pair<int, long> Finish(pid_t pid) {
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
}

// A document of n by n vertices and (n - 1)^2 quads, of the one material
// named material when that is not empty.
std::string GridDocument(int n, const std::string& material = "") {
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n\n";
  std::string text = head + (material.empty() ? "" : "Material 1 {\n\t\"" + material + "\" col(1 0 0 1)\n}\n") +
                     "Object \"grid\" {\n\tvertex " + std::to_string(n * n) + " {\n";
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) text += "\t\t" + std::to_string(x) + " " + std::to_string(y) + " 0.5\n";
  text += "\t}\n\tface " + std::to_string((n - 1) * (n - 1)) + " {\n";
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const int v = y * n + x;
      text += "\t\t4 V(" + std::to_string(v) + " " + std::to_string(v + 1) + " " + std::to_string(v + n + 1) + " " +
              std::to_string(v + n) + (material.empty() ? ")\n" : ") M(0)\n");
    }
  return text + "\t}\n}\nEof\n";
}

}  // namespace

TEST(VellmarCli, HelpAndUsage) {
  for (const char* args : {"--help", "export --help", "convert -h", "info --help"}) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 0) << args;
    EXPECT_EQ(run.out.rfind("Usage: vellmar", 0), 0u) << args;
  }
  // Usage errors: status 2 and one clear line naming the fault.
  const std::pair<const char*, const char*> usage_errors[] = {
      {"", "no command"},
      {"frobnicate", "unknown command"},
      {"export onlyone.mqo", "needs IN and OUT"},
      {"export a.mqo b.xsi --scale zero", "--scale"},
      {"export a.mqo b.xsi --axes x,x,z", "--axes"},
      {"convert a.mqo b.xsi --bogus", "unknown option"},
      {"convert a.mqo --out-dir d", "needs --format"},
      {"export a.mqo b.xsi --max-document-size 12Q", "--max-document-size"},
  };
  for (const auto& [args, message] : usage_errors) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << args << ": " << run.err;
    EXPECT_EQ(Count(run.err, "\n"), 1) << "one clear line: " << run.err;
  }
}

TEST(VellmarCli, InfoShowsThePlugIn) {
  const ToolRun run = Vellmar("info");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Vellmar v1.00"), std::string::npos);
  EXPECT_NE(run.out.find("0x231"), std::string::npos);
  EXPECT_NE(run.out.find("0x5A7E1240"), std::string::npos);
  EXPECT_NE(run.out.find("0x6C2F93B1"), std::string::npos);
  EXPECT_NE(run.out.find("XSI (*.xsi), extension xsi"), std::string::npos);
  EXPECT_EQ(Vellmar("info --plugin " + Quoted(TempPath("missing.so"))).status, 2);
}

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

TEST(VellmarCli, ErrorsAndExitStatus) {
  const std::string bad = TempPath("bad.mqo");
  std::ofstream(bad, std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"o\" {\n\tvertex 1 {\n\t\t1 2 x\n\t}\n}\n";
  ToolRun run = Vellmar("export " + Quoted(bad) + " " + Quoted(TempPath("bad.xsi")));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bad.mqo:6:"), std::string::npos) << run.err;

  run = Vellmar("export " + Quoted(TempPath("does-not-exist.mqo")) + " " + Quoted(TempPath("x.xsi")));
  EXPECT_EQ(run.status, 2);

  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(TempPath("no-such-dir/cube.xsi")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cube.xsi: cannot write: No such file or directory"), std::string::npos) << run.err;

  run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("cube.unknown")));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--format"), std::string::npos);
  run = Vellmar("convert " + Example("cube.mqo") + " x --format nonsense");
  EXPECT_EQ(run.status, 2);

  // A batch goes on past a bad input and reports the worst status; a second
  // input of the same name does not overwrite the first one's output.
  const std::string dir = TempPath("batch");
  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(bad) + " " + Example("ngon.mqo") + " " +
                Example("cube.mqo") + " --out-dir " + Quoted(dir));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Count(run.err, "\n"), 2) << run.err;
  EXPECT_NE(run.err.find("cube.xsi already holds the output of"), std::string::npos) << run.err;
  EXPECT_NE(ReadFile(dir + "/cube.xsi").find("SI_Model MDL-cube"), std::string::npos);
  EXPECT_NE(ReadFile(dir + "/ngon.xsi").find("SI_Model MDL-ngons"), std::string::npos);
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

TEST(VellmarCli, WritesIntoAPipe) {
  // /dev/stdout leads to the pipe through links that only the system can
  // follow: it is written in place.
  const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " /dev/stdout --format x | cat");
  EXPECT_EQ(run.out.rfind("xof 0303txt 0032\n", 0), 0u) << run.out;
}

TEST(VellmarCli, NeverWritesOverAnInput) {
  const std::string dir = TempFolder("over_input");
  const std::string doc = dir + "doc.mqo";
  const std::string original = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  std::ofstream(doc, std::ios::binary) << original;
  symlink("doc.mqo", (dir + "link.mqo").c_str());
  // (export to doc.mqo itself is refused for its name, before this check)
  symlink("doc.mqo", (dir + "link.xsi").c_str());
  const std::string cases[] = {
      "export " + Quoted(doc) + " " + Quoted(dir + "link.xsi"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "./doc.mqo"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.mqo"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.obj") + " --format obj",  // its .mtl is link.mtl
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.gltf"),                  // its buffer is link.bin
      "convert " + Example("ngon.mqo") + " " + Quoted(doc) + " --out-dir " + Quoted(dir) + " --format mqo",
  };
  symlink("doc.mqo", (dir + "link.mtl").c_str());
  symlink("doc.mqo", (dir + "link.bin").c_str());
  for (const std::string& args : cases) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find("not written: it is the input"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(doc), original) << args;
  }
  EXPECT_FALSE(FileExists(dir + "ngon.mqo"));  // refused before any work
  // Standard output sent to the input.
  const std::string err = dir + "err.txt";
  const std::string appending = Quoted(VELLMAR_TOOL) + " convert " + Quoted(doc) + " - --format mqo >>" +
                                Quoted(doc) + " 2>" + Quoted(err);
  EXPECT_EQ(WEXITSTATUS(std::system(appending.c_str())), 2);
  EXPECT_NE(ReadFile(err).find("standard output: not written: it is the input"), std::string::npos) << ReadFile(err);
  EXPECT_EQ(ReadFile(doc), original);
}

TEST(VellmarCli, AFailedWriteKeepsTheOldFilesAndSaysWhy) {
  const std::string dir = TempFolder("full_disk");
  for (const char* name : {"old.xsi", "old.obj", "old.mtl"}) std::ofstream(dir + name) << "good " << name;
  const std::string doc = TempPath("full_disk.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(30);
  // A file size limit stands in for a full disk; the tool inherits it. A
  // path through /proc names the file like any other.
  for (const std::string command : {"export", "convert", "export through /proc"}) {
    const std::string out = (command == "export through /proc" ? "/proc/self/root" + dir : dir) +
                            (command == "convert" ? "old.obj" : "old.xsi");
    ToolRun run;
    WriteUnderFileSizeLimit(4096, [&] {
      run = Vellmar(command.substr(0, command.find(' ')) + " " + Quoted(doc) + " " + Quoted(out));
      return true;
    });
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find("cannot write: File too large"), std::string::npos) << run.err;
  }
  for (const char* name : {"old.xsi", "old.obj", "old.mtl"}) EXPECT_EQ(ReadFile(dir + name), std::string("good ") + name);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
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
  const std::string err = TempPath("hostile.err");
  for (const auto& [args, message] : cases) {
    const auto [status, peak_mib] = Finish(StartVellmar(args, err));
    EXPECT_EQ(status, 2) << args[1];
    EXPECT_LT(peak_mib, 100) << args[1];
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

TEST(VellmarCli, ASignalMidWriteLeavesNoPartialFile) {
  const std::string doc = TempPath("grid.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(500);
  // SIGHUP is a closed terminal. A pair (OBJ and its material file) loses
  // both temporary files; a path through /proc names a file like any other.
  struct Case {
    int signal;
    const char* command;
    const char* extension;
    bool through_proc;
  };
  const Case cases[] = {{SIGINT, "export", ".xsi", false},
                        {SIGTERM, "convert", ".obj", false},
                        {SIGHUP, "export", ".xsi", false},
                        {SIGHUP, "convert", ".obj", false},
                        {SIGINT, "export", ".xsi", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.extension + " " + std::to_string(c.signal));
    const std::string dir = TempFolder("signal");
    const std::string out = dir + "grid" + c.extension;
    std::ofstream(out) << "old output";
    std::ofstream(dir + "grid.mtl") << "old mtl";
    const pid_t pid = StartVellmar({c.command, doc, (c.through_proc ? "/proc/self/root" : "") + out});
    // A temporary file appears once the write has begun.
    for (int i = 0; i < 60000 && TemporaryFilesIn(dir, pid) == 0; ++i) usleep(1000);
    ASSERT_GT(TemporaryFilesIn(dir, pid), 0) << "the write never began";
    kill(pid, c.signal);
    EXPECT_EQ(Finish(pid).first, 128 + c.signal);
    EXPECT_EQ(ReadFile(out), "old output");
    EXPECT_EQ(ReadFile(dir + "grid.mtl"), "old mtl");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary file left";
  }
}

TEST(VellmarCli, OutputToStandardOutputLeavesNothingAfterAHardKill) {
  // The scratch file that holds the output until it is whole has no name
  // in its folder while it is written, so that even SIGKILL leaves nothing.
  const std::string scratch = TempFolder("killed-scratch");
  const std::string doc = TempPath("killed.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(500);
  setenv("TMPDIR", scratch.c_str(), 1);
  const pid_t pid = StartVellmar({"export", doc, "-"});
  unsetenv("TMPDIR");
  const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
  bool open_there = false;
  for (int i = 0; i < 60000 && !open_there && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
    std::error_code ignored;
    for (const auto& fd : std::filesystem::directory_iterator(descriptors, ignored)) {
      const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
      open_there = open_there || target.rfind(scratch, 0) == 0;
    }
    if (!open_there) usleep(1000);
  }
  ASSERT_TRUE(open_there) << "the scratch file was never seen open";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0) << "it has no name";
  kill(pid, SIGKILL);
  Finish(pid);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0);
}

TEST(VellmarCli, FollowsTheConventionsOfCommandLineTools) {
  for (const char* args : {"--version", "version"}) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 0) << args;
    EXPECT_EQ(run.out, "vellmar " VELLMAR_VERSION "\n") << args;
  }
  // A command's help, however asked for; the formats come from their table.
  const ToolRun help = Vellmar("help convert");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, Vellmar("convert --help").out);
  EXPECT_NE(help.out.find("--max-document-size N"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("  dxf-polyface  DXF with polyface meshes (.dxf)\n"), std::string::npos) << help.out;
  EXPECT_EQ(Vellmar("help export").out, Vellmar("export -h").out);
  EXPECT_EQ(Vellmar("help frobnicate").status, 2);

  // --opt=value, "--" before names that start with '-', format names in any case.
  const std::string dir = TempFolder("conventions");
  std::ofstream(dir + "-cube.mqo", std::ios::binary) << ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  const std::string in_dir = "cd " + Quoted(dir) + " && ";
  ToolRun run = Vellmar("convert --format=X --scale=2 -- -cube.mqo -out.x", in_dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Vellmar("convert --format x --scale 2 -cube.mqo spaced.x", in_dir).status, 2) << "an option without --";
  ASSERT_EQ(Vellmar("convert --format x --scale 2 -- -cube.mqo spaced.x", in_dir).status, 0);
  EXPECT_EQ(ReadFile(dir + "-out.x"), ReadFile(dir + "spaced.x"));
  EXPECT_NE(ReadFile(dir + "-out.x").find("-2.000000;2.000000;-2.000000;,"), std::string::npos) << "--scale=2 applied";

  // An output named for another format than --format, and options that
  // take no value or do not apply: one line each, status 2.
  const std::pair<std::string, const char*> refused[] = {
      {"convert --format obj -- -cube.mqo out.x", "'out.x' names the x format, not obj"},
      {"convert --format dxf -- -cube.mqo out.OBJ", "names the obj format, not dxf"},
      {"export --freeze=yes -- -cube.mqo out.xsi", "--freeze takes no value"},
      {"export --format x -- -cube.mqo out.xsi", "'--format' does not apply to export"},
  };
  for (const auto& [args, message] : refused) {
    run = Vellmar(args, in_dir);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  }
  EXPECT_FALSE(FileExists(dir + "out.x"));
  EXPECT_EQ(Vellmar("convert --format dxf-polyface -- -cube.mqo out.DXF", in_dir).status, 0);

  // -q leaves out the note and the line per file, not errors.
  const std::string half = Quoted(std::string(VELLMAR_TEST_DATA_DIR) + "/mqo/half_cube_mirror.mqo");
  run = Vellmar("export " + half + " " + Quoted(dir + "half.xsi"));
  EXPECT_NE(run.out.find(" -> "), std::string::npos);
  EXPECT_NE(run.err.find("note: "), std::string::npos);
  run = Vellmar("export -q " + half + " " + Quoted(dir + "half.xsi"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = Vellmar("export -q " + half + " " + Quoted(dir + "no-such-dir/half.xsi"));
  EXPECT_NE(run.err.find("cannot write"), std::string::npos);
}

TEST(VellmarCli, WritesToStandardOutputOnlyWhatAFileWouldHold) {
  // Scratch files go to a folder of this test, which must be empty after.
  const std::string scratch = TempFolder("scratch");
  const std::string env = "TMPDIR=" + Quoted(scratch) + " SOURCE_DATE_EPOCH=1796655600 ";
  const std::string cube = Example("cube.mqo");
  const std::string xsi = TempPath("stdout.xsi"), x = TempPath("stdout.x");
  ASSERT_EQ(Vellmar("export " + cube + " " + Quoted(xsi), env).status, 0);
  ASSERT_EQ(Vellmar("convert " + cube + " " + Quoted(x), env).status, 0);
  const std::pair<std::string, std::string> cases[] = {
      {"export " + cube + " -", xsi},
      {"convert " + cube + " - --format xsi", xsi},
      {"convert " + cube + " - --format x", x},
      // Standard output sent to a file and named by a path: no status line
      // may go over the file's first bytes.
      {"convert " + cube + " /dev/stdout --format x", x},
      {"export " + cube + " /dev/stdout", xsi},
  };
  for (const auto& [args, file] : cases) {
    const ToolRun run = Vellmar(args, env);
    EXPECT_EQ(run.status, 0) << args << ": " << run.err;
    EXPECT_EQ(run.out, ReadFile(file)) << args;
  }
  // Formats of more than one file need a path; so does a device.
  for (const char* out : {"-", "/dev/stdout", "/dev/null"}) {
    const ToolRun run = Vellmar("convert " + cube + " " + out + " --format obj", env);
    EXPECT_EQ(run.status, 2) << out;
    EXPECT_NE(run.err.find(".mtl file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(Vellmar("convert " + cube + " -", env).status, 2) << "no extension to tell the format by";
  // A reader that goes away before the end leaves no scratch file either.
  const std::string grid = TempPath("stdout-grid.mqo");
  std::ofstream(grid, std::ios::binary) << GridDocument(100);
  Vellmar("convert " + Quoted(grid) + " - --format x | head -c 10", env);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0);
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

TEST(VellmarCli, GltfStoresTheTexturesFoundBesideTheDocument) {
  // The document lies elsewhere than the current folder; its texture is
  // looked for beside it. Missing: one warning naming it and its material,
  // and the file is written without it.
  const std::string dir = TempFolder("textures");
  std::filesystem::copy_file(std::string(VELLMAR_EXAMPLES) + "/untextured_and_no_material.mqo", dir + "doc.mqo");
  ToolRun run = Vellmar("convert -q " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "out.glb"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "vellmar: warning: " + dir +
                         "doc.mqo: texture \"decal.png\" (material \"decal\") is not found; the material is "
                         "written without it\n");
  std::string glb = ReadFile(dir + "out.glb");
  EXPECT_EQ(glb.find("\"images\""), std::string::npos);
  EXPECT_EQ(glb.find("decal.png"), std::string::npos);

  // Beside it: stored in the file, which names nothing outside itself.
  const std::string decal = ReadFile(std::string(VELLMAR_EXAMPLES) + "/decal.png");
  std::filesystem::copy_file(std::string(VELLMAR_EXAMPLES) + "/decal.png", dir + "decal.png");
  run = Vellmar("convert -q " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "out.glb"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  glb = ReadFile(dir + "out.glb");
  EXPECT_NE(glb.find("\"mimeType\":\"image/png\",\"name\":\"decal.png\""), std::string::npos);
  EXPECT_EQ(glb.find("\"uri\""), std::string::npos);
  EXPECT_NE(glb.find(decal), std::string::npos) << "the PNG as it is";
}

TEST(VellmarCli, InfoDescribesDocuments) {
  const std::string dir = TempFolder("info");
  std::filesystem::create_directories(dir + "tex");
  std::ofstream(dir + "tex/here.png") << "png";
  // Two objects (one hidden and mirrored, one lathed with a profile line),
  // faces of three, four and five corners, textures beside the document or
  // not, one named in Shift-JIS.
  std::ofstream(dir + "doc.mqo", std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.1\nCodePage 932\n\n"
         "Material 2 {\n\t\"a\" tex(\"tex\\here.png\") bump(\"gone.bmp\")\n"
         "\t\"b\" tex(\"\x83\x65\x83\x4c\x83\x58\x83\x60\x83\x83.bmp\") aplane(\"tex\\here.png\")\n}\n"
         "Object \"hidden\" {\n\tvisible 0\n\tmirror 1\n\tmirror_axis 1\n\tvertex 5 {\n"
         "\t\t0 0 0\n\t\t1 0 0\n\t\t1 1 0\n\t\t0 1 0\n\t\t2 2 0\n\t}\n"
         "\tface 3 {\n\t\t3 V(0 1 2) M(0)\n\t\t4 V(0 1 2 3)\n\t\t5 V(0 1 4 2 3) M(1)\n\t}\n}\n"
         "Object \"turned\" {\n\tlathe 3\n\tlathe_axis 1\n\tlathe_seg 8\n\tvertex 2 {\n\t\t1 0 0\n\t\t1 1 0\n\t}\n"
         "\tface 1 {\n\t\t2 V(0 1)\n\t}\n}\nEof\n";
  std::ofstream(dir + "bad.mqo") << "not a document\n";

  // The texture named in Shift-JIS: as stored in a locale of another
  // character set, in UTF-8 in a UTF-8 one.
  const std::string sjis_texture = "    \x83\x65\x83\x4c\x83\x58\x83\x60\x83\x83.bmp (missing)\n";
  const std::string utf8_texture =
      "    \xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.bmp (missing)\n";
  ToolRun run = Vellmar("info " + Quoted(dir + "doc.mqo"), "LC_ALL=C.UTF-8 ");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(utf8_texture), std::string::npos) << run.out;
  const std::string in_utf8 = run.out;
  run = Vellmar("info " + Quoted(dir + "doc.mqo"), "LC_ALL=C ");
  EXPECT_NE(run.out.find(sjis_texture), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(0, run.out.find(sjis_texture)), in_utf8.substr(0, in_utf8.find(utf8_texture)));
  for (const char* line :
       {"  format version:  1.1\n", "  code page:       932\n",
        "  objects:         2 (1 hidden, 1 mirrored, 1 lathed, 0 subdivided)\n", "  vertices:        7\n",
        "  faces:           3 (1 of 3 corners, 1 of 4 corners, 1 of 5 corners)\n", "  lines:           1\n",
        "  materials:       2\n", "  textures:        3\n", "    tex\\here.png\n", "    gone.bmp (missing)\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

  // JSON of the same, for every readable document; the unreadable one is
  // reported and makes the status 2.
  run = Vellmar("info --json " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "bad.mqo") + " " + Example("cube.mqo"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bad.mqo:1: expected"), std::string::npos) << run.err;
  const nlohmann::json documents = nlohmann::json::parse(run.out);
  ASSERT_EQ(documents.size(), 2u);
  const nlohmann::json& doc = documents[0];
  EXPECT_EQ(doc["format_version"], "1.1");
  EXPECT_EQ(doc["code_page"], "932");
  EXPECT_EQ(doc["objects"], nlohmann::json::parse(
                                R"({"total": 2, "hidden": 1, "mirrored": 1, "lathed": 1, "subdivided": 0})"));
  EXPECT_EQ(doc["vertices"], 7);
  EXPECT_EQ(doc["faces"]["total"], 3);
  EXPECT_EQ(doc["faces"]["by_corners"]["5"], 1);
  EXPECT_EQ(doc["lines"], 1);
  EXPECT_EQ(doc["materials"], 2);
  ASSERT_EQ(doc["textures"].size(), 3u);
  EXPECT_EQ(doc["textures"][0], nlohmann::json::parse(R"({"name": "tex\\here.png", "exists": true})"));
  EXPECT_EQ(doc["textures"][1]["exists"], false);
  // Converted from the document's code page, whatever the locale.
  EXPECT_EQ(doc["textures"][2]["name"], "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.bmp");
  EXPECT_EQ(documents[1]["code_page"], nullptr);
  EXPECT_EQ(documents[1]["faces"]["by_corners"]["4"], 6);
}

TEST(VellmarCli, ABatchOnATerminalEndsWithASummary) {
  // VELLMAR_PROGRESS=1 shows what a terminal would see. An input that is
  // not read (the second cube, whose output the first one wrote) counts as
  // failed as well as one that cannot be read.
  const std::string dir = TempPath("summary"), bad = TempPath("summary-bad.mqo");
  std::ofstream(bad) << "not a document\n";
  const std::string batch = "export " + Example("cube.mqo") + " " + Quoted(bad) + " " + Example("ngon.mqo") + " " +
                            Example("cube.mqo") + " --out-dir " + Quoted(dir);
  ToolRun run = Vellmar(batch, "VELLMAR_PROGRESS=1 ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("\nvellmar: 2 done, 2 failed in "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.substr(run.err.size() - 3), " s\n") << run.err;
  EXPECT_EQ(Count(Vellmar(batch + " -q", "VELLMAR_PROGRESS=1 ").err, "\n"), 2) << "only the errors";
  EXPECT_EQ(Count(Vellmar(batch).err, "\n"), 2) << "not a terminal: only the errors";
}

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
  const auto [status, peak_mib] = Finish(StartVellmar({"convert", hostile, dir + "hostile.glb"}, err));
  EXPECT_EQ(status, 2);
  EXPECT_LT(peak_mib, 100);
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

TEST(VellmarCli, ExportWritesOnlyDotXsiAndNoRunWritesOverAnotherFormat) {
  const std::string dir = TempFolder("names");
  const std::string cube = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  for (const char* name : {"a.mqo", "b.mqo"}) std::ofstream(dir + name, std::ios::binary) << cube;
  for (const char* name : {"t.png", "a.mqoz", "p.mtl", "scene.bin", "b.x"}) std::ofstream(dir + name) << "keep";
  const std::string in_dir = "cd " + Quoted(dir) + " && ";

  // What the shell makes of "vellmar export *.mqo" in a folder of two
  // documents, and other names that are no dotXSI file.
  for (const char* out : {"b.mqo", "b", "b.x", "a.mqoz", "t.png"}) {
    const ToolRun run = Vellmar(std::string("export a.mqo ") + out, in_dir);
    EXPECT_EQ(run.status, 2) << out;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find("is not a dotXSI file name"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--out-dir"), std::string::npos) << "says how to export several: " << run.err;
  }
  EXPECT_EQ(ReadFile(dir + "b.mqo"), cube);
  ToolRun run = Vellmar("export a.mqo B.XSI", in_dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir + "B.XSI").rfind("xsi 0300txt 0032\n", 0), 0u);

  // convert with --format: an extension that names another format, known to
  // the tool or beside its files, is refused; one that no format claims is not.
  const std::pair<const char*, const char*> refused[] = {
      {"convert --format x a.mqo t.png", "names an image"},
      {"convert --format glb a.mqo a.mqoz", "names the host's document archive"},
      {"convert --format obj a.mqo p.mtl", "names an OBJ material file"},
      {"convert --format mqo a.mqo scene.bin", "names a glTF buffer"},
      {"convert --format obj a.mqo b.x", "names the x format"},
  };
  for (const auto& [args, message] : refused) {
    run = Vellmar(args, in_dir);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
  for (const char* name : {"t.png", "a.mqoz", "p.mtl", "scene.bin", "b.x"}) EXPECT_EQ(ReadFile(dir + name), "keep");
  EXPECT_EQ(Vellmar("convert --format x a.mqo out.data", in_dir).status, 0);
  EXPECT_EQ(ReadFile(dir + "out.data").rfind("xof 0303txt 0032\n", 0), 0u);
}

TEST(VellmarCli, ACompanionThatCannotBeWrittenFailsTheRun) {
  const std::string dir = TempFolder("companion");
  std::ofstream(dir + "p.obj") << "old obj";
  std::ofstream(dir + "q.gltf") << "old gltf";
  ASSERT_EQ(mkdir((dir + "p.mtl").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "q.bin").c_str(), 0755), 0);
  for (const char* out : {"p.obj", "q.gltf"}) {
    const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(dir + out));
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find(std::string(out[0] == 'p' ? "p.mtl" : "q.bin") + ": cannot write: Is a directory"),
              std::string::npos)
        << run.err;
  }
  EXPECT_EQ(ReadFile(dir + "p.obj"), "old obj");
  EXPECT_EQ(ReadFile(dir + "q.gltf"), "old gltf");

  // A read-only material file, for a user who may not write it (root may:
  // then the run is made as nobody).
  const std::string shared = TempFolder("read-only");
  std::ofstream(shared + "r.obj") << "old obj";
  std::ofstream(shared + "r.mtl") << "old mtl";
  ASSERT_EQ(chmod((shared + "r.mtl").c_str(), 0444), 0);
  std::string as_user;
  if (geteuid() == 0) {
    if (std::system("setpriv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv to run as nobody";
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    for (const char* name : {"r.obj", "r.mtl"}) ASSERT_EQ(chown((shared + name).c_str(), 65534, 65534), 0);
    as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(shared + "r.obj"), as_user);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("r.mtl: cannot write: Permission denied"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(shared + "r.obj"), "old obj");
  EXPECT_EQ(ReadFile(shared + "r.mtl"), "old mtl");
}

TEST(VellmarCli, TwoRunsWritingOnePairLeaveOneRunsWholePair) {
  // Two documents whose pairs differ in both files.
  const std::string a = TempPath("pair-a.mqo"), b = TempPath("pair-b.mqo");
  std::ofstream(a, std::ios::binary) << GridDocument(40, "alpha");
  std::ofstream(b, std::ios::binary) << GridDocument(60, "beta");
  for (const auto& [extension, companion] : {std::pair<std::string, std::string>{".obj", ".mtl"}, {".gltf", ".bin"}}) {
    SCOPED_TRACE(extension);
    // Each run's own pair, written alone under the same name.
    std::vector<std::pair<std::string, std::string>> whole;
    for (const std::string& doc : {a, b}) {
      const std::string alone = TempFolder("pair-alone");
      ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(alone + "p" + extension)).status, 0);
      whole.emplace_back(ReadFile(alone + "p" + extension), ReadFile(alone + "p" + companion));
    }
    ASSERT_NE(whole[0], whole[1]);
    const std::string dir = TempFolder("pair-raced");
    const std::string out = dir + "p" + extension;
    int mixed = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
      const pid_t first = StartVellmar({"convert", a, out});
      const pid_t second = StartVellmar({"convert", b, out});
      EXPECT_EQ(Finish(first).first, 0);
      EXPECT_EQ(Finish(second).first, 0);
      const std::pair<std::string, std::string> pair{ReadFile(out), ReadFile(dir + "p" + companion)};
      if (pair != whole[0] && pair != whole[1]) ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "of 40";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no lock or temporary file left";
  }
}

TEST(VellmarCli, NamesAtTheFileSystemLimitAndReplacedOwners) {
  // Output names of 255 bytes, whose temporary files cannot be named after
  // them, for both pairs.
  const std::string dir = TempFolder("long");
  for (const std::string& name : {std::string(251, 'o') + ".obj", std::string(250, 'g') + ".gltf"}) {
    const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(dir + name));
    EXPECT_EQ(run.status, 0) << run.err;
  }
  EXPECT_NE(ReadFile(dir + std::string(251, 'o') + ".obj").find("mtllib " + std::string(251, 'o') + ".mtl"),
            std::string::npos);
  EXPECT_NE(ReadFile(dir + std::string(250, 'g') + ".bin"), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4);

  // Files of another user, replaced by root through the plug-in and by
  // convert, stay theirs, with their permissions.
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string owned = TempFolder("owned");
  for (const char* name : {"theirs.xsi", "theirs.obj", "theirs.mtl"}) {
    std::ofstream(owned + name) << "old";
    ASSERT_EQ(chown((owned + name).c_str(), 4321, 8765), 0);
    ASSERT_EQ(chmod((owned + name).c_str(), 0600), 0);
  }
  ASSERT_EQ(Vellmar("export " + Example("cube.mqo") + " " + Quoted(owned + "theirs.xsi")).status, 0);
  ASSERT_EQ(Vellmar("convert " + Example("cube.mqo") + " " + Quoted(owned + "theirs.obj")).status, 0);
  for (const char* name : {"theirs.xsi", "theirs.obj", "theirs.mtl"}) {
    struct stat info {};
    ASSERT_EQ(stat((owned + name).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u) << name;
    EXPECT_EQ(info.st_gid, 8765u) << name;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
    EXPECT_NE(ReadFile(owned + name), "old") << name;
  }
}

TEST(VellmarCli, MessagesShowControlCharactersEscaped) {
  const std::string dir = TempFolder("escaped");
  // A file name that would break the line and colour the terminal.
  const std::string bad = dir + "bad\nname\x1b[31m.mqo";
  std::ofstream(bad) << "not a document\n";
  ToolRun run = Vellmar("export " + Quoted(bad) + " " + Quoted(dir + "out.xsi"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  EXPECT_NE(run.err.find("bad\\nname\\x1b[31m.mqo:1:"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);

  // An object name, and both names of the line that reports a written file.
  const std::string far = dir + "far\tdoc.mqo";
  std::ofstream(far, std::ios::binary) << "Metasequoia Document\nFormat Text Ver 1.0\nObject \"a\x1b]0;t\x07z\" {\n"
                                          "\tvertex 3 {\n\t\t3e38 0 0\n\t\t0 1 0\n\t\t0 0 1\n\t}\n"
                                          "\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\nEof\n";
  run = Vellmar("export " + Quoted(far) + " " + Quoted(dir + "far.xsi") + " --scale 10");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("far\\tdoc.mqo: object \"a\\x1b]0;t\\x07z\" has a coordinate"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  run = Vellmar("export " + Quoted(far) + " " + Quoted(dir + "out\x1b.xsi"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("far\\tdoc.mqo -> " + dir + "out\\x1b.xsi\n"), std::string::npos) << run.out;
  // info's names too: the file's and its textures'.
  std::ofstream(dir + "tex\rdoc.mqo", std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.0\nMaterial 1 {\n\t\"m\" tex(\"a\x1b[2Jb.png\")\n}\nEof\n";
  run = Vellmar("info " + Quoted(dir + "tex\rdoc.mqo"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind(dir + "tex\\rdoc.mqo\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("    a\\x1b[2Jb.png (missing)\n"), std::string::npos) << run.out;
}

TEST(VellmarCli, GltfOrderAndCompressionOptions) {
  // Only glTF takes them; export takes neither.
  ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("opt.obj")) + " --compress");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--compress applies to glTF (.gltf, .glb), not to obj"), std::string::npos) << run.err;
  run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("opt.x")) + " --keep-order");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--keep-order applies to glTF"), std::string::npos) << run.err;
  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(TempPath("opt.xsi")) + " --compress");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("does not apply to export"), std::string::npos) << run.err;
  EXPECT_NE(Vellmar("help convert").out.find("--compress"), std::string::npos);

  // A grid of 40 x 40 quads: ordered for drawing, the file has the same
  // JSON and the same size, its buffer other bytes; compressed, it requires
  // both extensions and is a fraction of the size.
  const std::string doc = TempPath("opt-grid.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(41, "m");
  const std::string kept = TempPath("opt-kept.glb"), ordered = TempPath("opt-ordered.glb"),
                    packed = TempPath("opt-packed.glb");
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(kept) + " --keep-order -q").status, 0);
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(ordered) + " -q").status, 0);
  const std::string a = ReadFile(kept), b = ReadFile(ordered);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GT(a.size(), 20u);
  const size_t json_end = 20 + static_cast<unsigned char>(a[12]) + 256u * static_cast<unsigned char>(a[13]);
  EXPECT_TRUE(a.compare(0, json_end, b, 0, json_end) == 0);
  if (VELLMAR_COMPRESSES_GLTF) {
    EXPECT_FALSE(a == b);
    run = Vellmar("convert " + Quoted(doc) + " " + Quoted(packed) + " --compress -q");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string c = ReadFile(packed);
    EXPECT_NE(c.find("\"extensionsRequired\":[\"EXT_meshopt_compression\",\"KHR_mesh_quantization\"]"),
              std::string::npos);
    EXPECT_LT(c.size() * 4, ReadFile(kept).size());
  } else {
    EXPECT_TRUE(a == b);  // a build without meshoptimizer keeps the order
    run = Vellmar("convert " + Quoted(doc) + " " + Quoted(packed) + " --compress");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--compress is not available in this build"), std::string::npos) << run.err;
  }
}
