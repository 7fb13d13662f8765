// Record operations: names, channels, weights, face corners and keys.
#include <algorithm>
#include <cstring>
#include <memory>

#include "w_lib/w_scene.h"

void WNameText::CopyFrom(const WNameText& o) {
  if (!o.text_) return;
  const size_t n = std::strlen(o.text_) + 1;
  text_ = new char[n];
  std::memcpy(text_, o.text_, n);
}

void WName::Set(const char* text) {
  char* copy = nullptr;
  if (text) {
    const size_t n = std::strlen(text) + 1;
    copy = new char[n];
    std::memcpy(copy, text, n);
  }
  delete[] text_;
  text_ = copy;
}

bool WName::Equals(const char* text) const {
  return text_ && text && std::strcmp(text_, text) == 0;
}

float WTransform::GetChannel(int mask) const {
  if (mask & kTranslateX) return translate.x;
  if (mask & kTranslateY) return translate.y;
  if (mask & kTranslateZ) return translate.z;
  if (mask & kRotateX) return rotate.x;
  if (mask & kRotateY) return rotate.y;
  if (mask & kRotateZ) return rotate.z;
  if (mask & kScaleX) return scale.x;
  if (mask & kScaleY) return scale.y;
  if (mask & kScaleZ) return scale.z;
  return 0.0f;
}

bool WTransform::SetChannel(int mask, float value) {
  if (mask & kTranslateX) translate.x = value;
  if (mask & kTranslateY) translate.y = value;
  if (mask & kTranslateZ) translate.z = value;
  if (mask & kRotateX) rotate.x = value;
  if (mask & kRotateY) rotate.y = value;
  if (mask & kRotateZ) rotate.z = value;
  if (mask & kScaleX) scale.x = value;
  if (mask & kScaleY) scale.y = value;
  if (mask & kScaleZ) scale.z = value;
  channels |= mask;
  return true;
}

// --- WVertex ---------------------------------------------------------------

bool WVertex::ReserveWeights(int n) {
  // Reserving nothing for a vertex without weights keeps it without them.
  if (!WeightList() && n <= 0) return true;
  WVertexWeights& w = extras.Made().weights.Made();
  return ReserveRecords(w.weights, w.wnum, w.wmax, n);
}

void WVertex::CompactWeights() {
  WVertexWeights* const w = WeightList();
  if (!w) return;
  NumberSurvivors(w->weights, w->wnum);
  ResolveMerges(w->weights, w->wnum);
  RemoveDeadRecords(w->weights, w->wnum, w->wmax);
}

void WVertex::NormalizeWeights() {
  WVertexWeights* const w = WeightList();
  if (!w) return;
  float sum = 0.0f;
  for (int i = 0; i < w->wnum; ++i) sum += w->weights[i].weight;
  if (sum < 0.00001f) return;
  for (int i = 0; i < w->wnum; ++i) w->weights[i].weight /= sum;
}

// --- WFace -----------------------------------------------------------------

