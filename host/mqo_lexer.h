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
#include "host/mqo_text_window.h"
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
//
// The bytes lie all at hand, or come from a window that reads the text a
// piece at a time (MqoTextWindow). Then only the rest of the line at the
// cursor is sure to be at hand: the lexer holds each line before it scans
// it (HoldLine), and a window that reads on may move the bytes, so that no
// pointer into them outlives the line it points into.
struct MqoLexer {
  const char* begin;
  const char* p;
  const char* end;
  // One past the last line end at hand, or end once the text's end is at
  // hand: a line that starts before it is whole.
  const char* held_to;
  MqoTextWindow* window = nullptr;
  uint64_t unread = 0;  // bytes of the text not yet at hand
  int line = 1;
  // The text behind the cursor is not read again, unless a caller moves
  // the cursor back: a mapped file's pages go back as it passes them.
  PassedPages passed;

  MqoLexer(const char* data, size_t size)
      : begin(data), p(data), end(data + size), held_to(end), passed(data) {}
  explicit MqoLexer(MqoTextWindow& text)
      : begin(nullptr), p(nullptr), end(nullptr), held_to(nullptr), window(&text), passed(nullptr) {
    text.Start(*this);
  }

  // The bytes from the cursor to the end of the text, at hand or not.
  size_t Remaining() const {
    const uint64_t left = static_cast<uint64_t>(end - p) + unread;
    return left > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(left);
  }
  // Makes the rest of the cursor's line, with its line end, at hand.
  void HoldLine() {
    if (p >= held_to && window) window->HoldLine(*this);
  }
  // Makes n bytes from the cursor at hand (n <= Remaining()).
  void Hold(size_t n) {
    if (window && static_cast<size_t>(end - p) < n) window->Hold(*this, n);
  }

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
    HoldLine();
    passed.Passed(p);
    for (;;) {
      SkipBlanks();
      if (p == end) return false;
      if (*p != '\r' && *p != '\n') return true;
      EndLine();
      HoldLine();
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
