// DXF files of one ENTITIES section: every face as a 3DFACE on its
// material's layer, or every object as a polyface mesh; the lines and the
// two-corner faces of every object as LINE entities. Group codes and values
// alternate line by line. Points are turned to DXF's z up as they are
// written. The long lists are formatted on the machine's threads.
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/util/text.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

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

void WriteHead(TextOutput& out) {
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

// The layer of each material: its name made fit for a layer, once per file.
std::vector<std::string> MaterialLayers(const WScene& scene) {
  std::vector<std::string> layers;
  std::string scratch;
  for (int m = 0; m < scene.mnum; ++m)
    layers.emplace_back(NameAsToken(scene.materials[m].name.c_str(), BreaksLayerName, scratch));
  return layers;
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

void WritePolyface(TextOutput& out, const WObject& object) {
  std::string scratch;
  const std::string_view name = NameAsToken(object.name.c_str(), BreaksLayerName, scratch);
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
  const std::vector<std::string> layers = MaterialLayers(work);
  WriteHead(out);
  for (int o = 0; o < work.onum; ++o) {
    WriteLines(out, work.objects[o], edges[static_cast<size_t>(o)]);
    WriteFaces(out, layers, work.objects[o]);
  }
  WriteEnd(out);
}

void WriteDxfPolyfaceOf(TextOutput& out, WScene& work) {
  const TwoCornerFaces edges = Prepare(work);
  WriteHead(out);
  for (int o = 0; o < work.onum; ++o) {
    WriteLines(out, work.objects[o], edges[static_cast<size_t>(o)]);
    WritePolyface(out, work.objects[o]);
  }
  WriteEnd(out);
}

}  // namespace

void WriteDxfFacesScene(TextOutput& out, const WScene& scene) {
  WScene copy(scene);
  WriteDxfFacesOf(out, copy);
}

void WriteDxfPolyfaceScene(TextOutput& out, const WScene& scene) {
  WScene copy(scene);
  WriteDxfPolyfaceOf(out, copy);
}

bool WriteDxfFaces(const char* path, const WScene& scene) {
  return WriteWholeFile(path, "wb", [&](TextOutput& out) { WriteDxfFacesScene(out, scene); }) ==
         FileWriteResult::kWritten;
}

bool WriteDxfFaces(const char* path, WScene&& scene) {
  return WriteWholeFile(path, "wb", [&](TextOutput& out) { WriteDxfFacesOf(out, scene); }) ==
         FileWriteResult::kWritten;
}

bool WriteDxfPolyface(const char* path, const WScene& scene) {
  return WriteWholeFile(path, "wb", [&](TextOutput& out) { WriteDxfPolyfaceScene(out, scene); }) ==
         FileWriteResult::kWritten;
}

bool WriteDxfPolyface(const char* path, WScene&& scene) {
  return WriteWholeFile(path, "wb", [&](TextOutput& out) { WriteDxfPolyfaceOf(out, scene); }) ==
         FileWriteResult::kWritten;
}
