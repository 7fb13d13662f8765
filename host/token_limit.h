// The longest word, number or name that a document may hold, checked on
// the text as it is read, so that a stream of bytes that holds no document
// (zeros after a first line, an endless name) is refused soon after it
// starts instead of once it has filled memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// No document of the host holds a word, number or name near this length;
// a longer one is a malformed document.
constexpr size_t kMaxTokenBytes = size_t{64} << 10;

// Scans a document's text in the order it arrives. A token is a run of
// bytes between blanks, line ends, brackets, braces, parentheses and double
// quotes, or a name from its opening double quote to its closing one (a
// name ends at its line's end). The raw bytes that follow a line ending in
// "[B]" (outside a name) are no tokens, as the reader skips them.
class TokenLimit {
 public:
  // Scans the text up to size bytes; data holds all of the text so far
  // (what an earlier call saw is not read again, unless it was part of a
  // line not yet complete). complete says that no more text follows.
  // False once a token passes kMaxTokenBytes; then Message() tells where.
  bool Scan(const char* data, size_t size, bool complete);

  // "NAME:LINE: expected ..." for the token that passed the limit.
  std::string Message(const std::string& name) const;

  // The bytes of data before this are scanned: a caller that keeps only
  // the text from here on may Drop them.
  size_t Scanned() const { return at_; }
  // Forgets the first n (<= Scanned()) bytes of data, counting their line
  // ends: the next Scan is given the text without them.
  void Drop(const char* data, size_t n);

 private:
  enum class Bracket { kNone, kOpen, kClosed };
  bool ScanBytes(const char* data, size_t from, size_t to);

  size_t at_ = 0;         // next byte to scan
  uint64_t raw_left_ = 0;  // raw bytes still to pass over
  int line_ = 0;          // of the token that passed the limit
  int dropped_lines_ = 0;  // line ends in the bytes dropped
  // Within a line that is being scanned byte by byte:
  bool in_line_ = false;
  bool quoted_ = false;
  size_t token_ = 0;  // length of the token that the last byte belongs to
  Bracket bracket_ = Bracket::kNone;
  uint64_t raw_size_ = 0;  // of a "[B]" that may end the line
  bool raw_overflow_ = false;
  bool failed_ = false;
  bool failed_in_name_ = false;
};
