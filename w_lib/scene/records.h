// The records of the scene model: value classes, geometry records of an
// object and the records of the scene's own arrays. Records refer to one
// another only by index (-1 = none), so arrays can grow, copy and compact.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "w_lib/scene/record_array.h"
#include "w_lib/util/owned.h"
#include "w_lib/util/w_math.h"

// What a WName holds: null, or its heap copy.
struct WNameText {
 protected:
  char* text_ = nullptr;

  void CopyFrom(const WNameText& o);
  void Release() noexcept {
    delete[] text_;
    text_ = nullptr;
  }
};

// A record's name: null, or an owned heap copy of a zero-terminated byte
// string in the host's code page. Compared byte for byte.
class WName : public WOwned<WNameText> {
 public:
  // Frees the old copy and stores a copy of text; null leaves the name null.
  void Set(const char* text);
  bool IsNull() const { return text_ == nullptr; }
  // The raw pointer: null for a null name.
  const char* get() const { return text_; }
  // The text for writing: a null name reads as the empty text.
  const char* c_str() const { return text_ ? text_ : ""; }
  // Byte-for-byte equality; a null name equals nothing.
  bool Equals(const char* text) const;
};

struct WColor {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;

  WColor() = default;
  constexpr WColor(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}

  WColor& operator+=(const WColor& o) { r += o.r; g += o.g; b += o.b; a += o.a; return *this; }
  WColor& operator-=(const WColor& o) { r -= o.r; g -= o.g; b -= o.b; a -= o.a; return *this; }
  WColor& operator*=(float s) { r *= s; g *= s; b *= s; a *= s; return *this; }
  WColor operator-() const { return WColor(-r, -g, -b, -a); }
};

inline WColor operator+(WColor a, const WColor& b) { return a += b; }
inline WColor operator-(WColor a, const WColor& b) { return a -= b; }
inline WColor operator*(WColor a, float s) { return a *= s; }
inline bool operator==(const WColor& a, const WColor& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }
inline bool operator!=(const WColor& a, const WColor& b) { return !(a == b); }

// A texture coordinate: a record of an object's uvs, and a value embedded in
// vertices. Arithmetic works on (u, v) only; results carry default bookkeeping.
struct WUv {
  int flags = 0;
  int remap = -1;
  float u = 0.0f;
  float v = 0.0f;

  WUv() = default;
  WUv(float u_, float v_) : u(u_), v(v_) {}

  void Set(float u_, float v_) { u = u_; v = v_; }
  WUv& operator+=(const WUv& o) { u += o.u; v += o.v; return *this; }
  WUv& operator-=(const WUv& o) { u -= o.u; v -= o.v; return *this; }
  WUv& operator*=(float s) { u *= s; v *= s; return *this; }
  WUv operator-() const { return WUv(-u, -v); }
};

inline WUv operator+(const WUv& a, const WUv& b) { return WUv(a.u + b.u, a.v + b.v); }
inline WUv operator-(const WUv& a, const WUv& b) { return WUv(a.u - b.u, a.v - b.v); }
inline WUv operator*(const WUv& a, float s) { return WUv(a.u * s, a.v * s); }

// Channel bits of a transform: which components have been set.
enum WChannel : int {
  kTranslateX = 0x1, kTranslateY = 0x2, kTranslateZ = 0x4,
  kRotateX = 0x10, kRotateY = 0x20, kRotateZ = 0x40,
  kScaleX = 0x100, kScaleY = 0x200, kScaleZ = 0x400,
};

// A transform: an object's own, a camera's or light's, or an animation key
// (told apart by frame).
struct WTransform {
  int flags = 0;
  int frame = 0;
  int channels = 0;
  WMatrix world_matrix;  // local_matrix followed by the parents' world matrices
  WMatrix local_matrix;  // scale x rotation x translation
  WVector base_translate;
  WVector base_rotate;
  WVector base_scale{1.0f, 1.0f, 1.0f};
  WVector translate;
  WVector rotate;  // radians about x, y, z
  WVector scale{1.0f, 1.0f, 1.0f};

  // The component that a channel bit names; 0 for a mask of no known bit.
  // With several bits the first of translate xyz, rotate xyz, scale xyz wins.
  float GetChannel(int mask) const;
  // Stores value into every component whose bit is in mask.
  bool SetChannel(int mask, float value);
};

// A vertex's influence from a bone object.
struct WWeight {
  int flags = 0;
  int remap = -1;
  int bone = -1;  // object index
  float weight = 0.0f;
};

// A vertex's one array: its weights.
struct WWeightArray {
  WWeight* weights = nullptr;
  int wnum = 0;
  int wmax = 0;

