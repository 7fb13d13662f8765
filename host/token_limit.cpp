// The token limit of document text: runs of lines shorter than the limit
// are passed over at the speed of a search for a line end and a bracket;
// only a line that is longer, or that ends in "[B]", is scanned byte by
// byte.
#include "host/token_limit.h"

#include <algorithm>
#include <cstring>

namespace {

// The last line end among the n bytes from from, or null. Lines are short:
// the search from the end stops soon.
const char* LastLineEnd(const char* from, size_t n) {
  for (const char* p = from + n; p != from;)
    if (*--p == '\n') return p;
  return nullptr;
}

// Whether the line from..end (end at its '\n') ends in ']', blanks and
// carriage returns aside: it may announce raw bytes.
bool EndsInBracket(const char* from, const char* end) {
  while (end != from && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
  return end != from && end[-1] == ']';
}

}  // namespace

bool TokenLimit::Scan(const char* data, size_t size, bool complete) {
  if (failed_) return false;
  while (at_ < size) {
    if (raw_left_ > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(raw_left_, size - at_));
      at_ += n;
      raw_left_ -= n;
      continue;
    }
    if (!in_line_) {
      // The lines that end within the limit from here hold no longer token;
      // of those, only one that ends in ']' may announce raw bytes.
      const char* from = data + at_;
      const size_t window = std::min(size - at_, kMaxTokenBytes + 1);
      const char* last_end = LastLineEnd(from, window);
      if (last_end) {
        const char* bracket = static_cast<const char*>(std::memchr(from, ']', static_cast<size_t>(last_end - from)));
        if (!bracket) {
          at_ = static_cast<size_t>(last_end - data) + 1;
          continue;
        }
        // Up to the line that holds the bracket, which is passed over
        // too unless it ends in "]".
        const char* line_end =
            static_cast<const char*>(std::memchr(bracket, '\n', static_cast<size_t>(last_end - bracket) + 1));
        const char* line_start = bracket;
        while (line_start != from && line_start[-1] != '\n') --line_start;
        at_ = static_cast<size_t>(line_start - data);
        if (!EndsInBracket(line_start, line_end)) {
          at_ = static_cast<size_t>(line_end - data) + 1;
          continue;
        }
      } else if (!complete && size - at_ <= kMaxTokenBytes) {
        break;  // the line may still end within the limit once more text comes
      }
      in_line_ = true;
      quoted_ = false;
      token_ = 0;
      bracket_ = Bracket::kNone;
    }
    if (!ScanBytes(data, at_, size)) {
      // A line is counted by its line ends, raw bytes' included, as the
      // reader counts them.
      line_ = 1 + dropped_lines_ + static_cast<int>(std::count(data, data + at_, '\n'));
      return false;
    }
  }
  return true;
}

// Scans byte by byte from from up to to, or up to and past the end of the
// line; at_ is left after what was scanned.
bool TokenLimit::ScanBytes(const char* data, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) {
    const char c = data[i];
    if (c == '\n') {
      at_ = i + 1;
      // A line that ends in "[B]" outside a name is followed by B raw
      // bytes; a count too large to read passes over all the rest, which
      // the reader then refuses itself.
      if (!quoted_ && bracket_ == Bracket::kClosed) raw_left_ = raw_overflow_ ? UINT64_MAX : raw_size_;
      in_line_ = false;
      return true;
    }
    bool separates = true;
    if (quoted_) {
      if (c == '"') {
        quoted_ = false;
      } else {
        separates = false;
      }
      bracket_ = Bracket::kNone;
    } else if (c == '"') {
      quoted_ = true;
      bracket_ = Bracket::kNone;
    } else if (c == '[') {
      bracket_ = Bracket::kOpen;
      raw_size_ = 0;
      raw_overflow_ = false;
    } else if (c == ']') {
      // "[B]" needs a digit between its brackets.
      bracket_ = bracket_ == Bracket::kOpen && token_ > 0 ? Bracket::kClosed : Bracket::kNone;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (bracket_ == Bracket::kOpen) bracket_ = Bracket::kNone;
    } else if (c == '(' || c == ')' || c == '{' || c == '}') {
      bracket_ = Bracket::kNone;
    } else {
      separates = false;
      if (bracket_ == Bracket::kOpen && c >= '0' && c <= '9') {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (raw_size_ > (UINT64_MAX - digit) / 10) raw_overflow_ = true;
        raw_size_ = raw_size_ * 10 + digit;
      } else {
        bracket_ = Bracket::kNone;
      }
    }
    if (separates) {
      token_ = 0;
    } else if (++token_ > kMaxTokenBytes) {
      at_ = i;
      failed_ = true;
      failed_in_name_ = quoted_;
      return false;
    }
  }
  at_ = to;
  return true;
}

void TokenLimit::Drop(const char* data, size_t n) {
  dropped_lines_ += static_cast<int>(std::count(data, data + n, '\n'));
  at_ -= n;
}

std::string TokenLimit::Message(const std::string& name) const {
  return name + ":" + std::to_string(line_) + ": expected " +
         (failed_in_name_ ? "a name" : "a word or number") + " of at most " + std::to_string(kMaxTokenBytes) +
         " bytes, found a longer one";
}
