// The scene library: an in-memory 3D scene (WScene) with its objects,
// materials, textures, cameras, lights and pars, and inside every object its
// vertices, lines, faces, texture coordinates, colours, normals and keys.
//
// Records refer to one another by index (-1 = none). Records are removed or
// merged only by marking them (flags |= kDeleted; remap = survivor) and
// running the compaction of their array, which keeps the survivors' order
// and rewrites every index that refers into it.
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "w_lib/scene/record_array.h"
#include "w_lib/scene/records.h"
#include "w_lib/util/w_math.h"

// Bit of an object's flags: btransform is meaningful.
constexpr int kHasBaseTransform = 0x4;
// Bit of a material's flags: its texture's image is its diffuse colour, as
// a dotXSI file may say (the image replaces the colour rather than tinting
// it), so the glTF writers give it a white base colour factor.
constexpr int kImageIsDiffuse = 0x1;
// Bit of a scene's flags: the dotXSI writer names shading model 5 instead of
// 1 for the scene's materials.
constexpr int kShadingModel5 = 0x20000;

// The seven arrays of an object. Faces, the largest records, are kept in
// pages, so that millions of them need no single block of their size.
struct WObjectArrays {
  int vnum = 0, lnum = 0, fnum = 0, unum = 0, cnum = 0, nnum = 0, anum = 0;
  int vmax = 0, lmax = 0, fmax = 0, umax = 0, cmax = 0, nmax = 0, amax = 0;
  WVertex* vertices = nullptr;
  WLine* lines = nullptr;
  WPagedRecords<WFace> faces;
  WUv* uvs = nullptr;
  WNormal* normals = nullptr;
  WTransform* keys = nullptr;
  WVertexColor* colors = nullptr;

  // The one list of them that copy, move and reset walk: calls
  // f(block, count, capacity) with member pointers to each array's fields.
  template <class F>
  static void ForEachArray(F&& f) {
    f(&WObjectArrays::vertices, &WObjectArrays::vnum, &WObjectArrays::vmax);
    f(&WObjectArrays::lines, &WObjectArrays::lnum, &WObjectArrays::lmax);
    f(&WObjectArrays::faces, &WObjectArrays::fnum, &WObjectArrays::fmax);
    f(&WObjectArrays::uvs, &WObjectArrays::unum, &WObjectArrays::umax);
    f(&WObjectArrays::normals, &WObjectArrays::nnum, &WObjectArrays::nmax);
    f(&WObjectArrays::colors, &WObjectArrays::cnum, &WObjectArrays::cmax);
    f(&WObjectArrays::keys, &WObjectArrays::anum, &WObjectArrays::amax);
  }
};

// An object: its arrays (copied deep, with the source's capacities), name
// and transforms.
struct WObject : WOwnedArrays<WObjectArrays> {
  int tag = 0;
  int parent = -1;  // object index; -1 for a root
  int flags = 0;
  int remap = -1;
  WName name;
  WTransform transform;
  WTransform btransform;
  WVector bbox_min;
  WVector bbox_max;

  // Releases every array and the name; every field back to its default.
  void Reset() { *this = WObject(); }
  void SetName(const char* text) { name.Set(text); }

  [[nodiscard]] bool ReserveVertices(int n) { return ReserveRecords(vertices, vnum, vmax, n); }
  [[nodiscard]] bool ReserveLines(int n) { return ReserveRecords(lines, lnum, lmax, n); }
  [[nodiscard]] bool ReserveFaces(int n) { return ReserveRecords(faces, fnum, fmax, n); }
  [[nodiscard]] bool ReserveUvs(int n) { return ReserveRecords(uvs, unum, umax, n); }
  [[nodiscard]] bool ReserveNormals(int n) { return ReserveRecords(normals, nnum, nmax, n); }
  [[nodiscard]] bool ReserveColors(int n) { return ReserveRecords(colors, cnum, cmax, n); }
  [[nodiscard]] bool ReserveKeys(int n) { return ReserveRecords(keys, anum, amax, n); }

  // Each add returns the new record's index and may move its array.
  int AddVertex() { return AddRecord<kGeometryGrowth>(vertices, vnum, vmax); }
  int AddLine() { return AddRecord<kGeometryGrowth>(lines, lnum, lmax); }
  // The new face is sized to n corners, which resets it.
  int AddFace(int n);
  int AddUv() { return AddRecord<kGeometryGrowth>(uvs, unum, umax); }
  int AddNormal() { return AddRecord<kGeometryGrowth>(normals, nnum, nmax); }
  int AddColor() { return AddRecord<kGeometryGrowth>(colors, cnum, cmax); }

