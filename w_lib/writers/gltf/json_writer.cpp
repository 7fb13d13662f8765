// Direct JSON text in the JSON library's layout. Numbers and strings that
// need more than copying go through the library's own routines, so that
// every byte is the one its dump writes.
#include "w_lib/writers/gltf/json_writer.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <stdexcept>
#include <string>

JsonWriter& JsonWriter::BeginObject() { return Open('{'); }
JsonWriter& JsonWriter::EndObject() { return Close('}'); }
JsonWriter& JsonWriter::BeginArray() { return Open('['); }
JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  Separate();
  out_.Put('"').Put(name).Put(indent_ < 0 ? "\":" : "\": ");
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  BeforeValue();
  out_.Int(value);
  return *this;
}

JsonWriter& JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  out_.Unsigned(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_.Put(value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::Double(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    out_.Put("null");
    return *this;
  }
  char digits[64];
  const char* end = nlohmann::detail::to_chars(digits, digits + sizeof digits, value);
  out_.Put(std::string_view(digits, static_cast<size_t>(end - digits)));
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  Quoted(text);
  return *this;
}

void JsonWriter::Quoted(std::string_view text) {
  // Printable ASCII but the quote and the backslash is copied as it is;
  // anything else is escaped, and checked, by the library.
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
      out_.Put(nlohmann::json(std::string(text)).dump());
      return;
    }
  }
  out_.Put('"').Put(text).Put('"');
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  if (depth_ == kMaxDepth) throw std::length_error("JSON nested too deep");
  out_.Put(bracket);
  empty_[++depth_] = true;
  return *this;
}

// An empty object or array closes right after it opens: "{}", "[]".
JsonWriter& JsonWriter::Close(char bracket) {
  if (!empty_[depth_]) LineBreak(depth_ - 1);
  --depth_;
  out_.Put(bracket);
  return *this;
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
  } else if (depth_ > 0) {
    Separate();
  }
}

void JsonWriter::Separate() {
  if (!empty_[depth_]) out_.Put(',');
  empty_[depth_] = false;
  LineBreak(depth_);
}

void JsonWriter::LineBreak(int level) {
  if (indent_ < 0) return;
  static const std::string kBlanks(256, ' ');
  out_.Put('\n');
  for (size_t n = static_cast<size_t>(margin_ + level * indent_); n > 0;) {
    const size_t piece = n < kBlanks.size() ? n : kBlanks.size();
    out_.Put(std::string_view(kBlanks.data(), piece));
    n -= piece;
  }
}
