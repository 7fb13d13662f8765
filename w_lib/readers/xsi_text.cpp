// The colder parts of the dotXSI scanner: refilling the buffer of a file,
// strings, template heads, skipped templates and messages.
#include "w_lib/readers/xsi_text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"
#include "w_lib/util/word_excerpt.h"

namespace {

// A file is read in pieces of this size (less the tail kept from before).
constexpr size_t kBufferSize = size_t{1} << 20;

bool IsWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

XsiText::XsiText(const char* data, size_t size) : begin_(data), p_(data), end_(data + size), size_hint_(size) {}

XsiText::XsiText(std::FILE* file, uint64_t size_hint, uint64_t limit)
    : more_(true), file_(file), buffer_(new char[kBufferSize]), size_hint_(size_hint), limit_(limit) {
  begin_ = p_ = end_ = buffer_.get();
}

XsiText::~XsiText() = default;

void XsiText::Refill() {
  char* const buffer = buffer_.get();
  const size_t keep = static_cast<size_t>(end_ - p_);
  consumed_ += static_cast<uint64_t>(p_ - buffer);
  std::memmove(buffer, p_, keep);
  p_ = buffer;
  char* end = buffer + keep;
  while (end != buffer + kBufferSize) {
    const size_t got = std::fread(end, 1, static_cast<size_t>(buffer + kBufferSize - end), file_);
    end += got;
    if (got == 0) {
      if (std::ferror(file_)) throw XsiFileError{std::string("cannot read: ") + std::strerror(errno)};
      more_ = false;
      break;
    }
  }
  end_ = end;
  if (limit_ != 0 && consumed_ + static_cast<uint64_t>(end_ - buffer) > limit_)
    throw XsiFileError{"the document is larger than the document size limit of " + std::to_string(limit_) +
                       " bytes"};
}

uint64_t XsiText::BytesLeft() const {
  if (!buffer_) return static_cast<uint64_t>(end_ - p_);
  const uint64_t at = consumed_ + static_cast<uint64_t>(p_ - buffer_.get());
  const uint64_t buffered = consumed_ + static_cast<uint64_t>(end_ - buffer_.get());
  // A file may have grown since its size was taken: what is buffered counts,
  // and once its end has been read that is all of it.
  uint64_t total = size_hint_ != 0 ? size_hint_ : (limit_ != 0 ? limit_ : UINT64_MAX);
  if (!more_ || total < buffered) total = buffered;
  return total - at;
}

void XsiText::RefillAndSkip() {
  while (more_ && static_cast<size_t>(end_ - p_) < kLongestToken) {
    Refill();
    const char* p = p_;
    int lines = 0;
    while (p != end_ && IsSpace(*p)) lines += *p++ == '\n';
    p_ = p;
    line_ += lines;
  }
}

float XsiText::FloatSlow(const char* start) {
  float value = 0.0f;
  const char* q = ScanDecimal(start, end_, value, [this](const char* at) { return EndsNumber(at); });
  if (q == nullptr) Fail("expected a number, found " + Excerpt());
  p_ = q;
  return value;
}

int32_t XsiText::IntSlow() {
  const char* start = p_ + (p_ != end_ && *p_ == '+');
  int32_t value = 0;
  const std::from_chars_result r = std::from_chars(start, end_, value);
  if (r.ec == std::errc() && EndsNumber(r.ptr)) {
    p_ = r.ptr;
    return value;
  }
  // A whole number with decimals, as some files write frame numbers.
  float wide = 0.0f;
  const char* q = ScanPlainDecimal(start, end_, wide);
  if (q != nullptr && EndsNumber(q) && wide >= -2147483648.0f && wide < 2147483648.0f &&
      wide == static_cast<float>(static_cast<int32_t>(wide))) {
    p_ = q;
    return static_cast<int32_t>(wide);
  }
  Fail("expected an integer, found " + Excerpt());
}

// The lists take the common forms in a loop over local copies of the
// cursor: scan(p, end, value) reads one number at p and returns its end, or
// null for anything else (a sign, a long number, a fault), which goes
// through slow() for that one number, as does one that a refill must come
// before.
template <class T, class Scan, class Slow>
void XsiText::List(T* out, size_t n, Scan scan, Slow slow) {
  size_t i = 0;
  while (i < n) {
    const char* p = p_;
    const char* const end = end_;
    // While more is to come, no number is begun within a token's length of
    // the buffer's end, so that none is cut.
    const char* const stop = more_ ? end - kLongestToken : end;
    int lines = 0;
    while (i < n && p < stop) {
      while (p != end && IsSpace(*p)) lines += *p++ == '\n';
      if (p >= stop) break;
      const char* q = scan(p, end, out[i]);
      if (q == nullptr || !EndsNumber(q)) break;
      p = q;
      ++i;
    }
    p_ = p;
    line_ += lines;
    if (i < n) out[i++] = slow();
  }
}

void XsiText::Ints(int32_t* out, size_t n) {
  List(
      out, n,
      [](const char* p, const char* end, int32_t& value) -> const char* {
        // Eight digits at most: a longer number goes the careful way.
        uint64_t digits;
        const int length = LeadingDigits(p, end, digits);
        if (length == 0 || length == 8) return nullptr;
        value = static_cast<int32_t>(digits);
        return p + length;
      },
      [this] { return Int(); });
}

void XsiText::Floats(float* out, size_t n) {
  List(out, n, ScanPlainDecimal, [this] { return Float(); });
}

int32_t XsiText::Count(const char* what) {
  const int32_t n = Int();
  if (n < 0) Fail(std::string("expected a count of ") + what + " of 0 or more, found " + std::to_string(n));
  return n;
}

std::string_view XsiText::String() {
  if (Next() != '"') Fail("expected a string in double quotes, found " + Excerpt());
  const char* start = ++p_;
  while (p_ != end_ && *p_ != '"' && *p_ != '\n') ++p_;
  if (p_ == end_ && more_) Fail("expected a string of at most " + std::to_string(kLongestToken) + " bytes");
  if (p_ == end_ || *p_ != '"') Fail("expected the closing '\"' of a string on the same line");
  const std::string_view text(start, static_cast<size_t>(p_ - start));
  ++p_;
  return text;
}

std::string_view XsiText::Keyword() {
  SkipSeparators();
  const char* start = p_;
  while (p_ != end_ && IsWordByte(*p_)) ++p_;
  if (p_ == start) Fail("expected a template name, found " + Excerpt());
  if (p_ == end_ && more_) Fail("expected a template name of at most " + std::to_string(kLongestToken) + " bytes");
  return std::string_view(start, static_cast<size_t>(p_ - start));
}

const char* XsiText::HeadOpening(const char* from, const char*& name_end) const {
  // Names are written as the document stores them, so the second byte of a
  // double-byte character may be '{' or '}' (never a blank, '"' or a line
  // end). The line is read character by character in code page 932, as
  // the export reads a name when it replaces its braces: the last '{' that
  // is a character of its own, outside quotes, opens the template.
  const char* opening = nullptr;
  name_end = nullptr;
  bool quoted = false;
  const char* q = from;
  for (; q != end_ && *q != '\n' && *q != '\r'; ++q) {
    const unsigned char c = static_cast<unsigned char>(*q);
    if (IsCodePage932LeadByte(c) && q + 1 != end_ && IsTrailByte(static_cast<unsigned char>(q[1]))) {
      ++q;
      continue;
    }
    if ((c == '"' || c == '}') && name_end == nullptr) name_end = q;
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '{' && !quoted) {
      opening = q;
    }
  }
  // Without a '{', the name ends before a '}' or '"' of its own.
  if (name_end == nullptr) name_end = q;
  return opening;
}

