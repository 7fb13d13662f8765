// The .mqo reader: the grammar of hand-written documents, its errors with
// their lines, and the real documents of the samples folder when present.
#include "host/mqo_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

bool Parse(const std::string& text, MQDocumentRecord& doc, std::string& error) {
  // An exact-size heap copy, so that the sanitizers see any read past the end.
  std::vector<char> bytes(text.begin(), text.end());
  return ParseMqoDocument(bytes.data(), bytes.size(), "t.mqo", doc, error);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

uint32_t Bits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Every index that the document holds is within its arrays.
void ExpectConsistent(const MQDocumentRecord& doc) {
  for (const auto& obj : doc.objects) {
    const size_t corners = static_cast<size_t>(obj->face_start.back());
    ASSERT_EQ(obj->face_start.size(), obj->face_material.size() + 1);
    ASSERT_EQ(obj->corner_vertex.size(), corners);
    ASSERT_EQ(obj->corner_uv.size(), corners);
    ASSERT_EQ(obj->corner_color.size(), corners);
    ASSERT_EQ(obj->vertex_colors.size(), obj->vertices.size());
    ASSERT_EQ(obj->vertex_weights.size(), obj->vertices.size());
    for (int32_t v : obj->corner_vertex) ASSERT_TRUE(obj->HasVertex(v));
    for (int32_t m : obj->face_material) ASSERT_TRUE(m >= -1 && m < doc.MaterialCount());
  }
}

// Shift-JIS "so" ends in 0x5C, a backslash: the name must end at the quote after it.
const std::string kSjisSo = "\x83\x5C";

// Skipped chunks (a thumbnail closed at column 0, a scene with nested
// lights, MaterialEx2), every material and object attribute, and faces with
// and without UV and COL; no Eof.
const std::string kGrammarDoc = R"mqo(Metasequoia Document
Format Text Ver 1.1
CodePage 932

Thumbnail 4 2 24 rgb raw {
	7B7D227B7D22
	5B39365D0A0A
}
IncludeXml "x{[4]"
Scene {
	pos 0 0 1500
	dirlights 2 {
		light {
			dir 0.408 0.408 0.816
			color 1.000 1.000 1.000
		}
		light {
			dir 0 1 0
		}
	}
}
Material 2 {
	")mqo" + kSjisSo + R"mqo(" shader(2) vcol(1) uid(7) col(0.25 0.5 0.75 0.5) dif(0.9) amb(0.1) emi(0.2) spc(0.3) power(12.5) reflect(0.188) proj_pos(0 0 0) note("a)b") tex("C:\tex\)mqo" "\x95\x5C" R"mqo(.png") aplane("alpha.png") bump("bump.png")
	"ArmA[]" col(1 0 0 1)
}
MaterialEx2 1 {
	material 0 {
		shadertype "hlsl"
		shaderparam 1 {
			Metallic float 0.25
		}
	}
}
Object "obj:SUB" {
	uid 3
	depth 1
	scale 1 1 1
	visible 0
	locking 1
	shading 0
	facet 30.5
	color 0.898 0.498 0.698
	mirror 1
	mirror_axis 6
	mirror_dis 2.5
	lathe 2
	lathe_axis 1
	lathe_seg 12
	patch 3
	segment 4
	later_keyword 1 2 "x}"
	vertex 6 {
		-1 0 0
		1.5 -0 2
		6.12323426e-17 3 -4
		0 1 0
		1 1 1
		2 2 2
	}
	vertexattr {
		uid {
			1
			2
		}
	}
	face 4 {
		5 V(0 1 2 3 4) M(1) UID(9) UV(0 0 0.5 0 1 0.5 0.5 1 0 0.5) COL(1 2 3 4294967295 0)
		4 V(0 1 2 3) M(0)
		2 V(4 5)
		3 V(0 2 4) N(2 2 2 0 0 1 0 0 1 0 0 1) CRS(0 0 0)
	}
}
)mqo";