  // The key of this frame, appended when there is none yet.
  int FindOrAddKey(int frame);
  void SortKeys() { SortKeysByFrame(keys, anum); }
  // Removes the keys marked deleted, keeping order, and shrinks to fit
  // (without memory for the smaller block the larger one stays).
  void CompactKeys() {
    ::CompactKeys(keys, anum);
    static_cast<void>(ReserveKeys(anum));
  }

  // Removes the vertices, lines, normals, colours, uvs and faces marked
  // deleted, renumbers the survivors in order and rewrites the indices that
  // faces and lines hold; a reference to a dead record becomes its merge
  // target's new index, or -1. Arrays end with an exact fit.
  void Compact();

  // Sum of the corner counts of all faces.
  long long CornerCount() const;
};
W_CHECK_DERIVED_RECORD(WObject, WOwnedArrays<WObjectArrays>, tag, parent, flags, remap, name, transform, btransform,
                       bbox_min, bbox_max);

// The six arrays of a scene.
struct WSceneArrays {
  int onum = 0, mnum = 0, tnum = 0, camnum = 0, lignum = 0, parnum = 0;
  int omax = 0, mmax = 0, tmax = 0, cammax = 0, ligmax = 0, parmax = 0;
  WObject* objects = nullptr;
  WMaterial* materials = nullptr;
  WTexture* textures = nullptr;
  WCamera* cameras = nullptr;
  WLight* lights = nullptr;
  WPar* pars = nullptr;  // see WPar: carried along, never read by a pass or writer

  // The one list of them that copy, move and reset walk: calls
  // f(block, count, capacity) with member pointers to each array's fields.
  template <class F>
  static void ForEachArray(F&& f) {
    f(&WSceneArrays::objects, &WSceneArrays::onum, &WSceneArrays::omax);
    f(&WSceneArrays::materials, &WSceneArrays::mnum, &WSceneArrays::mmax);
    f(&WSceneArrays::textures, &WSceneArrays::tnum, &WSceneArrays::tmax);
    f(&WSceneArrays::cameras, &WSceneArrays::camnum, &WSceneArrays::cammax);
    f(&WSceneArrays::lights, &WSceneArrays::lignum, &WSceneArrays::ligmax);
    f(&WSceneArrays::pars, &WSceneArrays::parnum, &WSceneArrays::parmax);
  }
};

// A scene: its arrays and its header. A copy is fully independent of its
// source.
struct WScene : WOwnedArrays<WSceneArrays> {
  int frame = 0;
  int start_frame = 0;
  int end_frame = 60;
  float fps = 30.0f;
  int scene_flags = 0;  // kShadingModel5
  // Names are UTF-8; otherwise they are in the host's Shift-JIS code page.
  // Only writers of formats that need UTF-8 read it.
  bool utf8_names = false;

  // Releases the six arrays and restores the default header.
  void Reset() { *this = WScene(); }

  // Add-with-name: appends a record and names it; an empty name gives the
  // generated name of the kind for the new index ("obj_%02d", ...).
  int AddObject(const char* name);
  int AddMaterial(const char* name);
  int AddTexture(const char* name);
  int AddCamera(const char* name);
  int AddLight(const char* name);
  int AddPar(const char* name);

  // The first record whose name equals name byte for byte, or -1.
  int FindObject(const char* name) const;
  int FindMaterial(const char* name) const;
  int FindTexture(const char* name) const;
  int FindCamera(const char* name) const;
  int FindLight(const char* name) const;
  int FindPar(const char* name) const;

  [[nodiscard]] bool ReserveObjects(int n) { return ReserveRecords(objects, onum, omax, n); }
  [[nodiscard]] bool ReserveMaterials(int n) { return ReserveRecords(materials, mnum, mmax, n); }
  [[nodiscard]] bool ReserveTextures(int n) { return ReserveRecords(textures, tnum, tmax, n); }
  [[nodiscard]] bool ReserveCameras(int n) { return ReserveRecords(cameras, camnum, cammax, n); }
  [[nodiscard]] bool ReserveLights(int n) { return ReserveRecords(lights, lignum, ligmax, n); }
  [[nodiscard]] bool ReservePars(int n) { return ReserveRecords(pars, parnum, parmax, n); }

  // Scene-level compactions: remove the records marked deleted and rewrite
  // the references to them (objects: parents and weight bones; materials:
  // face materials; textures: the material texture slots).
  void CompactObjects();
  void CompactMaterials();
  void CompactTextures();
  void CompactCameras();
  void CompactLights();
  void CompactPars();
};

