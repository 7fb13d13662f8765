// The colder parts of the document scanner: quoted names, skipped items and
// chunks, raw data, and error messages.
#include "host/mqo_lexer.h"

#include <algorithm>

#include "w_lib/util/word_excerpt.h"

void MqoLexer::FailAt(int at_line, const std::string& message) {
  throw MqoSyntaxError{at_line, message};
}

void MqoLexer::FailAtEnd(const std::string& what_is_missing) const {
  // Data that ends with a line end ends on the line before the cursor's.
  const int last = (p == end && p != begin && p[-1] == '\n') ? line - 1 : line;
  FailAt(last, "unexpected end of file: " + what_is_missing);
}

std::string MqoLexer::Excerpt() const {
  if (p == end) return "the end of the file";
  if (*p == '\r' && end - p > 1 && p[1] != '\n')
    return "a carriage return without a line feed (lines must end in LF or CR LF)";
  if (*p == '\r' || *p == '\n') return "the end of the line";
  return WordExcerpt(p, end);
}

std::string_view MqoLexer::Quoted() {
  SkipBlanks();
  if (p == end || *p != '"') Fail("expected a name in double quotes, found " + Excerpt());
  const char* start = ++p;
  while (p != end && *p != '"' && *p != '\n') ++p;
  if (p == end || *p != '"') Fail("expected the closing '\"' of a name on the same line");
  const std::string_view text(start, static_cast<size_t>(p - start));
  ++p;
  return text;
}

void MqoLexer::SkipArguments() {
  bool quoted = false;
  for (; p != end && *p != '\n'; ++p) {
    if (*p == '"') {
      quoted = !quoted;
    } else if (*p == ')' && !quoted) {
      ++p;
      return;
    }
  }
  Fail("expected ')' closing the attribute's arguments");
}

void MqoLexer::SkipRaw(size_t n, int announced_line) {
  if (n > Remaining())
    FailAt(announced_line, "expected " + std::to_string(n) + " bytes of raw data, only " +
                               std::to_string(Remaining()) + " remain");
  if (window) {
    window->Skip(*this, n);
    return;
  }
  line += static_cast<int>(std::count(p, p + n, '\n'));
  p += n;
}

namespace {

// The B of a "[B]" that ends a line (trailing blanks aside); 0 when there is
// none. Only digits lie between its brackets, so a "[" in a closed quote can
// never start it; an unclosed quote makes the rest of the line text.
size_t RawSizeAtLineEnd(const char* line_start, const char* line_end, bool quoted, int at_line) {
  if (quoted) return 0;
  const char* q = line_end;
  while (q != line_start && (q[-1] == ' ' || q[-1] == '\t' || q[-1] == '\r')) --q;
  if (q == line_start || q[-1] != ']') return 0;
  const char* digits_end = --q;
  while (q != line_start && q[-1] >= '0' && q[-1] <= '9') --q;
  if (q == digits_end || q == line_start || q[-1] != '[') return 0;
  size_t n = 0;
  const std::from_chars_result r = std::from_chars(q, digits_end, n);
  if (r.ec != std::errc()) MqoLexer::FailAt(at_line, "expected a byte count in [...]");
  return n;
}

}  // namespace

void MqoLexer::SkipItem(std::string_view keyword, int start_line) {
  // Text read in pieces moves as the item is passed: the keyword (which
  // points into it) is kept for the message.
  const std::string name(keyword);
  int depth = 0;
  for (;;) {
    HoldLine();
    const char* line_start = p;
    bool quoted = false;
    for (; p != end && *p != '\n'; ++p) {
      const char c = *p;
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && c == '{') {
        ++depth;
      } else if (!quoted && c == '}' && --depth < 0) {
        Fail("unexpected '}'");
      }
    }
    const size_t raw = RawSizeAtLineEnd(line_start, p, quoted, line);
    const int raw_line = line;
    if (p != end) {
      ++p;
      ++line;
    }
    if (raw != 0) SkipRaw(raw, raw_line);
    if (depth == 0) return;
    HoldLine();
    if (p == end) FailAtEnd("expected '}' closing \"" + name + "\" opened at line " + std::to_string(start_line));
  }
}
