// DirectX text files: a root frame with one frame per object, nested as the
// hierarchy is, each with its local matrix and a mesh of vertices, faces,
// materials, normals, vertex colours and texture coordinates.
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "w_lib/util/text.h"
#include "w_lib/writer_edits/writer_edits.h"
#include "w_lib/writers/parallel_text.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "w_lib/writers/working_copy.h"

namespace {

constexpr int kMaxIndent = 255;

// A frame or mesh name is one token: blanks, braces, the list separators
// and double quotes would end it.
bool BreaksXToken(unsigned char c) {
  return c == ' ' || c == '{' || c == '}' || c == ';' || c == ',' || c == '"' || IsControlByte(c);
}

// The indent of a frame at depth d: d + 1 TABs, at most 255.
std::string_view Indent(int depth) {
  static const std::string tabs(kMaxIndent, '\t');
  const int n = depth < 0 ? 1 : (depth < kMaxIndent - 1 ? depth + 1 : kMaxIndent);
  return std::string_view(tabs.data(), static_cast<size_t>(n));
}

// Ends element i of a list of n: "," between elements, ";" after the last.
void EndElement(TextOutput& out, int i, int n) { out.Put(i + 1 < n ? ",\n" : ";\n"); }

bool HasTexture(const WScene& scene, const WMaterial& m) { return m.tex >= 0 && m.tex < scene.tnum; }

// The sixteen numbers end with ";" as an array and ";" as the matrix, as
// readers of the format require.
void WriteMatrix(TextOutput& out, std::string_view p, const WMatrix& m) {
  out.Put(p).Put("\tFrameTransformMatrix {\n");
  for (int r = 0; r < 4; ++r) {
    out.Put(p).Put("\t\t");
    for (int c = 0; c < 4; ++c) out.Fixed(m.m[r][c]).Put(c < 3 ? "," : "");
    out.Put(r < 3 ? ",\n" : ";;\n");
  }
  out.Put(p).Put("\t}\n");
}

// A material as every mesh repeats it. A textured one is written white with
// its own alpha, so that the texture shows in its own colours.
void WriteMaterial(TextOutput& out, std::string_view p, const WScene& scene, const WMaterial& m) {
  const bool textured = HasTexture(scene, m);
  const WColor c = textured ? WColor(1.0f, 1.0f, 1.0f, m.col.a) : m.col;
  out.Put(p).Put("\t\t\tMaterial {\n");
  out.Put(p).Put("\t\t\t\t").Fixed(c.r).Put(';').Fixed(c.g).Put(';').Fixed(c.b).Put(';').Fixed(c.a).Put(";;\n");
  out.Put(p).Put("\t\t\t\t5.000000;\n");
  out.Put(p).Put("\t\t\t\t0.500000;0.500000;0.500000;;\n");
  out.Put(p).Put("\t\t\t\t0.000000;0.000000;0.000000;;\n");
  if (textured) {
    out.Put(p).Put("\t\t\t\tTextureFilename {\n");
    out.Put(p).Put("\t\t\t\t\t\"").Put(FileName(scene.textures[m.tex].name.c_str())).Put("\";\n");
    out.Put(p).Put("\t\t\t\t}\n");
  }
  out.Put(p).Put("\t\t\t}\n");
}

// One line per element of a list of count: tabs, then put(to, i), then the
// element's end.
template <class PutElement>
void WriteList(TextOutput& out, std::string_view p, const char* tabs, int count, PutElement put) {
  PutItems(out, ItemCount(count), [&](TextOutput& to, size_t i) {
    to.Put(p).Put(tabs);
    put(to, i);
    EndElement(to, static_cast<int>(i), count);
  });
}

// One line per face: its corner count, then one index per corner
// (indices_of(face): the face's corner array to write).
template <class IndicesOf>
void WriteFaceIndices(TextOutput& out, std::string_view p, const char* tabs, const WObject& o, IndicesOf indices_of) {
  WriteList(out, p, tabs, o.fnum, [&](TextOutput& to, size_t f) {
    const WFace& face = o.faces[f];
    const int* index = indices_of(face);
    to.Int(face.num).Put(';');
    for (int k = 0; k < face.num; ++k) to.Int(index[k]).Put(k + 1 < face.num ? ',' : ';');
  });
}

// A mesh's sub-block: its head and element count, then the elements.
template <class PutElement>
void OpenListBlock(TextOutput& out, std::string_view p, const char* head, int count, PutElement put) {
  out.Put(p).Put("\t\t").Put(head).Put(" {\n");
  out.Put(p).Put("\t\t\t").Int(count).Put(";\n");
  WriteList(out, p, "\t\t\t", count, put);
}

void CloseListBlock(TextOutput& out, std::string_view p) {
  out.Put(p).Put("\t\t}\n");
  out.Put(p).Put("\t\n");
}

void WriteMaterialList(TextOutput& out, std::string_view p, const WScene& scene, const WObject& o) {
  out.Put(p).Put("\t\tMeshMaterialList {\n");
  out.Put(p).Put("\t\t\t").Int(scene.mnum).Put(";\n");
  out.Put(p).Put("\t\t\t").Int(o.fnum).Put(";\n");
  for (int f = 0; f < o.fnum; ++f) {
    out.Put(p).Put("\t\t\t").Int(o.faces[f].material);
    EndElement(out, f, o.fnum);
  }
  out.Put(p).Put("\t\n");
  for (int m = 0; m < scene.mnum; ++m) WriteMaterial(out, p, scene, scene.materials[m]);
  CloseListBlock(out, p);
}

void WriteNormals(TextOutput& out, std::string_view p, const WObject& o) {
  OpenListBlock(out, p, "MeshNormals", o.nnum, [&](TextOutput& to, size_t i) {
    const WVector& n = o.normals[i].normal;
    // The face reversal negated the records: this is x, y, -z of the scene.
    to.Fixed(-n.x).Put(';').Fixed(-n.y).Put(';').Fixed(n.z).Put(';');
  });
  out.Put(p).Put("\t\t\n");
  out.Put(p).Put("\t\t\t").Int(o.fnum).Put(";\n");
  WriteFaceIndices(out, p, "\t\t\t", o, [](const WFace& face) { return face.vn(); });
  CloseListBlock(out, p);
}

// The colour and texture coordinate of each vertex: its own, or the records
// that the vertex split named for it.
const WColor& VertexColor(const WObject& o, const VertexRecords* named, size_t v) {
  return named ? named->Color(o, static_cast<int>(v)) : o.vertices[v].col();
}

const WUv& VertexUv(const WObject& o, const VertexRecords* named, size_t v) {
  return named ? named->Uv(o, static_cast<int>(v)) : o.vertices[v].uv();
}

void WriteVertexColors(TextOutput& out, std::string_view p, const WObject& o, const VertexRecords* named) {
  OpenListBlock(out, p, "MeshVertexColors", o.vnum, [&](TextOutput& to, size_t v) {
    const WColor& c = VertexColor(o, named, v);
    to.Int(static_cast<long long>(v)).Put(';').Fixed(c.r).Put(';').Fixed(c.g).Put(';');
    to.Fixed(c.b).Put(';').Fixed(c.a).Put(";;");
  });
  CloseListBlock(out, p);
}

void WriteTextureCoords(TextOutput& out, std::string_view p, const WObject& o, const VertexRecords* named) {
  OpenListBlock(out, p, "MeshTextureCoords", o.vnum, [&](TextOutput& to, size_t v) {
    const WUv& t = VertexUv(o, named, v);
    to.Fixed(t.u).Put(';').Fixed(t.v).Put(';');
  });
  CloseListBlock(out, p);
}

// One frame up to its children: head, matrix and mesh. named: the records
// of the vertices' colours and texture coordinates, or null where the
// vertices hold them.
void OpenFrame(TextOutput& out, const WScene& scene, int k, int depth, const VertexRecords* named = nullptr) {
  const WObject& o = scene.objects[k];
  const std::string_view p = Indent(depth);
  std::string scratch;
  const std::string_view name = NameAsToken(o.name.c_str(), BreaksXToken, scratch);

  out.Put(p).Put("Frame Frame_").Put(name).Put(" {\n");
  WriteMatrix(out, p, o.transform.local_matrix);
  out.Put(p).Put("\tMesh ").Put(name).Put(" {\n");

  out.Put(p).Put("\t\t").Int(o.vnum).Put(";\n");
  WriteList(out, p, "\t\t", o.vnum, [&](TextOutput& to, size_t v) {
    const WVector& pos = o.vertices[v].pos;
    to.Fixed(pos.x).Put(';').Fixed(pos.y).Put(';').Fixed(-pos.z).Put(';');
  });
  out.Put(p).Put("\t\n");

  out.Put(p).Put("\t\t").Int(o.fnum).Put(";\n");
  WriteFaceIndices(out, p, "\t\t", o, [](const WFace& face) -> const int* { return face.v; });
  out.Put(p).Put("\t\n");

  WriteMaterialList(out, p, scene, o);
  if (o.nnum != 0) WriteNormals(out, p, o);
  if (o.cnum != 0) WriteVertexColors(out, p, o, named);
  if (o.unum != 0) WriteTextureCoords(out, p, o, named);
  out.Put(p).Put("\t}\n");
}

// named: per object, the records of its vertices' values.
void WriteXText(TextOutput& out, const WScene& scene, const std::vector<VertexRecords>& named) {
  out.Put(
      "xof 0303txt 0032\n"
      "\n"
      "Header{\n"
      "\t1;\n"
      "\t0;\n"
      "\t1;\n"
      "}\n"
      "\n"
      "Frame Frame_WScene_ROOT {\n"
      "\t\n"
      "\tFrameTransformMatrix {\n"
      "\t\t1.000000,0.000000,0.000000,0.000000,\n"
      "\t\t0.000000,1.000000,0.000000,0.000000,\n"
      "\t\t0.000000,0.000000,1.000000,0.000000,\n"
      "\t\t0.000000,0.000000,0.000000,1.000000;;\n"
      "\t}\n");
  // The frames' openings and closings in the order of a visit of every
  // root, then formatted on the machine's threads, many small objects at
  // a time.
  const std::vector<ObjectTree::Mark> marks = ObjectTree(scene).MarksOfEveryRoot(kMaxIndent);
  // A frame's lines: its lists, and the material list that every mesh
  // repeats.
  const size_t materials = ItemCount(scene.mnum);
  PutWeightedItems(
      out, marks.size(),
      [&](size_t i) {
        if (!marks[i].open) return size_t{1};
        const WObject& o = scene.objects[marks[i].object];
        return 16 + materials + ItemCount(o.vnum) + ItemCount(o.fnum) + ItemCount(o.nnum) + ItemCount(o.cnum) +
               ItemCount(o.unum);
      },
      [&](TextOutput& to, size_t i) {
        const ObjectTree::Mark& mark = marks[i];
        if (mark.open)
          OpenFrame(to, scene, mark.object, mark.depth, &named[static_cast<size_t>(mark.object)]);
        else
          to.Put(Indent(mark.depth)).Put("}\n");
      });
  out.Put("}\n");
}

}  // namespace