// The name of the material that EnsureMaterial adds to a scene without one.
constexpr const char kNoMaterialName[] = "NoMaterial";

// Gives a scene without materials the material "NoMaterial", then moves every
// face without material (-1) to material 0.
void EnsureMaterial(WScene& scene);

// --- Export passes --------------------------------------------------------
// Each pass rewrites the scene in place, object by object in index order.
// A pass returns nothing: the one way it can fail, running out of memory,
// throws std::bad_alloc, which the export reports as its failure. Faces may
// have any number of corners.

// Axis mirror. Mask bits: 1, 2, 4 negate x, y, z of positions and normals
// (and reverse every face once); 16, 32, 64 mirror the transforms across
// the planes x = 0, y = 0, z = 0.
void MirrorScene(WScene& scene, unsigned mask);
void MirrorObject(WObject& object, unsigned mask);
// Reverses the corner order of every face and negates every normal record.
void ReverseObjectFaces(WObject& object);
// The same on every object, in index order.
void ReverseObjectFaces(WScene& scene);
// Reverses one face's corners with all their attributes and negates its
// normals.
void ReverseFace(WFace& face);

// Normalised (p0 - p1) x (p1 - p2).
WVector TriangleNormal(WVector p0, WVector p1, WVector p2);
// Face normals: the unit normal at the corner whose sides are closest to a
// right angle, turned to the majority of the corner triangles.
void ComputeFaceNormals(WScene& scene);

// Corner normals: each face normal averaged with those of the faces around
// the same vertex within the face material's smoothing angle.
void SmoothCornerNormals(WScene& scene);
// Frees every face's corner normals (they read as zero afterwards), for when
// the normal records have been made from them.
void ReleaseCornerNormals(WScene& scene);
// SmoothCornerNormals, ExpandWeldNormals and ReleaseCornerNormals in one:
// the same normal records and corner indices, with no normal stored per
// corner in between (the vertices, faces and face normals must not change
// from smoothing to welding for the two to agree).
void SmoothWeldNormals(WScene& scene);
// The object forms of SmoothCornerNormals and SmoothWeldNormals, for an
// object of scene (whose materials give the smoothing angles).
void SmoothCornerNormals(const WScene& scene, WObject& object);
void SmoothWeldNormals(const WScene& scene, WObject& object);

// Texture-coordinate records made as the faces of an object are read, with
// their vertices all there and its uvs empty: the same records, in the same
// order, and the same corner indices as one record per corner followed by
// ReverseObjectFaces (or a mirror of one axis), DropUntexturedUvs and
// WeldUvs, with the faces then turned back; no record per corner is held in
// between. The scene's materials and textures must be complete.
class WSharedUvMaker {
 public:
  WSharedUvMaker(const WScene& scene, WObject& object);
  ~WSharedUvMaker();
  WSharedUvMaker(const WSharedUvMaker&) = delete;
  WSharedUvMaker& operator=(const WSharedUvMaker&) = delete;

  // Gives face f (its vertices and material set, and faces before it done)
  // its corners' texture-coordinate indices from values[0 .. num - 1]; a
  // face without a texture gets -1 at every corner. Throws std::bad_alloc.
  void SetFaceUvs(int f, const WUv* values);

 private:
  struct Lookup;
  bool Textured(const WFace& face) const;

  const WScene& scene_;
  WObject& object_;
  std::unique_ptr<Lookup> lookup_;
  std::vector<int> take_;
  std::unordered_multimap<int, int> in_face_;
};

// --- Corner attribute records ----------------------------------------------
// The texture coordinates, colours and normals that face corners name by
// index (vt, vc, vn). Each operation has an object form and a scene form,
// which runs it on every object in index order. Records are compared by
// value with == (-0 equals 0; a NaN equals nothing); an index that names no
// record, and a corner that names no vertex, are passed over and kept. Each
// ends with the object compacted (WObject::Compact), its records in the
// order their first corners come (faces, then corners, in order); welding
// leaves an object without vertices as it is. The concerns lie in files of
// their names: drop_untextured_uvs.cpp, purge_corner_records.cpp,
// weld_corner_records.cpp and expand_corner_records.cpp.

// A face whose material is missing or names no texture of the scene loses its uv indices; then PurgeUvs.
void DropUntexturedUvs(const WScene& scene, WObject& object);
void DropUntexturedUvs(WScene& scene);

// Deletes the records of the kind that no corner names.
void PurgeUvs(WObject& object);
void PurgeUvs(WScene& scene);
void PurgeColors(WObject& object);
void PurgeColors(WScene& scene);
void PurgeNormals(WObject& object);
void PurgeNormals(WScene& scene);

