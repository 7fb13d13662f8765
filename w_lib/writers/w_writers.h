// The scene writers of the library. Each takes a prepared scene, leaves it
// unchanged, and returns whether the whole file was written or, when it was
// not, why (write_result.h). Each also takes the scene by rvalue reference,
// for a caller that no longer needs it: a writer that prepares a working
// copy prepares that scene in place instead, without the copy. Every writer
// takes the writer options (writer_options.h) and reads those that its
// format takes.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/w_scene.h"
#include "w_lib/writers/write_result.h"
#include "w_lib/writers/writer_options.h"

class TextOutput;

// The writers of writer_list.inc, each in both forms.
#define W_WRITER(file, Write)                                                                  \
  WriteResult Write(const char* path, const WScene& scene, const WriterOptions& options = {}); \
  WriteResult Write(const char* path, WScene&& scene, const WriterOptions& options = {});
#include "w_lib/writers/writer_list.inc"
#undef W_WRITER

// The object hierarchy as child lists, built once in time linear in the
// objects: the roots (parent -1) and each object's children, in index order.
// An object whose parent is out of range, or that lies on a parent cycle, is
// reachable from no root.
struct ObjectTree {
  explicit ObjectTree(const WScene& scene);

  std::vector<int> roots;
  // The children of object k are list[start[k]] .. list[start[k + 1] - 1].
  std::vector<int> start;
  std::vector<int> list;

  // An object's opening or closing in a visit.
  struct Mark {
    int object;
    int depth;
    bool open;
  };
  // The marks of VisitSubtree of every root in turn, from depth 0, for a
  // writer that formats the objects apart from the walk.
  std::vector<Mark> MarksOfEveryRoot(int max_depth) const;

  const int* ChildrenBegin(int k) const { return list.data() + start[k]; }
  const int* ChildrenEnd(int k) const { return list.data() + start[k + 1]; }

  // Visits object and its descendants depth first: open(object, depth)
  // before an object's children, close(object, depth) after them. Children
  // are one level deeper, up to max_depth. An explicit stack stands in for
  // recursion, so that deep chains cannot exhaust the call stack; the start
  // object, met again when it lies on a parent cycle, is not visited twice.
  template <class Open, class Close>
  void VisitSubtree(int object, int depth, int max_depth, Open&& open, Close&& close) const {
    struct Level {
      int object;
      int depth;
      const int* next_child;
    };
    std::vector<Level> stack;
    open(object, depth);
    stack.push_back({object, depth, ChildrenBegin(object)});
    while (!stack.empty()) {
      Level& top = stack.back();
      if (top.next_child == ChildrenEnd(top.object)) {
        close(top.object, top.depth);
        stack.pop_back();
        continue;
      }
      const int child = *top.next_child++;
      if (child == object) continue;
      const int d = top.depth < max_depth ? top.depth + 1 : max_depth;
      open(child, d);
      stack.push_back({child, d, ChildrenBegin(child)});  // top is not used after this
    }
  }
};

// --- dotXSI 3.0 text -------------------------------------------------------

// The whole dotXSI text of scene, with the time stamp of `now`.
void WriteXsiScene(TextOutput& out, const WScene& scene, std::time_t now);

// The faces of one polygon list, by index into the object's faces: the
// listed ones, or with no list the count faces from first on.
struct XsiFaceRun {
  const int* order;
  int first;
  int count;
  int operator[](int i) const { return order ? order[i] : first + i; }
};

// Scratch space for sorting a model's faces into polygon lists, kept from
// model to model: one per thread that writes models.
struct XsiFaceBuckets {
  explicit XsiFaceBuckets(const WScene& scene);

  int material_count;  // mnum, or 1 for the fallback material
  // Per (material, group) key: faces counted, then a fill cursor; all 0
  // between models.
  std::vector<int> bucket_end;
  // The keys in use, and where each one's faces begin and end in face_order.
  std::vector<int> used_keys;
  std::vector<int> bucket_begin;
  std::vector<int> bucket_stop;
  // The faces of every list, list after list; empty when one list holds
  // every face in order (in_order).
  std::vector<int> face_order;
  bool in_order = false;

  // The faces of the u-th key in use.
  XsiFaceRun Run(size_t u) const {
    const int count = bucket_stop[u] - bucket_begin[u];
    if (in_order) return {nullptr, bucket_begin[u], count};
    return {face_order.data() + bucket_begin[u], 0, count};
  }
};

// What the models of one file share, built once per file: the hierarchy and
// the face sorting's scratch.
struct XsiModelContext {
  explicit XsiModelContext(const WScene& scene) : tree(scene), buckets(scene) {}

  ObjectTree tree;
  XsiFaceBuckets buckets;
};

// Writes object `object` as an SI_Model block at the given depth (its indent,
// capped at 255 TABs), with the models of all its descendants nested inside.
// context must have been built from this scene.
// Faces with material -1 are written under material 0; faces with any other
// material outside the scene's list are left out. Returns true.
bool WriteXsiModel(TextOutput& out, const WScene& scene, XsiModelContext& context, int object, int depth);
// The same model's own part: everything up to where its children go, with
// depth already in 0 .. 255.
void OpenXsiModel(TextOutput& out, const WScene& scene, XsiFaceBuckets& buckets, int object, int depth);
// The models of every root of the hierarchy, as WriteXsiModel writes each.
void WriteXsiModels(TextOutput& out, const WScene& scene);

