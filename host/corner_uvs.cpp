#include "host/corner_uvs.h"

#include <cstring>
#include <new>

namespace {

bool SameBits(const MQCoordinate& a, const MQCoordinate& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

size_t CornerUvs::OwnIndex(size_t c) const {
  const size_t word = c / kWordBits;
  const uint64_t below = owns_[word] & ((uint64_t{1} << (c % kWordBits)) - 1);
  return owned_before_[word] + static_cast<size_t>(__builtin_popcountll(below));
}

std::vector<MQCoordinate>& CornerUvs::PerCorner(const std::vector<int32_t>& corner_vertex) {
  if (!shared_) return per_corner_;
  std::vector<MQCoordinate> made(corners_);
  for (size_t c = 0; c < corners_; ++c) made[c] = At(c, corner_vertex.data());
  Release();
  per_corner_.swap(made);
  return per_corner_;
}

void CornerUvs::Share(const std::vector<int32_t>& corner_vertex, size_t vertex_count) {
  if (shared_ || per_corner_.empty() || corner_vertex.size() != per_corner_.size()) return;
  const size_t corners = per_corner_.size();
  // One coordinate a vertex takes no less than one a corner: nothing to save.
  if (vertex_count >= corners) return;
  const auto vertex_of = [&](size_t c) -> size_t {
    const int32_t v = corner_vertex[c];
    return v >= 0 && static_cast<size_t>(v) < vertex_count ? static_cast<size_t>(v) : vertex_count;
  };
  try {
    // Each vertex takes the coordinate of its first corner; the corners
    // that differ are counted before anything more is made.
    std::vector<MQCoordinate> per_vertex(vertex_count);
    std::vector<bool> seen(vertex_count, false);
    size_t owning = 0;
    for (size_t c = 0; c < corners; ++c) {
      const size_t v = vertex_of(c);
      if (v == vertex_count) {
        ++owning;
      } else if (!seen[v]) {
        seen[v] = true;
        per_vertex[v] = per_corner_[c];
      } else if (!SameBits(per_vertex[v], per_corner_[c])) {
        ++owning;
      }
    }
    std::vector<bool>().swap(seen);
    const size_t words = corners / kWordBits + 1;
    const size_t shared_bytes = vertex_count * sizeof(MQCoordinate) + words * (sizeof(uint64_t) + sizeof(uint32_t)) +
                                owning * sizeof(MQCoordinate);
    if (shared_bytes >= corners * sizeof(MQCoordinate)) return;

    std::vector<uint64_t> owns(words, 0);
    std::vector<uint32_t> owned_before(words, 0);
    std::vector<MQCoordinate> own;
    own.reserve(owning);
    for (size_t c = 0; c < corners; ++c) {
      const size_t v = vertex_of(c);
      if (v != vertex_count && SameBits(per_vertex[v], per_corner_[c])) continue;
      owns[c / kWordBits] |= uint64_t{1} << (c % kWordBits);
      own.push_back(per_corner_[c]);
    }
    uint32_t before = 0;
    for (size_t w = 0; w < words; ++w) {
      owned_before[w] = before;
      before += static_cast<uint32_t>(__builtin_popcountll(owns[w]));
    }
    per_vertex_.swap(per_vertex);
    owns_.swap(owns);
    owned_before_.swap(owned_before);
    own_.swap(own);
    corners_ = corners;
    shared_ = true;
    std::vector<MQCoordinate>().swap(per_corner_);
  } catch (const std::bad_alloc&) {
    // Kept one per corner, as they were.
  }
}

void CornerUvs::Release() {
  std::vector<MQCoordinate>().swap(per_corner_);
  std::vector<MQCoordinate>().swap(per_vertex_);
  std::vector<uint64_t>().swap(owns_);
  std::vector<uint32_t>().swap(owned_before_);
  std::vector<MQCoordinate>().swap(own_);
  corners_ = 0;
  shared_ = false;
}
