// The window over a document's text: each read moves what the lexer still
// needs to the front of one buffer and fills the rest, so that the buffer
// stays about a piece and the longest line (or run of raw bytes) in size.
#include "host/mqo_text_window.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/mqo_lexer.h"
#include "host/token_limit.h"

MqoTextWindow::MqoTextWindow(std::FILE* file, uint64_t size, size_t piece)
    : file_(file), size_(size), piece_(std::max<size_t>(piece, 1)), unread_(size) {
  have_start_ = std::fgetpos(file_, &start_) == 0;
}

void MqoTextWindow::Rewind() {
  if (!have_start_ || std::fsetpos(file_, &start_) != 0)
    throw MqoReadFailure{std::string("cannot read: ") + std::strerror(errno)};
  unread_ = size_;
  buffer_.clear();
}

void MqoTextWindow::Reserve(size_t n) {
  if (buffer_.size() >= n) return;
  buffer_.resize(std::max(2 * buffer_.size(), n));
  largest_ = std::max(largest_, buffer_.size());
}

size_t MqoTextWindow::ReadPiece(size_t filled, size_t want) {
  if (want == 0) return 0;
  const size_t got = std::fread(buffer_.data() + filled, 1, want, file_);
  unread_ -= got;
  if (got < want) {
    if (std::ferror(file_)) throw MqoReadFailure{std::string("cannot read: ") + std::strerror(errno)};
    // The file ends before its size: what came is all there is.
    cut_short_ = true;
    unread_ = 0;
  }
  return got;
}

bool MqoTextWindow::ScanTokens(TokenLimit& tokens) {
  size_t filled = 0;
  for (;;) {
    // The limit keeps only an unfinished line of at most its token length.
    Reserve(filled + piece_);
    filled += ReadPiece(filled, static_cast<size_t>(std::min<uint64_t>(buffer_.size() - filled, unread_)));
    const bool complete = unread_ == 0;
    if (!tokens.Scan(buffer_.data(), filled, complete)) return false;
    if (complete) return true;
    const size_t done = tokens.Scanned();
    tokens.Drop(buffer_.data(), done);
    std::memmove(buffer_.data(), buffer_.data() + done, filled - done);
    filled -= done;
  }
}

void MqoTextWindow::Point(MqoLexer& lex, size_t cursor, size_t filled, size_t held_to) const {
  const char* data = buffer_.data();
  lex.begin = data;
  lex.p = data + cursor;
  lex.end = data + filled;
  lex.held_to = data + held_to;
  lex.unread = unread_;
  lex.passed = PassedPages(lex.p);
}

// One past the last line end within from .. to - 1, or from when there is none.
static size_t HeldTo(const char* data, size_t from, size_t to) {
  for (size_t i = to; i > from; --i)
    if (data[i - 1] == '\n') return i;
  return from;
}

void MqoTextWindow::Start(MqoLexer& lex) {
  Reserve(piece_);
  const size_t filled = ReadPiece(0, static_cast<size_t>(std::min<uint64_t>(piece_, unread_)));
  Point(lex, 0, filled, unread_ == 0 ? filled : HeldTo(buffer_.data(), 0, filled));
}

void MqoTextWindow::ReadMore(MqoLexer& lex) {
  // The byte before the cursor stays: a message looks back at it.
  const size_t keep = lex.p > lex.begin ? static_cast<size_t>(lex.p - lex.begin) - 1 : 0;
  const size_t cursor = static_cast<size_t>(lex.p - lex.begin) - keep;
  size_t filled = static_cast<size_t>(lex.end - lex.begin) - keep;
  std::memmove(buffer_.data(), buffer_.data() + keep, filled);
  Reserve(filled + piece_);
  const size_t before = filled;
  filled += ReadPiece(filled, static_cast<size_t>(std::min<uint64_t>(buffer_.size() - filled, unread_)));
  // Line ends before the new bytes are known to lie before the cursor's line.
  const size_t from = std::max(cursor, before);
  size_t held = unread_ == 0 ? filled : HeldTo(buffer_.data(), from, filled);
  if (held == from && unread_ != 0) held = HeldTo(buffer_.data(), cursor, from);
  Point(lex, cursor, filled, unread_ == 0 ? filled : (held > cursor ? held : cursor));
}

void MqoTextWindow::HoldLine(MqoLexer& lex) {
  while (lex.p >= lex.held_to && unread_ != 0) ReadMore(lex);
}

void MqoTextWindow::Hold(MqoLexer& lex, size_t n) {
  while (static_cast<size_t>(lex.end - lex.p) < n && unread_ != 0) ReadMore(lex);
}

void MqoTextWindow::Skip(MqoLexer& lex, size_t n) {
  for (;;) {
    const size_t k = std::min(n, static_cast<size_t>(lex.end - lex.p));
    lex.line += static_cast<int>(std::count(lex.p, lex.p + k, '\n'));
    lex.p += k;
    n -= k;
    if (n == 0 || unread_ == 0) return;
    ReadMore(lex);
  }
}
