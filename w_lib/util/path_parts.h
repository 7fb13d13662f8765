// Where a path's folder ends and its extension starts, by the two rules
// that paths follow here: paths of this system's disk, and names stored in
// documents (texture names, written on Windows). Every place that cuts a
// path into folder, stem and extension goes through these.
#pragma once

#include <string>
#include <string_view>

// Offsets into a path: its file name starts at name (after the folder part
// and its last separator), its extension at extension (the last dot of the
// file name; the path's length when the file name has no dot).
struct PathParts {
  size_t name = 0;
  size_t extension = 0;
};

// Whether byte c starts a two-byte character of a code page. Null for a
// code page whose separators never stand inside a character (UTF-8, or any
// code page when only '/' separates).
using LeadByteTest = bool (*)(unsigned char c);

// The lead bytes of code page 932 as it decodes: 0x81 .. 0x9F and
// 0xE0 .. 0xFC (the user-defined and extension rows included).
bool IsCodePage932LeadByte(unsigned char c);

// How a path separates its folders.
enum class PathSyntax {
  kPosix,     // '/' alone
  kWindows,   // '/', '\' and a drive prefix ("C:")
  kDocument,  // '\' and '/'
};

// path's parts under syntax, read character by character: a byte for which
// lead holds starts a character of two bytes, whose second byte is never a
// separator or a dot (0x5C is the second byte of some).
PathParts SplitPathAs(std::string_view path, PathSyntax syntax, LeadByteTest lead);

// A path of this system's disk: on Windows by kWindows, read in the
// system's code page; elsewhere by kPosix.
PathParts SplitSystemPath(std::string_view path);
// The folder of a system path with its last separator ("" when it has
// none), the file name without folder and extension (all of the file name
// when its only dot is its first byte), and the extension with its dot.
std::string SystemFolderOf(std::string_view path);
std::string SystemStem(std::string_view path);
std::string SystemExtension(std::string_view path);
// The file name of a system path (what follows its folder), and the path
// with its extension replaced by extension (which brings its own dot; a
// file name without a dot gets it appended).
std::string SystemFileName(std::string_view path);
std::string SystemWithExtension(std::string_view path, std::string_view extension);

// A name stored in a document, in the document's code page: UTF-8 when
// utf8, else code page 932.
PathParts SplitDocumentName(std::string_view name, bool utf8);
// name with each of its separators ('\' or '/') made '/'.
std::string DocumentNameWithSlashes(std::string_view name, bool utf8);
