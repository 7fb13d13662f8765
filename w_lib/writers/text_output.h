// Buffered text output for the scene writers: raw bytes, TAB indents and
// numbers formatted exactly as printf's %d, %u and %.Nf would print them in
// the C locale, the same bytes on every platform.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "w_lib/writers/file_replace.h"

class TextOutput {
 public:
  // Without Open the output collects in memory (see text()).
  TextOutput() = default;
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;
  // Abandons a file not yet committed: the target stays as it was.
  ~TextOutput();

  // Starts replacing the file at path (mode "wb" or "wt", as for fopen):
  // the bytes go to a temporary file beside it (see file_replace.h). Fails,
  // with the reason, when it cannot.
  WriteResult Open(const char* path, const char* mode);
  // Finish, then Commit. Written when the file now holds every byte written.
  WriteResult Close();
  // Writes what is buffered, flushes the file to the disk and closes it,
  // without putting it in place yet. Written when every write succeeded;
  // otherwise the first failure's reason.
  WriteResult Finish();
  // Puts the finished file in place of its target. On any failure the
  // target is untouched and the result says why.
  WriteResult Commit();
  // Puts this finished file and the finished companion in place as one
  // unit (see CommitFileReplacements): both targets get their new files, or
  // both stay as they were.
  WriteResult CommitWith(TextOutput& companion);
  // Closes the file if it is open and removes what was written, leaving the
  // target as it was: for a write that failed half way.
  void Discard();
  // True once a write or a close has failed.
  bool failed() const { return failed_; }
  // The reason of the first failure, or 0.
  int error() const { return file_.error; }

  // In memory mode: everything written so far. With a file: what is
  // buffered and not yet written.
  std::string_view text() const { return std::string_view(buffer_.data(), used_); }
  // In memory mode: forgets what was written, keeping the room it took.
  void ClearText() { used_ = 0; }
  // The bytes written so far, to the file and into the buffer.
  size_t Written() const { return written_ + used_; }
  // Writes bytes again over some of those written so far, from offset on
  // (a size or count in a head that is known only at the end). With a
  // file, a failure is noted as a write's is.
  void Overwrite(size_t offset, std::string_view bytes);

  // The common case inline: the bytes fit in the buffer.
  TextOutput& Put(std::string_view bytes) {
    if (bytes.size() > buffer_.size() - used_) return PutOutOfLine(bytes);
    if (bytes.empty()) return *this;  // an indent of depth 0, say
    std::memcpy(&buffer_[used_], bytes.data(), bytes.size());
    used_ += bytes.size();
    if (used_ >= kBlockSize && file_.file) Flush();
    return *this;
  }
  TextOutput& Put(const char* bytes) { return Put(std::string_view(bytes)); }
  // The same for a large piece (a block formatted apart): with a file, what
  // is buffered is written, then the piece straight from where it lies.
  TextOutput& PutBlock(std::string_view bytes);
  TextOutput& Put(char c) {
    if (used_ >= buffer_.size()) return PutOutOfLine(std::string_view(&c, 1));
    buffer_[used_++] = c;
    if (used_ >= kBlockSize && file_.file) Flush();
    return *this;
  }
  // n TAB characters (none for n <= 0).
  TextOutput& Tabs(int n);
  TextOutput& Newline() { return Put('\n'); }

  // %d
  TextOutput& Int(long long value) {
    if (buffer_.size() - used_ < kMaxIntChars) return IntOutOfLine(value);
    char* at = &buffer_[used_];
    used_ += static_cast<size_t>(std::to_chars(at, at + kMaxIntChars, value).ptr - at);
    if (used_ >= kBlockSize && file_.file) Flush();
    return *this;
  }
  // %u
  TextOutput& Unsigned(unsigned long long value);
  // %.Nf with N = precision (%f is precision 6); a float is widened to
  // double by the call. Rounding is exact, ties to even, and -0.0 keeps its
  // sign, as glibc prints them.
  TextOutput& Fixed(double value, int precision = 6);
  // %W.Nf: the same, right-aligned with blanks to at least width characters.
  TextOutput& Fixed(double value, int precision, int width);

 private:
  // Bytes collected before a file write; writers emit many short pieces.
  static constexpr size_t kBlockSize = size_t{1} << 18;

  // A piece at least this large skips the buffer: copying it costs more
  // than one more write.
  static constexpr size_t kMinDirectBytes = size_t{64} << 10;

  // Room for any long long in decimal, with its sign.
  static constexpr size_t kMaxIntChars = 20;

  TextOutput& PutOutOfLine(std::string_view bytes);
  TextOutput& IntOutOfLine(long long value);
  // Makes room for n more bytes and returns where they go.
  char* Reserve(size_t n);
  // Takes the bytes up to end as written; writes a full block to the file.
  void Advance(char* end);
  void Flush();

  // Records that the write, seek or flush just called failed, with the
  // reason it left in errno.
  void NoteError();
  // The outcome so far.
  WriteResult Result() const;

  std::string buffer_;
  size_t used_ = 0;
  size_t written_ = 0;  // to the file, before what the buffer holds
  FileReplacement file_;
  bool failed_ = false;
};

// Opens out on path with mode, runs write(out) and finishes the file without
// putting it in place: out.Commit() does that, out.Discard() drops it. When
// the file cannot be opened, memory runs out or a write fails, the file is
// discarded and the result says why (ENOMEM for memory).
template <class Write>
WriteResult StageWholeFile(TextOutput& out, const char* path, const char* mode, Write&& write) {
  if (const WriteResult opened = out.Open(path, mode); !opened) return opened;
  try {
    write(out);
  } catch (const std::bad_alloc&) {
    out.Discard();
    return WriteResult::Failure(ENOMEM);
  }
  const WriteResult finished = out.Finish();
  if (!finished) out.Discard();
  return finished;
}

// value with precision decimals (0 to 17), correctly rounded (ties to even),
// as std::to_chars writes it in fixed form ("-0.00" keeps its sign; "inf",
// "nan"), at `at`, which has room for 330 characters; returns the end. Made
// by exact integer arithmetic, for a standard library without std::to_chars
// of doubles (the browser's build); TextOutput::Fixed uses it there.
char* FixedTextWithoutCharconv(char* at, double value, int precision);

// Replaces the file at path with what write(out) writes. On any failure the
// file that was there stays as it was, no partial file is left, and the
// result says why.
template <class Write>
WriteResult WriteWholeFile(const char* path, const char* mode, Write&& write) {
  TextOutput out;
  if (const WriteResult staged = StageWholeFile(out, path, mode, write); !staged) return staged;
  return out.Commit();
}