namespace {

constexpr int kInline = WCornerIndexStore::kInlineCorners;
constexpr int kIndexArrays = WCornerIndexStore::kArrays;

// A block of n values (colours, normals or line indices), all value; null
// for n <= 0.
template <class T>
T* NewCornerValues(int n, const T& value) {
  if (n <= 0) return nullptr;
  if (static_cast<size_t>(n) > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
  T* block = static_cast<T*>(::operator new(static_cast<size_t>(n) * sizeof(T)));
  std::uninitialized_fill_n(block, n, value);
  return block;
}

// One block for the index arrays of n corners.
int* NewCornerBlock(int n) {
  constexpr size_t kCornerBytes = kIndexArrays * sizeof(int);
  if (static_cast<size_t>(n) > static_cast<size_t>(-1) / kCornerBytes) throw std::bad_alloc();
  return static_cast<int*>(::operator new(static_cast<size_t>(n) * kCornerBytes));
}

template <class T>
T* CopyCornerValues(const T* source, int n) {
  if (!source || n <= 0) return nullptr;
  T* block = static_cast<T*>(::operator new(static_cast<size_t>(n) * sizeof(T)));
  std::uninitialized_copy_n(source, n, block);
  return block;
}

}  // namespace

constexpr WColor WFaceCorners::kCornerColor;
constexpr WColor WFaceCorners::kCornerColor2;

void WCornerBlocks::FreeBlocks() noexcept {
  if (OnHeap()) {
    ::operator delete(static_cast<void*>(v.block_));
    v.block_ = nullptr;
  }
  if (!values_) return;
  ::operator delete(static_cast<void*>(values_->sides));
  ::operator delete(static_cast<void*>(values_->normals));
  ::operator delete(static_cast<void*>(values_->colors));
  ::operator delete(static_cast<void*>(values_->colors2));
  delete values_;
  values_ = nullptr;
}

void WCornerBlocks::CopyFrom(const WCornerBlocks& o) {
  if (o.num <= 0) {
    num = o.num;
    return;
  }
  const size_t entries = kIndexArrays * static_cast<size_t>(o.num);
  if (o.num > kInline) {
    // Held by the face as soon as it is made.
    v.block_ = NewCornerBlock(o.num);
    num = o.num;
    std::copy_n(o.v.block_, entries, v.block_);  // the index arrays at once
  } else {
    num = o.num;
    std::copy_n(o.v.small_, entries, v.small_);
  }
  if (o.values_) {
    values_ = new WCornerValues();
    values_->sides = CopyCornerValues(o.values_->sides, num);
    values_->normals = CopyCornerValues(o.values_->normals, num);
    values_->colors = CopyCornerValues(o.values_->colors, num);
    values_->colors2 = CopyCornerValues(o.values_->colors2, num);
  }
}

WCornerValues& WFaceCorners::Values() {
  if (!values_) values_ = new WCornerValues();
  return *values_;
}

void WFaceCorners::ReleaseEmptyValues() {
  if (values_ && !values_->sides && !values_->normals && !values_->colors && !values_->colors2) {
    delete values_;
    values_ = nullptr;
  }
}

int* WFaceCorners::SideLines() {
  if (num <= 0) return nullptr;
  WCornerValues& values = Values();
  if (!values.sides) values.sides = NewCornerValues(num, -1);
  return values.sides;
}

WVector* WFaceCorners::CornerNormals() {
  if (num <= 0) return nullptr;
  WCornerValues& values = Values();
  if (!values.normals) values.normals = NewCornerValues(num, WVector());
  return values.normals;
}

WColor* WFaceCorners::CornerColors() {
  if (num <= 0) return nullptr;
  WCornerValues& values = Values();
  if (!values.colors) values.colors = NewCornerValues(num, kCornerColor);
  return values.colors;
}

WColor* WFaceCorners::CornerColors2() {
  if (num <= 0) return nullptr;
  WCornerValues& values = Values();
  if (!values.colors2) values.colors2 = NewCornerValues(num, kCornerColor2);
  return values.colors2;
}

void WFaceCorners::ReleaseCornerNormals() {
  if (!values_) return;
  ::operator delete(static_cast<void*>(values_->normals));
  values_->normals = nullptr;
  ReleaseEmptyValues();
}

void WFaceCorners::ReleaseSideLines() {
  if (!values_) return;
  ::operator delete(static_cast<void*>(values_->sides));
  values_->sides = nullptr;
  ReleaseEmptyValues();
}

void WFaceCorners::MakeCorners(int n) {
  Release();
  if (n <= 0) {
    num = n;
    return;
  }
  if (n > kInline) v.block_ = NewCornerBlock(n);
  num = n;
  std::fill_n(static_cast<int*>(v), kIndexArrays * n, -1);  // v, vt, vn and vc lie back to back
}

void WFaceCorners::CopyCorner(int k, const WFaceCorners& source, int j) {
  v[k] = source.v[j];
  vt()[k] = source.vt()[j];
  vn()[k] = source.vn()[j];
  vc()[k] = source.vc()[j];
  // A default value into a face that holds only defaults needs no block.
  if (source.e() || e()) SideLines()[k] = source.SideLine(j);
  if (source.corner_normals() || corner_normals()) CornerNormals()[k] = source.CornerNormal(j);
  if (source.corner_colors() || corner_colors()) CornerColors()[k] = source.CornerColor(j);
  if (source.corner_colors2() || corner_colors2()) CornerColors2()[k] = source.CornerColor2(j);
}

// --- Keys ------------------------------------------------------------------

int AddKey(WTransform*& keys, int& anum, int& amax, int frame) {
  const int i = AddRecord<kKeyGrowth>(keys, anum, amax);
  keys[i].frame = frame;
  return i;
}

void SortKeysByFrame(WTransform* keys, int anum) {
  if (anum <= 1) return;
  std::stable_sort(keys, keys + anum,
                   [](const WTransform& a, const WTransform& b) { return a.frame < b.frame; });
}

void CompactKeys(WTransform* keys, int& anum) {
  int kept = 0;
  for (int i = 0; i < anum; ++i)
    if (!(keys[i].flags & kDeleted)) keys[kept++] = keys[i];
  anum = kept;
}