  template <class F>
  static void ForEachArray(F&& f) {
    f(&WWeightArray::weights, &WWeightArray::wnum, &WWeightArray::wmax);
  }
};

// A heap copy of a T, or null for a T at its defaults: a value that nearly
// every record leaves at its defaults costs one pointer until it is written.
template <class T>
struct WOptionalBlock {
  T* block = nullptr;

 protected:
  void CopyFrom(const WOptionalBlock& o) {
    if (o.block) block = new T(*o.block);
  }
  void Release() noexcept {
    delete block;
    block = nullptr;
  }
};

template <class T>
struct WOptional : WOwned<WOptionalBlock<T>> {
  // The value, or a T at its defaults while none is held.
  const T& Get() const { return this->block ? *this->block : Defaults(); }
  // The value for writing, made from the defaults when none is held. Throws
  // std::bad_alloc when memory runs out.
  T& Made() {
    if (!this->block) this->block = new T();
    return *this->block;
  }

 private:
  static const T& Defaults() {
    static const T defaults;
    return defaults;
  }
};

// A vertex's weights, owned.
struct WVertexWeights : WOwnedArrays<WWeightArray> {};

// What a vertex holds beyond its position: a normal, a colour, a texture
// coordinate and weights. The passes keep normals, colours and texture
// coordinates in records of their own, and few documents have weights, so
// nearly every vertex leaves these at their defaults. The weights are apart
// again: the writers that give vertices colours and coordinates of their
// own give them no weights.
struct WVertexExtras {
  WColor col;
  WUv uv;
  WVector normal;
  WOptional<WVertexWeights> weights;
};

struct WVertex {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WVector pos;
  // The normal, colour, texture coordinate and weights: read and written
  // through the functions below; held only once one of them is written.
  WOptional<WVertexExtras> extras;

  const WVector& normal() const { return extras.Get().normal; }
  const WColor& col() const { return extras.Get().col; }
  const WUv& uv() const { return extras.Get().uv; }
  void SetNormal(const WVector& n) { extras.Made().normal = n; }
  void SetCol(const WColor& c) { extras.Made().col = c; }
  void SetUv(const WUv& t) { extras.Made().uv = t; }
  // Whether any of those is held.
  bool HoldsExtras() const { return extras.block != nullptr; }

  // The weights: wnum in use of wmax allocated (null while there are none).
  int wnum() const { return extras.Get().weights.Get().wnum; }
  int wmax() const { return extras.Get().weights.Get().wmax; }
  const WWeight* weights() const { return extras.Get().weights.Get().weights; }
  WWeight* weights() { return WeightList() ? WeightList()->weights : nullptr; }
  int AddWeight() {
    WVertexWeights& w = extras.Made().weights.Made();
    return AddRecord<kSceneGrowth>(w.weights, w.wnum, w.wmax);
  }
  [[nodiscard]] bool ReserveWeights(int n);
  // Removes the weights marked deleted, keeping order; shrinks to fit.
  void CompactWeights();
  // Divides every weight by their sum, unless the sum is below 1e-5.
  void NormalizeWeights();

 private:
  // The weights held, or null.
  WVertexWeights* WeightList() { return extras.block ? extras.block->weights.block : nullptr; }
};
W_CHECK_RECORD(WVertex, tag, flags, remap, pos, extras);

// An edge between two vertices.
struct WLine {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  int v[2] = {0, 0};
};

// What a face holds beyond its corner indices, made with the first of these
// to be written: the side lines and the per-corner normals and colours.
// Faces that have none (nearly all) hold a null pointer instead.
struct WCornerValues {
  int* sides = nullptr;  // per side: line index
  WVector* normals = nullptr;
  WColor* colors = nullptr;
  WColor* colors2 = nullptr;
};

// Where the corner indices of a face lie: inside the face for up to
// kInlineCorners corners, else in a heap block. Read and written as the
// array of vertex indices that starts them (face.v[k], or face.v as an
// int*); the other index arrays follow it. It cannot be copied on its own,
// since the indices it holds would stay behind: the face copies it.
class WCornerIndexStore {
 public:
  static constexpr int kInlineCorners = 4;
  static constexpr int kArrays = 4;  // v, vt, vn, vc

  WCornerIndexStore() = default;
  WCornerIndexStore(const WCornerIndexStore&) = delete;
  WCornerIndexStore& operator=(const WCornerIndexStore&) = delete;
  WCornerIndexStore(WCornerIndexStore&&) = default;
  WCornerIndexStore& operator=(WCornerIndexStore&&) = default;

  // The vertex index of each corner, followed by the other index arrays;
  // null for a face without corners. Writable through a const face too, as
  // an owned array of a record is.
  inline operator int*() const;

