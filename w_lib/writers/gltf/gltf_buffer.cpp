// The glTF buffer's layout and its writing.
#include "w_lib/writers/gltf/gltf_buffer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

size_t GltfBuffer::Add(const void* bytes, size_t size, bool copy) {
  const size_t offset = (size_ + 3) & ~size_t{3};
  const size_t pad = offset - size_;
  size_ = offset + size;
  if (!copy) {
    pieces_.push_back(Piece{static_cast<const unsigned char*>(bytes), size, offset});
    return offset;
  }
  // The copy continues the last piece, padding and all, when that one ends
  // where the block in use is filled to.
  const bool continues = !blocks_.empty() && !pieces_.empty() &&
                         pieces_.back().bytes + pieces_.back().size == blocks_.back().get() + block_used_ &&
                         block_used_ + pad + size <= block_size_;
  if (!continues) {
    block_size_ = std::max(kBlockBytes, size);
    blocks_.push_back(std::make_unique<unsigned char[]>(block_size_));
    block_used_ = 0;
    pieces_.push_back(Piece{blocks_.back().get(), 0, offset});
  } else {
    std::memset(blocks_.back().get() + block_used_, 0, pad);
    block_used_ += pad;
    pieces_.back().size += pad;
  }
  if (size > 0) std::memcpy(blocks_.back().get() + block_used_, bytes, size);
  block_used_ += size;
  pieces_.back().size += size;
  return offset;
}

void GltfBuffer::Put(TextOutput& out) const {
  static const char kZeros[4] = {0, 0, 0, 0};
  size_t at = 0;
  for (const Piece& piece : pieces_) {
    out.Put(std::string_view(kZeros, piece.offset - at));
    out.PutBlock(std::string_view(reinterpret_cast<const char*>(piece.bytes), piece.size));
    at = piece.offset + piece.size;
  }
}
