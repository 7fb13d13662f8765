// Wavefront OBJ files and their material files: all objects in one index
// space, positions in world coordinates, loose lines and two-corner faces
// as line elements.
#include <cstring>
#include <functional>
#include <new>
#include <set>
#include <string>
#include <string_view>

#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"
#include "w_lib/writer_edits/writer_edits.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

namespace {

// The numbers that the next object's first vertex, texture coordinate and
// normal get. Wider than the counts, so that no sum overflows.
struct IndexBases {
  long long v = 1;
  long long vt = 1;
  long long vn = 1;
};

// Readers split g, usemtl and newmtl at blanks and end a line at '#'.
bool BreaksObjToken(unsigned char c) { return c == ' ' || c == '#' || IsControlByte(c); }

// A face material outside the scene's list counts as none.
int MaterialOf(const WScene& scene, const WFace& face) {
  return face.material >= 0 && face.material < scene.mnum ? face.material : -1;
}

// The name under which faces without material are written: "NoMaterial",
// or where a material of the scene is written under that name, the first of
// "NoMaterial_1", "NoMaterial_2", ... that none is, so that those faces never
// take the colour of a material of the document.
std::string NoMaterialName(const WScene& scene) {
  std::set<std::string, std::less<>> taken;
  std::string scratch;
  for (int i = 0; i < scene.mnum; ++i)
    taken.emplace(NameAsToken(scene.materials[i].name.c_str(), BreaksObjToken, scratch));
  std::string name = kNoMaterialName;
  for (int n = 1; taken.count(name) != 0; ++n) name = std::string(kNoMaterialName) + "_" + std::to_string(n);
  return name;
}

// A face of two corners is a line element: vertex numbers only.
void WriteLine(TextOutput& out, const WFace& face, const IndexBases& bases) {
  out.Put("l ").Int(face.v[0] + bases.v).Put(' ').Int(face.v[1] + bases.v).Put('\n');
}

void WriteFace(TextOutput& out, const WFace& face, const IndexBases& bases) {
  out.Put('f');
  const int* const vt = face.vt();
  const int* const vn = face.vn();
  for (int k = 0; k < face.num; ++k) {
    out.Put(' ').Int(face.v[k] + bases.v);
    if (vt[k] != -1) {
      out.Put('/').Int(vt[k] + bases.vt);
      if (vn[k] != -1) out.Put('/').Int(vn[k] + bases.vn);
    } else if (vn[k] != -1) {
      out.Put("//").Int(vn[k] + bases.vn);
    }
  }
  out.Put('\n');
}

// Writes one object; sets uses_no_material when a run of its faces is
// written under "usemtl" and no_material.
void WriteObject(TextOutput& out, const WScene& scene, const WObject& o, const std::string& no_material,
                 IndexBases& bases, bool& uses_no_material) {
  out.Put("\ng\n");
  PutItems(out, ItemCount(o.vnum), [&o](TextOutput& to, size_t i) {
    const WVector& p = o.vertices[i].pos;
    to.Put("v ").Fixed(p.x).Put(' ').Fixed(p.y).Put(' ').Fixed(p.z).Put('\n');
  });
  out.Put("# ").Int(o.vnum).Put(" vertices\n\n");

  PutItems(out, ItemCount(o.unum), [&o](TextOutput& to, size_t i) {
    to.Put("vt ").Fixed(o.uvs[i].u).Put(' ').Fixed(o.uvs[i].v).Put('\n');
  });
  if (o.unum != 0) out.Put("# ").Int(o.unum).Put(" texture vertices\n\n");

  PutItems(out, ItemCount(o.nnum), [&o](TextOutput& to, size_t i) {
    const WVector& n = o.normals[i].normal;
    to.Put("vn ").Fixed(n.x).Put(' ').Fixed(n.y).Put(' ').Fixed(n.z).Put('\n');
  });
  if (o.nnum != 0) out.Put("# ").Int(o.nnum).Put(" normal vertices\n\n");

  std::string scratch;
  // Readers that split a file into objects by o rather than by g see the
  // same objects under the same names.
  const std::string_view object_name = NameAsToken(o.name.c_str(), BreaksObjToken, scratch);
  out.Put("o ").Put(object_name).Put('\n');
  out.Put("g ").Put(object_name).Put('\n');
  // A run of faces without material at the start needs no usemtl line.
  int current = -1;
  for (int f = 0; f < o.fnum; ++f) {
    const WFace& face = o.faces[f];
    // A face of fewer than two corners is no element at all.
    if (face.num < 2) continue;
    const int m = MaterialOf(scene, face);
    if (m != current) {
      current = m;
      const std::string_view name =
          m == -1 ? no_material : NameAsToken(scene.materials[m].name.c_str(), BreaksObjToken, scratch);
      out.Put("usemtl ").Put(name).Put('\n');
      if (m == -1) uses_no_material = true;
    }
    if (face.num == 2)
      WriteLine(out, face, bases);
    else
      WriteFace(out, face, bases);
  }
  out.Put("# ").Int(o.fnum).Put(" elements\n\n");

  bases.v += o.vnum;
  bases.vt += o.unum;
  bases.vn += o.nnum;
}

// Returns whether some faces were written under "usemtl" and no_material.
bool WriteObjText(TextOutput& out, const WScene& scene, const std::string& material_file,
                  const std::string& no_material) {
  out.Put(kCreatedByLine);
  out.Put("mtllib ").Put(material_file).Put('\n');
  IndexBases bases;
  bool uses_no_material = false;
  // Objects without vertices write nothing and take no numbers.
  for (int o = 0; o < scene.onum; ++o)
    if (scene.objects[o].vnum > 0) WriteObject(out, scene, scene.objects[o], no_material, bases, uses_no_material);
  return uses_no_material;
}

// The texture path of the material file: the file name alone, or the
// document's relative name with '/' separators (an absolute name, or one on
// a drive, by its file name, as the texture search finds it beside the
// document).
std::string TexturePath(const WScene& scene, const char* name, ObjTexturePaths paths) {
  if (paths == ObjTexturePaths::kFileName) return FileName(name);
  const std::string portable = DocumentNameWithSlashes(name, scene.utf8_names);
  const bool absolute = !portable.empty() && (portable[0] == '/' || (portable.size() > 1 && portable[1] == ':'));
  return absolute ? portable.substr(SplitDocumentName(portable, scene.utf8_names).name) : portable;
}

void WriteMaterial(TextOutput& out, const WScene& scene, const WMaterial& m, std::string_view name,
                   ObjTexturePaths paths) {
  const WColor& c = m.col;
  out.Put("newmtl ").Put(name).Put('\n');
  // A texture index outside the list means no texture.
  if (m.tex >= 0 && m.tex < scene.tnum)
    out.Put("map_Kd ").Put(TexturePath(scene, scene.textures[m.tex].name.c_str(), paths)).Put('\n');
  const double r = c.r, g = c.g, b = c.b;
  out.Put("Ka ").Fixed(r / 4.0, 5, 6).Put(' ').Fixed(g / 4.0, 5, 6).Put(' ').Fixed(b / 4.0, 5, 6).Put('\n');
  out.Put("Kd ").Fixed(r, 5, 6).Put(' ').Fixed(g, 5, 6).Put(' ').Fixed(b, 5, 6).Put('\n');
  out.Put("d ").Fixed(c.a, 5, 6).Put('\n');  // opacity
  out.Put("Ks ").Fixed(r, 5, 6).Put(' ').Fixed(g, 5, 6).Put(' ').Fixed(b, 5, 6).Put('\n');
  out.Put("Ns ").Fixed(5.0, 5, 6).Put('\n');
  out.Put('\n');
}

// The scene's materials; then, when the OBJ file names faces without
// material, an entry of their name (no_material, which no material of the
// scene is written under) with a new material's colour.
void WriteMaterialText(TextOutput& out, const WScene& scene, const std::string& no_material, bool uses_no_material,
                       ObjTexturePaths paths) {
  out.Put(kCreatedByLine);
  std::string scratch;
  for (int i = 0; i < scene.mnum; ++i)
    WriteMaterial(out, scene, scene.materials[i],
                  NameAsToken(scene.materials[i].name.c_str(), BreaksObjToken, scratch), paths);
  if (uses_no_material) WriteMaterial(out, scene, WMaterial(), no_material, paths);
}

}  // namespace