TEST(MqoReader, ReadsTheGrammarWithEitherLineEnd) {
  for (const std::string& text : {kGrammarDoc, WithCrLf(kGrammarDoc), kGrammarDoc + "Eof\n"}) {
    MQDocumentRecord doc;
    std::string error;
    ASSERT_TRUE(Parse(text, doc, error)) << error;
    ExpectConsistent(doc);

    ASSERT_EQ(doc.MaterialCount(), 2);
    const MQMaterialRecord& m0 = *doc.materials[0];
    EXPECT_EQ(m0.name, kSjisSo);
    EXPECT_EQ(m0.shader, 2);
    EXPECT_EQ(m0.vertex_color, 1);
    EXPECT_EQ(m0.color.r, 0.25f);
    EXPECT_EQ(m0.color.g, 0.5f);
    EXPECT_EQ(m0.color.b, 0.75f);
    EXPECT_EQ(m0.alpha, 0.5f);
    EXPECT_EQ(m0.diffuse, 0.9f);
    EXPECT_EQ(m0.ambient, 0.1f);
    EXPECT_EQ(m0.emission, 0.2f);
    EXPECT_EQ(m0.specular, 0.3f);
    EXPECT_EQ(m0.power, 12.5f);
    EXPECT_EQ(m0.texture, "C:\\tex\\\x95\x5C.png");
    EXPECT_EQ(m0.alpha_texture, "alpha.png");
    EXPECT_EQ(m0.bump_texture, "bump.png");
    const MQMaterialRecord& m1 = *doc.materials[1];
    EXPECT_EQ(m1.name, "ArmA[]");
    EXPECT_EQ(m1.color.g, 0.0f);
    EXPECT_EQ(m1.alpha, 1.0f);
    EXPECT_EQ(m1.diffuse, 0.8f);  // untouched defaults
    EXPECT_EQ(m1.shader, 3);
    EXPECT_EQ(m1.texture, "");

    ASSERT_EQ(doc.ObjectCount(), 1);
    const MQObjectRecord& obj = *doc.objects[0];
    EXPECT_EQ(obj.name, "obj:SUB");
    EXPECT_EQ(obj.visible, 0u);
    EXPECT_EQ(obj.shading, 0);
    EXPECT_EQ(obj.smooth_angle, 30.5f);
    EXPECT_EQ(obj.mirror_type, 1);
    EXPECT_EQ(obj.mirror_axis, 6u);
    EXPECT_EQ(obj.mirror_distance, 2.5f);
    EXPECT_EQ(obj.lathe_type, 2);
    EXPECT_EQ(obj.lathe_axis, 1);
    EXPECT_EQ(obj.lathe_segment, 12);
    EXPECT_EQ(obj.patch_type, 3);
    EXPECT_EQ(obj.patch_segment, 4);

    ASSERT_EQ(obj.VertexCount(), 6);
    EXPECT_EQ(obj.vertices[0].x, -1.0f);
    EXPECT_EQ(obj.vertices[1].x, 1.5f);
    EXPECT_TRUE(std::signbit(obj.vertices[1].y));  // "-0" stays negative zero
    EXPECT_EQ(obj.vertices[2].x, 6.12323426e-17f);
    EXPECT_EQ(obj.vertices[2].z, -4.0f);
    EXPECT_EQ(obj.vertices[5].y, 2.0f);
    EXPECT_EQ(obj.vertex_colors, std::vector<uint32_t>(6, kWhitePacked));
    EXPECT_EQ(obj.vertex_weights, std::vector<float>(6, 0.0f));

    EXPECT_EQ(obj.face_start, (std::vector<int32_t>{0, 5, 9, 11, 14}));
    EXPECT_EQ(obj.face_material, (std::vector<int32_t>{1, 0, -1, -1}));
    EXPECT_EQ(obj.corner_vertex, (std::vector<int32_t>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 5, 0, 2, 4}));
    const float uvs[5][2] = {{0, 0}, {0.5f, 0}, {1, 0.5f}, {0.5f, 1}, {0, 0.5f}};
    for (int c = 0; c < 14; ++c) {
      EXPECT_EQ(obj.corner_uv[c].u, c < 5 ? uvs[c][0] : 0.0f) << c;
      EXPECT_EQ(obj.corner_uv[c].v, c < 5 ? uvs[c][1] : 0.0f) << c;
    }
    EXPECT_EQ(obj.corner_color, (std::vector<uint32_t>{1, 2, 3, 0xFFFFFFFFu, 0, kWhitePacked, kWhitePacked,
                                                       kWhitePacked, kWhitePacked, kWhitePacked, kWhitePacked,
                                                       kWhitePacked, kWhitePacked, kWhitePacked}));
  }
}

