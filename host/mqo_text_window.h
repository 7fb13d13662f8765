// Document text read from an open file a piece at a time, for a lexer that
// needs at hand only the rest of the line it is on (or a run of raw bytes
// after it). The whole file never lies in memory at once: in a 32-bit
// address space a document of some hundred megabytes finds no free block
// of its size, while the document read from it still fits in smaller ones.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TokenLimit;
struct MqoLexer;

// A read of the file failed: its message is "cannot read: REASON".
struct MqoReadFailure {
  std::string message;
};

class MqoTextWindow {
 public:
  // The text is the size bytes of file from its current position, which
  // Rewind comes back to. piece: how many bytes a read asks for at least.
  MqoTextWindow(std::FILE* file, uint64_t size, size_t piece = kPiece);
  MqoTextWindow(const MqoTextWindow&) = delete;
  MqoTextWindow& operator=(const MqoTextWindow&) = delete;

  // Scans the whole text for a token past the limit (TokenLimit), reading
  // it once through in pieces. False on the first such token.
  bool ScanTokens(TokenLimit& tokens);
  // Back to the start of the text, with nothing at hand.
  void Rewind();

  // Puts the first bytes of the text at the lexer's hand.
  void Start(MqoLexer& lex);
  // Reads on until the lexer's rest of line (from its cursor up to and with
  // a line end) is at hand, or all of the text is.
  void HoldLine(MqoLexer& lex);
  // Reads on until n bytes from the cursor are at hand (n no more than the
  // lexer's Remaining).
  void Hold(MqoLexer& lex, size_t n);
  // Moves the cursor over n bytes (no more than Remaining), counting their
  // line ends, without holding them all at once.
  void Skip(MqoLexer& lex, size_t n);

  // Whether the file gave fewer bytes than its size said: it was cut short
  // while it was read.
  bool CutShort() const { return cut_short_; }
  // The most bytes the window has held at once.
  size_t LargestHold() const { return largest_; }

  static constexpr size_t kPiece = size_t{4} << 20;

 private:
  // Moves the bytes from the cursor (and the one before it) to the front
  // and reads at least one more piece behind them.
  void ReadMore(MqoLexer& lex);
  // Makes the buffer hold at least n bytes, doubling as it grows.
  void Reserve(size_t n);
  // Reads up to want bytes to the buffer at filled; the count read.
  size_t ReadPiece(size_t filled, size_t want);
  void Point(MqoLexer& lex, size_t cursor, size_t filled, size_t held_to) const;

  std::FILE* file_;
  uint64_t size_;
  size_t piece_;
  fpos_t start_{};
  bool have_start_ = false;
  uint64_t unread_;
  std::vector<char> buffer_;
  size_t largest_ = 0;
  bool cut_short_ = false;
};
