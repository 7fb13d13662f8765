// What vellmar convert writes, read back by readers: Debian's assimp library
// (which no one here wrote) loads the files of every format of the tool's
// table that it reads (OBJ, DirectX, DXF, glTF) for the examples and the
// real documents, and the stand-in host's reader loads every .mqo.
// The counts, the orientation and the place of the geometry must be those
// of the document.
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "test_files.h"
#include "tools/output_formats.h"

namespace {

struct Box {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  void Add(double x, double y, double z) {
    const double p[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], p[k]);
      hi[k] = std::max(hi[k], p[k]);
    }
  }
};

// What a document implies for a converted file.
struct Expected {
  long faces = 0;  // of three or more corners
  long lines = 0;  // two-corner elements
};

// How a format writes polygons.
enum class Polygons {
  kWhole,          // OBJ, DirectX
  kCutAboveFour,   // DXF: more than four corners become n - 2 triangles, and no line is added
  kTrianglesOnly,  // glTF: every polygon becomes n - 2 triangles, without lines
};

// How this test reads back the files of each format that convert writes.
enum class Reader {
  kAssimp,      // loaded by assimp, and held against the document
  kHostReader,  // a host document again: read by the stand-in host's reader
  kElsewhere,   // dotXSI: read back by the dotXSI reader in its own test
  kNone,        // the scene dump, a listing for people
};

struct ReadBackRule {
  const char* format;
  Reader reader;
  Polygons polygons;  // for assimp
};

const ReadBackRule kReadBackRules[] = {
    {"xsi", Reader::kElsewhere, Polygons::kWhole},
    {"x", Reader::kAssimp, Polygons::kWhole},
    {"obj", Reader::kAssimp, Polygons::kWhole},
    {"mqo", Reader::kHostReader, Polygons::kCutAboveFour},
    {"dxf", Reader::kAssimp, Polygons::kCutAboveFour},
    {"dxf-polyface", Reader::kAssimp, Polygons::kCutAboveFour},
    {"dump", Reader::kNone, Polygons::kWhole},
    {"gltf", Reader::kAssimp, Polygons::kTrianglesOnly},
    {"glb", Reader::kAssimp, Polygons::kTrianglesOnly},
};

struct FormatToRead {
  const OutputFormat* format;
  const ReadBackRule* rule;
};

// The formats of the tool's table that this build writes and that reader
// reads. A format without a rule fails the test that asks: whoever adds a
// format decides how its files are read back.
std::vector<FormatToRead> FormatsReadBy(Reader reader) {
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  std::vector<FormatToRead> found;
  for (const OutputFormat* format = formats; format != formats + count; ++format) {
    const auto rule = std::find_if(std::begin(kReadBackRules), std::end(kReadBackRules),
                                   [&](const ReadBackRule& r) { return std::string(r.format) == format->name; });
    if (rule == std::end(kReadBackRules)) {
      ADD_FAILURE() << "no rule for reading back the format " << format->name;
      continue;
    }
    if (format->write && rule->reader == reader) found.push_back({format, rule});
  }
  return found;
}

Expected ExpectedCounts(const MQDocumentRecord& doc, Polygons polygons) {
  Expected e;
  for (const auto& obj : doc.objects)
    for (int f = 0; f < obj->FaceCount(); ++f) {
      const int n = obj->CornerCount(f);
      if (n == 2) ++e.lines;
      if (n < 3) continue;
      const bool cut = (polygons == Polygons::kCutAboveFour && n > 4) || polygons == Polygons::kTrianglesOnly;
      e.faces += cut ? n - 2 : 1;
    }
  return e;
}

// The box of the vertices that faces and edges use, in the output's unit
// (the document's lengths times 0.01, in single precision as converted).
Box DocumentBox(const MQDocumentRecord& doc) {
  Box box;
  for (const auto& obj : doc.objects)
    for (int f = 0; f < obj->FaceCount(); ++f) {
      if (obj->CornerCount(f) < 2) continue;
      for (int c = obj->face_start[f]; c < obj->face_start[f + 1]; ++c) {
        const MQPoint& p = obj->vertices[static_cast<size_t>(obj->corner_vertex[c])];
        box.Add(p.x * 0.01f, p.y * 0.01f, p.z * 0.01f);
      }
    }
  return box;
}

