// Buffered text output for the scene writers: raw bytes, TAB indents and
// numbers formatted exactly as printf's %d, %u and %.Nf would print them in
// the C locale, the same bytes on every platform.
#pragma once

#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

class TextOutput {
 public:
  // Without Open the output collects in memory (see text()).
  TextOutput() = default;
  TextOutput(const TextOutput&) = delete;
  TextOutput& operator=(const TextOutput&) = delete;
  // Closes a file still open; a writer that wants the result calls Close.
  ~TextOutput();

  // Opens path with the fopen mode ("wb", "wt", ...). False when it cannot.
  bool Open(const char* path, const char* mode);
  // Writes what is buffered and closes the file. True when every write and
  // the close succeeded.
  bool Close();
  // Closes the file if it is open and removes the file last opened when it
  // is a regular file: for a write that failed half way, or a close that
  // failed.
  void Discard();
  // True once a write or a close has failed.
  bool failed() const { return failed_; }

  // In memory mode: everything written so far. With a file: what is
  // buffered and not yet written.
  std::string_view text() const { return std::string_view(buffer_.data(), used_); }

  TextOutput& Put(std::string_view bytes);
  TextOutput& Put(const char* bytes) { return Put(std::string_view(bytes)); }
  TextOutput& Put(char c);
  // n TAB characters (none for n <= 0).
  TextOutput& Tabs(int n);
  TextOutput& Newline() { return Put('\n'); }

  // %d
  TextOutput& Int(long long value);
  // %u
  TextOutput& Unsigned(unsigned long long value);
  // %.Nf with N = precision (%f is precision 6); a float is widened to
  // double by the call. Rounding is exact, ties to even, and -0.0 keeps its
  // sign, as glibc prints them.
  TextOutput& Fixed(double value, int precision = 6);
  // %W.Nf: the same, right-aligned with blanks to at least width characters.
  TextOutput& Fixed(double value, int precision, int width);

 private:
  // Makes room for n more bytes and returns where they go.
  char* Reserve(size_t n);
  // Takes the bytes up to end as written; writes a full block to the file.
  void Advance(char* end);
  void Flush();

  std::string buffer_;
  size_t used_ = 0;
  std::FILE* file_ = nullptr;
  std::string path_;  // the regular file opened last, for Discard
  bool failed_ = false;
};

// How writing a whole file ended.
enum class FileWriteResult { kWritten, kCannotOpen, kFailed };

// Opens path with mode, runs write(out) and closes the file. When memory
// runs out, or a write or the close fails, the incomplete file is removed,
// so that a full disk never leaves a truncated file that looks whole.
template <class Write>
FileWriteResult WriteWholeFile(const char* path, const char* mode, Write&& write) {
  TextOutput out;
  if (!out.Open(path, mode)) return FileWriteResult::kCannotOpen;
  try {
    write(out);
  } catch (const std::bad_alloc&) {
    out.Discard();
    return FileWriteResult::kFailed;
  }
  if (!out.Close()) {
    out.Discard();
    return FileWriteResult::kFailed;
  }
  return FileWriteResult::kWritten;
}
