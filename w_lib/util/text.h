// Text and path operations on zero-terminated byte strings in the host's
// double-byte code page (Shift-JIS). Every scan steps over two-byte
// characters, so that a trail byte such as 0x5C is never taken for a
// backslash, a dot or part of a search text.
#pragma once

#include <string>
#include <string_view>

// c ^ 0x20 in 0xA1 .. 0xD5: c in 0x81 .. 0x9F or 0xE0 .. 0xF5.
bool IsLeadByte(unsigned char c);
// c in 0x40 .. 0x7E or 0x80 .. 0xFC.
bool IsTrailByte(unsigned char c);

// Byte classes of the replace-all scan.
enum WByteClass : int {
  kSingleByte = 0,  // a one-byte character, or the terminating NUL
  kLeadOfPair = 1,  // first byte of a two-byte character
  kTrailOfPair = 2  // second byte of a two-byte character
};
// Class of byte c, given the byte after it and the class of the byte before.
int ClassifyByte(unsigned char c, unsigned char next, int previous_class);

// Makes destination a copy of source in which every occurrence of find is
// replaced by replacement, and returns the number of replacements. The first
// start bytes (a negative start counts as 0) are copied unsearched. A match
// never begins or ends inside a two-byte character. After a partial match
// fails, the search resumes at the failing byte, so an occurrence that
// overlaps the failed attempt is not found (aab in aaab finds nothing). An
// empty find text matches nothing.
int ReplaceAll(std::string& destination, const char* source, const char* find, const char* replacement,
               int start);

// Appends separator when buffer is not empty, then token. Returns buffer.
std::string& AppendWithSeparator(std::string& buffer, const char* separator, const char* token);

// Names that a document stores, in code page 932 (SplitDocumentName of
// w_lib/util/path_parts.h).
// The part of path after its last backslash or slash (all of it when it has
// none), behind prefix.
std::string FileName(const char* path, const char* prefix = "");

// The file name of path without its extension: up to the last dot of the
// last component; the whole component when it has no dot (.bmp gives "").
std::string FileTitle(const char* path);

// path with its extension replaced by extension (which brings its own dot):
// C:\models\car.obj + ".mtl" gives C:\models\car.mtl; a path whose last
// component has no dot gets extension appended.
std::string ReplaceExtension(const char* path, const char* extension);

// A byte below 0x20 or 0x7F (DEL): a control character.
bool IsControlByte(unsigned char c);

// text for a message line: every control character written out as "\t",
// "\n", "\r" or "\xHH" ("\x1b" for ESC), so that a file or object name
// can neither break the line nor drive the terminal. Every other byte (and
// so every multi-byte character) is kept.
std::string EscapeControlCharacters(std::string_view text);

// Says whether a single-byte character would end or break a name written as
// one token of a file format.
using BreaksToken = bool (*)(unsigned char c);

// name as one token: every single-byte character for which breaks holds is
// replaced by '_'. A lead byte of code page 932 (0x81 .. 0x9F, 0xE0 .. 0xFC)
// followed by a trail byte is a two-byte character and is copied whole, so
// a trail byte is never replaced. Returns
// name itself when nothing is replaced, otherwise the copy, held in scratch.
std::string_view NameAsToken(const char* name, BreaksToken breaks, std::string& scratch);
