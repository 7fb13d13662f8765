// Buffered text output with exact number formatting through std::to_chars.
#include "w_lib/writers/text_output.h"

#include <charconv>
#include <cstring>

namespace {

// Bytes collected before a file write; writers emit many short pieces.
constexpr size_t kBlockSize = size_t{1} << 20;
// Room for any double in fixed notation with up to 17 decimals (309 digits
// before the point), its sign and point.
constexpr int kMaxPrecision = 17;
constexpr size_t kMaxNumberChars = 330;

}  // namespace

TextOutput::~TextOutput() { AbandonFileReplacement(file_); }

bool TextOutput::Open(const char* path, const char* mode) {
  AbandonFileReplacement(file_);
  used_ = 0;
  failed_ = false;
  if (!BeginFileReplacement(path, mode, file_)) return false;
  if (buffer_.size() < kBlockSize + kMaxNumberChars) buffer_.resize(kBlockSize + kMaxNumberChars);
  return true;
}

void TextOutput::NoteError() {
  NoteFileReplacementError(file_);
  failed_ = true;
}

void TextOutput::Flush() {
  if (!file_.file || used_ == 0) return;
  if (std::fwrite(buffer_.data(), 1, used_, file_.file) != used_) NoteError();
  used_ = 0;
}

bool TextOutput::Finish() {
  if (!file_.file) return !failed_;
  Flush();
  if (!FinishFileReplacement(file_)) failed_ = true;
  return !failed_;
}

bool TextOutput::Commit() {
  if (!CommitFileReplacement(file_)) failed_ = true;
  return !failed_;
}

bool TextOutput::Close() {
  if (!file_.file && file_.temporary.empty()) return !failed_;
  return Finish() && Commit();
}

void TextOutput::Discard() {
  AbandonFileReplacement(file_);
  used_ = 0;
}

char* TextOutput::Reserve(size_t n) {
  if (used_ + n > buffer_.size()) {
    if (file_.file) Flush();
    if (used_ + n > buffer_.size()) {
      // Memory mode, or one piece larger than a block.
      size_t grown = buffer_.size() < 256 ? 256 : buffer_.size() * 2;
      while (grown < used_ + n) grown *= 2;
      buffer_.resize(grown);
    }
  }
  return buffer_.data() + used_;
}

TextOutput& TextOutput::Put(std::string_view bytes) {
  if (file_.file && bytes.size() > kBlockSize) {
    Flush();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.file) != bytes.size()) NoteError();
    return *this;
  }
  char* at = Reserve(bytes.size());
  if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
  Advance(at + bytes.size());
  return *this;
}

TextOutput& TextOutput::Put(char c) {
  char* at = Reserve(1);
  *at = c;
  Advance(at + 1);
  return *this;
}

TextOutput& TextOutput::Tabs(int n) {
  if (n <= 0) return *this;
  char* at = Reserve(static_cast<size_t>(n));
  std::memset(at, '\t', static_cast<size_t>(n));
  Advance(at + n);
  return *this;
}

void TextOutput::Advance(char* end) {
  used_ = static_cast<size_t>(end - buffer_.data());
  if (file_.file && used_ >= kBlockSize) Flush();
}

TextOutput& TextOutput::Int(long long value) {
  char* at = Reserve(kMaxNumberChars);
  Advance(std::to_chars(at, at + kMaxNumberChars, value).ptr);
  return *this;
}

TextOutput& TextOutput::Unsigned(unsigned long long value) {
  char* at = Reserve(kMaxNumberChars);
  Advance(std::to_chars(at, at + kMaxNumberChars, value).ptr);
  return *this;
}

// Correctly rounded like printf in the C locale: the exact decimal value of
// the double, ties to even.
static char* FormatFixed(char* at, double value, int precision) {
  if (precision < 0) precision = 0;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  return std::to_chars(at, at + kMaxNumberChars, value, std::chars_format::fixed, precision).ptr;
}

TextOutput& TextOutput::Fixed(double value, int precision) {
  char* at = Reserve(kMaxNumberChars);
  Advance(FormatFixed(at, value, precision));
  return *this;
}

TextOutput& TextOutput::Fixed(double value, int precision, int width) {
  char number[kMaxNumberChars];
  const size_t length = static_cast<size_t>(FormatFixed(number, value, precision) - number);
  const size_t pad = width > 0 && length < static_cast<size_t>(width) ? static_cast<size_t>(width) - length : 0;
  char* at = Reserve(pad + length);
  std::memset(at, ' ', pad);
  std::memcpy(at + pad, number, length);
  Advance(at + pad + length);
  return *this;
}