// What a reader made of a file: counts, box, and every polygon as points
// in the reader's frame (node transforms applied).
struct ReadBack {
  Expected counts;
  Box box;
  std::vector<std::vector<std::array<float, 3>>> polygons;
};

void Collect(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent, ReadBack& read) {
  const aiMatrix4x4 transform = parent * node.mTransformation;
  for (unsigned i = 0; i < node.mNumMeshes; ++i) {
    const aiMesh& mesh = *scene.mMeshes[node.mMeshes[i]];
    std::vector<std::array<float, 3>> points(mesh.mNumVertices);
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
      const aiVector3D p = transform * mesh.mVertices[v];
      points[v] = {p.x, p.y, p.z};
      read.box.Add(p.x, p.y, p.z);
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices == 2) ++read.counts.lines;
      if (face.mNumIndices < 3) continue;
      ++read.counts.faces;
      read.polygons.emplace_back();
      for (unsigned k = 0; k < face.mNumIndices; ++k) read.polygons.back().push_back(points[face.mIndices[k]]);
    }
  }
  for (unsigned c = 0; c < node.mNumChildren; ++c) Collect(scene, *node.mChildren[c], transform, read);
}

// Signed volumes of the closed meshes among the polygons. A raw import gives
// every corner its own vertex, so corners are joined by position; faces
// that share a side form one mesh, which is closed when every side it has
// is met once in each direction. A flat closed mesh (two faces back to back)
// has no inside and is left out.
std::vector<double> ClosedMeshVolumes(const std::vector<std::vector<std::array<float, 3>>>& polygons) {
  std::map<std::array<float, 3>, long long> ids;
  std::vector<std::vector<long long>> faces;
  for (const auto& polygon : polygons) {
    std::vector<long long> face;
    for (const auto& p : polygon) {
      const long long id = ids.emplace(p, static_cast<long long>(ids.size())).first->second;
      if (face.empty() || face.back() != id) face.push_back(id);
    }
    while (face.size() > 1 && face.front() == face.back()) face.pop_back();
    faces.push_back(face);
  }
  std::vector<size_t> group(faces.size());
  std::iota(group.begin(), group.end(), 0);
  const auto root = [&](size_t f) {
    while (group[f] != f) f = group[f] = group[group[f]];
    return f;
  };
  std::map<std::pair<long long, long long>, std::vector<size_t>> sides;  // directed side -> faces
  for (size_t f = 0; f < faces.size(); ++f)
    for (size_t k = 0; k < faces[f].size(); ++k) sides[{faces[f][k], faces[f][(k + 1) % faces[f].size()]}].push_back(f);
  for (const auto& [side, users] : sides) {
    for (size_t u : users) group[root(u)] = root(users[0]);
    const auto twin = sides.find({side.second, side.first});
    if (twin != sides.end()) group[root(users[0])] = root(twin->second[0]);
  }
  std::vector<bool> open(faces.size(), false);
  for (const auto& [side, users] : sides) {
    const auto twin = sides.find({side.second, side.first});
    if (users.size() != 1 || twin == sides.end() || twin->second.size() != 1) open[root(users[0])] = true;
  }
  std::vector<std::array<double, 3>> points(ids.size());
  for (const auto& [p, id] : ids) points[static_cast<size_t>(id)] = {p[0], p[1], p[2]};
  std::map<size_t, double> volume;
  std::map<size_t, Box> extent;
  for (size_t f = 0; f < faces.size(); ++f) {
    if (faces[f].size() < 3 || open[root(f)]) continue;
    for (long long id : faces[f]) {
      const auto& p = points[static_cast<size_t>(id)];
      extent[root(f)].Add(p[0], p[1], p[2]);
    }
    const auto& a = points[static_cast<size_t>(faces[f][0])];
    for (size_t k = 1; k + 1 < faces[f].size(); ++k) {
      const auto& b = points[static_cast<size_t>(faces[f][k])];
      const auto& c = points[static_cast<size_t>(faces[f][k + 1])];
      volume[root(f)] += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                          a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0;
    }
  }
  std::vector<double> volumes;
  for (const auto& [mesh, v] : volume) {
    const Box& box = extent[mesh];
    const double size = std::max({box.hi[0] - box.lo[0], box.hi[1] - box.lo[1], box.hi[2] - box.lo[2]});
    if (std::fabs(v) > 1e-6 * size * size * size) volumes.push_back(v);
  }
  return volumes;
}