 private:
  friend class WFaceCorners;
  friend struct WCornerBlocks;
  union {
    int small_[kArrays * kInlineCorners] = {};
    int* block_;
  };
};

// What WFaceCorners holds: the corner indices and the optional values.
// Standard layout, so that the index store finds the corner count beside it.
struct WCornerBlocks {
  // The holder of the optional values, made with the first of them.
  WCornerValues* values_ = nullptr;
  // Per corner: vertex index. The other three index arrays follow it in this
  // order, num entries each, and are found from v and num rather than stored.
  WCornerIndexStore v;
  int num = 0;  // number of corners

 protected:
  // Whether the indices lie in a heap block rather than in the face.
  bool OnHeap() const { return num > WCornerIndexStore::kInlineCorners; }
  // Fills corners that hold no block.
  void CopyFrom(const WCornerBlocks& o);
  // Frees every block and leaves no corners; a face that holds no block (a
  // small one, or what a move left) costs nothing to release.
  void Release() noexcept {
    if (OnHeap() || values_) FreeBlocks();
    num = 0;
  }

 private:
  void FreeBlocks() noexcept;
};

inline WCornerIndexStore::operator int*() const {
  const auto* owner = reinterpret_cast<const WCornerBlocks*>(reinterpret_cast<const char*>(this) -
                                                             offsetof(WCornerBlocks, v));
  if (owner->num <= 0) return nullptr;
  if (owner->num > kInlineCorners) return block_;
  return const_cast<int*>(small_);
}

// The corners of a polygon, as one value: num corners, whose four index
// arrays (vertex, texture coordinate, normal, colour) lie inside the face
// for up to four corners and in one heap block of num entries each beyond
// that (all null when num <= 0). The side lines, the corner normals and the
// two corner colour arrays each have a block of their own only once they
// are written, held apart in a WCornerValues: null reads as every side
// naming no line and every corner holding the default. Only the edge list
// names side lines, and only where lines are wanted; the colours are the
// same defaults for nearly every face (white, and (0, 0, 0, 1)); the
// normals are needed only from smoothing until the normal records are
// made, after which ReleaseCornerNormals gives their memory back (the
// export's passes smooth inside the weld and never make them). A copy
// copies every block; a move trades them, so that the source releases what
// the target held.
class WFaceCorners : public WOwned<WCornerBlocks> {
 public:
  // Per side k (corner k to k+1): line index, -1 none. Null while no side
  // names a line: read them through SideLine, write through SideLines().
  int* e() { return values_ ? values_->sides : nullptr; }
  const int* e() const { return values_ ? values_->sides : nullptr; }
  // Per corner: texture-coordinate index, -1 none.
  int* vt() { return CornerArray(1); }
  const int* vt() const { return CornerArray(1); }
  // Per corner: normal-record index, -1 none.
  int* vn() { return CornerArray(2); }
  const int* vn() const { return CornerArray(2); }
  // Per corner: colour-record index, -1 none.
  int* vc() { return CornerArray(3); }
  const int* vc() const { return CornerArray(3); }
  // Per corner, or null while every corner holds the zero vector: read them
  // through CornerNormal, write through CornerNormals().
  WVector* corner_normals() { return values_ ? values_->normals : nullptr; }
  const WVector* corner_normals() const { return values_ ? values_->normals : nullptr; }
  // Per corner, or null while every corner holds kCornerColor / kCornerColor2:
  // read them through CornerColor / CornerColor2, write through
  // CornerColors() / CornerColors2().
  WColor* corner_colors() { return values_ ? values_->colors : nullptr; }
  const WColor* corner_colors() const { return values_ ? values_->colors : nullptr; }
  // A second colour per corner. Nothing here sets it or writes it out: it
  // stays (0, 0, 0, 1) unless a caller writes it, and is copied, mirrored
  // and reordered with its corner so that such a value is never misplaced.
  WColor* corner_colors2() { return values_ ? values_->colors2 : nullptr; }
  const WColor* corner_colors2() const { return values_ ? values_->colors2 : nullptr; }

  static constexpr WColor kCornerColor{1.0f, 1.0f, 1.0f, 1.0f};
  static constexpr WColor kCornerColor2{0.0f, 0.0f, 0.0f, 1.0f};

  // Frees the corners and makes n new ones: indices -1, no side lines and no
  // corner values of their own. Throws std::bad_alloc when memory runs out,
  // leaving none.
  void MakeCorners(int n);
  // Copies corner j of source (all eight entries) into corner k.
  void CopyCorner(int k, const WFaceCorners& source, int j);

