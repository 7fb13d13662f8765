// The texture coordinates of an object's corners. While a document is read
// or edited they are kept one per corner. Once it is read they are shared:
// one per vertex, taken from the first corner on it, and apart only for the
// corners that differ from their vertex's (the seams). Most corners of a
// mesh agree with the others on their vertex, so a mesh of quads keeps
// about a quarter of the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Vellmar/host_interface.h"

class CornerUvs {
 public:
  // The number of corners.
  size_t size() const { return shared_ ? corners_ : per_corner_.size(); }
  bool IsShared() const { return shared_; }

  // The coordinate of corner c, whose vertex is corner_vertex[c].
  MQCoordinate At(size_t c, const int32_t* corner_vertex) const {
    if (!shared_) return per_corner_[c];
    if (OwnsOne(c)) return own_[OwnIndex(c)];
    return per_vertex_[static_cast<size_t>(corner_vertex[c])];
  }

  // The coordinates one per corner, for reading in bulk and for editing:
  // made from the shared form first when they are shared. corner_vertex
  // must be what it was when they were shared. Throws std::bad_alloc when
  // memory runs out, leaving them shared.
  std::vector<MQCoordinate>& PerCorner(const std::vector<int32_t>& corner_vertex);

  // Shares them (see above) when that takes less memory; a corner whose
  // vertex index is not below vertex_count keeps its own. The corners'
  // vertices must not change while they are shared: whatever changes them
  // asks for PerCorner first. When memory runs out they stay one per corner.
  void Share(const std::vector<int32_t>& corner_vertex, size_t vertex_count);

  // Gives back all their memory: no corners.
  void Release();

  // The per-corner array while they are not shared, else null.
  MQCoordinate* PerCornerData() { return shared_ ? nullptr : per_corner_.data(); }

 private:
  static constexpr size_t kWordBits = 64;
  bool OwnsOne(size_t c) const { return (owns_[c / kWordBits] >> (c % kWordBits)) & 1u; }
  // Where corner c's own coordinate lies in own_: the corners before it
  // that own one.
  size_t OwnIndex(size_t c) const;

  std::vector<MQCoordinate> per_corner_;
  // Shared:
  bool shared_ = false;
  size_t corners_ = 0;
  std::vector<MQCoordinate> per_vertex_;
  std::vector<uint64_t> owns_;          // per corner, a bit: it keeps its own
  std::vector<uint32_t> owned_before_;  // per word of owns_: the owning corners before it
  std::vector<MQCoordinate> own_;       // the own coordinates, in corner order
};