bool Convert(const std::string& document, const std::string& output, const std::string& format) {
  const std::string command = std::string("\"") + VELLMAR_TOOL + "\" convert \"" + document + "\" \"" + output +
                              "\" --format " + format + " >/dev/null";
  return std::system(command.c_str()) == 0;
}

// Loads what convert writes for the document in each of assimp's formats and
// checks counts, orientation and place; returns the closed meshes seen.
int CheckAssimpReadsTheDocument(const std::string& path, const MQDocumentRecord& doc) {
  const Box box = DocumentBox(doc);
  int closed = 0;
  for (const auto& [format, rule] : FormatsReadBy(Reader::kAssimp)) {
    SCOPED_TRACE(path + " as " + format->name);
    const std::string out = TempPath(std::string("read.") + format->name + format->extensions[0]);
    EXPECT_TRUE(Convert(path, out, format->name));
    Assimp::Importer importer;
    // No post-processing: polygons stay whole and corners stay apart.
    const aiScene* scene = importer.ReadFile(out, 0);
    if (!scene || !scene->mRootNode) {
      ADD_FAILURE() << "assimp could not load " << out << ": " << importer.GetErrorString();
      continue;
    }
    ReadBack read;
    Collect(*scene, *scene->mRootNode, aiMatrix4x4(), read);
    const Expected expected = ExpectedCounts(doc, rule->polygons);
    EXPECT_EQ(read.counts.faces, expected.faces);
    EXPECT_EQ(read.counts.lines, expected.lines);
    // assimp hands every format over in its right-handed, y-up frame: it
    // negates DirectX's z back and turns DXF's z up back to y. So a file
    // written in the right convention has the document's own box there,
    // and a mirrored or lying one does not.
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(read.box.lo[k], box.lo[k], 1e-5 + 1e-6 * std::fabs(box.lo[k])) << "axis " << k;
      EXPECT_NEAR(read.box.hi[k], box.hi[k], 1e-5 + 1e-6 * std::fabs(box.hi[k])) << "axis " << k;
    }
    for (double volume : ClosedMeshVolumes(read.polygons)) {
      EXPECT_GT(volume, 0.0) << "a closed mesh faces inward";
      ++closed;
    }
  }
  return closed;
}

