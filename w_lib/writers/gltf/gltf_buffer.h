// The binary buffer of a glTF file: the meshes' arrays, laid out as the
// buffer views name them, and written from where they lie.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "w_lib/writers/gltf/gltf_mesh.h"
#include "w_lib/writers/text_output.h"

// The meshes' arrays, each at a 4-byte boundary with zeros between. A large
// mesh's arrays are kept where they were built; a small mesh's are copied
// into blocks of the buffer's own, one after another, so that a document
// of many small objects keeps no mesh records and writes its arrays in a
// few large pieces.
class GltfBuffer {
 public:
  // Appends bytes, copied when copy, or else left where they are until the
  // buffer is written; returns their offset.
  size_t Add(const void* bytes, size_t size, bool copy);
  // Keeps the arrays that Add was given to leave in place (moving a vector
  // keeps its storage).
  void Keep(GltfMesh&& mesh) { meshes_.push_back(std::move(mesh)); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  void Put(TextOutput& out) const;

 private:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  struct Piece {
    const unsigned char* bytes;
    size_t size;
    size_t offset;
  };
  std::vector<Piece> pieces_;
  std::vector<GltfMesh> meshes_;
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  size_t block_size_ = 0;
  size_t block_used_ = 0;
  size_t size_ = 0;
};
