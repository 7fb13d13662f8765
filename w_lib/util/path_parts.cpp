// Splitting paths of the disk and names of documents into their parts.
#include "w_lib/util/path_parts.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
// The code page of the system's narrow file names ("ANSI").
bool IsSystemLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }
#endif

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// 0x40 .. 0x7E or 0x80 .. 0xFC: a byte that can end a two-byte character.
bool CanEndPair(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

}  // namespace

bool IsCodePage932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

PathParts SplitPathAs(std::string_view path, PathSyntax syntax, LeadByteTest lead) {
  PathParts parts;
  size_t i = 0;
  if (syntax == PathSyntax::kWindows && path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
    parts.name = 2;
    i = 2;
  }
  const bool backslash = syntax != PathSyntax::kPosix;
  size_t dot = std::string_view::npos;
  while (i < path.size()) {
    const char c = path[i];
    if (c == '/' || (backslash && c == '\\')) {
      parts.name = i + 1;
      dot = std::string_view::npos;
    } else if (c == '.') {
      dot = i;
    }
    // A character of two bytes is stepped over whole; a lead byte that no
    // second byte follows stands alone.
    const bool pair = lead != nullptr && lead(static_cast<unsigned char>(c)) && i + 1 < path.size() &&
                      CanEndPair(static_cast<unsigned char>(path[i + 1]));
    i += pair ? 2 : 1;
  }
  parts.extension = dot != std::string_view::npos ? dot : path.size();
  return parts;
}

PathParts SplitSystemPath(std::string_view path) {
#if defined(_WIN32)
  return SplitPathAs(path, PathSyntax::kWindows, IsSystemLeadByte);
#else
  return SplitPathAs(path, PathSyntax::kPosix, nullptr);
#endif
}

std::string SystemFolderOf(std::string_view path) { return std::string(path.substr(0, SplitSystemPath(path).name)); }

std::string SystemStem(std::string_view path) {
  const PathParts parts = SplitSystemPath(path);
  const size_t end = parts.extension > parts.name ? parts.extension : path.size();
  return std::string(path.substr(parts.name, end - parts.name));
}

std::string SystemExtension(std::string_view path) {
  return std::string(path.substr(SplitSystemPath(path).extension));
}

std::string SystemFileName(std::string_view path) { return std::string(path.substr(SplitSystemPath(path).name)); }

std::string SystemWithExtension(std::string_view path, std::string_view extension) {
  return std::string(path.substr(0, SplitSystemPath(path).extension)).append(extension);
}

PathParts SplitDocumentName(std::string_view name, bool utf8) {
  return SplitPathAs(name, PathSyntax::kDocument, utf8 ? nullptr : IsCodePage932LeadByte);
}

std::string DocumentNameWithSlashes(std::string_view name, bool utf8) {
  std::string made(name);
  const LeadByteTest lead = utf8 ? nullptr : IsCodePage932LeadByte;
  for (size_t i = 0; i < made.size();) {
    const unsigned char c = static_cast<unsigned char>(made[i]);
    if (c == '\\') made[i] = '/';
    i += (lead != nullptr && lead(c) && i + 1 < made.size() && CanEndPair(static_cast<unsigned char>(made[i + 1]))) ? 2 : 1;
  }
  return made;
}
