// Scanning of dotXSI text: template heads, braces, numbers and quoted
// strings, with ',' and ';' taken as the separators they are in either style
// of the format. The text comes from memory or from an open file read in
// pieces, so that a file of any size is scanned in a buffer of fixed size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "w_lib/util/decimal_text.h"

// A fault in the text at a line. The reader throws it from deep inside its
// loops and turns it into "FILE:LINE: message" at its boundary.
struct XsiSyntaxError {
  int line;
  std::string message;
};

// A file that cannot be read on, or that passes the size limit: "FILE:
// message" at the reader's boundary.
struct XsiFileError {
  std::string message;
};

// What each byte is to the scanner: a separator (blank, line end, ',',
// ';'), a brace (which also ends a number), or anything else.
struct XsiByteKinds {
  enum : unsigned char { kOther = 0, kSeparator = 1, kBrace = 2 };
  unsigned char kind[256] = {};
  constexpr XsiByteKinds() {
    for (char c : {' ', '\t', '\r', '\n', ',', ';'}) kind[static_cast<unsigned char>(c)] = kSeparator;
    kind[static_cast<unsigned char>('{')] = kBrace;
    kind[static_cast<unsigned char>('}')] = kBrace;
  }
};
inline constexpr XsiByteKinds kXsiByteKinds{};

class XsiText {
 public:
  // The longest token: a name or number that runs on past it is refused, so
  // that the buffer of a file never needs to hold more than it.
  static constexpr size_t kLongestToken = size_t{64} << 10;

  // Over size bytes in memory (they need no terminating zero).
  XsiText(const char* data, size_t size);
  // Over the open file, read in pieces from where it stands. size_hint: the
  // bytes the file is expected to hold, 0 when unknown (for bounds on
  // counts); limit: the most bytes read before the text is refused as too
  // large (0: no limit).
  XsiText(std::FILE* file, uint64_t size_hint, uint64_t limit);
  XsiText(const XsiText&) = delete;
  XsiText& operator=(const XsiText&) = delete;
  ~XsiText();

  int line() const { return line_; }
  // The line of the next token (or of the end of the text).
  int NextLine() {
    SkipSeparators();
    return line_;
  }

  // Skips blanks, line ends and separators; returns the byte that starts the
  // next token, or 0 at the end of the text.
  // A NUL byte is no text at all (a binary file, or one cut by a fault):
  // it is refused, rather than read as the end of the text.
  char Next() {
    SkipSeparators();
    if (p_ == end_) return '\0';
    if (*p_ == '\0') FailNulByte();
    return *p_;
  }
  // Whether the next token is one that starts a number.
  bool AtNumber() {
    const char c = Next();
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.';
  }
  // Consumes c as the next token when it is there.
  bool Accept(char c) {
    if (Next() != c) return false;
    ++p_;
    return true;
  }
  void Expect(char c, const char* what) {
    if (!Accept(c)) Fail(std::string("expected ") + what + ", found " + Excerpt());
  }

  // A finite number (what is read as a float).
  float Float() {
    SkipSeparators();
    float value = 0.0f;
    const char* start = p_ + (p_ != end_ && *p_ == '+');
    const char* q = ScanPlainDecimal(start, end_, value);
    if (q == nullptr || !EndsNumber(q)) return FloatSlow(start);
    p_ = q;
    return value;
  }
  // An integer that fits in 32 bits; a whole number written with decimals
  // (1.000000) is taken too.
  int32_t Int() {
    SkipSeparators();
    const char* q = p_;
    const char* const end = end_;
    const bool negative = q != end && *q == '-';
    q += negative;
    // Up to nine digits cannot pass 32 bits; longer numbers go the slow way.
    const char* digits = q;
    const char* last = end - q > 9 ? q + 9 : end;
    int32_t value = 0;
    while (q != last && static_cast<unsigned char>(*q - '0') < 10) value = value * 10 + (*q++ - '0');
    if (q == digits || !EndsNumber(q)) return IntSlow();
    p_ = q;
    return negative ? -value : value;
  }
  // n integers into out (as Int reads them), and n numbers into out (as
  // Float reads them): the long lists of a file, read in one loop.
  void Ints(int32_t* out, size_t n);
  void Floats(float* out, size_t n);
  // A count: an integer of 0 or more.
  int32_t Count(const char* what);