bool WriteXFrame(TextOutput& out, const WScene& scene, const ObjectTree& tree, int object, int depth) {
  if (object < 0 || object >= scene.onum) return true;
  if (depth < 0) depth = 0;
  if (depth > kMaxIndent) depth = kMaxIndent;

  tree.VisitSubtree(
      object, depth, kMaxIndent, [&](int o, int d) { OpenFrame(out, scene, o, d); },
      [&](int, int d) { out.Put(Indent(d)).Put("}\n"); });
  return true;
}

namespace {

// The format has no lines: the working scene's are released first, so that
// the vertex splits find their memory free, and the sides name none.
void ReleaseLines(WScene& work) {
  for (int o = 0; o < work.onum; ++o) {
    WObject& object = work.objects[o];
    ReleaseRecords(object.lines, object.lnum, object.lmax);
    for (int f = 0; f < object.fnum; ++f) {
      object.faces[f].ReleaseSideLines();
    }
  }
}

// The preparation of the working scene, done in place, and its text.
void PrepareAndWriteX(TextOutput& out, WScene& work) {
  ReleaseLines(work);
  EnsureMaterial(work);
  ReverseObjectFaces(work);
  std::vector<VertexRecords> named(static_cast<size_t>(work.onum));
  for (int o = 0; o < work.onum; ++o) named[static_cast<size_t>(o)] = SplitVerticesNamingRecords(work.objects[o]);
  WriteXText(out, work, named);
}

}  // namespace

WriteResult WriteXFile(const char* path, const WScene& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", scene, PrepareAndWriteX);
}

WriteResult WriteXFile(const char* path, WScene&& scene, const WriterOptions&) {
  return WriteFromWorkingCopy(path, "wb", std::move(scene), PrepareAndWriteX);
}