namespace {

// Prepares work in place (or, given source, a copy of it made into work)
// and writes both files.
WriteResult WriteObjFiles(const char* path, const WScene* source, WScene& work, ObjTexturePaths paths) {
  const std::string material_path = SystemWithExtension(path, ".mtl");
  TextOutput obj;
  bool uses_no_material = false;
  std::string no_material;
  const WriteResult staged = StageWholeFile(obj, path, "wt", [&](TextOutput& out) {
    if (source) work = *source;
    FlipUvs(work, kFlipV);
    DropFaceEdges(work);
    LinesToFaces(work);
    FreezeTransforms(work);
    no_material = NoMaterialName(work);
    uses_no_material = WriteObjText(out, work, SystemFileName(material_path), no_material);
  });
  if (!staged) return staged;
  // A target named like its own material file would be overwritten by it.
  if (std::strcmp(material_path.c_str(), path) == 0) return obj.Commit();
  // Both files are complete before either replaces anything, and they
  // replace the old pair as one unit: a material file that cannot be
  // written fails the whole write and leaves the old pair as it was.
  TextOutput material;
  const WriteResult material_staged =
      StageWholeFile(material, material_path.c_str(), "wt", [&](TextOutput& out) {
    WriteMaterialText(out, work, no_material, uses_no_material, paths);
  });
  if (!material_staged) {
    obj.Discard();
    return material_staged;
  }
  return obj.CommitWith(material);
}

}  // namespace

WriteResult WriteObjFile(const char* path, const WScene& scene, const WriterOptions&) {
  WScene copy;
  return WriteObjFiles(path, &scene, copy, ObjTexturePaths::kFileName);
}

WriteResult WriteObjFile(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteObjFiles(path, nullptr, scene, ObjTexturePaths::kFileName);
}

WriteResult WriteObjFile(const char* path, WScene&& scene, ObjTexturePaths texture_paths) {
  return WriteObjFiles(path, nullptr, scene, texture_paths);
}