  // A string in double quotes on one line, without its quotes; valid until
  // the next token is read.
  std::string_view String();
  // A template head's keyword (letters, digits, '_'), then its instance name:
  // the rest of the line up to its last '{' outside quotes that is not the
  // second byte of a code page 932 character, or, when the '{' follows on a
  // line of its own, the rest of the line up to a '}' or '"' of its own;
  // blanks trimmed (empty when there is none). Every other byte, '{' and '}' included, belongs to the
  // name. Both valid until the next token is read. The '{' is
  // consumed.
  std::string_view Keyword();
  std::string_view InstanceName();
  // Skips the rest of a template whose '{' has been read, up to and past its
  // matching '}', calling nested(keyword) for each template head met inside
  // (at any depth). Quoted braces do not count.
  template <class Nested>
  void SkipTemplate(Nested&& nested);

  // An upper bound of the bytes that remain to be read: what the file can
  // still hold. Counts read from the text are never trusted for more room
  // than that.
  uint64_t BytesLeft() const;

  // A fault at the cursor's line; at the end of the text, the last line.
  [[noreturn]] void Fail(const std::string& message) const;
  // Fail at a NUL byte under the cursor.
  [[noreturn]] void FailNulByte() const;
  // A short printable quote of the text at the cursor, for messages.
  std::string Excerpt() const;

 private:
  static unsigned char KindOf(char c) { return kXsiByteKinds.kind[static_cast<unsigned char>(c)]; }
  static bool IsSpace(char c) { return KindOf(c) == XsiByteKinds::kSeparator; }
  bool EndsNumber(const char* q) const { return q == end_ ? !more_ : KindOf(*q) != XsiByteKinds::kOther; }
  void SkipSeparators() {
    const char* p = p_;
    const char* const end = end_;
    int lines = 0;
    while (p != end && IsSpace(*p)) lines += *p++ == '\n';
    p_ = p;
    line_ += lines;
    if (more_ && static_cast<size_t>(end - p) < kLongestToken) RefillAndSkip();
  }
  // The '{' that opens the template whose head's line goes on at from, or
  // null when the line holds none; then name_end is where the name ends: at
  // a '}' or '"' of its own, or at the line's end.
  const char* HeadOpening(const char* from, const char*& name_end) const;
  // SkipSeparators across the buffer's end.
  void RefillAndSkip();
  // What Ints and Floats share: n numbers into out.
  template <class T, class Scan, class Slow>
  void List(T* out, size_t n, Scan scan, Slow slow);
  int32_t IntSlow();
  float FloatSlow(const char* start);
  // Moves the unread bytes to the front of the buffer and reads more after
  // them; clears more_ at the end of the file.
  void Refill();
  // The template's skipping, with the keyword of each nested head in turn.
  void SkipTemplateBody(void (*nested)(void*, std::string_view), void* context);

  const char* begin_ = nullptr;  // the first byte held: of the text, or of the buffer
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  int line_ = 1;
  bool more_ = false;  // bytes remain to be read from the file

  // A head's name when it had to be copied, and the keyword of a head met
  // while a template is skipped.
  std::string name_;

  // Reading a file: the file, the buffer and what was read before it.
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  uint64_t consumed_ = 0;  // bytes read from the file before buffer_[0]
  uint64_t size_hint_ = 0;
  uint64_t limit_ = 0;
};

template <class Nested>
void XsiText::SkipTemplate(Nested&& nested) {
  SkipTemplateBody([](void* context, std::string_view keyword) { (*static_cast<Nested*>(context))(keyword); },
                   &nested);
}
