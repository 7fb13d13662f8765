// Double-byte-aware text and path operations.
#include "w_lib/util/text.h"

#include <cstring>

#include "w_lib/util/path_parts.h"

bool IsLeadByte(unsigned char c) {
  const unsigned x = c ^ 0x20u;
  return x >= 0xA1u && x <= 0xD5u;
}

bool IsTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

int ClassifyByte(unsigned char c, unsigned char next, int previous_class) {
  if (c == 0) return kSingleByte;
  if (previous_class == kLeadOfPair) return kTrailOfPair;
  if (IsLeadByte(c) && IsTrailByte(next)) return kLeadOfPair;
  return kSingleByte;
}

int ReplaceAll(std::string& destination, const char* source, const char* find, const char* replacement,
               int start) {
  const auto* s = reinterpret_cast<const unsigned char*>(source);
  const auto* find_start = reinterpret_cast<const unsigned char*>(find);
  const auto* f = find_start;
  destination.clear();

  int s_class = kSingleByte;
  for (int i = 0; i < start; ++i, ++s) {
    if (*s == 0) return 0;
    s_class = ClassifyByte(s[0], s[1], s_class);
    destination.push_back(static_cast<char>(*s));
  }

  if (*f == 0) {  // an empty find text matches nothing
    destination.append(reinterpret_cast<const char*>(s));
    return 0;
  }

  int count = 0;
  int f_class = kSingleByte;
  bool restarted = false;  // the byte at s keeps the class computed before
  int class_here = kSingleByte;
  while (*s != 0) {
    if (!restarted) class_here = ClassifyByte(s[0], s[1], s_class);
    restarted = false;
    const int f_here = ClassifyByte(f[0], f[1], f_class);
    if (*s != *f || class_here != f_here) {
      if (f == find_start) {
        destination.push_back(static_cast<char>(*s));
        ++s;
        s_class = class_here;
      } else {
        // Give back the matched part and compare the same byte afresh.
        destination.append(find, static_cast<size_t>(f - find_start));
        f = find_start;
        restarted = true;
      }
      f_class = kSingleByte;
      continue;
    }
    ++s;
    ++f;
    s_class = class_here;
    f_class = f_here;
    if (*f == 0) {
      destination.append(replacement);
      f = find_start;
      f_class = kSingleByte;
      ++count;
    }
  }
  destination.append(find, static_cast<size_t>(f - find_start));
  return count;
}

std::string& AppendWithSeparator(std::string& buffer, const char* separator, const char* token) {
  if (!buffer.empty()) buffer.append(separator);
  return buffer.append(token);
}

std::string FileName(const char* path, const char* prefix) {
  std::string out(prefix);
  return out.append(path + SplitDocumentName(path, false).name);
}

std::string FileTitle(const char* path) {
  const PathParts parts = SplitDocumentName(path, false);
  return std::string(path + parts.name, parts.extension - parts.name);
}

std::string ReplaceExtension(const char* path, const char* extension) {
  return std::string(path, SplitDocumentName(path, false).extension).append(extension);
}

bool IsControlByte(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string EscapeControlCharacters(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!IsControlByte(byte)) {
      escaped += c;
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else {
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    }
  }
  return escaped;
}

namespace {

// Calls visit(i) for every single-byte character of text, at its offset.
// Characters are read as code page 932 decodes them, lead bytes past 0xF5
// included, so that no character of a name is cut in two.
template <class Visit>
void ForEachSingleByte(const unsigned char* text, size_t length, Visit visit) {
  for (size_t i = 0; i < length;) {
    if (IsCodePage932LeadByte(text[i]) && IsTrailByte(text[i + 1])) {
      i += 2;
      continue;
    }
    visit(i);
    ++i;
  }
}

}  // namespace

std::string_view NameAsToken(const char* name, BreaksToken breaks, std::string& scratch) {
  const auto* p = reinterpret_cast<const unsigned char*>(name);
  const size_t length = std::strlen(name);
  bool clean = true;
  ForEachSingleByte(p, length, [&](size_t i) { clean = clean && !breaks(p[i]); });
  if (clean) return std::string_view(name, length);
  scratch.assign(name, length);
  ForEachSingleByte(p, length, [&](size_t i) {
    if (breaks(p[i])) scratch[i] = '_';
  });
  return scratch;
}
