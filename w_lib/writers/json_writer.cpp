// Direct JSON text in the JSON library's layout. Numbers and strings that
// need more than copying go through the library's own routines, so that
// every byte is the one its dump writes.
#include "w_lib/writers/json_writer.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <stdexcept>

JsonWriter& JsonWriter::BeginObject() { return Open('{'); }
JsonWriter& JsonWriter::EndObject() { return Close('}'); }
JsonWriter& JsonWriter::BeginArray() { return Open('['); }
JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  Separate();
  out_ += '"';
  out_ += name;
  out_ += indent_ < 0 ? "\":" : "\": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::Int(int64_t value) {
  BeforeValue();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  return *this;
}

JsonWriter& JsonWriter::Unsigned(uint64_t value) {
  BeforeValue();
  char digits[24];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  return *this;
}

JsonWriter& JsonWriter::Double(double value) {
  BeforeValue();
  if (!std::isfinite(value)) {
    out_ += "null";
    return *this;
  }
  char digits[64];
  out_.append(digits, nlohmann::detail::to_chars(digits, digits + sizeof digits, value));
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
      out_ += nlohmann::json(std::string(text)).dump();
      return;
    }
  }
  out_ += '"';
  out_ += text;
  out_ += '"';
}

JsonWriter& JsonWriter::Open(char bracket) {
  BeforeValue();
  if (depth_ == kMaxDepth) throw std::length_error("JSON nested too deep");
  out_ += bracket;
  empty_[++depth_] = true;
  return *this;
}

// An empty object or array closes right after it opens: "{}", "[]".
JsonWriter& JsonWriter::Close(char bracket) {
  if (!empty_[depth_]) LineBreak(depth_ - 1);
  --depth_;
  out_ += bracket;
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
  if (!empty_[depth_]) out_ += ',';
  empty_[depth_] = false;
  LineBreak(depth_);
}

void JsonWriter::LineBreak(int level) {
  if (indent_ < 0) return;
  out_ += '\n';
  out_.append(static_cast<size_t>(margin_ + level * indent_), ' ');
}
