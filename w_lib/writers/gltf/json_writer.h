// JSON text written straight to an output, byte for byte as the JSON
// library's dump(indent) writes the same value, without building the value
// first: the glTF writer's long arrays hold an element per object, and a
// tree per element would cost more than the text.
#pragma once

#include <cstdint>
#include <string_view>

#include "w_lib/writers/text_output.h"

class JsonWriter {
 public:
  // Writes to out. indent is dump's: spaces per level, or -1 for text on
  // one line. margin is the number of spaces before every line after the
  // first, for a value that sits that deep in a larger text.
  JsonWriter(TextOutput& out, int indent, int margin) : out_(out), indent_(indent), margin_(margin) {}

  // Members must be given in the order of their names, as the library
  // keeps them. A member's name is written as it is given: printable ASCII
  // without a quote or a backslash.
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);

  JsonWriter& Int(int64_t value);
  JsonWriter& Unsigned(uint64_t value);
  JsonWriter& Bool(bool value);
  // A number that is not finite is written as null, as the library does.
  JsonWriter& Double(double value);
  // Throws, as the library does, when text is not valid UTF-8.
  JsonWriter& String(std::string_view text);

 private:
  static constexpr int kMaxDepth = 16;
  JsonWriter& Open(char bracket);
  JsonWriter& Close(char bracket);
  void BeforeValue();
  void Quoted(std::string_view text);
  void Separate();
  void LineBreak(int level);

  TextOutput& out_;
  int indent_;
  int margin_;
  int depth_ = 0;
  bool after_key_ = false;
  bool empty_[kMaxDepth + 1] = {};  // per open level: nothing in it yet
};
