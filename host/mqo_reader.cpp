// The grammar of .mqo document text: the header, the material list and the
// objects with their vertices and faces; every other chunk is skipped.
#include "host/mqo_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "host/mqo_lexer.h"
#include "host/token_limit.h"
#include "w_lib/util/parallel.h"

namespace {

constexpr int32_t kMaxCorners = std::numeric_limits<int32_t>::max();

// A face chunk of this many lines or more is read in two halves at once
// when there is a second thread for it.
constexpr int32_t kMinFacesToSplit = 1 << 16;

// The token check's step over a document's text.
constexpr size_t kScanSlice = size_t{1} << 20;

// Shortest lines of a material ("\"\"\n"), a vertex ("0 0 0\n") and a face
// ("1 V(0)\n"), and the shortest corner ("0 "): a count in a chunk head can
// claim no more entries than the remaining bytes can hold, so a lying count
// cannot reserve more than the file is worth.
constexpr size_t kMinMaterialLine = 3;
constexpr size_t kMinVertexLine = 6;
constexpr size_t kMinFaceLine = 7;
constexpr size_t kMinCornerBytes = 2;

size_t Capped(int32_t count, size_t remaining, size_t min_bytes) {
  return std::min(static_cast<size_t>(count), remaining / min_bytes);
}

float LittleEndianFloat(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  const uint32_t bits = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                        static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

class MqoParser {
 public:
  MqoParser(const char* data, size_t size, MQDocumentRecord& doc) : lex_(data, size), doc_(doc) {}
  MqoParser(MqoTextWindow& text, MQDocumentRecord& doc) : lex_(text), doc_(doc) {}

  // True once the "Eof" line was read.
  bool saw_eof = false;

  void Parse() {
    ParseHeader();
    ParseBody();
    if (max_material_ >= doc_.MaterialCount())
      MqoLexer::FailAt(max_material_line_, "material index " + std::to_string(max_material_) +
                                               " is out of range (the document has " +
                                               std::to_string(doc_.MaterialCount()) + " materials)");
  }

 private:
  void ParseHeader();
  void ParseBody();
  void ParseMaterials();
  void ParseMaterialLine(MQMaterialRecord& mat);
  void ParseObject();
  void ParseVertices(MQObjectRecord& obj);
  void ParseBVertices(MQObjectRecord& obj);
  void ParseVector(MQObjectRecord& obj, int32_t chunk_count);
  void ParseFaces(MQObjectRecord& obj);
  // Reads the face lines from..to - 1 of a chunk of count into obj's face
  // and corner arrays, its corners from used on.
  void ParseFaceLines(MQObjectRecord& obj, int32_t from, int32_t to, int32_t count, int opened, size_t& used,
                      uint32_t vertex_count);
  // Reads the chunk's count face lines in two halves at once. False, with
  // the object and the position as they were, when either half fails or the
  // halves do not meet where one pass would go from one to the other: the
  // caller then reads them in one pass, which reports any fault in its place.
  bool ParseFacesInTwo(MQObjectRecord& obj, int32_t count, int opened, size_t& used, uint32_t vertex_count);
  // Reads one face line into the corner arrays at used, which it advances.
  void ParseFace(MQObjectRecord& obj, size_t& used, uint32_t vertex_count);
  // Reads the count values of an attribute's list up to its ')', handing
  // each index to read_value.
  template <typename ReadValue>
  void ReadList(const char* attribute, int32_t count, ReadValue read_value);
  // After the entries of a counted chunk its '}' must come.
  void ExpectChunkEnd(const char* chunk, int32_t count, int opened_line);

  MqoLexer lex_;
  MQDocumentRecord& doc_;
  // The largest face material index and the first line that used it: the
  // materials must cover it once the whole file is read.
  int32_t max_material_ = -1;
  int max_material_line_ = 0;
};

// The start of a line for messages, control bytes shown as '?' so that the
// message stays one printable line.
std::string LineText(const char* from, const char* end) {
  const char* to = from;
  while (to != end && *to != '\n' && *to != '\r' && to - from < 80) ++to;
  while (to != from && (to[-1] == ' ' || to[-1] == '\t')) --to;
  std::string text(from, to);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

// The first line, after a UTF-8 byte order mark: empty when it is right,
// otherwise what the message quotes.
const char kFirstLine[] = "Metasequoia Document";

const char* SkipBom(const char* p, const char* end) {
  return end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? p + 3 : p;
}

std::string FirstLineFault(const char* data, size_t size) {
  std::string first = LineText(SkipBom(data, data + size), data + size);
  if (first == kFirstLine) return std::string();
  // The line of a file that is no document may be any bytes: the message
  // quotes them as plain ASCII.
  for (char& c : first)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return "expected \"" + std::string(kFirstLine) + "\", found \"" + first + "\"";
}

void MqoParser::ParseHeader() {
  lex_.HoldLine();
  lex_.p = SkipBom(lex_.p, lex_.end);
  const std::string fault = FirstLineFault(lex_.p, static_cast<size_t>(lex_.end - lex_.p));
  if (!fault.empty()) lex_.Fail(fault);
  lex_.p += std::strlen(kFirstLine);
  lex_.EndLine();
  lex_.HoldLine();
  if (lex_.AtLineEnd() && lex_.p == lex_.end)
    lex_.FailAtEnd("expected the format line \"Format Text Ver 1.x\"");

  // "Format Text Ver 1.x": every 1.x text version shares the chunks read
  // here. Compressed or other formats name themselves in the message.
  const std::string format = LineText(lex_.p, lex_.end);
  if (format.empty()) lex_.Fail("expected the format line \"Format Text Ver 1.x\"");
  const bool text = lex_.Word() == "Format" && lex_.Word() == "Text" && lex_.Word() == "Ver";
  bool version_1 = false;
  if (text && lex_.Word() == "1" && lex_.Accept('.')) {
    const std::string_view minor = lex_.Word();
    version_1 = !minor.empty() && lex_.AtLineEnd() &&
                std::all_of(minor.begin(), minor.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (version_1) doc_.format_version = "1." + std::string(minor);
  }
  if (!version_1) MqoLexer::FailAt(0, "unsupported format \"" + format + "\"");
  lex_.EndLine();
}

void MqoParser::ParseBody() {
  while (lex_.NextContentLine()) {
    const int line = lex_.line;
    if (*lex_.p == '}') lex_.Fail("unexpected '}' outside any chunk");
    const std::string_view keyword = lex_.Word();
    if (keyword == "Eof") {
      saw_eof = true;
      return;
    }
    if (keyword == "Material") {
      ParseMaterials();
    } else if (keyword == "Object") {
      ParseObject();
    } else if (keyword == "CodePage") {
      // "CodePage utf8" or a Windows code page number (932).
      doc_.code_page = std::string(lex_.Word());
      doc_.utf8_names = doc_.code_page == "utf8";
      lex_.SkipItem(keyword, line);
    } else {
      // CodePage, Scene, Thumbnail, IncludeXml, BackImage, MaterialEx2 ...
      lex_.SkipItem(keyword, line);
    }
  }
}

void MqoParser::ExpectChunkEnd(const char* chunk, int32_t count, int opened_line) {
  if (!lex_.NextContentLine())
    lex_.FailAtEnd("expected '}' closing \"" + std::string(chunk) + "\" opened at line " +
                   std::to_string(opened_line));
  if (*lex_.p != '}')
    lex_.Fail("expected '}' after the " + std::to_string(count) + " entries of \"" + chunk + "\"");
  ++lex_.p;
  lex_.EndLine();
}

void MqoParser::ParseMaterials() {
  const int opened = lex_.line;
  const int32_t count = lex_.Count();
  lex_.Expect('{');
  lex_.EndLine();
  doc_.materials.reserve(doc_.materials.size() + Capped(count, lex_.Remaining(), kMinMaterialLine));
  for (int32_t i = 0; i < count; ++i) {
    if (!lex_.NextContentLine())
      lex_.FailAtEnd("expected " + std::to_string(count) + " materials in \"Material\" opened at line " +
                     std::to_string(opened) + ", found " + std::to_string(i));
    if (*lex_.p == '}')
      lex_.Fail("expected " + std::to_string(count) + " materials, found " + std::to_string(i));
    doc_.materials.push_back(std::make_unique<MQMaterialRecord>());
    ParseMaterialLine(*doc_.materials.back());
  }
  ExpectChunkEnd("Material", count, opened);
}

void MqoParser::ParseMaterialLine(MQMaterialRecord& mat) {
  mat.name = lex_.Quoted();
  while (!lex_.AtLineEnd()) {
    const std::string_view attribute = lex_.Word();
    if (attribute.empty()) lex_.Fail("expected a material attribute name(...), found " + lex_.Excerpt());
    lex_.Expect('(');
    if (attribute == "col") {
      mat.color.r = lex_.Float();
      mat.color.g = lex_.Float();
      mat.color.b = lex_.Float();
      if (!lex_.Accept(')')) {
        mat.alpha = lex_.Float();
        lex_.Expect(')');
      }
      continue;
    }
    if (attribute == "dif") {
      mat.diffuse = lex_.Float();
    } else if (attribute == "amb") {
      mat.ambient = lex_.Float();
    } else if (attribute == "emi") {
      mat.emission = lex_.Float();
    } else if (attribute == "spc") {
      mat.specular = lex_.Float();
    } else if (attribute == "power") {
      mat.power = lex_.Float();
    } else if (attribute == "shader") {
      mat.shader = lex_.Int();
    } else if (attribute == "vcol") {
      mat.vertex_color = lex_.Int();
    } else if (attribute == "tex") {
      mat.texture = lex_.Quoted();
    } else if (attribute == "aplane") {
      mat.alpha_texture = lex_.Quoted();
    } else if (attribute == "bump") {
      mat.bump_texture = lex_.Quoted();
    } else {
      // uid, reflect, refract, proj_type, proj_pos, proj_scale, proj_angle ...
      lex_.SkipArguments();
      continue;
    }
    lex_.Expect(')');
  }
  lex_.EndLine();
}

void MqoParser::ParseObject() {
  const int opened = lex_.line;
  const std::string_view name = lex_.Quoted();
  lex_.Expect('{');
  lex_.EndLine();
  doc_.objects.push_back(std::make_unique<MQObjectRecord>());
  MQObjectRecord& obj = *doc_.objects.back();
  obj.name = name;
  for (;;) {
    if (!lex_.NextContentLine())
      lex_.FailAtEnd("expected '}' closing object \"" + obj.name + "\" opened at line " +
                     std::to_string(opened));
    const int line = lex_.line;
    if (lex_.Accept('}')) {
      lex_.EndLine();
      break;
    }
    const std::string_view key = lex_.Word();
    if (key == "vertex") {
      ParseVertices(obj);
      continue;
    }
    if (key == "BVertex") {
      ParseBVertices(obj);
      continue;
    }
    if (key == "face") {
      ParseFaces(obj);
      continue;
    }
    if (key == "visible") {
      obj.visible = lex_.UInt();
    } else if (key == "shading") {
      obj.shading = lex_.Int();
    } else if (key == "facet") {
      obj.smooth_angle = lex_.Float();
    } else if (key == "mirror") {
      obj.mirror_type = lex_.Int();
    } else if (key == "mirror_axis") {
      obj.mirror_axis = lex_.UInt();
    } else if (key == "mirror_dis") {
      obj.mirror_distance = lex_.Float();
    } else if (key == "lathe") {
      obj.lathe_type = lex_.Int();
    } else if (key == "lathe_axis") {
      obj.lathe_axis = lex_.Int();
    } else if (key == "lathe_seg") {
      obj.lathe_segment = lex_.Int();
    } else if (key == "patch") {
      obj.patch_type = lex_.Int();
    } else if (key == "segment") {
      obj.patch_segment = lex_.Int();
    } else {
      // uid, depth, folding, scale, rotation, translation, locking, color,
      // vertexattr { ... } and whatever later versions add.
      lex_.SkipItem(key, line);
      continue;
    }
    lex_.EndLine();
  }
  // One colour and one weight per vertex, whichever chunks gave vertices.
  obj.vertex_colors.resize(obj.vertices.size());
  obj.vertex_weights.resize(obj.vertices.size());
  obj.ShareCornerUvs();
}

void MqoParser::ParseVertices(MQObjectRecord& obj) {
  const int opened = lex_.line;
  const int32_t count = lex_.Count();
  lex_.Expect('{');
  lex_.EndLine();
  obj.vertices.reserve(obj.vertices.size() + Capped(count, lex_.Remaining(), kMinVertexLine));
  for (int32_t i = 0; i < count; ++i) {
    if (!lex_.NextContentLine())
      lex_.FailAtEnd("expected " + std::to_string(count) + " vertices in \"vertex\" opened at line " +
                     std::to_string(opened) + ", found " + std::to_string(i));
    if (*lex_.p == '}')
      lex_.Fail("expected " + std::to_string(count) + " vertices, found " + std::to_string(i));
    MQPoint point;
    point.x = lex_.Float();
    point.y = lex_.Float();
    point.z = lex_.Float();
    lex_.EndLine();
    obj.vertices.push_back(point);
  }
  ExpectChunkEnd("vertex", count, opened);
}

void MqoParser::ParseBVertices(MQObjectRecord& obj) {
  const int opened = lex_.line;
  const int32_t count = lex_.Count();
  lex_.Expect('{');
  lex_.EndLine();
  bool have_vector = false;
  for (;;) {
    if (!lex_.NextContentLine())
      lex_.FailAtEnd("expected '}' closing \"BVertex\" opened at line " + std::to_string(opened));
    const int line = lex_.line;
    if (lex_.Accept('}')) {
      lex_.EndLine();
      break;
    }
    const std::string_view key = lex_.Word();
    if (key == "Vector" && !have_vector) {
      ParseVector(obj, count);
      have_vector = true;
    } else {
      lex_.SkipItem(key, line);  // other raw arrays, each "[B]" skipped by its size
    }
  }
  if (!have_vector && count != 0) lex_.FailAt(opened, "expected a \"Vector\" line in \"BVertex\"");
}

void MqoParser::ParseVector(MQObjectRecord& obj, int32_t chunk_count) {
  const int line = lex_.line;
  const int32_t count = lex_.Count();
  if (count != chunk_count)
    lex_.Fail("expected " + std::to_string(chunk_count) + " vectors as \"BVertex\" says, found " +
              std::to_string(count));
  lex_.Expect('[');
  const int32_t bytes = lex_.Count();
  lex_.Expect(']');
  lex_.EndLine();
  const size_t expected = static_cast<size_t>(count) * 3 * sizeof(float);
  if (static_cast<size_t>(bytes) != expected)
    lex_.FailAt(line, "expected [" + std::to_string(expected) + "] for " + std::to_string(count) +
                          " vectors of three 32-bit floats, found [" + std::to_string(bytes) + "]");
  if (expected > lex_.Remaining())
    lex_.FailAt(line, "expected " + std::to_string(expected) + " bytes of raw vectors, only " +
                          std::to_string(lex_.Remaining()) + " remain");
  lex_.Hold(expected);
  const char* raw = lex_.p;
  obj.vertices.reserve(obj.vertices.size() + static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i, raw += 12)
    obj.vertices.push_back(
        MQPoint{LittleEndianFloat(raw), LittleEndianFloat(raw + 4), LittleEndianFloat(raw + 8)});
  lex_.SkipRaw(expected, line);
}

void MqoParser::ParseFaces(MQObjectRecord& obj) {
  const int opened = lex_.line;
  const int32_t count = lex_.Count();
  lex_.Expect('{');
  lex_.EndLine();
  const size_t faces = Capped(count, lex_.Remaining(), kMinFaceLine);
  obj.face_start.reserve(obj.face_start.size() + faces);
  obj.face_material.reserve(obj.face_material.size() + faces);
  // Room for quads: the common case, and a triangle mesh wastes only address space.
  const size_t corners = obj.corner_vertex.size() + std::min(faces * 4, lex_.Remaining() / kMinCornerBytes);
  obj.corner_vertex.reserve(corners);
  obj.CornerUvsPerCorner().reserve(corners);
  obj.corner_color.reserve(corners);
  // The corner arrays grow ahead of the faces by doubling (resizing them per
  // face costs a fifth of the reading time) and are trimmed at the end.
  size_t used = obj.corner_vertex.size();
  const uint32_t vertex_count = static_cast<uint32_t>(obj.vertices.size());
  if (!ParseFacesInTwo(obj, count, opened, used, vertex_count))
    ParseFaceLines(obj, 0, count, count, opened, used, vertex_count);
  obj.corner_vertex.resize(used);
  obj.CornerUvsPerCorner().resize(used);
  obj.corner_color.resize(used);
  // The room made ahead is given back where it is a large share: a small
  // object would otherwise keep room for 64 corners, which in a document of
  // many objects outweighs everything else it holds.
  if (obj.corner_vertex.capacity() - used > used / 4 + 16) {
    obj.corner_vertex.shrink_to_fit();
    obj.CornerUvsPerCorner().shrink_to_fit();
    obj.corner_color.shrink_to_fit();
  }
  ExpectChunkEnd("face", count, opened);
}

template <typename ReadValue>
void MqoParser::ReadList(const char* attribute, int32_t count, ReadValue read_value) {
  for (int32_t k = 0; k < count; ++k) {
    if (lex_.Accept(')'))
      lex_.Fail(std::string(attribute) + "(...) holds " + std::to_string(k) + " values, expected " +
                std::to_string(count));
    read_value(k);
  }
  if (!lex_.Accept(')'))
    lex_.Fail(std::string(attribute) + "(...) holds more than the " + std::to_string(count) +
              " values expected, or lacks its ')'");
}

void MqoParser::ParseFaceLines(MQObjectRecord& obj, int32_t from, int32_t to, int32_t count, int opened,
                               size_t& used, uint32_t vertex_count) {
  for (int32_t i = from; i < to; ++i) {
    if (!lex_.NextContentLine())
      lex_.FailAtEnd("expected " + std::to_string(count) + " faces in \"face\" opened at line " +
                     std::to_string(opened) + ", found " + std::to_string(i));
    if (*lex_.p == '}')
      lex_.Fail("expected " + std::to_string(count) + " faces, found " + std::to_string(i));
    ParseFace(obj, used, vertex_count);
  }
}

// True unless the line from..end (its '\n') holds only blanks before an
// optional '\r': the lines that reading skips between entries.
bool HasContent(const char* from, const char* end) {
  while (from != end && (*from == ' ' || *from == '\t')) ++from;
  return !(from == end || (*from == '\r' && from + 1 == end));
}

bool MqoParser::ParseFacesInTwo(MQObjectRecord& obj, int32_t count, int opened, size_t& used,
                                uint32_t vertex_count) {
  // Text read in pieces holds no second half to hand to another thread.
  if (count < kMinFacesToSplit || WorkerCount() < 2 || lex_.window) return false;
  // The second half starts on the line after the first half's last face
  // line, found by counting the lines with content.
  const int32_t half = count / 2;
  const char* split = lex_.p;
  int split_line = lex_.line;
  PassedPages searched(split);
  for (int32_t seen = 0; seen < half; ++split_line) {
    searched.Passed(split);
    const char* line_end = static_cast<const char*>(std::memchr(split, '\n', static_cast<size_t>(lex_.end - split)));
    if (!line_end) return false;
    if (HasContent(split, line_end)) ++seen;
    split = line_end + 1;
  }

  const MqoLexer start = lex_;
  const size_t used_before = used, faces_before = obj.face_material.size();
  const int32_t max_before = max_material_;
  const int max_line_before = max_material_line_;
  // The second half goes to faces of its own, its corners counted from 0.
  MqoParser second(split, static_cast<size_t>(lex_.end - split), doc_);
  second.lex_.line = split_line;
  MQObjectRecord part;
  size_t part_used = 0;
  // Room up front, as for the whole chunk, so that the half's arrays are
  // made once and given back whole.
  const size_t part_faces = static_cast<size_t>(count - half);
  const size_t part_corners = std::min(part_faces * 4, second.lex_.Remaining() / kMinCornerBytes);
  part.face_start.reserve(part_faces + 1);
  part.face_material.reserve(part_faces);
  part.corner_vertex.reserve(part_corners);
  part.CornerUvsPerCorner().reserve(part_corners);
  bool read[2] = {false, false};
  ParallelParts(2, 2, [&](int k, size_t, size_t) {
    try {
      if (k == 0)
        ParseFaceLines(obj, 0, half, count, opened, used, vertex_count);
      else
        second.ParseFaceLines(part, half, count, count, opened, part_used, vertex_count);
      read[k] = true;
    } catch (const MqoSyntaxError&) {
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  });

  if (read[0] && read[1] && lex_.p == split && lex_.line == split_line &&
      part_used <= static_cast<size_t>(kMaxCorners) - used) {
    // Join: the second half's corners follow the first's.
    const size_t joined = used + part_used;
    if (obj.corner_vertex.size() < joined) {
      obj.corner_vertex.resize(joined);
      obj.CornerUvsPerCorner().resize(joined);
      obj.corner_color.resize(joined);
    }
    std::copy(part.corner_vertex.begin(), part.corner_vertex.begin() + static_cast<ptrdiff_t>(part_used),
              obj.corner_vertex.begin() + static_cast<ptrdiff_t>(used));
    const std::vector<MQCoordinate>& part_uvs = part.CornerUvsPerCorner();
    std::copy(part_uvs.begin(), part_uvs.begin() + static_cast<ptrdiff_t>(part_used),
              obj.CornerUvsPerCorner().begin() + static_cast<ptrdiff_t>(used));
    // Corners past the first half's are white already.
    if (part.corner_color.Stored())
      for (size_t c = 0; c < part_used; ++c) obj.corner_color.Set(used + c, part.corner_color[c]);
    for (size_t f = 1; f < part.face_start.size(); ++f)
      obj.face_start.push_back(static_cast<int32_t>(used + static_cast<size_t>(part.face_start[f])));
    for (size_t f = 0; f < part.face_material.size(); ++f) obj.face_material.push_back(part.face_material[f]);
    used = joined;
    if (second.max_material_ > max_material_) {
      max_material_ = second.max_material_;
      max_material_line_ = second.max_material_line_;
    }
    lex_.p = second.lex_.p;
    lex_.line = second.lex_.line;
    return true;
  }

  // Back to where the chunk's faces start.
  obj.corner_vertex.resize(used_before);
  obj.CornerUvsPerCorner().resize(used_before);
  obj.corner_color.resize(used_before);
  obj.face_start.Truncate(faces_before + 1);
  obj.face_material.Truncate(faces_before);
  used = used_before;
  max_material_ = max_before;
  max_material_line_ = max_line_before;
  lex_ = start;
  return false;
}

void MqoParser::ParseFace(MQObjectRecord& obj, size_t& used, uint32_t vertex_count) {
  const int32_t n = lex_.Int();
  if (n < 1) lex_.Fail("expected a corner count of 1 or more, found " + std::to_string(n));
  // Each corner takes at least two bytes of V(...), so a count that the rest
  // of the file cannot hold is refused before room is made for its corners.
  if (static_cast<size_t>(n) > lex_.Remaining() / kMinCornerBytes)
    lex_.Fail("a face of " + std::to_string(n) + " corners does not fit in the rest of the file");
  const size_t base = used;
  if (static_cast<size_t>(n) > static_cast<size_t>(kMaxCorners) - base)
    lex_.Fail("too many face corners in one object");
  if (base + n > obj.corner_vertex.size()) {
    // The room reserved for the chunk's faces is taken first.
    const size_t size = std::max({base + n, obj.corner_vertex.capacity(), 2 * obj.corner_vertex.size() + 64});
    obj.corner_vertex.resize(size);
    obj.CornerUvsPerCorner().resize(size);
    obj.corner_color.resize(size);
  }
  used = base + n;
  // A face without UV(...) has (0, 0) at every corner, one without COL(...)
  // white: the colours past the corners used are white already.
  std::fill(obj.CornerUvsPerCorner().begin() + static_cast<ptrdiff_t>(base),
            obj.CornerUvsPerCorner().begin() + static_cast<ptrdiff_t>(used), MQCoordinate{0.0f, 0.0f});
  int32_t material = -1;
  bool have_points = false;
  while (!lex_.AtLineEnd()) {
    const std::string_view attribute = lex_.Word();
    if (attribute.empty()) lex_.Fail("expected a face attribute NAME(...), found " + lex_.Excerpt());
    lex_.Expect('(');
    if (attribute == "V") {
      int32_t* points = obj.corner_vertex.data() + base;
      ReadList("V", n, [this, points](int32_t k) { points[k] = lex_.Int(); });
      for (int32_t k = 0; k < n; ++k)
        if (static_cast<uint32_t>(points[k]) >= vertex_count)
          lex_.Fail("vertex index " + std::to_string(points[k]) + " is out of range (the object has " +
                    std::to_string(vertex_count) + " vertices)");
      have_points = true;
    } else if (attribute == "M") {
      material = lex_.Int();
      lex_.Expect(')');
      if (material < -1) lex_.Fail("expected a material index of -1 or more, found " + std::to_string(material));
      if (material > max_material_) {
        max_material_ = material;
        max_material_line_ = lex_.line;
      }
    } else if (attribute == "UV") {
      MQCoordinate* uvs = obj.CornerUvsPerCorner().data() + base;
      ReadList("UV", 2 * n, [this, uvs](int32_t k) {
        float& value = k % 2 == 0 ? uvs[k / 2].u : uvs[k / 2].v;
        value = lex_.Float();
      });
    } else if (attribute == "COL") {
      uint32_t* colors = obj.corner_color.MutableData() + base;
      ReadList("COL", n, [this, colors](int32_t k) { colors[k] = lex_.UInt(); });
    } else {
      // N(...), UID(...), CRS(...) and whatever later versions add.
      lex_.SkipArguments();
    }
  }
  if (!have_points) lex_.Fail("expected V(...) with the face's vertex indices");
  lex_.EndLine();
  obj.face_material.push_back(material);
  obj.face_start.push_back(static_cast<int32_t>(base + n));
}

// Runs the parser that make_parser makes over read, turning its faults into
// error ("NAME:LINE: ...") and a document that looks cut short into warning.
template <class MakeParser>
bool Parse(MakeParser make_parser, const char* name, MQDocumentRecord& read, std::string& error,
           std::string* warning) {
  try {
    MqoParser parser = make_parser();
    parser.Parse();
    // Real files may end without "Eof"; one that also holds no object was
    // most likely cut short.
    if (warning && !parser.saw_eof && read.objects.empty())
      *warning = std::string(name) + ": the document ends without \"Eof\" and holds no object; "
                                    "it was most likely cut short";
  } catch (const MqoSyntaxError& e) {
    error = std::string(name) + (e.line > 0 ? ":" + std::to_string(e.line) : std::string()) + ": " +
            e.message;
    return false;
  } catch (const std::bad_alloc&) {
    error = std::string(name) + ": not enough memory to read the document";
    return false;
  } catch (const std::length_error&) {
    error = std::string(name) + ": not enough memory to read the document";
    return false;
  }
  return true;
}

}  // namespace

bool CheckMqoHeader(const char* data, size_t size, const char* name, std::string& error) {
  const std::string fault = FirstLineFault(data, size);
  if (fault.empty()) return true;
  error = std::string(name) + ":1: " + fault;
  return false;
}

bool ParseMqoDocument(const char* data, size_t size, const char* name, MQDocumentRecord& doc,
                      std::string& error, std::string* warning) {
  MQDocumentRecord read;
  if (warning) warning->clear();
  // The first line, then the length of every token, before any parsing.
  if (!CheckMqoHeader(data, size, name, error)) return false;
  // The scan goes in slices, so that the pages of a mapped file that it
  // has passed go back before the parser reads them again.
  TokenLimit tokens;
  PassedPages scanned(data);
  for (size_t at = 0;;) {
    at = size - at > kScanSlice ? at + kScanSlice : size;
    if (!tokens.Scan(data, at, at == size)) {
      error = tokens.Message(name);
      return false;
    }
    scanned.Passed(data + at);
    if (at == size) break;
  }
  if (!Parse([&] { return MqoParser(data, size, read); }, name, read, error, warning)) return false;
  doc = std::move(read);
  return true;
}

bool ParseMqoText(MqoTextWindow& text, const char* name, MQDocumentRecord& doc, std::string& error,
                  std::string* warning) {
  MQDocumentRecord read;
  if (warning) warning->clear();
  try {
    // The same checks in the same order as for text at hand: the first
    // line (its first 83 bytes tell), then every token, then the grammar.
    {
      MqoLexer head(text);
      head.Hold(std::min<size_t>(head.Remaining(), 84));
      if (!CheckMqoHeader(head.p, static_cast<size_t>(head.end - head.p), name, error)) return false;
    }
    text.Rewind();
    TokenLimit tokens;
    if (!text.ScanTokens(tokens)) {
      error = tokens.Message(name);
      return false;
    }
    text.Rewind();
    const bool parsed = Parse([&] { return MqoParser(text, read); }, name, read, error, warning);
    if (text.CutShort()) {
      error = std::string(name) + ": the file was cut short while it was read";
      return false;
    }
    if (!parsed) return false;
  } catch (const MqoReadFailure& e) {
    error = std::string(name) + ": " + e.message;
    return false;
  }
  doc = std::move(read);
  return true;
}
