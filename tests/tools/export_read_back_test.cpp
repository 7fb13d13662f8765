// Every export read back: each example, each real document of the samples
// folder and the edge-case documents of the tests is exported by the tool,
// and the dotXSI reader's scene of the file is held against the document
// as the stand-in host's reader reads it. The export negates x, multiplies
// lengths by 0.01 and turns faces round; the file's colours are white, its
// normals face the way its faces turn, and its texture coordinates are the
// document's where the face's material has a texture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "test_files.h"
#include "w_lib/readers/xsi_reader.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"

namespace {

// A name as the file holds it: cut to the host's name buffer (259 bytes),
// with braces, double quotes and control bytes made '_' (two-byte
// characters of the document's code page stay whole), or the name the
// export makes for an empty one.
std::string NameInFile(std::string name, bool utf8, const char* kind, int index) {
  if (name.size() > 259) name.resize(259);
  if (name.empty()) {
    char made[32];
    std::snprintf(made, sizeof made, "%s_%02d", kind, index);
    return made;
  }
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (!utf8 && IsCodePage932LeadByte(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c == '{' || c == '}' || c == '"' || c < 0x20 || c == 0x7F) name[i] = '_';
  }
  return name;
}

// The file name of a texture path: what follows its last '/' or '\' (not
// the second byte of a two-byte character of the document's code page).
std::string ImageName(const std::string& path, bool utf8) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (!utf8 && IsCodePage932LeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;
    } else if (path[i] == '/' || path[i] == '\\') {
      start = i + 1;
    }
  }
  return path.substr(start);
}

// The document's materials as the file names them, with the material of
// faces that have none.
struct Materials {
  std::vector<std::string> names;
  std::string fallback;
};

Materials MaterialsInFile(const MQDocumentRecord& doc) {
  Materials m;
  for (int i = 0; i < doc.MaterialCount(); ++i)
    m.names.push_back(NameInFile(doc.materials[static_cast<size_t>(i)]->name, doc.utf8_names, "mat", i));
  m.fallback = m.names.empty() ? "NoMaterial" : m.names[0];
  return m;
}

// Within the file's six decimals of a value that was rounded to a float.
bool Near(double read, double expected) { return std::fabs(read - expected) <= 5e-7 + 2.4e-7 * std::fabs(expected); }

// The corner normal of a polygon by its own turn (Newell's), not unit.
WVector TurnNormal(const WObject& o, const WFace& f) {
  double n[3] = {0, 0, 0};
  for (int k = 0; k < f.num; ++k) {
    const WVector& p = o.vertices[f.v[k]].pos;
    const WVector& q = o.vertices[f.v[(k + 1) % f.num]].pos;
    n[0] += (static_cast<double>(p.y) - q.y) * (static_cast<double>(p.z) + q.z);
    n[1] += (static_cast<double>(p.z) - q.z) * (static_cast<double>(p.x) + q.x);
    n[2] += (static_cast<double>(p.x) - q.x) * (static_cast<double>(p.y) + q.y);
  }
  return WVector(static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]));
}

// Whether every corner of the polygon turns the way the whole does.
bool Convex(const WObject& o, const WFace& f, const WVector& turn) {
  for (int k = 0; k < f.num; ++k) {
    const WVector& a = o.vertices[f.v[k]].pos;
    const WVector& b = o.vertices[f.v[(k + 1) % f.num]].pos;
    const WVector& c = o.vertices[f.v[(k + 2) % f.num]].pos;
    if (Dot(Cross(b - a, c - b), turn) < 0.0f) return false;
  }
  return true;
}