// name as dotXSI writes it in template heads and quoted strings: braces,
// double quotes and control bytes become '_' (two-byte characters are kept
// whole); blanks stay. name itself when it needs no change, else scratch.
std::string_view XsiName(const char* name, std::string& scratch);

// The time stamp of SI_FileInfo: the wall-clock time of UTC+9 (no daylight
// saving) at `now`, as "Www Mmm DD hh:mm:ss YYYY" with English names and a
// zero-padded day. Needs neither the time zone setting nor the locale.
std::string XsiTimeStamp(std::time_t now);

// The instant that a dotXSI file is stamped with: the value of
// SOURCE_DATE_EPOCH (source_date_epoch, null when unset) when it is a plain
// decimal count of seconds from 0 to 253402300799 (the end of the year 9999),
// so that two exports of one document match byte for byte; otherwise, as for
// a sign, a blank or a number too large, now.
std::time_t XsiStampTime(std::time_t now, const char* source_date_epoch);

// The comment that heads the OBJ, material and dump files.
constexpr char kCreatedByLine[] = "# Created by Tesseron v0.17 (05/08/13)\n\n";

// --- DirectX text -------------------------------------------------------------

// Writes the frame of object `object` at the given depth (indent depth + 1
// TABs, at most 255) with the frames of all its descendants nested inside.
// scene is the prepared copy, tree built from it. Material and corner
// indices are written as stored; a texture index outside the list counts as
// no texture. Returns true.
bool WriteXFrame(TextOutput& out, const WScene& scene, const ObjectTree& tree, int object, int depth);

// --- Wavefront OBJ --------------------------------------------------------------

// How the material file names a texture: by its file name alone (the forms
// of writer_list.inc), or by the document's relative name with '/' separators, as
// readers look for it from the material file's folder (an absolute name, or
// one on a drive, still by its file name).
enum class ObjTexturePaths { kFileName, kRelative };
WriteResult WriteObjFile(const char* path, WScene&& scene, ObjTexturePaths texture_paths);

// --- The host's document text (.mqo) ---------------------------------------

// The whole document text of scene, prepared on a copy as WriteMqoFile prepares it.
void WriteMqoScene(TextOutput& out, const WScene& scene);

// The packed colour of the .mqo text: each component clamped to 0..1 (NaN
// reads as 0), times 255 in single precision, truncated; red in the low byte,
// then green, blue and alpha.
unsigned PackMqoColor(const WColor& color);

// --- DXF ---------------------------------------------------------------------
// The texts of the two DXF writers of writer_list.inc.
void WriteDxfFacesScene(TextOutput& out, const WScene& scene);
void WriteDxfPolyfaceScene(TextOutput& out, const WScene& scene);

// --- glTF 2.0 --------------------------------------------------------------
// Both write one node per object (all at the root, named after the object,
// transforms frozen into the geometry) with a mesh of the primitives that
// BuildGltfMesh makes (gltf_mesh.h); an object without any is a node without
// mesh. Every material is written, used or not, as metallic-roughness: the
// base colour factor from its colour and alpha (clamped to 0..1), metallic
// 0, a roughness from a specular power of 5, BLEND when alpha < 1, and its
// texture as an image stored in the buffer (gltf_images.h), PNG or JPEG,
// after the meshes' arrays; a texture whose image cannot be stored is left
// out, with a warning, and its material keeps only its colour. Names are
// converted to UTF-8 (scene.utf8_names tells their code page). The glTF
// texture origin is the top left, as in the scene: texture coordinates are
// written as they are. Both return false, leaving the old files as they
// were, when a file cannot be opened or written, or a number to write is
// not finite (ERANGE).

// The options they read:
// - keep_order: the mesh is built in the scene's order of faces, and its
//   vertices in the order their corners first make them. Otherwise (in
//   builds with meshoptimizer) each mesh's triangles are ordered for the
//   GPU's vertex cache and its vertices in the order the triangles use them
//   (OrderGltfMesh).
// - compress: quantised attributes (KHR_mesh_quantization; the node's scale
//   and translation restore the positions, a texture transform the texture
//   coordinates) and every array encoded (EXT_meshopt_compression), as
//   gltf_mesh_compression.h describes; triangles ordered in strips, which
//   compress best. Only in builds with meshoptimizer: without it the write
//   fails with ENOTSUP.
// - textures: where the texture images are found, and where their warnings
//   go.

// A binary .glb file: the JSON chunk and the buffer chunk in one file.
WriteResult WriteGlbFile(const char* path, const WScene& scene, const WriterOptions& options = {});
// The same from a scene the writer may change: the lines that are face
// sides (which glTF leaves out) are freed before the buffer is built, and
// each object's arrays as its mesh is built.
WriteResult WriteGlbFile(const char* path, WScene&& scene, const WriterOptions& options = {});

// A .gltf JSON file and its buffer in the file beside it with the extension
// .bin (GltfBufferPath), which it names. Neither replaces its old file
// before both are complete; a scene without geometry or images has no
// buffer and writes no .bin. A path whose buffer name is the path itself
// is refused (EINVAL).
WriteResult WriteGltfFile(const char* path, const WScene& scene, const WriterOptions& options = {});
WriteResult WriteGltfFile(const char* path, WScene&& scene, const WriterOptions& options = {});
std::string GltfBufferPath(const char* path);
