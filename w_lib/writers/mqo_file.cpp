// The host modeller's own document text: a fixed scene block, the material
// list and one object block per object with its vertices and faces.
#include <cmath>
#include <new>
#include <utility>
#include <vector>

#include "w_lib/writer_edits/writer_edits.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "w_lib/writers/working_copy.h"

namespace {

// The host's conventions: corners in the other order, lengths in the host's
// unit (the inverse of the export's 0.01), no transforms, and faces of at
// most four corners. The two-corner faces, the host's edges, which the
// triangulation removes, are kept aside.
TwoCornerFaces Prepare(WScene& copy) {
  // Face edges first: the sides of a face that names a missing vertex are
  // edges too, and go with the other edges rather than stay as loose lines.
  DropFaceEdges(copy);
  DropDanglingGeometry(copy);
  ReverseObjectFaces(copy);
  ScaleScene(copy, 100.0f);
  FreezeTransforms(copy);
  return TriangulateKeepingEdges(copy);
}

void WriteHead(TextOutput& out) {
  out.Put(
      "Metasequoia Document\n"
      "Format Text Ver 1.0\n"
      "\n"
      "Scene {\n"
      "\tpos 0.0000 0.0000 1500.0000\n"
      "\tlookat 0.0000 0.0000 0.0000\n"
      "\thead -0.5236\n"
      "\tpich 0.5236\n"
      "\tortho 0\n"
      "\tzoom2 5.0000\n"
      "\tamb 0.250 0.250 0.250\n"
      "}\n");
}

void WriteMaterials(TextOutput& out, const WScene& scene) {
  if (scene.mnum <= 0) return;
  out.Put("Material ").Int(scene.mnum).Put(" {\n");
  for (int m = 0; m < scene.mnum; ++m) {
    const WMaterial& material = scene.materials[m];
    const WColor& c = material.col;
    out.Put("\t\"").Put(material.name.c_str()).Put("\" shader(3) vcol(1) col(");
    out.Fixed(c.r, 3).Put(' ').Fixed(c.g, 3).Put(' ').Fixed(c.b, 3).Put(' ').Fixed(c.a, 3);
    out.Put(") dif(1.000) amb(0.250) emi(0.250) spc(0.000) power(5.00)");
    // A texture index outside the list means no texture.
    if (material.tex >= 0 && material.tex < scene.tnum)
      out.Put(" tex(\"").Put(scene.textures[material.tex].name.c_str()).Put("\")");
    out.Put('\n');
  }
  out.Put("}\n");
}

bool AllIn(const int* indices, int n, int count) {
  for (int k = 0; k < n; ++k)
    if (indices[k] < 0 || indices[k] >= count) return false;
  return true;
}

void WriteFace(TextOutput& out, const WScene& scene, const WObject& object, const WFace& face) {
  const int n = face.num;
  out.Put("\t\t").Int(n).Put(" V(");
  for (int k = 0; k < n; ++k) {
    if (k) out.Put(' ');
    out.Int(face.v[k]);
  }
  out.Put(')');
  // The host's reader takes only materials of its list.
  if (face.material >= 0 && face.material < scene.mnum) out.Put(" M(").Int(face.material).Put(')');
  if (AllIn(face.vt(), n, object.unum)) {
    out.Put(" UV(");
    for (int k = 0; k < n; ++k) {
      const WUv& uv = object.uvs[face.vt()[k]];
      if (k) out.Put(' ');
      out.Fixed(uv.u, 5).Put(' ').Fixed(uv.v, 5);
    }
    out.Put(')');
  }
  if (AllIn(face.vc(), n, object.cnum)) {
    out.Put(" COL(");
    for (int k = 0; k < n; ++k) {
      if (k) out.Put(' ');
      out.Unsigned(PackMqoColor(object.colors[face.vc()[k]].col));
    }
    out.Put(')');
  }
  out.Put('\n');
}

void WriteObject(TextOutput& out, const WScene& scene, const WObject& object, const std::vector<WFace>& edges) {
  out.Put("Object \"").Put(object.name.c_str()).Put("\" {\n");
  out.Put(
      "\tvisible 15\n"
      "\tlocking 0\n"
      "\tshading 1\n"
      "\tfacet 59.5\n"
      "\tcolor 0.898 0.498 0.698\n"
      "\tcolor_type 0\n");
  out.Put("\tvertex ").Int(object.vnum).Put(" {\n");
  PutItems(out, ItemCount(object.vnum), [&](TextOutput& to, size_t i) {
    const WVector& p = object.vertices[i].pos;
    to.Put("\t\t").Fixed(p.x, 4).Put(' ').Fixed(p.y, 4).Put(' ').Fixed(p.z, 4).Put('\n');
  });
  out.Put("\t}\n");
  // The loose lines (the triangulation's diagonals were taken away); the edges
  // follow them, with their material and corner attributes.
  const long long entries = static_cast<long long>(object.lnum) + static_cast<long long>(edges.size()) + object.fnum;
  out.Put("\tface ").Int(entries).Put(" {\n");
  PutItems(out, ItemCount(object.lnum), [&](TextOutput& to, size_t i) {
    to.Put("\t\t2 V(").Int(object.lines[i].v[0]).Put(' ').Int(object.lines[i].v[1]).Put(")\n");
  });
  for (const WFace& edge : edges) WriteFace(out, scene, object, edge);
  PutItems(out, ItemCount(object.fnum),
           [&](TextOutput& to, size_t f) { WriteFace(to, scene, object, object.faces[f]); });
  out.Put("\t}\n");
  out.Put("}\n");
}

// One component of a packed colour: clamped so that it cannot spill into
// its neighbours.
unsigned PackComponent(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value > 1.0f) value = 1.0f;
  return static_cast<unsigned>(value * 255.0f);
}

}  // namespace

unsigned PackMqoColor(const WColor& color) {
  return PackComponent(color.r) | PackComponent(color.g) << 8 | PackComponent(color.b) << 16 |
         PackComponent(color.a) << 24;
}

namespace {

void WriteMqoOf(TextOutput& out, WScene& work) {
  const TwoCornerFaces edges = Prepare(work);
  WriteHead(out);
  WriteMaterials(out, work);
  // Many small objects are formatted on the machine's threads.
  PutWeightedItems(
      out, ItemCount(work.onum),
      [&](size_t o) {
        const WObject& object = work.objects[o];
        return 12 + ItemCount(object.vnum) + ItemCount(object.lnum) + ItemCount(object.fnum) + edges[o].size();
      },
      [&](TextOutput& to, size_t o) { WriteObject(to, work, work.objects[o], edges[o]); });
  out.Put("Eof\n");
}

}  // namespace

void WriteMqoScene(TextOutput& out, const WScene& scene) { WriteWorkingCopy(out, scene, WriteMqoOf); }

WriteResult WriteMqoFile(const char* path, const WScene& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wt", scene, WriteMqoOf);
}

WriteResult WriteMqoFile(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wt", std::move(scene), WriteMqoOf);
}
