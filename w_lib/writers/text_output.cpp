// Buffered text output with exact number formatting through std::to_chars.
#include "w_lib/writers/text_output.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <version>

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
      // A fresh string of exactly that size: growing one in place may take
      // twice the room asked for.
      std::string bigger;
      bigger.reserve(grown);
      bigger.assign(buffer_.data(), used_);
      bigger.resize(grown);
      buffer_.swap(bigger);
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

// The exact fixed form without std::to_chars (FixedTextWithoutCharconv):
// the double is m * 2^e exactly, and its value times 10^precision, rounded
// half to even, is a whole number, whose digits are the text. Numbers are
// held as 32-bit words, lowest first.
namespace {

using BigDigits = std::vector<uint32_t>;

void MultiplySmall(BigDigits& n, uint32_t factor) {
  uint64_t carry = 0;
  for (uint32_t& word : n) {
    const uint64_t product = uint64_t{word} * factor + carry;
    word = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  if (carry) n.push_back(static_cast<uint32_t>(carry));
}

bool BitSet(const BigDigits& n, size_t bit) {
  return bit / 32 < n.size() && ((n[bit / 32] >> (bit % 32)) & 1u) != 0;
}

bool AnyBitBelow(const BigDigits& n, size_t bit) {
  for (size_t word = 0; word < n.size() && word * 32 < bit; ++word) {
    const size_t below = bit - word * 32;
    const uint32_t mask = below >= 32 ? 0xFFFFFFFFu : ((uint32_t{1} << below) - 1);
    if (n[word] & mask) return true;
  }
  return false;
}

void ShiftLeft(BigDigits& n, size_t bits) {
  n.insert(n.begin(), bits / 32, 0u);
  const unsigned shift = static_cast<unsigned>(bits % 32);
  if (shift == 0) return;
  uint32_t carry = 0;
  for (uint32_t& word : n) {
    const uint32_t next = word >> (32 - shift);
    word = (word << shift) | carry;
    carry = next;
  }
  if (carry) n.push_back(carry);
}

// n / 2^bits, rounded half to even.
void ShiftRightRounded(BigDigits& n, size_t bits) {
  const bool half = BitSet(n, bits - 1);
  const bool sticky = AnyBitBelow(n, bits - 1);
  const size_t words = std::min(bits / 32, n.size());
  n.erase(n.begin(), n.begin() + static_cast<std::ptrdiff_t>(words));
  const unsigned shift = static_cast<unsigned>(bits % 32);
  if (shift != 0 && !n.empty()) {
    for (size_t i = 0; i < n.size(); ++i)
      n[i] = (n[i] >> shift) | (i + 1 < n.size() ? n[i + 1] << (32 - shift) : 0u);
  }
  if (half && (sticky || (!n.empty() && (n[0] & 1u)))) {
    for (uint32_t& word : n)
      if (++word != 0) return;
    n.push_back(1u);
  }
}

std::string DecimalDigits(BigDigits n) {
  std::string reversed;
  while (!n.empty()) {
    uint64_t rest = 0;
    for (size_t i = n.size(); i-- > 0;) {
      const uint64_t part = (rest << 32) | n[i];
      n[i] = static_cast<uint32_t>(part / 1000000000u);
      rest = part % 1000000000u;
    }
    while (!n.empty() && n.back() == 0) n.pop_back();
    for (int d = 0; d < 9; ++d, rest /= 10) reversed.push_back(static_cast<char>('0' + rest % 10));
  }
  while (reversed.size() > 1 && reversed.back() == '0') reversed.pop_back();
  if (reversed.empty()) reversed = "0";
  return std::string(reversed.rbegin(), reversed.rend());
}

}  // namespace

char* FixedTextWithoutCharconv(char* at, double value, int precision) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits >> 63) *at++ = '-';
  const int biased = static_cast<int>((bits >> 52) & 0x7FFu);
  uint64_t significand = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0x7FF) {
    std::memcpy(at, significand ? "nan" : "inf", 3);
    return at + 3;
  }
  int exponent = -1074;
  if (biased != 0) {
    significand |= uint64_t{1} << 52;
    exponent = biased - 1075;
  }
  BigDigits n{static_cast<uint32_t>(significand), static_cast<uint32_t>(significand >> 32)};
  for (int i = 0; i < precision; ++i) MultiplySmall(n, 10);
  if (exponent >= 0)
    ShiftLeft(n, static_cast<size_t>(exponent));
  else
    ShiftRightRounded(n, static_cast<size_t>(-exponent));
  std::string digits = DecimalDigits(std::move(n));
  if (digits.size() <= static_cast<size_t>(precision))
    digits.insert(0, static_cast<size_t>(precision) + 1 - digits.size(), '0');
  const size_t whole = digits.size() - static_cast<size_t>(precision);
  std::memcpy(at, digits.data(), whole);
  at += whole;
  if (precision > 0) {
    *at++ = '.';
    std::memcpy(at, digits.data() + whole, static_cast<size_t>(precision));
    at += precision;
  }
  return at;
}

// Correctly rounded like printf in the C locale: the exact decimal value of
// the double, ties to even.
static char* FormatFixed(char* at, double value, int precision) {
  if (precision < 0) precision = 0;
  if (precision > kMaxPrecision) precision = kMaxPrecision;
#if defined(__cpp_lib_to_chars)
  return std::to_chars(at, at + kMaxNumberChars, value, std::chars_format::fixed, precision).ptr;
#else
  return FixedTextWithoutCharconv(at, value, precision);
#endif
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
