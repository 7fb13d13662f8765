// Double-byte-aware text and path operations.
#include "w_lib/util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A Shift-JIS katakana whose second byte is 0x5C, the backslash.
constexpr char kSo[] = "\x83\x5c";

std::string Replaced(const char* source, const char* find, const char* replacement, int start, int* count) {
  std::string out = "left over";
  *count = ReplaceAll(out, source, find, replacement, start);
  return out;
}

}  // namespace

TEST(Text, ByteTests) {
  // Lead bytes 0x81-0x9F and 0xE0-0xF5 (not up to 0xFC); trail bytes
  // 0x40-0x7E and 0x80-0xFC.
  for (int c : {0x81, 0x9F, 0xE0, 0xF5}) EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(c))) << c;
  for (int c : {0x80, 0xA0, 0xDF, 0xF6, 0x5C}) EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(c))) << c;
  for (int c : {0x40, 0x5C, 0x7E, 0x80, 0xFC}) EXPECT_TRUE(IsTrailByte(static_cast<unsigned char>(c))) << c;
  for (int c : {0x3F, 0x7F, 0xFD, 0}) EXPECT_FALSE(IsTrailByte(static_cast<unsigned char>(c))) << c;

  EXPECT_EQ(ClassifyByte(0, 'a', kLeadOfPair), kSingleByte);
  EXPECT_EQ(ClassifyByte(0x83, 0x5C, kSingleByte), kLeadOfPair);
  EXPECT_EQ(ClassifyByte(0x5C, 0, kLeadOfPair), kTrailOfPair);
  // A lead byte before the end or a non-trail byte stands alone.
  EXPECT_EQ(ClassifyByte(0x83, 0, kSingleByte), kSingleByte);
  EXPECT_EQ(ClassifyByte(0x83, 0x7F, kSingleByte), kSingleByte);
  // After a pair's second byte a new pair may start at once.
  EXPECT_EQ(ClassifyByte(0x83, 0x83, kTrailOfPair), kLeadOfPair);
}

TEST(Text, ReplaceAll) {
  struct Case {
    const char *source, *find, *replacement;
    int start;
    const char* expected;
    int count;
  };
  const Case cases[] = {
      {"Tue Dec 08 09:33:07 2026\n", "\n", "", 0, "Tue Dec 08 09:33:07 2026", 1},
      {"abcab", "ab", "X", 0, "XcX", 2},
      {"abcab", "ab", "X", 2, "abcX", 1},
      {"abcab", "ab", "X", -5, "XcX", 2},
      // A start beyond the text copies it and stops at its end.
      {"ab", "ab", "X", 10, "ab", 0},
      // The restart resumes at the failing byte: aab overlapping the failed
      // attempt at the first a is not found.
      {"aaab", "aab", "X", 0, "aaab", 0},
      {"xaab", "aab", "X", 0, "xX", 1},
      // A partial match cut off by the end of the source is kept.
      {"xxa", "ab", "X", 0, "xxa", 0},
      // Growing and shrinking replacements, and an empty find text.
      {"a.b.c", ".", "::", 0, "a::b::c", 2},
      {"abc", "", "X", 0, "abc", 0},
      {"", "a", "X", 0, "", 0},
  };
  for (const Case& c : cases) {
    int n = -1;
    EXPECT_EQ(Replaced(c.source, c.find, c.replacement, c.start, &n), c.expected) << c.source;
    EXPECT_EQ(n, c.count) << c.source;
  }
}

TEST(Text, ReplaceAllNeverMatchesInsideATwoByteCharacter) {
  int n = -1;
  const std::string name = std::string("a") + kSo + "b";
  // The 0x5C of the pair is no backslash.
  EXPECT_EQ(Replaced(name.c_str(), "\\", "/", 0, &n), name);
  EXPECT_EQ(n, 0);
  // A real backslash after the pair is found.
  const std::string path = std::string(kSo) + "\\x";
  EXPECT_EQ(Replaced(path.c_str(), "\\", "/", 0, &n), std::string(kSo) + "/x");
  EXPECT_EQ(n, 1);
  // The whole pair is found as a pair.
  EXPECT_EQ(Replaced(name.c_str(), kSo, "so", 0, &n), "asob");
  EXPECT_EQ(n, 1);
  // 0x83 0x83 0x5C: the pair is the first two bytes, so the trailing 0x5C
  // stands alone and is a backslash; the pair 0x83 0x5C is not there.
  EXPECT_EQ(Replaced("\x83\x83\x5c", kSo, "so", 0, &n), "\x83\x83\x5c");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Replaced("\x83\x83\x5c", "\\", "/", 0, &n), "\x83\x83/");
  EXPECT_EQ(n, 1);
  // The start bytes carry the classifier: starting after the lead byte does
  // not make its trail byte a backslash.
  EXPECT_EQ(Replaced(name.c_str(), "\\", "/", 2, &n), name);
  EXPECT_EQ(n, 0);
}

