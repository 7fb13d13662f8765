// Buffered text output with exact number formatting through std::to_chars.
#include "w_lib/writers/text_output.h"

#include <charconv>
#include <cstring>

#include <sys/stat.h>

namespace {

// Bytes collected before a file write; writers emit many short pieces.
constexpr size_t kBlockSize = size_t{1} << 20;
// Room for any double in fixed notation with up to 17 decimals (309 digits
// before the point), its sign and point.
constexpr int kMaxPrecision = 17;
constexpr size_t kMaxNumberChars = 330;

}  // namespace

TextOutput::~TextOutput() {
  if (file_) std::fclose(file_);
}

bool TextOutput::Open(const char* path, const char* mode) {
  if (file_) std::fclose(file_);
  used_ = 0;
  failed_ = false;
  path_.clear();
  file_ = (path && mode) ? std::fopen(path, mode) : nullptr;
  if (!file_) return false;
  // Only a regular file is ever removed again; a device such as /dev/null
  // or /dev/full is written, never deleted.
  struct stat info {};
  if (fstat(fileno(file_), &info) == 0 && S_ISREG(info.st_mode)) path_ = path;
  if (buffer_.size() < kBlockSize + kMaxNumberChars) buffer_.resize(kBlockSize + kMaxNumberChars);
  return true;
}

void TextOutput::Flush() {
  if (!file_ || used_ == 0) return;
  if (std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
}

bool TextOutput::Close() {
  if (!file_) return !failed_;
  Flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

void TextOutput::Discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!path_.empty()) std::remove(path_.c_str());
  path_.clear();
  used_ = 0;
}

char* TextOutput::Reserve(size_t n) {
  if (used_ + n > buffer_.size()) {
    if (file_) Flush();
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
  if (file_ && bytes.size() > kBlockSize) {
    Flush();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
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
  if (file_ && used_ >= kBlockSize) Flush();
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
