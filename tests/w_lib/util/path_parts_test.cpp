// Cutting paths into folder, stem and extension: this system's paths, the
// Windows rule read in a double-byte code page (so that a character whose
// second byte is 0x5C stays whole), and names stored in documents.
#include "w_lib/util/path_parts.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 表 and 予 in code page 932: second bytes '\' and the same again.
const std::string kOmote = "\x95\x5c";
const std::string kYo = "\x97\x5c";

std::string NamePart(const std::string& path, PathSyntax syntax, LeadByteTest lead) {
  return path.substr(SplitPathAs(path, syntax, lead).name);
}

std::string ExtensionPart(const std::string& path, PathSyntax syntax, LeadByteTest lead) {
  return path.substr(SplitPathAs(path, syntax, lead).extension);
}

TEST(PathParts, SystemPathsOnThisSystem) {
#if !defined(_WIN32)
  // Only '/' separates: a backslash and a second byte 0x5C are part of the
  // file name.
  EXPECT_EQ(SystemStem("in/a\\b.mqo"), "a\\b");
  EXPECT_EQ(SystemStem(kOmote + ".mqo"), kOmote);
  EXPECT_EQ(SystemFolderOf("out/" + kOmote + ".obj"), "out/");
  EXPECT_EQ(SystemFolderOf("C:x.obj"), "");
  EXPECT_EQ(SystemWithExtension("out/a.b\\c", ".mtl"), "out/a.mtl");
  EXPECT_EQ(SystemFileName("out/a\\b.mtl"), "a\\b.mtl");
#endif
  // The rules every system shares: a dot in a folder's name is no
  // extension, only the last one counts, and a name whose only dot is its
  // first byte is all stem (and all extension).
  struct Parts {
    const char* path;
    const char* folder;
    const char* stem;
    const char* extension;
  };
  for (const Parts& p : {Parts{"models/.hidden", "models/", ".hidden", ".hidden"}, Parts{"models.d/cube", "models.d/", "cube", ""},
                         Parts{"cube.tar.gz", "", "cube.tar", ".gz"}, Parts{"a/model.XSI", "a/", "model", ".XSI"},
                         Parts{"model.mqo", "", "model", ".mqo"}}) {
    SCOPED_TRACE(p.path);
    EXPECT_EQ(SystemFolderOf(p.path), p.folder);
    EXPECT_EQ(SystemStem(p.path), p.stem);
    EXPECT_EQ(SystemExtension(p.path), p.extension);
  }
  EXPECT_EQ(SystemWithExtension("out/cube", ".bin"), "out/cube.bin");
}

TEST(PathParts, WindowsRuleReadsTheSystemCodePage) {
  const PathSyntax win = PathSyntax::kWindows;
  // Both separators and a drive prefix.
  EXPECT_EQ(NamePart("C:\\models/cube.mqo", win, IsCodePage932LeadByte), "cube.mqo");
  EXPECT_EQ(NamePart("C:cube.mqo", win, IsCodePage932LeadByte), "cube.mqo");
  EXPECT_EQ(NamePart("\\\\server\\share\\cube.mqo", win, IsCodePage932LeadByte), "cube.mqo");
  // 表 and 予 are one character each, not a name ending in a separator.
  EXPECT_EQ(NamePart("out\\" + kOmote + ".mqo", win, IsCodePage932LeadByte), kOmote + ".mqo");
  EXPECT_EQ(NamePart("C:\\" + kYo + "\\" + kOmote, win, IsCodePage932LeadByte), kOmote);
  EXPECT_EQ(ExtensionPart(kOmote + kYo, win, IsCodePage932LeadByte), "");
  // In a single-byte code page the same bytes are a character and a
  // separator.
  EXPECT_EQ(NamePart("out\\" + kOmote + ".mqo", win, nullptr), ".mqo");
  // A lead byte that nothing can follow stands alone: the '\' after it and
  // a lead byte at the end separate and end as they are.
  EXPECT_EQ(NamePart("a\x81\\b", win, IsCodePage932LeadByte), "a\x81\\b");
  EXPECT_EQ(NamePart("a\x81\n\\b", win, IsCodePage932LeadByte), "b");
  EXPECT_EQ(NamePart("a\\\x81", win, IsCodePage932LeadByte), "\x81");
  // A drive letter is one letter, and only at the start.
  EXPECT_EQ(NamePart("ab:c", win, nullptr), "ab:c");
  EXPECT_EQ(NamePart("1:c", win, nullptr), "1:c");
}

TEST(PathParts, DocumentNames) {
  // Both separators, read in code page 932 (with the rows after 0xF5 too)
  // or in UTF-8.
  const std::string name = "maps\\" + kOmote + "/\xfa\x5c" + "wood.bmp";
  EXPECT_EQ(name.substr(SplitDocumentName(name, false).name), "\xfa\x5cwood.bmp");
  EXPECT_EQ(name.substr(SplitDocumentName(name, true).name), "wood.bmp");
  EXPECT_EQ(name.substr(SplitDocumentName(name, false).extension), ".bmp");
  EXPECT_EQ(DocumentNameWithSlashes(name, false), "maps/" + kOmote + "/\xfa\x5cwood.bmp");
  // In UTF-8, ア (E3 82 A2) then '\': the bytes of a three-byte character
  // are no pair of code page 932, and the '\' after it separates.
  EXPECT_EQ(DocumentNameWithSlashes("\xe3\x82\xa2\\t.png", true), "\xe3\x82\xa2/t.png");
  EXPECT_EQ(DocumentNameWithSlashes("C:\\a\\b", false), "C:/a/b");
  // A dot before the last separator is no extension.
  const std::string dotted = "maps.old\\wood";
  EXPECT_EQ(SplitDocumentName(dotted, false).extension, dotted.size());
}

}  // namespace