// convert a.mqo b.mqo gives back the positions (to the four decimals of the
// file), the objects, and the faces with their winding and material, apart
// from polygons of more than four corners: those come back as n - 2
// triangles turned the same way, with no two-point entry beside the
// document's own edges.
void CheckMqoRoundTrip(const std::string& path, const MQDocumentRecord& doc, const OutputFormat& format) {
  SCOPED_TRACE(path + " as " + format.name);
  const std::string out = TempPath(std::string("round") + format.extensions[0]);
  ASSERT_TRUE(Convert(path, out, format.name));
  MQDocumentRecord back;
  std::string error;
  ASSERT_TRUE(ReadMqoDocument(out.c_str(), back, error)) << error;
  ASSERT_EQ(back.ObjectCount(), doc.ObjectCount());
  for (int o = 0; o < doc.ObjectCount(); ++o) {
    const MQObjectRecord& a = *doc.objects[static_cast<size_t>(o)];
    const MQObjectRecord& b = *back.objects[static_cast<size_t>(o)];
    EXPECT_EQ(b.name, a.name);
    ASSERT_EQ(b.VertexCount(), a.VertexCount());
    for (size_t v = 0; v < a.vertices.size(); ++v) {
      const MQPoint& p = a.vertices[v];
      const MQPoint& q = b.vertices[v];
      for (const auto& [x, y] : {std::make_pair(p.x, q.x), std::make_pair(p.y, q.y), std::make_pair(p.z, q.z)})
        EXPECT_NEAR(y, x, 0.00005 + 1e-6 * std::fabs(x)) << a.name << " vertex " << v;
    }
    const auto corners = [](const MQObjectRecord& r, int f) {
      return std::vector<int32_t>(r.corner_vertex.begin() + r.face_start[f], r.corner_vertex.begin() + r.face_start[f + 1]);
    };
    // Faces of two corners, and of three or more, in order.
    std::multiset<std::pair<std::vector<int32_t>, int32_t>> edges_back;
    std::vector<int> faces_back;
    for (int f = 0; f < b.FaceCount(); ++f) {
      if (b.CornerCount(f) == 2) edges_back.emplace(corners(b, f), b.face_material[f]);
      if (b.CornerCount(f) >= 3) faces_back.push_back(f);
    }
    size_t next = 0;  // the next face read back that stands for a whole face
    std::vector<int> cut;
    for (int f = 0; f < a.FaceCount(); ++f) {
      const int n = a.CornerCount(f);
      if (n == 2) {
        const auto edge = edges_back.find({corners(a, f), a.face_material[f]});
        EXPECT_NE(edge, edges_back.end()) << a.name << " edge " << f;
        if (edge != edges_back.end()) edges_back.erase(edge);
      } else if (n > 4) {
        cut.push_back(f);
      } else if (n >= 3) {
        ASSERT_LT(next, faces_back.size()) << a.name << " face " << f;
        const int g = faces_back[next++];
        EXPECT_EQ(corners(b, g), corners(a, f)) << a.name << " face " << f;
        EXPECT_EQ(b.face_material[g], a.face_material[f]) << a.name << " face " << f;
      }
    }
    EXPECT_TRUE(edges_back.empty()) << a.name << ": " << edges_back.size() << " lines the document lacks";
    // The triangles of the cut polygons follow, polygon by polygon.
    for (int f : cut) {
      const std::vector<int32_t> polygon = corners(a, f);
      const auto area = [&](const std::vector<int32_t>& face, const MQObjectRecord& r) {
        std::array<double, 3> sum = {0, 0, 0};
        for (size_t k = 0; k < face.size(); ++k) {
          const MQPoint& p = r.vertices[static_cast<size_t>(face[k])];
          const MQPoint& q = r.vertices[static_cast<size_t>(face[(k + 1) % face.size()])];
          sum[0] += (static_cast<double>(p.y) - q.y) * (static_cast<double>(p.z) + q.z);
          sum[1] += (static_cast<double>(p.z) - q.z) * (static_cast<double>(p.x) + q.x);
          sum[2] += (static_cast<double>(p.x) - q.x) * (static_cast<double>(p.y) + q.y);
        }
        return sum;
      };
      const std::array<double, 3> whole = area(polygon, a);
      std::array<double, 3> parts = {0, 0, 0};
      for (size_t t = 0; t + 2 < polygon.size(); ++t) {
        ASSERT_LT(next, faces_back.size()) << a.name << " polygon " << f;
        const std::vector<int32_t> triangle = corners(b, faces_back[next++]);
        ASSERT_EQ(triangle.size(), 3u);
        for (int32_t v : triangle) EXPECT_NE(std::find(polygon.begin(), polygon.end(), v), polygon.end());
        const std::array<double, 3> s = area(triangle, b);
        for (int k = 0; k < 3; ++k) parts[k] += s[k];
      }
      EXPECT_GT(whole[0] * parts[0] + whole[1] * parts[1] + whole[2] * parts[2], 0.0)
          << a.name << " polygon " << f << " came back turned over";
    }
    EXPECT_EQ(next, faces_back.size()) << a.name;
  }
}

// The signed volume of all polygons together, closed or not.
double TotalVolume(const std::vector<std::vector<std::array<float, 3>>>& polygons) {
  double volume = 0.0;
  for (const auto& p : polygons)
    for (size_t k = 1; k + 1 < p.size(); ++k) {
      const auto &a = p[0], &b = p[k], &c = p[k + 1];
      volume += (static_cast<double>(a[0]) * (static_cast<double>(b[1]) * c[2] - static_cast<double>(b[2]) * c[1]) -
                 static_cast<double>(a[1]) * (static_cast<double>(b[0]) * c[2] - static_cast<double>(b[2]) * c[0]) +
                 static_cast<double>(a[2]) * (static_cast<double>(b[0]) * c[1] - static_cast<double>(b[1]) * c[0])) /
                6.0;
    }
  return volume;
}

