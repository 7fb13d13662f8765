// The .mqo reader: the grammar of hand-written documents, its errors with
// their lines, and the real documents of the samples folder when present.
#include "host/mqo_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/mqo_lexer.h"
#include "host/text_in_pieces.h"
#include "test_files.h"

namespace {

// Every text these tests read is also read a piece at a time, which must
// give the same outcome.
bool Parse(const std::string& text, MQDocumentRecord& doc, std::string& error) {
  // An exact-size heap copy, so that the sanitizers see any read past the end.
  std::vector<char> bytes(text.begin(), text.end());
  const bool read = ParseMqoDocument(bytes.data(), bytes.size(), "t.mqo", doc, error);
  ExpectSameInPieces(text, ReadAtHand(text));
  return read;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::vector<float> Coordinates(const MQObjectRecord& obj) {
  std::vector<float> out;
  for (const MQPoint& p : obj.vertices) out.insert(out.end(), {p.x, p.y, p.z});
  return out;
}

std::vector<uint32_t> CoordinateBits(const MQObjectRecord& obj) {
  const std::vector<float> coordinates = Coordinates(obj);
  std::vector<uint32_t> bits(coordinates.size());
  std::memcpy(bits.data(), coordinates.data(), 4 * bits.size());
  return bits;
}

// Every index that the document holds is within its arrays.
void ExpectConsistent(const MQDocumentRecord& doc) {
  for (const auto& obj : doc.objects) {
    const size_t corners = static_cast<size_t>(obj->face_start.back());
    ASSERT_EQ(obj->face_start.size(), obj->face_material.size() + 1);
    ASSERT_EQ(obj->corner_vertex.size(), corners);
    ASSERT_EQ(obj->corner_uvs.size(), corners);
    ASSERT_EQ(obj->corner_color.size(), corners);
    ASSERT_EQ(obj->vertex_colors.size(), obj->vertices.size());
    ASSERT_EQ(obj->vertex_weights.size(), obj->vertices.size());
    for (int32_t v : obj->corner_vertex) ASSERT_TRUE(obj->HasVertex(v));
    for (int32_t m : obj->face_material.ToVector()) ASSERT_TRUE(m >= -1 && m < doc.MaterialCount());
  }
}

// Skipped chunks (a thumbnail closed at column 0, a scene with nested
// lights, MaterialEx2), every material and object attribute, and faces with
// and without UV and COL; no Eof. The first material's name is Shift-JIS
// "so", whose second byte 0x5C is a backslash: the name must end at the
// quote after it.
// The reader takes the plain decimal form of a number by a shortcut; every
// number must read as the general conversion reads it, to the bit.
TEST(MqoReader, ReadsNumbersAsTheGeneralConversionDoes) {
  std::vector<std::string> texts = {"0",        "-0",         "-0.0",     "+1.5",       "00012.500",
                                    "16777217", "16777219.0", "33554434", "0.1",        "1e5",
                                    "1.",       "3.4028235e38", "1234567890123456789", "12345678901234567890",
                                    "0.0000000000000000000001", "0.00000000000000000000001", "9007199254740993"};
  std::mt19937_64 random(7);
  char text[64];
  for (int i = 0; i < 100000; ++i) {
    const uint64_t bits = random();
    // Digits with the point anywhere, leading zeros, a sign.
    std::string digits = (bits & 1) ? "-" : "";
    const int n = 1 + static_cast<int>((bits >> 1) % 24);
    const int point = static_cast<int>((bits >> 6) % static_cast<uint64_t>(n + 1));
    for (int k = 0; k < n; ++k) {
      if (k == point && k > 0) digits += '.';
      digits += static_cast<char>('0' + random() % 10);
    }
    texts.push_back(digits);
    // Floats as writers print them, and halfway points between floats.
    float f;
    const uint32_t low = static_cast<uint32_t>(bits >> 32) & 0x4fffffffu;
    std::memcpy(&f, &low, sizeof f);
    std::snprintf(text, sizeof text, "%.*f", static_cast<int>(bits % 10), static_cast<double>(f));
    texts.push_back(text);
    const double halfway = (static_cast<double>(f) + static_cast<double>(std::nextafter(f, 2.0f * f + 1.0f))) / 2;
    std::snprintf(text, sizeof text, "%.17g", halfway);
    if (!std::strchr(text, 'e')) texts.push_back(text);
  }
  int wrong = 0;
  for (const std::string& t : texts) {
    const std::string line = t + " ";
    MqoLexer lexer(line.data(), line.size());
    float expected = 0.0f;
    const char* digits = t.c_str() + (t[0] == '+');
    const auto r = std::from_chars(digits, t.c_str() + t.size(), expected);
    if (r.ec != std::errc() || r.ptr != t.c_str() + t.size()) continue;
    const float read = lexer.Float();
    uint32_t a, b;
    std::memcpy(&a, &read, sizeof a);
    std::memcpy(&b, &expected, sizeof b);
    if ((a != b || lexer.p != line.data() + t.size()) && ++wrong < 10) ADD_FAILURE() << t;
  }
  EXPECT_EQ(wrong, 0);
}

std::string GrammarDoc() { return Golden("mqo_reader/grammar.mqo"); }

TEST(MqoReader, ReadsTheGrammarWithEitherLineEnd) {
  const std::string grammar = GrammarDoc();
  for (const std::string& text : {grammar, WithCrLf(grammar), grammar + "Eof\n"}) {
    MQDocumentRecord doc;
    std::string error;
    ASSERT_TRUE(Parse(text, doc, error)) << error;
    ExpectConsistent(doc);

    ASSERT_EQ(doc.MaterialCount(), 2);
    const MQMaterialRecord& m0 = *doc.materials[0];
    EXPECT_EQ(m0.name, "\x83\x5C");
    EXPECT_EQ((std::vector<int32_t>{m0.shader, m0.vertex_color}), (std::vector<int32_t>{2, 1}));
    EXPECT_EQ((std::vector<float>{m0.color.r, m0.color.g, m0.color.b, m0.alpha, m0.diffuse, m0.ambient, m0.emission,
                                  m0.specular, m0.power}),
              (std::vector<float>{0.25f, 0.5f, 0.75f, 0.5f, 0.9f, 0.1f, 0.2f, 0.3f, 12.5f}));
    EXPECT_EQ(m0.texture, "C:\\tex\\\x95\x5C.png");
    EXPECT_EQ(m0.alpha_texture, "alpha.png");
    EXPECT_EQ(m0.bump_texture, "bump.png");
    // The second keeps the defaults of what it does not give.
    const MQMaterialRecord& m1 = *doc.materials[1];
    EXPECT_EQ(m1.name, "ArmA[]");
    EXPECT_EQ((std::vector<float>{m1.color.g, m1.alpha, m1.diffuse}), (std::vector<float>{0.0f, 1.0f, 0.8f}));
    EXPECT_EQ(m1.shader, 3);
    EXPECT_EQ(m1.texture, "");

    ASSERT_EQ(doc.ObjectCount(), 1);
    const MQObjectRecord& obj = *doc.objects[0];
    EXPECT_EQ(obj.name, "obj:SUB");
    EXPECT_EQ((std::vector<int64_t>{obj.visible, obj.shading, obj.mirror_type, obj.mirror_axis, obj.lathe_type,
                                    obj.lathe_axis, obj.lathe_segment, obj.patch_type, obj.patch_segment}),
              (std::vector<int64_t>{0, 0, 1, 6, 2, 1, 12, 3, 4}));
    EXPECT_EQ(obj.smooth_angle, 30.5f);
    EXPECT_EQ(obj.mirror_distance, 2.5f);

    EXPECT_EQ(Coordinates(obj), (std::vector<float>{-1, 0, 0, 1.5f, -0.0f, 2, 6.12323426e-17f, 3, -4, 0, 1, 0, 1, 1, 1,
                                                    2, 2, 2}));
    EXPECT_TRUE(std::signbit(obj.vertices[1].y));  // "-0" stays negative zero
    EXPECT_EQ(obj.vertex_colors.ToVector(), std::vector<uint32_t>(6, kWhitePacked));
    EXPECT_EQ(obj.vertex_weights.ToVector(), std::vector<float>(6, 0.0f));

    EXPECT_EQ(obj.face_start.ToVector(), (std::vector<int32_t>{0, 5, 9, 11, 14}));
    EXPECT_EQ(obj.face_material.ToVector(), (std::vector<int32_t>{1, 0, -1, -1}));
    EXPECT_EQ(obj.corner_vertex, (std::vector<int32_t>{0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 5, 0, 2, 4}));
    const float uvs[5][2] = {{0, 0}, {0.5f, 0}, {1, 0.5f}, {0.5f, 1}, {0, 0.5f}};
    for (int c = 0; c < 14; ++c) {
      EXPECT_EQ(obj.CornerUv(c).u, c < 5 ? uvs[c][0] : 0.0f) << c;
      EXPECT_EQ(obj.CornerUv(c).v, c < 5 ? uvs[c][1] : 0.0f) << c;
    }
    EXPECT_EQ(obj.corner_color.ToVector(), (std::vector<uint32_t>{1, 2, 3, 0xFFFFFFFFu, 0, kWhitePacked, kWhitePacked,
                                                       kWhitePacked, kWhitePacked, kWhitePacked, kWhitePacked,
                                                       kWhitePacked, kWhitePacked, kWhitePacked}));
  }
}

// A BVertex chunk of raw little-endian floats whose bytes hold line ends,
// braces and quotes; once with CRLF and the closing brace indented, once
// with LF and the brace at column 0; and raw data inside a skipped chunk.
std::string RawVertexDoc() { return Golden("mqo_reader/raw_vertex.mqo"); }

TEST(MqoReader, ReadsRawVertexDataByByteCount) {
  const std::string text = RawVertexDoc();
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(Parse(text, doc, error)) << error;
  ExpectConsistent(doc);
  ASSERT_EQ(doc.ObjectCount(), 2);
  const MQObjectRecord& a = *doc.objects[0];
  EXPECT_EQ(a.name, "body[12]");
  // The bytes of the floats, read little-endian.
  EXPECT_EQ(CoordinateBits(a), (std::vector<uint32_t>{0xC2C80000u, 0x42C80000u, 0x227D7B0Au, 0x0A0D0A7Du,
                                                      0x7B7D7B22u, 0x3F800000u}));
  EXPECT_EQ(a.corner_vertex, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(CoordinateBits(*doc.objects[1]), (std::vector<uint32_t>{0, 0x7D7D7D7Du, 0x0A0A0A0Au}));
  EXPECT_EQ(doc.objects[1]->FaceCount(), 1);
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
  EXPECT_EQ(doc.objects[0]->face_material.ToVector(), (std::vector<int32_t>{0, 1}));
  EXPECT_FALSE(Parse(head + "Material 1 {\n\t\"a\"\n}\n", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:12: ", 0), 0u) << error;
  EXPECT_NE(error.find("material index 1"), std::string::npos) << error;
}

// A face chunk long enough to be read in two halves at once. Faces vary in
// corner count and attributes, blank lines and line ends vary, colours and
// the largest material index come only in the second half.
std::string LongFaceChunk(int faces) {
  std::string text = "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 3 {\n\t\"a\"\n\t\"b\"\n\t\"c\"\n}\n"
                     "Object \"o\" {\n\tvertex 8 {\n";
  for (int v = 0; v < 8; ++v) text += "\t\t" + std::to_string(v) + " " + std::to_string(v % 3) + " 0\n";
  text += "\t}\n\tface " + std::to_string(faces) + " {\n";
  for (int f = 0; f < faces; ++f) {
    const int n = 3 + f % 3;
    text += "\t\t" + std::to_string(n) + " V(";
    for (int k = 0; k < n; ++k) text += std::to_string((f + k) % 8) + (k + 1 < n ? " " : ")");
    if (f % 7 == 0) text += " M(" + std::to_string(f > faces / 2 ? 2 : f % 2) + ")";
    const auto list = [n](const char* name, const std::string& value) {
      std::string out = std::string(" ") + name + "(";
      for (int k = 0; k < n; ++k) out += value + (k + 1 < n ? " " : ")");
      return out;
    };
    if (f % 5 == 0) text += list("UV", "0.25 " + std::to_string(f % 4));
    if (f > faces / 2 + 3 && f % 11 == 0) text += list("COL", std::to_string(f));
    if (f % 13 == 0) text += " UID(" + std::to_string(f) + ")";
    text += f % 17 == 0 ? "\r\n" : "\n";
    if (f % 19 == 0) text += " \t\n";
  }
  return text + "\t}\n}\nEof\n";
}

struct ReadOutcome {
  bool read = false;
  std::string error;
  std::vector<int32_t> corner_vertex, face_start, face_material;
  std::vector<uint32_t> uv_bits, colors;
  bool operator==(const ReadOutcome& o) const {
    return read == o.read && error == o.error && corner_vertex == o.corner_vertex && face_start == o.face_start &&
           face_material == o.face_material && uv_bits == o.uv_bits && colors == o.colors;
  }
};

ReadOutcome ReadWithThreads(const std::string& text, const char* threads) {
  setenv("VELLMAR_THREADS", threads, 1);
  ReadOutcome out;
  MQDocumentRecord doc;
  out.read = Parse(text, doc, out.error);
  unsetenv("VELLMAR_THREADS");
  if (!out.read) return out;
  const MQObjectRecord& obj = *doc.objects.at(0);
  out.corner_vertex = obj.corner_vertex;
  out.face_start = obj.face_start.ToVector();
  out.face_material = obj.face_material.ToVector();
  out.colors = obj.corner_color.ToVector();
  out.uv_bits.resize(obj.corner_uvs.size() * 2);
  for (size_t c = 0; c < obj.corner_uvs.size(); ++c) {
    const MQCoordinate uv = obj.CornerUv(c);
    std::memcpy(&out.uv_bits[2 * c], &uv, sizeof uv);
  }
  return out;
}

TEST(MqoReader, ReadsALongFaceChunkAsOnePassWouldOnAnyThreadCount) {
  const int faces = 70000;
  const std::string text = LongFaceChunk(faces);
  const ReadOutcome one = ReadWithThreads(text, "1");
  ASSERT_TRUE(one.read) << one.error;
  ASSERT_EQ(one.face_material.size(), static_cast<size_t>(faces));
  EXPECT_EQ(one.face_material[faces / 2 + 7], 2);
  EXPECT_NE(std::count(one.colors.begin(), one.colors.end(), 0xFFFFFFFFu), static_cast<long>(one.colors.size()));
  EXPECT_TRUE(ReadWithThreads(text, "2") == one);

  // Faults in either half, or where the halves meet, are reported as one
  // pass reports them.
  const auto line_at = [&text](size_t percent) { return text.find("\n\t\t", text.size() / 100 * percent) + 1; };
  const auto replace_line = [&text](size_t at, const std::string& line, std::string base) {
    return base.replace(at, base.find('\n', at) - at, line);
  };
  const std::string broken[] = {
      // a vertex index out of range late in the second half
      replace_line(line_at(95), "\t\t3 V(0 1 9)", text),
      // a bare carriage return in a blank line of the first half
      std::string(text).insert(line_at(25), " \r \n"),
      // a line break inside a face's list where the halves meet
      std::string(text).insert(text.find(" V(", line_at(50)) + 3, "\n"),
      // one more face than the count, and one fewer
      std::string(text).insert(line_at(50), "\t\t3 V(0 1 2)\n"),
      std::string(text).erase(line_at(50), text.find('\n', line_at(50)) + 1 - line_at(50)),
      // material indices past the materials, the largest in either half
      replace_line(line_at(30), "\t\t3 V(0 1 2) M(3)", replace_line(line_at(70), "\t\t3 V(0 1 2) M(4)", text)),
      replace_line(line_at(30), "\t\t3 V(0 1 2) M(4)", replace_line(line_at(70), "\t\t3 V(0 1 2) M(3)", text)),
  };
  for (const std::string& doc : broken) {
    const ReadOutcome serial = ReadWithThreads(doc, "1");
    EXPECT_TRUE(ReadWithThreads(doc, "2") == serial) << serial.error;
  }
  EXPECT_NE(ReadWithThreads(broken[0], "2").error.find("vertex index 9"), std::string::npos);
  EXPECT_NE(ReadWithThreads(broken[6], "2").error.find("material index 4"), std::string::npos);
}

TEST(MqoReader, ReportsMalformedInputWithItsLine) {
  // Each case is a line "@@ LINE TEXT" and the document after it, which
  // ends before the line end that precedes the next "@@ " line.
  const std::string all = Golden("mqo_reader/malformed.txt");
  int cases = 0;
  for (size_t at = all.find("\n@@ "); at != std::string::npos; ++cases) {
    const size_t body = all.find('\n', at + 1) + 1;
    const std::string head = all.substr(at + 4, body - 1 - (at + 4));
    at = all.find("\n@@ ", body);
    const std::string text = all.substr(body, (at == std::string::npos ? all.size() - 1 : at) - body);
    const std::string prefix = "t.mqo:" + head.substr(0, head.find(' ')) + ": ";
    const std::string fragment = head.substr(head.find(' ') + 1);
    MQDocumentRecord doc;
    std::string error;
    EXPECT_FALSE(Parse(text, doc, error)) << text;
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << "expected " << prefix << " in: " << error;
    EXPECT_NE(error.find(fragment), std::string::npos) << "expected " << fragment << " in: " << error;
  }
  EXPECT_EQ(cases, 38);

  // Formats other than 1.x text are named in the message, without a line.
  MQDocumentRecord doc;
  std::string error;
  for (const std::string format : {"Format Compress Ver 1.0", "Format Text Ver 2.0", "Format Text Ver 1.x"}) {
    EXPECT_FALSE(Parse("Metasequoia Document\r\n" + format + "\r\n\r\nEof\r\n", doc, error));
    EXPECT_EQ(error, "t.mqo: unsupported format \"" + format + "\"");
  }
  EXPECT_TRUE(Parse("Metasequoia Document\nFormat Text Ver 1.2\nCodePage utf8\n\nEof\n", doc, error)) << error;
  EXPECT_EQ(doc.format_version, "1.2");
  EXPECT_EQ(doc.code_page, "utf8");
  EXPECT_TRUE(Parse("Metasequoia Document\nFormat Text Ver 1.0\n\nEof\n", doc, error)) << error;
  EXPECT_EQ(doc.code_page, "") << "a document that names none";
  for (const char* text : {"Metasequoia\nFormat Text Ver 1.0\n", "", "Metasequoia Document\n"}) {
    EXPECT_FALSE(Parse(text, doc, error));
    EXPECT_EQ(error.rfind("t.mqo:1: ", 0), 0u) << error;
  }
  EXPECT_NE(error.find("unexpected end of file"), std::string::npos) << error;

  // A name, number or word longer than any document holds is malformed on
  // its line, also in a chunk the reader passes over; at the limit, a name
  // is read whole.
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.1\n";
  const std::string at_limit(65536, 'n'), past_limit(65537, '9');
  EXPECT_TRUE(Parse(head + "Object \"" + at_limit + "\" {\n}\nEof\n", doc, error)) << error;
  EXPECT_EQ(doc.objects.at(0)->name, at_limit);
  const std::pair<std::string, std::string> too_long[] = {
      {head + "Object \"o" + at_limit + "\" {\n}\nEof\n", "t.mqo:3: expected a name of at most 65536 bytes"},
      {head + "Object \"o\" {\n\tvertex 1 {\n\t\t0 " + past_limit + " 0\n\t}\n}\n",
       "t.mqo:5: expected a word or number of at most 65536 bytes"},
      {head + "Scene {\n\tpos " + past_limit + "\n}\nEof\n", "t.mqo:4: expected a word or number of at most 65536"},
  };
  for (const auto& [text, message] : too_long) {
    EXPECT_FALSE(Parse(text, doc, error));
    EXPECT_EQ(error.rfind(message, 0), 0u) << error;
  }
}

// The token check goes over the text in slices of a megabyte: a token that
// runs across the end of a slice counts whole, at the limit and past it.
TEST(MqoReader, TokensAcrossTheScansStepsCountWhole) {
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.1\nScene {\n";
  const size_t slice = size_t{1} << 20;
  std::string padding;
  int lines = 3;
  while (head.size() + padding.size() < slice - 1000) {
    padding += "\tpos 0 0 0\n";
    ++lines;
  }
  MQDocumentRecord doc;
  std::string error;
  const std::string at_limit(65536, '7'), past_limit(65537, '7');
  EXPECT_TRUE(Parse(head + padding + "\tpos " + at_limit + "\n}\nEof\n", doc, error)) << error;
  EXPECT_FALSE(Parse(head + padding + "\tpos " + past_limit + "\n}\nEof\n", doc, error));
  EXPECT_EQ(error.rfind("t.mqo:" + std::to_string(lines + 1) + ": expected a word or number of at most 65536", 0),
            0u)
      << error;
}

// Every cut of a document either reads into a consistent document, which
// replaces the one given, or fails with a line and leaves the one given as
// it was; nothing reads past the bytes (the sanitizers watch).
TEST(MqoReader, SurvivesEveryTruncation) {
  for (const std::string& text : {WithCrLf(GrammarDoc()), RawVertexDoc()}) {
    for (size_t n = 0; n <= text.size(); ++n) {
      MQDocumentRecord doc;
      doc.objects.push_back(std::make_unique<MQObjectRecord>());
      doc.objects[0]->name = "before";
      std::string error;
      if (Parse(text.substr(0, n), doc, error)) {
        ExpectConsistent(doc);
        EXPECT_TRUE(n < text.size() || doc.objects[0]->name != "before");
      } else {
        EXPECT_EQ(error.rfind("t.mqo:", 0), 0u) << n << ": " << error;
        ASSERT_EQ(doc.ObjectCount(), 1);
        EXPECT_EQ(doc.objects[0]->name, "before");
      }
    }
  }
}

TEST(MqoReader, ReportsUnreadableFiles) {
  MQDocumentRecord doc;
  std::string error;
  EXPECT_FALSE(ReadMqoDocument("no-such-dir/missing.mqo", doc, error));
  EXPECT_EQ(error.rfind("no-such-dir/missing.mqo: cannot open", 0), 0u) << error;
  // A folder opens as a file here and tells a bogus size.
  const std::string folder = TempFolder("a_folder.mqo");
  EXPECT_FALSE(ReadMqoDocument(folder.c_str(), doc, error));
  EXPECT_EQ(error.rfind(folder + ": cannot read", 0), 0u) << error;
  std::filesystem::remove(folder);

  // Starts like a zip archive but is none; a build without the archive
  // reader refuses every .mqoz.
  const std::string path = TempPath("not_a_zip.mqoz");
  std::ofstream(path, std::ios::binary) << "PK\x03\x04 not an archive";
  EXPECT_FALSE(ReadMqoDocument(path.c_str(), doc, error));
  EXPECT_NE(error.find(VELLMAR_READS_MQOZ ? "zip archive" : ".mqoz is not supported in this build"), std::string::npos)
      << error;
  std::remove(path.c_str());

  // What is no document is refused from its first bytes, even endless input.
  if (FileExists("/dev/zero")) {
    EXPECT_FALSE(ReadMqoDocument("/dev/zero", doc, error));
    EXPECT_EQ(error.rfind("/dev/zero:1: expected \"Metasequoia Document\", found \"???", 0), 0u) << error;
  }
}

TEST(MqoReader, NamesBareCarriageReturnsAndWarnsOfCutDocuments) {
  MQDocumentRecord doc;
  std::string error, warning;
  EXPECT_FALSE(Parse("Metasequoia Document\rFormat Text Ver 1.0\r", doc, error));
  EXPECT_EQ(error, "t.mqo:1: expected the end of the line, found a carriage return without a line feed "
                   "(lines must end in LF or CR LF)");

  // Without "Eof" a document still reads; without any object as well it
  // was most likely cut short.
  const std::string head = "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial 1 {\n\t\"m\"\n}\n";
  for (const std::string& text : {head + "Eof\n", head + "Object \"o\" {\n}\n"}) {
    warning = "x";
    EXPECT_TRUE(ParseMqoDocument(text.data(), text.size(), "t.mqo", doc, error, &warning)) << error;
    EXPECT_EQ(warning, "") << text;
  }
  EXPECT_TRUE(ParseMqoDocument(head.data(), head.size(), "t.mqo", doc, error, &warning)) << error;
  EXPECT_EQ(warning, "t.mqo: the document ends without \"Eof\" and holds no object; it was most likely cut short");
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

  std::map<std::string, std::array<int, 4>> counts;  // objects, vertices, faces, materials
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".mqo" && ext != ".mqoz") continue;
    MQDocumentRecord doc;
    std::string error;
    if (ext == ".mqoz" && !VELLMAR_READS_MQOZ) {
      EXPECT_FALSE(ReadMqoDocument(entry.path().string().c_str(), doc, error));
      continue;
    }
    EXPECT_TRUE(ReadMqoDocument(entry.path().string().c_str(), doc, error)) << error;
    ExpectConsistent(doc);
    std::array<int, 4>& c = counts[entry.path().filename().string()];
    c = {doc.ObjectCount(), 0, 0, doc.MaterialCount()};
    for (const auto& obj : doc.objects) {
      c[1] += obj->VertexCount();
      c[2] += obj->FaceCount();
    }

    if (entry.path().filename() == "nutti_bvertex.mqo") {
      const MQObjectRecord& obj = *doc.objects[0];
      EXPECT_EQ(obj.vertices[0].x, -100.0f);
      EXPECT_EQ(obj.vertices[0].y, 100.0f);
      EXPECT_EQ(obj.vertices[1].y, -100.0f);
      EXPECT_EQ(obj.corner_vertex[0], 0);
      EXPECT_EQ(obj.corner_vertex[1], 2);
    } else if (entry.path().filename() == "shrinkwrap_test.mqo") {
      EXPECT_EQ(doc.objects[0]->name, "\x82\xC5\x82\xA9\x82\xA2\x82\xD9\x82\xA4");  // Shift-JIS
      EXPECT_FALSE(doc.utf8_names);  // CodePage 932
      EXPECT_EQ(doc.materials[0]->alpha, 0.625f);
    } else if (entry.path().filename() == "mqoio_case5_utf8.mqoz") {
      EXPECT_EQ(doc.materials[0]->name, "\xE3\x83\x9E\xE3\x83\x86\xE3\x83\xAA\xE3\x82\xA2\xE3\x83\xAB");
      EXPECT_EQ(doc.objects[0]->name, "\xE4\xB8\x89\xE8\xA7\x92\xE5\xBD\xA2");
      EXPECT_TRUE(doc.utf8_names);  // CodePage utf8
    } else if (entry.path().filename() == "dsan_wild.mqo") {
      EXPECT_EQ(doc.materials[5]->name, "ArmA[]");
    }
  }
  const std::map<std::string, std::array<int, 4>> expected = {
      {"nutti_bvertex.mqo", {1, 8, 6, 0}},        {"binzume_autocsg_sample.mqo", {12, 608, 494, 2}},
      {"shrinkwrap_test.mqo", {4, 1105, 977, 4}}, {"dsan_wild.mqo", {3, 1825, 1792, 10}},
      {"dsan_chan3_bvertex.mqo", {7, 376, 403, 3}}, {"dsan_shodai_noeof.mqo", {7, 376, 403, 3}},
      {"nutti_single_object.mqoz", {1, 8, 6, 0}}, {"mqoio_case5_utf8.mqoz", {1, 3, 1, 1}},
  };
  for (const auto& e : expected) {
    if (!VELLMAR_READS_MQOZ && e.first.find(".mqoz") != std::string::npos) continue;
    EXPECT_EQ(counts[e.first], e.second) << e.first;
  }
}

}  // namespace
