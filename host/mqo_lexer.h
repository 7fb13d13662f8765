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

  MqoLexer(const char* data, size_t size) : begin(data), p(data), end(data + size) {}

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
    if (PlainDecimal(value)) return value;
    const std::from_chars_result r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || !EndsNumber(r.ptr) || !std::isfinite(value)) {
      p = start;
      return FloatSlow();
    }
    p = r.ptr;
    return value;
  }
  int32_t Int() {
    SkipBlanks();
    if (p != end && *p == '+') ++p;
    int32_t value = 0;
    const std::from_chars_result r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || !EndsNumber(r.ptr)) Fail("expected an integer, found " + Excerpt());
    p = r.ptr;
    return value;
  }
  uint32_t UInt() {
    SkipBlanks();
    if (p != end && *p == '+') ++p;
    uint32_t value = 0;
    const std::from_chars_result r = std::from_chars(p, end, value);
    if (r.ec != std::errc() || !EndsNumber(r.ptr))
      Fail("expected an unsigned integer, found " + Excerpt());
    p = r.ptr;
    return value;
  }
  // The common form of a number, [-]digits[.digits] with at most 19
  // digits and no exponent, read without the general conversion: the
  // digits as an integer divided by a power of ten, both exact in a double,
  // is the correctly rounded double, and rounding that to float is correct
  // unless it lies exactly halfway between two floats. True, with the value
  // set and the cursor past the number, when that applies; otherwise false
  // with the cursor unmoved.
  bool PlainDecimal(float& result) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* q = p;
    const bool negative = q != end && *q == '-';
    if (negative) ++q;
    uint64_t digits = 0;
    int count = 0;  // digits taken, leading zeros not counted
    int decimals = 0;
    const char* first = q;
    for (; q != end && *q >= '0' && *q <= '9'; ++q) {
      if (digits == 0 && *q == '0') continue;
      if (++count > 19) return false;
      digits = digits * 10 + static_cast<uint64_t>(*q - '0');
    }
    if (q == first) return false;
    if (q != end && *q == '.') {
      const char* fraction = ++q;
      for (; q != end && *q >= '0' && *q <= '9'; ++q) {
        ++decimals;
        if (digits == 0 && *q == '0') continue;
        if (++count > 19) return false;
        digits = digits * 10 + static_cast<uint64_t>(*q - '0');
      }
      if (q == fraction || decimals > 22) return false;
    }
    if (q != end && (*q == 'e' || *q == 'E')) return false;
    if (!EndsNumber(q) || digits > (uint64_t{1} << 53)) return false;
    const double wide = static_cast<double>(digits) / kPowersOfTen[decimals];
    uint64_t bits;
    std::memcpy(&bits, &wide, sizeof bits);
    if ((bits & 0x1FFFFFFFu) == 0x10000000u) return false;  // halfway between two floats
    const float value = static_cast<float>(wide);
    result = negative ? -value : value;
    p = q;
    return true;
  }

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
  // The rare cases of Float: values too small for a float read as zero,
  // everything else that did not parse is an error.
  float FloatSlow();
};