// A BVertex chunk of raw little-endian floats whose bytes hold line ends,
// braces and quotes; once with CRLF and the closing brace indented, once
// with LF and the brace at column 0; and raw data inside a skipped chunk.
std::string RawVertexDoc() {
  const std::string v0 = std::string("\x00\x00\xC8\xC2\x00\x00\xC8\x42\x0A\x7B\x7D\x22", 12);
  const std::string v1 = std::string("\x7D\x0A\x0D\x0A\x22\x7B\x7D\x7B\x00\x00\x80\x3F", 12);
  const std::string w0 = std::string("\x00\x00\x00\x00\x7D\x7D\x7D\x7D\x0A\x0A\x0A\x0A", 12);
  return
      "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\n"
      "Object \"body[12]\" {\r\n"
      "\tBVertex 2 {\r\n"
      "\t\tVector 2 [24]\r\n" + v0 + v1 + "\r\n"
      "\t}\r\n"
      "\tface 1 {\r\n"
      "\t\t2 V(0 1)\r\n"
      "\t}\r\n"
      "}\r\n"
      "Object \"b\" {\n"
      "\tBVertex 1 {\n"
      "\t\tVector 1 [12]\n" + w0 + "\n"
      "}\n"
      "\tBlob 1 {\n"
      "\t\tData 1 [6]\n"
      "}}\n{\"\n\n"
      "\t}\n"
      "\tface 1 {\n"
      "\t\t1 V(0)\n"
      "\t}\n"
      "}\n"
      "Eof\n";
}

TEST(MqoReader, ReadsRawVertexDataByByteCount) {
  const std::string text = RawVertexDoc();
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(Parse(text, doc, error)) << error;
  ExpectConsistent(doc);
  ASSERT_EQ(doc.ObjectCount(), 2);
  const MQObjectRecord& a = *doc.objects[0];
  EXPECT_EQ(a.name, "body[12]");
  ASSERT_EQ(a.VertexCount(), 2);
  EXPECT_EQ(a.vertices[0].x, -100.0f);
  EXPECT_EQ(a.vertices[0].y, 100.0f);
  EXPECT_EQ(Bits(a.vertices[0].z), 0x227D7B0Au);
  EXPECT_EQ(Bits(a.vertices[1].x), 0x0A0D0A7Du);
  EXPECT_EQ(Bits(a.vertices[1].y), 0x7B7D7B22u);
  EXPECT_EQ(a.vertices[1].z, 1.0f);
  EXPECT_EQ(a.corner_vertex, (std::vector<int32_t>{0, 1}));
  const MQObjectRecord& b = *doc.objects[1];
  ASSERT_EQ(b.VertexCount(), 1);
  EXPECT_EQ(b.vertices[0].x, 0.0f);
  EXPECT_EQ(Bits(b.vertices[0].y), 0x7D7D7D7Du);
  EXPECT_EQ(Bits(b.vertices[0].z), 0x0A0A0A0Au);
  EXPECT_EQ(b.FaceCount(), 1);
}