TEST(Text, FileNameAndTitle) {
  // Both separators; the title ends at the last dot of the name alone.
  struct Name {
    const char* path;
    const char* name;
    const char* title;
  };
  for (const Name& n : {Name{"C:\\maps\\wood.bmp", "wood.bmp", "wood"}, Name{"maps.old\\wood", "wood", "wood"},
                        Name{"tex.bmp", "tex.bmp", "tex"}, Name{"c:/dir/", "", ""}, Name{"a/b\\c", "c", "c"},
                        Name{"c:\\dir\\wood.grain.bmp", "wood.grain.bmp", "wood.grain"},
                        Name{"c:\\dir.old\\wood", "wood", "wood"}, Name{".bmp", ".bmp", ""}, Name{"", "", ""}}) {
    SCOPED_TRACE(n.path);
    EXPECT_EQ(FileName(n.path), n.name);
    EXPECT_EQ(FileTitle(n.path), n.title);
  }
  EXPECT_EQ(FileName("C:\\maps\\wood.bmp", "TEX-"), "TEX-wood.bmp");

  // The second byte 0x5C of a pair does not split the name.
  const std::string sjis = std::string("c:\\") + kSo + "x.bmp";
  EXPECT_EQ(FileName(sjis.c_str()), std::string(kSo) + "x.bmp");
  EXPECT_EQ(FileTitle(sjis.c_str()), std::string(kSo) + "x");
  // Nor does one at the very end.
  const std::string tail = std::string("d\\") + kSo;
  EXPECT_EQ(FileName(tail.c_str()), kSo);
  // A lone lead byte before the end is a character of its own.
  EXPECT_EQ(FileName("d\\\x83"), "\x83");
}

TEST(Text, ReplaceExtension) {
  EXPECT_EQ(ReplaceExtension("C:\\models\\car.obj", ".mtl"), "C:\\models\\car.mtl");
  EXPECT_EQ(ReplaceExtension("C:\\models.old\\car", ".mtl"), "C:\\models.old\\car.mtl");
  EXPECT_EQ(ReplaceExtension("car.tar.gz", ".mtl"), "car.tar.mtl");
  EXPECT_EQ(ReplaceExtension("car", ".mtl"), "car.mtl");
  const std::string sjis = std::string("d\\") + kSo + ".obj";
  EXPECT_EQ(ReplaceExtension(sjis.c_str(), ".mtl"), std::string("d\\") + kSo + ".mtl");
}

TEST(Text, NameAsToken) {
  const auto blank_or_bar = [](unsigned char c) { return c == ' ' || c == '|' || IsControlByte(c); };
  std::string scratch;
  // A clean name is handed back itself, not copied.
  const char clean[] = "mug_cup";
  EXPECT_EQ(NameAsToken(clean, blank_or_bar, scratch).data(), clean);
  EXPECT_EQ(NameAsToken("", blank_or_bar, scratch), "");
  EXPECT_EQ(NameAsToken("anchor|D San\t\x7f", blank_or_bar, scratch), "anchor_D_San__");
  // The trail byte 0x7C ('|') of a two-byte character stays; a lead byte
  // before a non-trail byte or at the end is a character of its own.
  EXPECT_EQ(NameAsToken("\x83\x7c|\x83 \x83", blank_or_bar, scratch), "\x83\x7c_\x83_\x83");
}

TEST(Text, EscapeControlCharactersForMessages) {
  // A name that would break a message line or drive the terminal.
  EXPECT_EQ(EscapeControlCharacters("bad\nname\x1b[31m.mqo"), "bad\\nname\\x1b[31m.mqo");
  EXPECT_EQ(EscapeControlCharacters(std::string("\t\r\x01\x7f\0end", 8)), "\\t\\r\\x01\\x7f\\x00end");
  // Everything else is kept byte for byte: blanks, backslashes of Windows
  // paths, UTF-8 and Shift-JIS names.
  const std::string kept = std::string("C:\\models\\car 1.mqo \xE3\x81\x82 ") + kSo;
  EXPECT_EQ(EscapeControlCharacters(kept), kept);
  EXPECT_EQ(EscapeControlCharacters(""), "");
}