  int SideLine(int k) const { return e() ? e()[k] : -1; }
  WVector CornerNormal(int k) const { return corner_normals() ? corner_normals()[k] : WVector(); }
  WColor CornerColor(int k) const { return corner_colors() ? corner_colors()[k] : kCornerColor; }
  WColor CornerColor2(int k) const { return corner_colors2() ? corner_colors2()[k] : kCornerColor2; }
  // The side lines, corner normals or colours for writing, given a block of
  // their own first (filled with the default) when they have none. Null for
  // a face without corners. Throws std::bad_alloc when memory runs out.
  int* SideLines();
  WVector* CornerNormals();
  WColor* CornerColors();
  WColor* CornerColors2();
  // Frees the corner normals: every corner reads as the zero vector again.
  void ReleaseCornerNormals();
  // Frees the side lines: every side names no line again.
  void ReleaseSideLines();

 private:
  // The i-th index array, or null without corners.
  int* CornerArray(int i) const {
    int* const first = v;
    return first ? first + static_cast<ptrdiff_t>(i) * num : nullptr;
  }
  WCornerValues& Values();
  // Frees the holder once it holds none of them.
  void ReleaseEmptyValues();
};

// A polygon: its corners and what the whole face carries.
struct WFace final : WFaceCorners {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  int material = -1;  // material index, -1 none
  WColor col{1.0f, 1.0f, 1.0f, 1.0f};
  WVector normal;

  // Resets every field to its default and makes n corners: indices -1,
  // corner colours white. Throws std::bad_alloc when memory runs out.
  void Size(int n) {
    // Made anew in place: every default from one list, without a temporary
    // face to copy from (faces are sized by the million).
    this->~WFace();
    new (this) WFace();
    MakeCorners(n);
  }
};
W_CHECK_DERIVED_RECORD(WFace, WFaceCorners, tag, flags, remap, material, col, normal);

struct WNormal {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WVector normal;
};

struct WVertexColor {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WColor col;
};

struct WMaterial {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WColor col{0.7f, 0.7f, 0.7f, 1.0f};
  int tex = -1;                        // texture index
  int further_tex[3] = {-1, -1, -1};   // three more texture slots
  WName name;
  WName further_names[2];
  float smoothing_angle = 1.0384710f;  // 59.5 degrees, in radians

  void SetName(const char* text) { name.Set(text); }
};
W_CHECK_RECORD(WMaterial, tag, flags, remap, col, tex, further_tex, name, further_names, smoothing_angle);

struct WTexture {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WName name;  // the texture file path
  int width = 0;
  int height = 0;

  void SetName(const char* text) { name.Set(text); }
};
W_CHECK_RECORD(WTexture, tag, flags, remap, name, width, height);

// Animation keys of cameras, lights and pars; an object keeps its own.
int AddKey(WTransform*& keys, int& anum, int& amax, int frame);
// Sorts keys ascending by frame.
void SortKeysByFrame(WTransform* keys, int anum);
// Removes the keys marked deleted, keeping order. The capacity stays: only
// an object shrinks its keys to fit afterwards.
void CompactKeys(WTransform* keys, int& anum);

// A keyed record's one array: its animation keys.
struct WKeyArray {
  int anum = 0;
  int amax = 0;
  WTransform* keys = nullptr;

  template <class F>
  static void ForEachArray(F&& f) {
    f(&WKeyArray::keys, &WKeyArray::anum, &WKeyArray::amax);
  }
};

// The fields shared by cameras, lights and pars: a name, a transform and
// animation keys.
struct WKeyedRecord : WOwnedArrays<WKeyArray> {
  int tag = 0;
  int flags = 0;
  int remap = -1;
  WName name;
  WTransform transform;

  void SetName(const char* text) { name.Set(text); }
  int AddKey(int frame) { return ::AddKey(keys, anum, amax, frame); }
  [[nodiscard]] bool ReserveKeys(int n) { return ReserveRecords(keys, anum, amax, n); }
  void SortKeys() { SortKeysByFrame(keys, anum); }
  void CompactKeys() { ::CompactKeys(keys, anum); }
};
W_CHECK_DERIVED_RECORD(WKeyedRecord, WOwnedArrays<WKeyArray>, tag, flags, remap, name, transform);

struct WCamera : WKeyedRecord {};
W_CHECK_RECORD_ADDS_NOTHING(WCamera, WKeyedRecord);

struct WLight : WKeyedRecord {};
W_CHECK_RECORD_ADDS_NOTHING(WLight, WKeyedRecord);

// A record of the sixth scene kind: a named record with a transform, keys
// and a material index, beside cameras and lights. Nothing here creates or
// reads one (not the export, no pass, no writer); the scene only stores,
// copies, names and compacts them, so that a scene built elsewhere keeps them.
struct WPar : WKeyedRecord {
  int material = -1;  // material index
};
W_CHECK_DERIVED_RECORD(WPar, WKeyedRecord, material);
