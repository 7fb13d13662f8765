// Buffered text output with exact number formatting through std::to_chars.
#include "w_lib/writers/text_output.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Room for any double in fixed notation with up to 17 decimals (309 digits
// before the point), its sign and point.
constexpr int kMaxPrecision = 17;
constexpr size_t kMaxNumberChars = 330;

}  // namespace

TextOutput::~TextOutput() { AbandonFileReplacement(file_); }

WriteResult TextOutput::Open(const char* path, const char* mode) {
  AbandonFileReplacement(file_);
  used_ = 0;
  written_ = 0;
  failed_ = false;
  return BeginFileReplacement(path, mode, file_);
}

void TextOutput::NoteError() {
  NoteFileReplacementError(file_, LastSystemError());
  failed_ = true;
}

WriteResult TextOutput::Result() const {
  if (!failed_) return WriteResult::Written();
  return WriteResult::Failure(file_.error);
}

void TextOutput::Flush() {
  if (!file_.file || used_ == 0) return;
  if (std::fwrite(buffer_.data(), 1, used_, file_.file) != used_) NoteError();
  written_ += used_;
  used_ = 0;
}

WriteResult TextOutput::Finish() {
  if (!file_.file) return Result();
  Flush();
  if (!FinishFileReplacement(file_)) failed_ = true;
  return Result();
}

WriteResult TextOutput::Commit() {
  if (!CommitFileReplacement(file_)) failed_ = true;
  return Result();
}

WriteResult TextOutput::CommitWith(TextOutput& companion) {
  FileReplacement* both[] = {&file_, &companion.file_};
  if (!CommitFileReplacements(both, 2)) failed_ = companion.failed_ = true;
  if (failed_) return Result();
  return companion.Result();
}

WriteResult TextOutput::Close() {
  if (!file_.file && file_.temporary.empty()) return Result();
  if (const WriteResult finished = Finish(); !finished) return finished;
  return Commit();
}

void TextOutput::Discard() {
  AbandonFileReplacement(file_);
  used_ = 0;
  written_ = 0;
}

char* TextOutput::Reserve(size_t n) {
  if (used_ + n > buffer_.size()) {
    // The buffer of a file grows as the file does, up to a block and room
    // for a number past it, and is written out once it holds a block: a
    // small file never fills a block's worth of fresh memory.
    if (file_.file && buffer_.size() >= kBlockSize + kMaxNumberChars) Flush();
    if (used_ + n > buffer_.size()) {
      // Memory mode, a file's growing buffer, or one piece larger than a block.
      size_t grown = buffer_.size() < 256 ? 256 : buffer_.size() * 2;
      while (grown < used_ + n) grown *= 2;
      if (file_.file) grown = std::max(std::min(grown, kBlockSize + kMaxNumberChars), used_ + n);
      buffer_.resize(grown);
    }
  }
  return buffer_.data() + used_;
}

TextOutput& TextOutput::PutOutOfLine(std::string_view bytes) {
  if (file_.file && bytes.size() > kBlockSize) {
    Flush();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.file) != bytes.size()) NoteError();
    written_ += bytes.size();
    return *this;
  }
  char* at = Reserve(bytes.size());
  if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
  Advance(at + bytes.size());
  return *this;
}

TextOutput& TextOutput::PutBlock(std::string_view bytes) {
  if (!file_.file || bytes.size() < kMinDirectBytes) return Put(bytes);
  Flush();
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.file) != bytes.size()) NoteError();
  written_ += bytes.size();
  return *this;
}

void TextOutput::Overwrite(size_t offset, std::string_view bytes) {
  if (offset > Written() || bytes.size() > Written() - offset) return;  // nothing written there yet
  // The part still in the buffer, then the part already in the file.
  if (offset + bytes.size() > written_) {
    const size_t skip = offset < written_ ? written_ - offset : 0;
    std::memcpy(buffer_.data() + (offset + skip - written_), bytes.data() + skip, bytes.size() - skip);
    bytes = bytes.substr(0, skip);
  }
  if (bytes.empty() || !file_.file) return;
  if (offset > static_cast<size_t>(LONG_MAX) || std::fseek(file_.file, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file_.file) != bytes.size() ||
      std::fseek(file_.file, 0, SEEK_END) != 0)
    NoteError();
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

TextOutput& TextOutput::IntOutOfLine(long long value) {
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

// %.6f, the writers' common case, without the general conversion when the
// value times 10^6 is exact in a double: then rounding that product to an
// integer, ties to even, is the correctly rounded result. 10^6 is 2^6 times
// 15625, which has 14 significant bits, so the product is exact when the
// value has at most 39 (every float widened to double qualifies). Returns
// null, writing nothing, when the value does not qualify.
static char* FormatFixed6Exact(char* at, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint64_t exponent = (bits >> 52) & 0x7ffu;
  const uint64_t significand = bits & ((uint64_t{1} << 52) - 1);
  if (exponent == 0x7ffu || (exponent == 0 && significand != 0)) return nullptr;  // NaN, infinity, subnormal
  // At most 39 significant bits of 53: the lowest 14 are zero.
  if ((significand & ((uint64_t{1} << 14) - 1)) != 0) return nullptr;
  const double magnitude = value < 0.0 ? -value : value;
  // Below 2^32, so that the product stays below 2^53 and fits the integer.
  if (!(magnitude < 4294967296.0)) return nullptr;
  const double scaled = magnitude * 1e6;  // exact, see above
  uint64_t units = static_cast<uint64_t>(scaled);
  const double rest = scaled - static_cast<double>(units);  // exact
  if (rest > 0.5 || (rest == 0.5 && (units & 1u) != 0)) ++units;

  if (bits >> 63) *at++ = '-';  // -0.0 and negatives that round to zero keep the sign
  at = std::to_chars(at, at + 24, units / 1000000u).ptr;
  *at++ = '.';
  uint64_t fraction = units % 1000000u;
  for (int i = 5; i >= 0; --i) {
    at[i] = static_cast<char>('0' + fraction % 10u);
    fraction /= 10u;
  }
  return at + 6;
}

TextOutput& TextOutput::Fixed(double value, int precision) {
  char* at = Reserve(kMaxNumberChars);
  char* end = precision == 6 ? FormatFixed6Exact(at, value) : nullptr;
  Advance(end ? end : FormatFixed(at, value, precision));
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
