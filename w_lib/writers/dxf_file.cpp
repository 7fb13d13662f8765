// DXF files of a HEADER section that names the text's code page and an
// ENTITIES section: every face as a 3DFACE on its material's layer, or every
// object as a polyface mesh; the lines and the two-corner faces of every
// object as LINE entities. Group codes and values alternate line by line.
// Points are turned to DXF's z up as they are written. The long lists are
// formatted on the machine's threads.
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/util/text.h"
#include "w_lib/writer_edits/writer_edits.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "w_lib/writers/working_copy.h"

namespace {

// A DXF face has three or four corners and no transform. The two-corner
// faces, which the triangulation removes, are kept aside to be written as
// lines.
TwoCornerFaces Prepare(WScene& copy) {
  // Face edges first, so that the sides of a face dropped for naming a
  // missing vertex do not stay behind as loose lines.
  DropFaceEdges(copy);
  DropDanglingGeometry(copy);
  FreezeTransforms(copy);
  return TriangulateKeepingEdges(copy);
}

// Characters that layer names may not hold.
bool BreaksLayerName(unsigned char c) {
  switch (c) {
    case '<': case '>': case '/': case '\\': case '"': case ':': case ';':
    case '?': case '*': case '|': case '=': case '`':
      return true;
    default:
      return IsControlByte(c);
  }
}

// One group: the code line, then the value line.
void Group(TextOutput& out, const char* code, std::string_view value) { out.Put(code).Put('\n').Put(value).Put('\n'); }
void Group(TextOutput& out, const char* code, long long value) { out.Put(code).Put('\n').Int(value).Put('\n'); }
void Coordinate(TextOutput& out, const char* code, float value) { out.Put(code).Put('\n').Fixed(value).Put('\n'); }

// A point under the codes 1N, 2N and 3N, turned from y up to z up: (x, y, z)
// is written as (x, -z, y), a rotation, so faces keep their winding. 0 - z
// rather than -z, so that a zero is written without a sign.
void Point(TextOutput& out, char n, const WVector& p) {
  const char x[] = {'1', n, '\0'}, y[] = {'2', n, '\0'}, z[] = {'3', n, '\0'};
  Coordinate(out, x, p.x);
  Coordinate(out, y, 0.0f - p.z);
  Coordinate(out, z, p.y);
}

// The names that a file gives its layers, and how its text is encoded.
struct LayerNames {
  // UTF-8 text, which readers take from files of version AC1021 (2007) on;
  // otherwise code page 932 (Shift-JIS), declared in a file of version
  // AC1009 (R12), which every reader knows.
  bool utf8 = false;
  std::vector<std::string> names;  // in the order asked for
};

// A name of UTF-8 text as one layer name: every character is one byte
// below 0x80 or a run of bytes above it, so only the former are looked at.
std::string Utf8LayerName(const std::string& name) {
  std::string token = name;
  for (char& c : token)
    if (static_cast<unsigned char>(c) < 0x80 && BreaksLayerName(static_cast<unsigned char>(c))) c = '_';
  return token;
}

// The document's names (in code page 932, or in UTF-8 when utf8_names) as
// layer names, each with the characters that layers may not hold replaced
// by '_'. Names of code page 932 stay as they are. UTF-8 names go into code
// page 932 when every one of them can (then a reader of the oldest files
// decodes them too), and stay UTF-8 (made valid) otherwise.
LayerNames MakeLayerNames(const std::vector<const char*>& names, bool utf8_names) {
  LayerNames made;
  made.names.reserve(names.size());
  std::string scratch;
  if (utf8_names) {
    std::string converted;
    for (const char* name : names) {
      if (!Utf8AsShiftJis(name, converted)) {
        made.utf8 = true;
        break;
      }
      made.names.emplace_back(NameAsToken(converted.c_str(), BreaksLayerName, scratch));
    }
    if (made.utf8) {
      made.names.clear();
      for (const char* name : names) made.names.push_back(Utf8LayerName(NameAsUtf8(name, true)));
    }
    return made;
  }
  for (const char* name : names) made.names.emplace_back(NameAsToken(name, BreaksLayerName, scratch));
  return made;
}

// The HEADER section, which names the file's version and code page, and
// the head of the ENTITIES section.
void WriteHead(TextOutput& out, const LayerNames& layers) {
  Group(out, "0", "SECTION");
  Group(out, "2", "HEADER");
  Group(out, "9", "$ACADVER");
  Group(out, "1", layers.utf8 ? "AC1021" : "AC1009");
  Group(out, "9", "$DWGCODEPAGE");
  Group(out, "3", layers.utf8 ? "ANSI_1252" : "ANSI_932");
  Group(out, "0", "ENDSEC");
  Group(out, "0", "SECTION");
  Group(out, "2", "ENTITIES");
}

void WriteEnd(TextOutput& out) {
  Group(out, "0", "ENDSEC");
  Group(out, "0", "EOF");
}

void WriteLine(TextOutput& out, const WObject& object, int a, int b) {
  Group(out, "0", "LINE");
  Group(out, "8", "0");
  Group(out, "70", "0");
  Point(out, '0', object.vertices[a].pos);
  Point(out, '1', object.vertices[b].pos);
}

// The object's lines, then its two-corner faces.
void WriteLines(TextOutput& out, const WObject& object, const std::vector<WFace>& edges) {
  PutItems(out, ItemCount(object.lnum), [&](TextOutput& to, size_t i) {
    WriteLine(to, object, object.lines[i].v[0], object.lines[i].v[1]);
  });
  for (const WFace& edge : edges) WriteLine(out, object, edge.v[0], edge.v[1]);
}

// The layer of each material, once per file.
LayerNames MaterialLayers(const WScene& scene) {
  std::vector<const char*> names;
  names.reserve(static_cast<size_t>(scene.mnum));
  for (int m = 0; m < scene.mnum; ++m) names.push_back(scene.materials[m].name.c_str());
  return MakeLayerNames(names, scene.utf8_names);
}

// The layer of each object's mesh.
LayerNames ObjectLayers(const WScene& scene) {
  std::vector<const char*> names;
  names.reserve(static_cast<size_t>(scene.onum));
  for (int o = 0; o < scene.onum; ++o) names.push_back(scene.objects[o].name.c_str());
  return MakeLayerNames(names, scene.utf8_names);
}

void WriteFaces(TextOutput& out, const std::vector<std::string>& layers, const WObject& object) {
  const int material_count = static_cast<int>(layers.size());
  PutItems(out, ItemCount(object.fnum), [&](TextOutput& to, size_t f) {
    const WFace& face = object.faces[f];
    Group(to, "0", "3DFACE");
    // The layer is the material's name; an index outside the list has no
    // name, and its number stands for it.
    if (face.material >= 0 && face.material < material_count)
      Group(to, "8", layers[static_cast<size_t>(face.material)]);
    else
      Group(to, "8", face.material);
    Group(to, "62", face.material);
    const auto pos = [&](int k) { return object.vertices[face.v[k]].pos; };
    Point(to, '0', pos(0));
    Point(to, '1', pos(1));
    Point(to, '2', pos(2));
    Point(to, '3', pos(face.num == 4 ? 3 : 2));  // a triangle repeats its third corner
  });
}

void WritePolyface(TextOutput& out, const WObject& object, const std::string& name) {
  Group(out, "0", "POLYLINE");
  Group(out, "8", name);
  Group(out, "66", "1");
  Group(out, "70", "64");
  Group(out, "71", object.vnum);
  Group(out, "72", object.fnum);
  PutItems(out, ItemCount(object.vnum), [&](TextOutput& to, size_t i) {
    Group(to, "0", "VERTEX");
    Group(to, "8", name);
    Point(to, '0', object.vertices[i].pos);
    Group(to, "70", "192");
  });
  // Face records count their vertices from 1.
  static const char* const kCornerCodes[4] = {"71", "72", "73", "74"};
  PutItems(out, ItemCount(object.fnum), [&](TextOutput& to, size_t f) {
    const WFace& face = object.faces[f];
    Group(to, "0", "VERTEX");
    Group(to, "8", name);
    Group(to, "10", "0");
    Group(to, "20", "0");
    Group(to, "30", "0");
    Group(to, "70", "128");
    for (int k = 0; k < face.num && k < 4; ++k) Group(to, kCornerCodes[k], static_cast<long long>(face.v[k]) + 1);
  });
  Group(out, "0", "SEQEND");
}

}  // namespace