// What assimp reads from the file that convert writes for path in format.
bool ReadConverted(const std::string& path, const OutputFormat& format, ReadBack& read) {
  const std::string out = TempPath(std::string("real.xsi.") + format.name + format.extensions[0]);
  if (!Convert(path, out, format.name)) {
    ADD_FAILURE() << "convert " << path << " to " << format.name;
    return false;
  }
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(out, 0);
  if (!scene || !scene->mRootNode) {
    ADD_FAILURE() << "assimp could not load " << out << ": " << importer.GetErrorString();
    return false;
  }
  Collect(*scene, *scene->mRootNode, aiMatrix4x4(), read);
  return true;
}

// Runs every check on each document; returns the closed meshes seen.
int CheckDocuments(const std::vector<std::string>& paths) {
  int closed = 0;
  for (const std::string& path : paths) {
    MQDocumentRecord doc;
    std::string error;
    EXPECT_TRUE(ReadMqoDocument(path.c_str(), doc, error)) << error;
    closed += CheckAssimpReadsTheDocument(path, doc);
    for (const FormatToRead& read : FormatsReadBy(Reader::kHostReader)) CheckMqoRoundTrip(path, doc, *read.format);
  }
  return closed;
}

// Writes at path a document of one object in the host's text (CR LF): the
// lines after the first up to the blank one (version, code page), then
// each material's line, the object's name, its vertex lines and its face
// lines.
void WriteOneObjectDocument(const std::string& path, const std::string& head,
                            const std::vector<std::string>& materials, const std::string& object,
                            const std::vector<std::string>& vertices, const std::vector<std::string>& faces) {
  std::string text = "Metasequoia Document\r\n" + head + "\r\nMaterial " + std::to_string(materials.size()) + " {\r\n";
  for (const std::string& material : materials) text += "\t" + material + "\r\n";
  text += "}\r\nObject \"" + object + "\" {\r\n\tvertex " + std::to_string(vertices.size()) + " {\r\n";
  for (const std::string& vertex : vertices) text += "\t\t" + vertex + "\r\n";
  text += "\t}\r\n\tface " + std::to_string(faces.size()) + " {\r\n";
  for (const std::string& face : faces) text += "\t\t" + face + "\r\n";
  std::ofstream(path, std::ios::binary) << text << "\t}\r\n}\r\nEof\r\n";
}

}  // namespace

TEST(ConvertedFiles, ExamplesReadBackRight) {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(VELLMAR_EXAMPLES))
    if (entry.path().extension() == ".mqo") paths.push_back(entry.path().string());
  ASSERT_FALSE(paths.empty());
  // The cube at least is closed: the orientation check does run.
  EXPECT_GT(CheckDocuments(paths), 0);
}

TEST(ConvertedFiles, RealDocumentsReadBackRight) {
  const std::string folder = VELLMAR_MQO_SAMPLES;
  if (folder.empty() || !std::filesystem::is_directory(folder)) GTEST_SKIP() << "no samples folder beside the project";
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".mqo" || entry.path().extension() == ".mqoz") paths.push_back(entry.path().string());
  CheckDocuments(paths);
}