// A corner whose record equals an earlier corner's at its vertex names that record; then the purge.
void WeldUvs(WObject& object);
void WeldUvs(WScene& scene);
void WeldColors(WObject& object);
void WeldColors(WScene& scene);
void WeldNormals(WObject& object);
void WeldNormals(WScene& scene);

// Replaces every record of the kind by one per corner, made from the corner's own value.
void ExpandColors(WObject& object);
void ExpandColors(WScene& scene);
void ExpandNormals(WObject& object);
void ExpandNormals(WScene& scene);
// Expand then Weld in one walk: the same records, indices and flags, with no record per corner between.
void ExpandWeldColors(WObject& object);
void ExpandWeldColors(WScene& scene);
void ExpandWeldNormals(WObject& object);
void ExpandWeldNormals(WScene& scene);

// One line per distinct undirected edge; every face side names its line.
void BuildEdges(WScene& scene);
// BuildEdges for the objects that hold lines of their own. The scene
// library's writers drop the lines that are face sides before they write,
// so for an object without lines the edge list would be made only to be
// dropped again: what they write is the same.
void BuildEdgesWhereLinesAre(WScene& scene);

// Multiplies positions and translations by factor, then UpdateMatrices.
void ScaleScene(WScene& scene, float factor);
// Recomputes every object's local and world matrices.
void UpdateMatrices(WScene& scene);
// The local matrix of a transform: scale, then rotation z-x-y, then
// translation.
WMatrix LocalMatrix(const WTransform& t);
// depth bounds how many parents are followed (parent cycles end there).
void UpdateObjectMatrix(WScene& scene, WObject& object, unsigned depth);

// A scene read from a dotXSI file (already right-handed with y up, faces
// counter-clockwise seen from outside, lengths in the output's unit) made
// ready for the library's writers: face normals; the normals and colours
// that the file gives corners kept, and smoothed normals and white colours
// made for the corners it gives none, as the export makes them; texture
// coordinates dropped from untextured faces and shared per vertex; the edge
// list where lines are; the matrices. Nothing is mirrored, turned round or
// scaled.
void PrepareReadScene(WScene& scene);
// Gives every object's rotation as the angles that dotXSI files turn by
// (about x, then y, then z) instead of the scene's order (z, x, y), for a
// working scene handed to the dotXSI writer, which writes the angles as they
// are. The matrices are not recomputed.
void RotationsToXsiOrder(WScene& scene);

// Polygon triangulation by ear clipping in each polygon's plane. Faces with
// more than 4 corners (keep_quads) or 3 (not keep_quads) are replaced by
// triangles, appended after the object's other faces in the order they are
// cut; faces with fewer than 3 corners are removed. A triangle takes the
// polygon's material, tag, colour and normal and all attributes of its three
// corners; every ear adds a line from its previous to its next corner. The
// ear test needs the face normals (ComputeFaceNormals). A polygon is tried
// with its normal, then with the normal negated; an ear there is a convex
// corner whose diagonal crosses no side. When both fail, the two tries are
// made again with the ear test of a simple polygon (no other corner inside
// or on the ear). A polygon that cannot be cut, or whose corners name a
// vertex the object lacks, is removed. The object is compacted.
void TriangulateScene(WScene& scene, bool keep_quads);
void TriangulateObject(WObject& object, bool keep_quads);
// Whether the diagonal between corners a and b of face f strictly crosses a
// side of the face that touches neither end, in the plane of the face's
// stored normal. False when f, a or b name nothing; sides with a corner that
// names no vertex are passed over.
bool DiagonalCrossesSide(const WObject& object, int f, int a, int b);

// --- Measures ---------------------------------------------------------------

// The sides of an object's faces of three or more corners, with corners
// joined by position, and its signed volume with a matrix applied to the
// positions: positive when the faces run counter-clockwise seen from
// outside. A side is open unless it is met once in each direction.
struct WMeshVolume {
  long long sides = 0;
  long long open_sides = 0;
  double volume = 0.0;
  // The faces enclose a volume: they have sides and none is open.
  bool Closed() const { return sides > 0 && open_sides == 0; }
};
// All zero for an object with a corner that names no vertex.
WMeshVolume MeasureMeshVolume(const WObject& object, const WMatrix& matrix);

// The scene passes of passes/pass_list.inc that declare themselves there.
#define W_PASS(file, ...) __VA_ARGS__
#include "w_lib/passes/pass_list.inc"
#undef W_PASS
