// Scanning of .mqo document text in place: lines, numbers, quoted names,
// attribute lists, and the skipping of items and chunks the reader ignores.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "host/mapped_file.h"
#include "w_lib/util/decimal_text.h"

// A fault in the document text at a line (0: in the file as a whole). The
// reader throws it from deep inside its loops and turns it into its error
// text at its boundary.
struct MqoSyntaxError {
  int line;
  std::string message;
};

// A cursor over the document bytes. Nothing here reads past end: the bytes
// need not be zero-terminated. Lines end with "\n" or "\r\n".
struct MqoLexer {
  const char* begin;
  const char* p;
  const char* end;
  int line = 1;
  // The text behind the cursor is not read again, unless a caller moves
  // the cursor back: a mapped file's pages go back as it passes them.
  PassedPages passed;

  MqoLexer(const char* data, size_t size) : begin(data), p(data), end(data + size), passed(data) {}

  size_t Remaining() const { return static_cast<size_t>(end - p); }

  void SkipBlanks() {
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
  }
  // True when only blanks remain on this line (they are skipped).
  bool AtLineEnd() {
    SkipBlanks();
    return p == end || *p == '\r' || *p == '\n';
  }
  // Moves past the end of this line, which must hold nothing but blanks.
  void EndLine() {
    SkipBlanks();
    if (p == end) return;
    if (*p == '\r' && (end - p == 1 || p[1] == '\n')) ++p;
    if (p == end) return;
    if (*p != '\n') Fail("expected the end of the line, found " + Excerpt());
    ++p;
    ++line;
  }
  // Skips blank lines and the indentation of the next line with content;
  // false at the end of the data.
  bool NextContentLine() {
    passed.Passed(p);
    for (;;) {
      SkipBlanks();
      if (p == end) return false;
      if (*p != '\r' && *p != '\n') return true;
      EndLine();
    }
  }
  // Consumes c after blanks when it is there.
  bool Accept(char c) {
    SkipBlanks();
    if (p == end || *p != c) return false;
    ++p;
    return true;
  }
  void Expect(char c) {
    if (!Accept(c)) Fail(std::string("expected '") + c + "', found " + Excerpt());
  }

  // A keyword or attribute name: letters, digits and '_' (empty if none).
  std::string_view Word() {
    SkipBlanks();
    const char* start = p;
    while (p != end && IsWordChar(*p)) ++p;
    return std::string_view(start, static_cast<size_t>(p - start));
  }

  // A name in double quotes on this line, as raw bytes: no escapes, so a
  // backslash (also a Shift-JIS trail byte) or '[' is just a byte.
  std::string_view Quoted();

  float Float() {
    SkipBlanks();
    const char* start = p;
    if (p != end && *p == '+') ++p;
    float value = 0.0f;
    const char* q = ScanPlainDecimal(p, end, value);
    if (q == nullptr || !EndsNumber(q))
      q = ScanDecimal(p, end, value, [this](const char* at) { return EndsNumber(at); });
    if (q == nullptr) {
      p = start;
      Fail("expected a finite number, found " + Excerpt());
    }
    p = q;
    return value;
  }
  int32_t Int() { return Whole<int32_t>("an integer"); }
  uint32_t UInt() { return Whole<uint32_t>("an unsigned integer"); }

  // A count in a chunk head: 0 or more.
  int32_t Count() {
    const int32_t n = Int();
    if (n < 0) Fail("expected a count of 0 or more, found " + std::to_string(n));
    return n;
  }

  // Skips the arguments of an attribute up to and past its ')'; a ')' inside
  // quotes does not end them.
  void SkipArguments();

  // Skips an item whose keyword (named in messages) was read from a line
  // that began at start_line: just the rest of the line, or a whole chunk up
  // to its matching '}' when the line opens one. Braces inside quotes do not
  // count, and a line ending in "[B]" is followed by B raw bytes.
  void SkipItem(std::string_view keyword, int start_line);

  // Moves over n raw bytes (which may hold line ends) that follow a line.
  void SkipRaw(size_t n, int announced_line);

  [[noreturn]] void Fail(const std::string& message) const { FailAt(line, message); }
  [[noreturn]] static void FailAt(int at_line, const std::string& message);
  // An error for data that ends too early, at its last line: "unexpected
  // end of file" followed by what is missing.
  [[noreturn]] void FailAtEnd(const std::string& what_is_missing) const;
  // A short printable quote of the text at the cursor, for messages.
  std::string Excerpt() const;

 private:
  static bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  }
  bool EndsNumber(const char* q) const {
    return q == end || *q == ' ' || *q == '\t' || *q == ')' || *q == ']' || *q == '\r' || *q == '\n';
  }
  // A whole number of type T, with an optional '+'; what names it in the
  // error message.
  template <class T>
  T Whole(const char* what) {
    SkipBlanks();
    if (p != end && *p == '+') ++p;
    T value = 0;
    const std::from_chars_result r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || !EndsNumber(r.ptr)) Fail(std::string("expected ") + what + ", found " + Excerpt());
    p = r.ptr;
    return value;
  }
};