namespace {

void WriteDxfFacesOf(TextOutput& out, WScene& work) {
  EnsureMaterial(work);
  const TwoCornerFaces edges = Prepare(work);
  const LayerNames layers = MaterialLayers(work);
  WriteHead(out, layers);
  for (int o = 0; o < work.onum; ++o) {
    WriteLines(out, work.objects[o], edges[static_cast<size_t>(o)]);
    WriteFaces(out, layers.names, work.objects[o]);
  }
  WriteEnd(out);
}

void WriteDxfPolyfaceOf(TextOutput& out, WScene& work) {
  const TwoCornerFaces edges = Prepare(work);
  const LayerNames layers = ObjectLayers(work);
  WriteHead(out, layers);
  for (int o = 0; o < work.onum; ++o) {
    WriteLines(out, work.objects[o], edges[static_cast<size_t>(o)]);
    WritePolyface(out, work.objects[o], layers.names[static_cast<size_t>(o)]);
  }
  WriteEnd(out);
}

}  // namespace

void WriteDxfFacesScene(TextOutput& out, const WScene& scene) { WriteWorkingCopy(out, scene, WriteDxfFacesOf); }

void WriteDxfPolyfaceScene(TextOutput& out, const WScene& scene) {
  WriteWorkingCopy(out, scene, WriteDxfPolyfaceOf);
}

WriteResult WriteDxfFaces(const char* path, const WScene& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", scene, WriteDxfFacesOf);
}

WriteResult WriteDxfFaces(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", std::move(scene), WriteDxfFacesOf);
}

WriteResult WriteDxfPolyface(const char* path, const WScene& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", scene, WriteDxfPolyfaceOf);
}

WriteResult WriteDxfPolyface(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", std::move(scene), WriteDxfPolyfaceOf);
}