void CheckObject(const std::string& doc_name, const MQDocumentRecord& doc, const MQObjectRecord& source,
                 const WScene& scene, const WObject& read, const Materials& materials) {
  const std::string at = doc_name + ": object \"" + source.name + "\": ";
  ASSERT_EQ(read.vnum, source.VertexCount()) << at << "vertices";
  for (int v = 0; v < read.vnum; ++v) {
    const MQPoint& p = source.vertices[static_cast<size_t>(v)];
    const WVector& q = read.vertices[v].pos;
    EXPECT_TRUE(Near(q.x, -0.01 * p.x) && Near(q.y, 0.01 * p.y) && Near(q.z, 0.01 * p.z))
        << at << "vertex " << v << " is (" << q.x << ", " << q.y << ", " << q.z << ") for (" << p.x << ", "
        << p.y << ", " << p.z << ")";
  }

  // The file's faces by material and corners; each of the document's faces
  // takes one, turned round.
  std::map<std::pair<std::string, std::vector<int>>, std::vector<int>> faces;
  for (int f = read.fnum - 1; f >= 0; --f) {
    const WFace& face = read.faces[f];
    const std::string material = face.material >= 0 ? scene.materials[face.material].name.c_str() : "(none)";
    const int* const corners = face.v;
    faces[{material, std::vector<int>(corners, corners + face.num)}].push_back(f);
  }
  for (int f = 0; f < source.FaceCount(); ++f) {
    const int n = source.CornerCount(f);
    const int first = source.face_start[static_cast<size_t>(f)];
    std::vector<int> corners;
    for (int k = n - 1; k >= 0; --k) corners.push_back(source.corner_vertex[static_cast<size_t>(first + k)]);
    const int m = source.face_material[static_cast<size_t>(f)];
    const std::string material = m >= 0 ? materials.names[static_cast<size_t>(m)] : materials.fallback;
    auto found = faces.find({material, corners});
    if (found == faces.end() || found->second.empty()) {
      ADD_FAILURE() << at << "face " << f << " of " << n << " corners, material " << material
                    << ", is not in the file";
      continue;
    }
    const WFace& face = read.faces[found->second.back()];
    found->second.pop_back();
    const bool textured = m >= 0 && !doc.materials[static_cast<size_t>(m)]->texture.empty();
    for (int k = 0; k < n; ++k) {
      const MQCoordinate uv = source.CornerUv(static_cast<size_t>(first + n - 1 - k));
      if (!textured) {
        EXPECT_EQ(face.vt()[k], -1) << at << "face " << f << " corner " << k << " has a texture coordinate";
      } else if (face.vt()[k] < 0) {
        ADD_FAILURE() << at << "face " << f << " corner " << k << " lacks its texture coordinate";
      } else {
        const WUv& t = read.uvs[face.vt()[k]];
        EXPECT_TRUE(Near(t.u, uv.u) && Near(t.v, uv.v))
            << at << "face " << f << " corner " << k << " texture coordinate (" << t.u << ", " << t.v << ") for ("
            << uv.u << ", " << uv.v << ")";
      }
      ASSERT_GE(face.vc()[k], 0) << at << "face " << f << " corner " << k << " has no colour";
      EXPECT_EQ(read.colors[face.vc()[k]].col, WColor(1, 1, 1, 1)) << at << "face " << f << " corner " << k;
      ASSERT_GE(face.vn()[k], 0) << at << "face " << f << " corner " << k << " has no normal";
    }
    // Normals face the way the file's face turns: each is an average of
    // normals within the smoothing angle (59.5 degrees) of its own face's.
    // A concave polygon takes the side that most of its corners turn to,
    // which may not be the side its area faces; only convex ones are held
    // to that.
    const WVector turn = TurnNormal(read, face);
    const float area = turn.Length();
    if (n < 3 || area < 1e-9f || !Convex(read, face, turn)) continue;
    for (int k = 0; k < n; ++k) {
      const WVector& normal = read.normals[face.vn()[k]].normal;
      EXPECT_NEAR(normal.Length(), 1.0f, 1e-5f) << at << "face " << f << " corner " << k;
      EXPECT_GT(Dot(normal, turn) / area, 0.45f)
          << at << "face " << f << " corner " << k << " normal (" << normal.x << ", " << normal.y << ", "
          << normal.z << ") against the face's turn";
    }
  }
  for (const auto& [key, left] : faces)
    for (int f : left)
      ADD_FAILURE() << at << "the file's face " << f << " (material " << key.first << ") is not in the document";
}