// Materials may follow the objects that use them: the index is checked
// against the materials of the whole file.
TEST(MqoReader, ChecksMaterialIndicesAgainstTheWholeFile) {
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n\n"
                           "Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n"
                           "\tface 2 {\n\t\t3 V(0 1 2) M(0)\n\t\t3 V(0 2 1) M(1)\n\t}\n}\n";
  MQDocumentRecord doc;
  std::string error;
  EXPECT_TRUE(Parse(head + "Material 2 {\n\t\"a\"\n\t\"b\"\n}\n", doc, error)) << error;
  EXPECT_EQ(doc.objects[0]->face_material, (std::vector<int32_t>{0, 1}));
  EXPECT_FALSE(Parse(head + "Material 1 {\n\t\"a\"\n}\n", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:12: ", 0), 0u) << error;
  EXPECT_NE(error.find("material index 1"), std::string::npos) << error;
}

TEST(MqoReader, ReportsMalformedInputWithItsLine) {
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n\n";  // lines 1-3
  const std::string triangle = "Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n";  // 4-9
  struct Case {
    std::string body;
    int line;
    std::string fragment;
  };
  const Case cases[] = {
      // Truncated inside a vertex chunk: the error is at the last line.
      {"Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0", 7, "found the end of the file"},
      {"Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n", 6, "unexpected end of file"},
      {"Scene {\n\tpos 0 0 0\n", 5, "\"Scene\" opened at line 4"},
      {triangle, 9, "object \"o\" opened at line 4"},
      {"Object \"o\" {\n\tvertex 1 {\n\t\t0 1.5.2 0\n\t}\n}\n", 6, "\"1.5.2\""},
      {"Object \"o\" {\n\tvertex 1 {\n\t\t0 x 0\n\t}\n}\n", 6, "expected a finite number"},
      {"Object \"o\" {\n\tvertex 1 {\n\t\tnan 0 0\n\t}\n}\n", 6, "expected a finite number"},
      {"Object \"o\" {\n\tvertex 1 {\n\t\t1e39 0 0\n\t}\n}\n", 6, "expected a finite number"},
      {"Object \"o\" {\n\tvertex 1 {\n\t\t0 0 0 0\n\t}\n}\n", 6, "end of the line"},
      {"Object \"o\" {\n\tvisible x\n}\n", 5, "expected an unsigned integer"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 3)\n\t}\n}\n", 11, "vertex index 3 is out of range"},
      {triangle + "\tface 1 {\n\t\t3 V(0 -1 2)\n\t}\n}\n", 11, "vertex index -1 is out of range"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2) M(0)\n\t}\n}\n", 11, "material index 0 is out of range"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2) M(-2)\n\t}\n}\n", 11, "material index of -1 or more"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1)\n\t}\n}\n", 11, "V(...) holds 2 values, expected 3"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2 0)\n\t}\n}\n", 11, "V(...) holds more than"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2) UV(0 0 1 0 1)\n\t}\n}\n", 11, "UV(...) holds 5 values, expected 6"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2) COL(1 2 x)\n\t}\n}\n", 11, "expected an unsigned integer"},
      {triangle + "\tface 1 {\n\t\t3 M(0)\n\t}\n}\n", 11, "expected V(...)"},
      {triangle + "\tface 1 {\n\t\t3 V(0 1 2\n\t}\n}\n", 11, "lacks its ')'"},
      {triangle + "\tface 1 {\n\t\t0 V()\n\t}\n}\n", 11, "corner count of 1 or more"},
      {triangle + "\tface 2 {\n\t\t3 V(0 1 2)\n\t}\n}\n", 12, "expected 2 faces, found 1"},
      // Count mismatches: a missing line and a surplus one.
      {"Object \"o\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t}\n}\n", 8, "expected 3 vertices, found 2"},
      {"Object \"o\" {\n\tvertex 1 {\n\t\t0 0 0\n\t\t1 0 0\n\t}\n}\n", 7, "expected '}'"},
      {"Material 2 {\n\t\"a\"\n}\n", 6, "expected 2 materials, found 1"},
      {"Material 1 {\n\t\"a\" col(1 1)\n}\n", 5, "expected a finite number"},
      {"Material 1 {\n\t\"a\" tex(\"x.png)\n}\n", 5, "closing '\"'"},
      {"Material 1 {\n\t\"a\" uid(1\n}\n", 5, "expected ')'"},
      // Unbalanced braces.
      {"Scene {\n}\n}\n", 6, "unexpected '}'"},
      {"Scene {\n\tpos 0 0 0 }\n}\n", 6, "unexpected '}'"},
      {"Object \"o\" {\n}\n}\nEof\n", 6, "unexpected '}'"},
      // Raw data: a size that does not fit the count, and data cut short.
      {"Object \"o\" {\n\tBVertex 2 {\n\t\tVector 2 [23]\n", 6, "expected [24]"},
      {"Object \"o\" {\n\tBVertex 2 {\n\t\tVector 2 [24]\n0123456789", 6, "expected 24 bytes of raw"},
      {"Object \"o\" {\n\tBVertex 2 {\n\t\tVector 1 [12]\n", 6, "expected 2 vectors"},
      {"Scene {\n\tblob [99]\n}\n", 5, "expected 99 bytes of raw data"},
      // Lines after raw data count the line ends inside it (two here).
      {"Object \"o\" {\n\tBVertex 1 {\n\t\tVector 1 [12]\n" + std::string("\0\0\n\0\0\0\n\0\0\0\0\0", 12) +
           "\n\t}\n\tvisible x\n}\n",
       11, "expected an unsigned integer"},
      {"Object o {\n}\n", 4, "expected a name in double quotes"},
  };
  for (const Case& c : cases) {
    MQDocumentRecord doc;
    std::string error;
    EXPECT_FALSE(Parse(head + c.body, doc, error)) << c.body;
    const std::string prefix = "t.mqo:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << "expected " << prefix << " in: " << error;
    EXPECT_NE(error.find(c.fragment), std::string::npos) << "expected " << c.fragment << " in: " << error;
  }

  // Formats other than 1.x text are named in the message, without a line.
  MQDocumentRecord doc;
  std::string error;
  EXPECT_FALSE(Parse("Metasequoia Document\r\nFormat Compress Ver 1.0\r\n", doc, error));
  EXPECT_EQ(error, "t.mqo: unsupported format \"Format Compress Ver 1.0\"");
  EXPECT_FALSE(Parse("Metasequoia Document\nFormat Text Ver 2.0\n\nEof\n", doc, error));
  EXPECT_EQ(error, "t.mqo: unsupported format \"Format Text Ver 2.0\"");
  EXPECT_FALSE(Parse("Metasequoia Document\nFormat Text Ver 1.x\n\nEof\n", doc, error));
  EXPECT_EQ(error, "t.mqo: unsupported format \"Format Text Ver 1.x\"");
  EXPECT_TRUE(Parse("Metasequoia Document\nFormat Text Ver 1.2\nCodePage utf8\n\nEof\n", doc, error)) << error;
  EXPECT_FALSE(Parse("Metasequoia\nFormat Text Ver 1.0\n", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:1: ", 0), 0u) << error;
  EXPECT_FALSE(Parse("", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:1: ", 0), 0u) << error;
  EXPECT_FALSE(Parse("Metasequoia Document\n", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:1: unexpected end of file", 0), 0u) << error;
}

// A failed read leaves the document as it was; a good one replaces it.
TEST(MqoReader, ReplacesTheDocumentOnlyOnSuccess) {
  MQDocumentRecord doc;
  doc.objects.push_back(std::make_unique<MQObjectRecord>());
  doc.objects[0]->name = "before";
  std::string error;
  EXPECT_FALSE(Parse(kGrammarDoc.substr(0, kGrammarDoc.size() / 2), doc, error));
  ASSERT_EQ(doc.ObjectCount(), 1);
  EXPECT_EQ(doc.objects[0]->name, "before");
  EXPECT_TRUE(Parse(kGrammarDoc, doc, error)) << error;
  ASSERT_EQ(doc.ObjectCount(), 1);
  EXPECT_EQ(doc.objects[0]->name, "obj:SUB");
}

// Every cut of a document either reads into a consistent document or fails
// with a line; nothing reads past the bytes (the sanitizers watch).
TEST(MqoReader, SurvivesEveryTruncation) {
  for (const std::string& text : {WithCrLf(kGrammarDoc), RawVertexDoc()}) {
    for (size_t n = 0; n <= text.size(); ++n) {
      MQDocumentRecord doc;
      std::string error;
      if (Parse(text.substr(0, n), doc, error)) {
        ExpectConsistent(doc);
      } else {
        EXPECT_EQ(error.rfind("t.mqo:", 0), 0u) << n << ": " << error;
      }
    }
  }
}

TEST(MqoReader, ReportsUnreadableFiles) {
  MQDocumentRecord doc;
  std::string error;
  EXPECT_FALSE(ReadMqoDocument("no-such-dir/missing.mqo", doc, error));
  EXPECT_EQ(error.rfind("no-such-dir/missing.mqo: cannot open", 0), 0u) << error;

  // Starts like a zip archive but is none.
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "vellmar_not_a_zip.mqoz";
  {
    std::ofstream out(path, std::ios::binary);
    out << "PK\x03\x04 not an archive";
  }
  EXPECT_FALSE(ReadMqoDocument(path.string().c_str(), doc, error));
  EXPECT_NE(error.find("zip archive"), std::string::npos) << error;
  std::filesystem::remove(path);
}

// The real documents of the samples folder (given by the build, or by the
// environment variable VELLMAR_MQO_SAMPLES).
std::filesystem::path SamplesFolder() {
  const char* from_env = std::getenv("VELLMAR_MQO_SAMPLES");
  return (from_env != nullptr && *from_env != '\0') ? from_env : VELLMAR_MQO_SAMPLES;
}

TEST(MqoReader, ReadsTheRealDocuments) {
  const std::filesystem::path folder = SamplesFolder();
  if (folder.empty() || !std::filesystem::is_directory(folder)) GTEST_SKIP() << "no samples folder";

  struct Counts {
    int objects, vertices, faces, materials;
  };
  std::map<std::string, Counts> counts;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".mqo" && ext != ".mqoz") continue;
    MQDocumentRecord doc;
    std::string error;
    EXPECT_TRUE(ReadMqoDocument(entry.path().string().c_str(), doc, error)) << error;
    ExpectConsistent(doc);
    Counts c{doc.ObjectCount(), 0, 0, doc.MaterialCount()};
    for (const auto& obj : doc.objects) {
      c.vertices += obj->VertexCount();
      c.faces += obj->FaceCount();
    }
    counts[entry.path().filename().string()] = c;

    if (entry.path().filename() == "nutti_bvertex.mqo") {
      const MQObjectRecord& obj = *doc.objects[0];
      EXPECT_EQ(obj.vertices[0].x, -100.0f);
      EXPECT_EQ(obj.vertices[0].y, 100.0f);
      EXPECT_EQ(obj.vertices[1].y, -100.0f);
      EXPECT_EQ(obj.corner_vertex[0], 0);
      EXPECT_EQ(obj.corner_vertex[1], 2);
    } else if (entry.path().filename() == "shrinkwrap_test.mqo") {
      EXPECT_EQ(doc.objects[0]->name, "\x82\xC5\x82\xA9\x82\xA2\x82\xD9\x82\xA4");  // Shift-JIS
      EXPECT_EQ(doc.materials[0]->alpha, 0.625f);
    } else if (entry.path().filename() == "mqoio_case5_utf8.mqoz") {
      EXPECT_EQ(doc.materials[0]->name, "\xE3\x83\x9E\xE3\x83\x86\xE3\x83\xAA\xE3\x82\xA2\xE3\x83\xAB");
      EXPECT_EQ(doc.objects[0]->name, "\xE4\xB8\x89\xE8\xA7\x92\xE5\xBD\xA2");
    } else if (entry.path().filename() == "dsan_wild.mqo") {
      EXPECT_EQ(doc.materials[5]->name, "ArmA[]");
    }
  }
  struct Expected {
    const char* file;
    Counts counts;
  };
  const Expected expected[] = {
      {"nutti_bvertex.mqo", {1, 8, 6, 0}},
      {"binzume_autocsg_sample.mqo", {12, 608, 494, 2}},
      {"shrinkwrap_test.mqo", {4, 1105, 977, 4}},
      {"dsan_wild.mqo", {3, 1825, 1792, 10}},
      {"dsan_chan3_bvertex.mqo", {7, 376, 403, 3}},
      {"dsan_shodai_noeof.mqo", {7, 376, 403, 3}},
      {"nutti_single_object.mqoz", {1, 8, 6, 0}},
      {"mqoio_case5_utf8.mqoz", {1, 3, 1, 1}},
  };
  for (const Expected& e : expected) {
    ASSERT_TRUE(counts.count(e.file)) << e.file;
    const Counts& c = counts[e.file];
    EXPECT_EQ(c.objects, e.counts.objects) << e.file;
    EXPECT_EQ(c.vertices, e.counts.vertices) << e.file;
    EXPECT_EQ(c.faces, e.counts.faces) << e.file;
    EXPECT_EQ(c.materials, e.counts.materials) << e.file;
  }
}

}  // namespace