std::string_view XsiText::InstanceName() {
  // The rest of the head's line up to its last '{'; the '{' may also stand
  // on a line of its own, when the name is the whole rest of the line.
  while (p_ != end_ && (*p_ == ' ' || *p_ == '\t')) ++p_;
  const char* start = p_;
  const char* name_end = nullptr;
  const char* opening = HeadOpening(start, name_end);
  if (opening != nullptr) {
    p_ = opening;
  } else {
    p_ = name_end;
    if (p_ == end_ && more_) Fail("expected a template's name of at most " + std::to_string(kLongestToken) + " bytes");
  }
  const char* stop = p_;
  while (stop != start && (stop[-1] == ' ' || stop[-1] == '\t')) --stop;
  const std::string_view name(start, static_cast<size_t>(stop - start));
  if (opening != nullptr) {
    ++p_;
    return name;
  }
  // Copied out of the way of a refill before the next line is read.
  name_.assign(name);
  Expect('{', "'{' opening the template");
  return name_;
}

void XsiText::SkipTemplateBody(void (*nested)(void*, std::string_view), void* context) {
  const int opened = line_;
  int depth = 1;
  bool head_pending = false;  // a head's line without its '{' was the last line read
  for (;;) {
    const int before = line_;
    const char c = Next();
    const bool first_on_line = line_ != before;
    if (c == '\0') Fail("unexpected end of file: expected '}' closing the template opened at line " + std::to_string(opened));
    if (c == '"') {
      String();
    } else if (c == '{') {
      ++p_;
      ++depth;
      if (head_pending) nested(context, name_);
    } else if (c == '}') {
      ++p_;
      if (--depth == 0) return;
    } else if ((first_on_line || head_pending) && IsWordByte(c) && !(c >= '0' && c <= '9')) {
      // A word first on its line heads a template: its keyword, then its
      // name, which runs to the line's last '{' (or to the line's end when
      // the '{' follows on a line of its own).
      const char* start = p_;
      while (p_ != end_ && IsWordByte(*p_)) ++p_;
      name_.assign(start, static_cast<size_t>(p_ - start));
      const char* name_end = nullptr;
      const char* opening = HeadOpening(p_, name_end);
      if (opening != nullptr) {
        p_ = opening + 1;
        ++depth;
        nested(context, name_);
        head_pending = false;
      } else {
        p_ = name_end;
        if (p_ == end_ && more_) Fail("expected a token of at most " + std::to_string(kLongestToken) + " bytes");
        head_pending = true;
      }
      continue;
    } else {
      // Any other word or number.
      while (p_ != end_ && !IsSpace(*p_) && *p_ != '{' && *p_ != '}' && *p_ != '"') ++p_;
      if (p_ == end_ && more_) Fail("expected a token of at most " + std::to_string(kLongestToken) + " bytes");
    }
    head_pending = false;
  }
}

void XsiText::Fail(const std::string& message) const {
  // Text that ends with a line end ends on the line before the cursor's.
  const bool after_last_line = p_ == end_ && !more_ && p_ != begin_ && p_[-1] == '\n';
  throw XsiSyntaxError{after_last_line ? line_ - 1 : line_, message};
}

void XsiText::FailNulByte() const {
  Fail("expected text, found a NUL byte (a binary file, or one damaged)");
}

std::string XsiText::Excerpt() const {
  if (p_ == end_) return "the end of the file";
  return WordExcerpt(p_, end_);
}