void CheckExportReadsBack(const std::string& path) {
  SCOPED_TRACE(path);
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(ReadMqoDocument(path.c_str(), doc, error)) << error;
  const std::string out = TempPath("read-back.xsi");
  const std::string command = std::string("\"") + VELLMAR_TOOL + "\" export -q \"" + path + "\" \"" + out + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  WScene scene;
  XsiReadReport report;
  ASSERT_TRUE(ReadXsiFile(out.c_str(), scene, report, error, uint64_t{1} << 30)) << error;
  EXPECT_EQ(report.version, "3.0");

  // The library's fixed first material, then the document's (or the one
  // the export adds when it has none).
  const Materials materials = MaterialsInFile(doc);
  ASSERT_EQ(scene.mnum, 1 + std::max<int>(doc.MaterialCount(), 1)) << path;
  EXPECT_STREQ(scene.materials[0].name.c_str(), "Default");
  for (int i = 0; i < doc.MaterialCount(); ++i) {
    const MQMaterialRecord& source = *doc.materials[static_cast<size_t>(i)];
    const WMaterial& read = scene.materials[i + 1];
    const std::string at = path + ": material " + std::to_string(i) + ": ";
    EXPECT_EQ(read.name.c_str(), materials.names[static_cast<size_t>(i)]) << at;
    EXPECT_TRUE(Near(read.col.r, source.color.r) && Near(read.col.g, source.color.g) &&
                Near(read.col.b, source.color.b) && Near(read.col.a, source.alpha))
        << at << "colour";
    if (source.texture.empty()) {
      EXPECT_EQ(read.tex, -1) << at;
    } else {
      ASSERT_GE(read.tex, 0) << at << "texture";
      EXPECT_EQ(scene.textures[read.tex].name.c_str(), ImageName(source.texture.substr(0, 259), doc.utf8_names)) << at;
    }
  }

  ASSERT_EQ(scene.onum, doc.ObjectCount()) << path;
  for (int o = 0; o < scene.onum; ++o) {
    const MQObjectRecord& source = *doc.objects[static_cast<size_t>(o)];
    EXPECT_EQ(scene.objects[o].name.c_str(), NameInFile(source.name, doc.utf8_names, "obj", o)) << path;
    EXPECT_EQ(scene.objects[o].parent, -1);
    CheckObject(path, doc, source, scene, scene.objects[o], materials);
  }
}

std::vector<std::string> DocumentsIn(const std::string& folder) {
  std::vector<std::string> paths;
  if (folder.empty() || !std::filesystem::is_directory(folder)) return paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".mqo" || extension == ".mqoz") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Names that the file must change, faces of one and two corners, a face
// that repeats a vertex, a polygon of many corners, faces without material
// and a material without name, a texture in a folder, an object without
// vertices and one without a name.
const char kEdgeCases[] =
    "Metasequoia Document\nFormat Text Ver 1.0\n\n"
    "Material 3 {\n"
    "\t\"\" col(1.000 0.000 0.000 1.000)\n"
    "\t\"stone {rough}\" col(0.500 0.250 0.125 0.500) tex(\"maps\\old/stone.png\")\n"
    "\t\"plain\" col(0.000 1.000 0.000 1.000)\n"
    "}\n"
    "Object \"\" {\n"
    "\tvertex 7 {\n"
    "\t\t0 0 0\n\t\t100 0 0\n\t\t100 100 0\n\t\t0 100 0\n\t\t-50 50 25\n\t\t12345.678 -0.004 7\n\t\t0 0 100\n"
    "\t}\n"
    "\tface 8 {\n"
    "\t\t1 V(0)\n"
    "\t\t2 V(0 1)\n"
    "\t\t3 V(0 1 2) M(1) UV(0 0 1 0 1 1)\n"
    "\t\t3 V(0 1 2) M(1) UV(0.25 0.5 0.75 1 0.125 0.875)\n"
    "\t\t3 V(2 2 3) M(1) UV(0 0 1 0 1 1)\n"
    "\t\t5 V(0 1 2 3 4) M(2)\n"
    "\t\t3 V(3 2 6)\n"
    "\t\t4 V(0 6 5 1) M(0)\n"
    "\t}\n"
    "}\n"
    "Object \"no {vertices}\" {\n\tvertex 0 {\n\t}\n}\n"
    "Eof\n";

}  // namespace

TEST(ExportReadBack, Examples) {
  const std::vector<std::string> paths = DocumentsIn(VELLMAR_EXAMPLES);
  ASSERT_FALSE(paths.empty());
  for (const std::string& path : paths) CheckExportReadsBack(path);
}

TEST(ExportReadBack, RealDocuments) {
  const std::vector<std::string> paths = DocumentsIn(VELLMAR_MQO_SAMPLES);
  if (paths.empty()) GTEST_SKIP() << "no samples folder beside the project";
  for (const std::string& path : paths) CheckExportReadsBack(path);
}

TEST(ExportReadBack, EdgeCaseDocuments) {
  const std::string edge = TempPath("edge-cases.mqo");
  std::ofstream(edge, std::ios::binary) << kEdgeCases;
  CheckExportReadsBack(edge);
  const std::string data = VELLMAR_TEST_DATA_DIR;
  std::vector<std::string> paths = DocumentsIn(data + "/mqo");
  for (const std::string& path : DocumentsIn(data + "/../fuzz/corpus/export")) paths.push_back(path);
  paths.push_back(data + "/mqo_reader/grammar.mqo");
  paths.push_back(data + "/mqo_reader/raw_vertex.mqo");
  for (const std::string& path : paths) CheckExportReadsBack(path);
}