// dotXSI files of the format's own application are right-handed with y up
// and their faces run counter-clockwise seen from outside, as every format
// wants them: converted, each keeps its faces, its place (transforms
// applied) and the way it faces.
TEST(ConvertedFiles, RealDotXsiFilesReadBackRight) {
  const std::string folder = VELLMAR_XSI_SAMPLES;
  if (folder.empty() || !std::filesystem::exists(folder + "/littledrop.xsi"))
    GTEST_SKIP() << "no dotXSI samples beside the project";
  for (const auto& [format, rule] : FormatsReadBy(Reader::kAssimp)) {
    SCOPED_TRACE(format->name);
    // The double pyramid, scaled and moved by its transform: from the
    // file's numbers, x runs from -1.723849 to 0.861925 times 0.011249, y
    // from -4 to 4 times 0.008237 plus 0.032289, z +-1.492897 times 0.011249.
    ReadBack drop;
    if (ReadConverted(folder + "/littledrop.xsi", *format, drop)) {
      EXPECT_EQ(drop.counts.faces, 6);
      const double lo[3] = {-0.019391677, -0.000659, -0.016793598};
      const double hi[3] = {0.009695814, 0.065237, 0.016793598};
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(drop.box.lo[k], lo[k], 1e-6) << "axis " << k;
        EXPECT_NEAR(drop.box.hi[k], hi[k], 1e-6) << "axis " << k;
      }
      const std::vector<double> volumes = ClosedMeshVolumes(drop.polygons);
      ASSERT_EQ(volumes.size(), 1u);
      EXPECT_NEAR(volumes[0], 10.2887 * 0.011249 * 0.008237 * 0.011249, 1e-8);
    }
    // The fountain has holes, but what it holds faces out.
    ReadBack fountain;
    if (ReadConverted(folder + "/fountian.xsi", *format, fountain)) {
      EXPECT_EQ(fountain.counts.faces, 530);
      EXPECT_NEAR(TotalVolume(fountain.polygons), 5.11, 0.01);
    }
    // Eight closed meshes, each facing out.
    ReadBack dance;
    if (ReadConverted(folder + "/DanceMagic.xsi", *format, dance)) {
      EXPECT_EQ(dance.counts.faces, 216);
      const std::vector<double> volumes = ClosedMeshVolumes(dance.polygons);
      EXPECT_EQ(volumes.size(), 8u);
      for (double volume : volumes) EXPECT_GT(volume, 0.0);
    }
  }
}

TEST(ConvertedFiles, NamesBeyondShiftJisReadBackRight) {
  // A UTF-8 document whose names Shift-JIS cannot hold (Hangul): its DXF
  // files are of the version whose text is UTF-8, which must load as well.
  // A closed tetrahedron of two materials and a loose edge.
  const std::string path = TempPath("hangul.mqo");
  WriteOneObjectDocument(path, "Format Text Ver 1.1\r\nCodePage utf8\r\n",
                         {"\"\xED\x95\x9C\" col(1.000 0.000 0.000 1.000)",
                          "\"\xEA\xB5\xAD\" col(0.000 0.000 1.000 1.000)"},
                         "\xEC\x96\xB4 one", {"0 0 0", "100 0 0", "0 100 0", "0 0 100"},
                         {"3 V(0 1 2) M(0)", "3 V(0 3 1) M(1)", "3 V(0 2 3) M(0)", "3 V(1 3 2) M(1)", "2 V(0 3)"});
  EXPECT_GT(CheckDocuments({path}), 0);
}

TEST(ConvertedFiles, JapaneseNamesReachReadersInUtf8) {
  // A Shift-JIS document: object ボディ of material マテリアル. OBJ declares
  // no code page and its readers take UTF-8; glTF is UTF-8 by definition.
  const std::string path = TempPath("japanese.mqo");
  WriteOneObjectDocument(path, "Format Text Ver 1.0\r\n",
                         {"\"\x83\x7d\x83\x65\x83\x8a\x83\x41\x83\x8b\" col(1.000 0.000 0.000 1.000)"},
                         "\x83\x7b\x83\x66\x83\x42", {"0 0 0", "100 0 0", "0 100 0"}, {"3 V(0 1 2) M(0)"});
  for (const char* format : {"obj", "glb"}) {
    SCOPED_TRACE(format);
    const std::string out = TempPath(std::string("japanese.") + format);
    ASSERT_TRUE(Convert(path, out, format));
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out, 0);
    ASSERT_TRUE(scene && scene->mRootNode) << importer.GetErrorString();
    bool found_object = false;
    std::vector<const aiNode*> nodes{scene->mRootNode};
    while (!nodes.empty()) {
      const aiNode* node = nodes.back();
      nodes.pop_back();
      found_object = found_object || std::string(node->mName.C_Str()) == "ボディ";
      for (unsigned i = 0; i < node->mNumChildren; ++i) nodes.push_back(node->mChildren[i]);
    }
    EXPECT_TRUE(found_object);
    bool found_material = false;
    for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
      aiString name;
      scene->mMaterials[m]->Get(AI_MATKEY_NAME, name);
      found_material = found_material || std::string(name.C_Str()) == "マテリアル";
    }
    EXPECT_TRUE(found_material);
  }
}
