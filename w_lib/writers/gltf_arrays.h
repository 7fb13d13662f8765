// The JSON text of a glTF file's long arrays, written element by element
// as the elements are made, and the text of the whole document in pieces.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "w_lib/writers/json_writer.h"
#include "w_lib/writers/text_output.h"

// One of the document's long arrays (accessors, buffer views, materials,
// meshes, nodes), kept as text: each element is written as it is made, as a
// dump of the whole document would write it at its place (the second level,
// under a member of the top object). The text is kept in blocks of about a
// megabyte, each holding whole elements, so that it is never copied to grow.
class StreamedArray {
 public:
  // count_before: the elements that come before this one's in the array,
  // for a part of it written apart and then appended.
  explicit StreamedArray(int indent, int count_before = 0) : indent_(indent), count_(count_before) {}

  // A writer of the next element, which must be written, one value, before
  // the next call; its index is size() before the call.
  JsonWriter Add() {
    if (blocks_.empty() || blocks_.back().size() >= kBlockBytes) {
      blocks_.emplace_back();
      blocks_.back().reserve(kBlockBytes + kBlockBytes / 16);
    }
    std::string& text = blocks_.back();
    if (count_ > 0) text += indent_ < 0 ? "," : ",\n";
    if (indent_ >= 0) text.append(static_cast<size_t>(2 * indent_), ' ');
    ++count_;
    return JsonWriter(text, indent_, indent_ < 0 ? 0 : 2 * indent_);
  }
  int size() const { return count_; }
  int indent() const { return indent_; }

  // Appends part, which was begun at this array's size.
  void Append(StreamedArray&& part) {
    for (std::string& block : part.blocks_) blocks_.push_back(std::move(block));
    part.blocks_.clear();
    count_ = part.count_;
  }

  // Moves the array, as the value of a member of the top object, into
  // pieces: its opening, its elements and its close.
  void MoveValue(std::vector<std::string>& pieces) {
    pieces.push_back(indent_ < 0 ? "[" : "[\n");
    for (std::string& block : blocks_) pieces.push_back(std::move(block));
    blocks_.clear();
    pieces.push_back(indent_ < 0 ? "]" : "\n" + std::string(static_cast<size_t>(indent_), ' ') + "]");
  }

 private:
  static constexpr size_t kBlockBytes = size_t{1} << 20;
  int indent_;
  std::vector<std::string> blocks_;
  int count_ = 0;
};

// A JSON text in pieces that are written one after the other, so that the
// large arrays are never copied into one string.
struct JsonText {
  std::vector<std::string> pieces;
  size_t size() const {
    size_t n = 0;
    for (const std::string& piece : pieces) n += piece.size();
    return n;
  }
  void Put(TextOutput& out) const {
    for (const std::string& piece : pieces) out.PutBlock(piece);
  }
};

// The long arrays of a document, or a part of those of the objects, begun
// after the given numbers of views (one accessor each), meshes and nodes.
struct StreamedArrays {
  explicit StreamedArrays(int indent, int views_before = 0, int meshes_before = 0, int nodes_before = 0)
      : accessors(indent, views_before),
        views(indent, views_before),
        materials(indent),
        meshes(indent, meshes_before),
        nodes(indent, nodes_before) {}
  void AppendObjects(StreamedArrays&& part) {
    accessors.Append(std::move(part.accessors));
    views.Append(std::move(part.views));
    meshes.Append(std::move(part.meshes));
    nodes.Append(std::move(part.nodes));
  }
  StreamedArray accessors;
  StreamedArray views;
  StreamedArray materials;
  StreamedArray meshes;
  StreamedArray nodes;
};
